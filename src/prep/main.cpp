// tonebake-prep: turns any recording into exactly the WAVE file tonebake
// wants, at the FM-7 playback rate of a PCM wait.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fileio/whole_file.h"
#include "fm7pcm/pcm_image.h"
#include "fm7pcm/wait_table.h"
#include "prep/audio_io.h"
#include "prep/prep_options.h"
#include "prep/signal.h"
#include "prep/wave_writer.h"

namespace tonebake::prep {
namespace {

enum ExitCode : int { kSuccess = 0, kBadUsage = 1, kUnreadableInput = 2, kOutputFailure = 3 };

constexpr const char* kProgram = "tonebake-prep";
constexpr std::uint32_t kMaxCountField = 0xFFFF;
constexpr std::uint32_t kBasicModeBytes = 32 * 1024;

std::uint8_t ChooseWait(const PrepOptions& options, double inputRate) {
  if (options.wait) {
    return static_cast<std::uint8_t>(*options.wait);
  }
  if (options.rate) {
    return ClosestWait(*options.rate);
  }
  return SelectWait(static_cast<std::uint32_t>(inputRate));
}

std::string DescribeFileError(std::int32_t code) {
  switch (code) {
    case WriteFailed:
      return "the write was incomplete";
    case CloseFailed:
      return "closing the file failed";
    case OpenFailed:
    case OutOfMemory:
      return "the file could not be created";
    default:
      return std::strerror(code);
  }
}

bool Save(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const std::int32_t code = SaveFile(path, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  if (code != 0) {
    std::fprintf(stderr, "%s: %s: cannot write: %s\n", kProgram, path.c_str(),
                 DescribeFileError(code).c_str());
  }
  return code == 0;
}

std::vector<std::uint8_t> MakeImage(const std::vector<std::uint8_t>& samples, std::uint8_t wait) {
  const WaveSamples view{samples.data(), static_cast<std::uint32_t>(samples.size())};
  std::vector<std::uint8_t> image(PcmImageSize(view.count));
  BuildPcmImage(view, wait, image.data());
  return image;
}

// Warnings about what an FM-7 can play, each with the duration that fits.
void WarnAboutLength(const std::string& output, std::size_t count, std::uint32_t rate) {
  if (count > kMaxCountField) {
    std::fprintf(stderr,
                 "%s: warning: %s: %zu samples; the image's 16-bit sample count wraps above "
                 "%u (%.2f s at %u Hz)\n",
                 kProgram, output.c_str(), count, kMaxCountField,
                 static_cast<double>(kMaxCountField) / rate, rate);
  }
  const std::size_t imageSize = count + kPcmImageOverhead;
  if (imageSize > kBasicModeBytes) {
    const std::uint32_t fits = kBasicModeBytes - kPcmImageOverhead;
    std::fprintf(stderr,
                 "%s: warning: %s: the image is %zu bytes, more than the 32 KiB an FM-7 in "
                 "BASIC mode can hold; %u samples (%.2f s at %u Hz) fit\n",
                 kProgram, output.c_str(), imageSize, fits, static_cast<double>(fits) / rate, rate);
  }
}

int Prepare(const PrepOptions& options) {
  MonoAudio audio;
  std::string error;
  if (!ReadMonoAudio(options.input, audio, error)) {
    std::fprintf(stderr, "%s: %s: cannot read: %s\n", kProgram, options.input.c_str(),
                 error.c_str());
    return kUnreadableInput;
  }
  const std::uint8_t wait = ChooseWait(options, audio.sampleRate);
  const std::uint32_t rate = WaitRateTable[wait];
  if (!Resample(audio, rate, error)) {
    std::fprintf(stderr, "%s: %s: cannot resample: %s\n", kProgram, options.input.c_str(),
                 error.c_str());
    return kUnreadableInput;
  }
  if (options.normalize) {
    Normalize(audio.samples);
  }
  const std::vector<std::uint8_t> samples = QuantizeTo8Bit(audio.samples, options.dither);
  if (!Save(options.output, MakeCanonicalWave(samples, rate)) ||
      (options.image && !Save(*options.image, MakeImage(samples, wait)))) {
    return kOutputFailure;
  }
  WarnAboutLength(options.output, samples.size(), rate);
  std::printf("%s -> %s: %zu samples at %u Hz (PCM wait %u), %.2f s\n", options.input.c_str(),
              options.output.c_str(), samples.size(), rate, static_cast<unsigned>(wait),
              static_cast<double>(samples.size()) / rate);
  return kSuccess;
}

int RunPrep(const std::vector<std::string>& arguments) {
  const ParsedOptions parsed = ParsePrepOptions(arguments);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "%s: %s (see '%s --help')\n", kProgram, parsed.error.c_str(), kProgram);
    return kBadUsage;
  }
  if (parsed.options.help) {
    std::fputs(PrepUsage().c_str(), stdout);
    return kSuccess;
  }
  if (parsed.options.version) {
    std::printf("%s 1.00\n", kProgram);
    return kSuccess;
  }
  return Prepare(parsed.options);
}

}  // namespace
}  // namespace tonebake::prep

int main(int argc, char** argv) {
  return tonebake::prep::RunPrep(std::vector<std::string>(argv, argv + argc));
}
