// tonebake-play: what an FM-7 plays from an image, rendered on the PC by
// running the player's own 6809 code on a model of the CPU and the PSG.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fbasic/play_program.h"
#include "fileio/os_file.h"
#include "fileio/replacing_file.h"
#include "fileio/whole_file.h"
#include "fm7pcm/pcm_image.h"
#include "media/disk_medium.h"
#include "media/media_command.h"
#include "path/path_names.h"
#include "player/psg_preview.h"
#include "wave/wave_writer.h"

namespace tonebake::play {
namespace {

enum ExitCode : int { Success = 0, BadUsage = 1, CannotRead = 2, CannotWrite = 3 };

constexpr const char* kProgram = "tonebake-play";
constexpr media::Reporter kReport{kProgram};
constexpr const char* kStandardStream = "-";
constexpr std::uint32_t kWaveHeaderBytes = 44;
// An image is the samples and 11 bytes; PLAY holds 20,480 of them at most.
constexpr std::uint32_t kLargestImage = 0xFFFF + 11;

const char* const kUsage =
    "Usage: tonebake-play IMAGE.bin OUT.wav [--psg fm7|fm77av] [--clock HZ]\n"
    "Renders what an FM-7 plays from an FM-7 PCM image through tonebake's player:\n"
    "the player's 6809 code runs on a model of the CPU, and each of its PSG writes\n"
    "takes effect at its own cycle. OUT.wav is a 16-bit mono WAVE file at 44100 Hz\n"
    "('-' for standard output).\n"
    "\n"
    "  --psg fm7|fm77av   the volume curve: the FM-7's AY-3-8913 (default), or the\n"
    "                     3 dB steps of the FM77AV and of most emulators\n"
    "  --clock HZ         the CPU clock (default 1798660)\n"
    "  -h, --help         show this help and exit\n"
    "      --version      show the version and exit\n"
    "\n"
    "Like PLAY, it plays the count - 1 samples LOADM leaves at &H23CF, right above\n"
    "PLAYER; an image whose count is above 18993 does not fit below &H6E00 and is\n"
    "refused.\n"
    "Exit status: 0 success, 1 bad usage, 2 an image that cannot be read or played,\n"
    "3 the output cannot be written.\n";

struct Options {
  std::string image;
  std::string output;
  player::PsgProfile profile = player::PsgProfile::Fm7;
  double clockHz = player::kFm7ClockHz;
};

int Usage(const std::string& why) {
  kReport.Say("%s (see '%s --help')\n", why.c_str(), kProgram);
  return BadUsage;
}

// Options anywhere; "--" ends them. -1 to go on, or the exit code.
int ParseArguments(const std::vector<std::string>& given, Options& options) {
  const std::vector<std::string> arguments = media::SplitOptionValues(given, {"--psg", "--clock"});
  std::vector<std::string> names;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool takesValue = argument == "--psg" || argument == "--clock";
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      names.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return Success;
    } else if (argument == "--version") {
      std::printf("%s %s\n", kProgram, TONEBAKE_VERSION);
      return Success;
    } else if (takesValue && i + 1 == arguments.size()) {
      return Usage("option '" + argument + "' needs a value");
    } else if (argument == "--psg" && !player::ParsePsgProfile(arguments[++i], options.profile)) {
      return Usage("--psg takes fm7 or fm77av, not '" + arguments[i] + "'");
    } else if (argument == "--clock") {
      char* end = nullptr;
      const std::string& value = arguments[++i];
      options.clockHz = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !(options.clockHz >= 100000 && options.clockHz <= 1e8)) {
        return Usage("--clock takes a rate in Hz from 100000 to 100000000, not '" + value + "'");
      }
    } else if (!takesValue) {
      return Usage("unknown option '" + argument + "'");
    }
  }
  if (names.size() != 2) {
    return Usage("needs exactly two file names, IMAGE.bin and OUT.wav");
  }
  options.image = names[0];
  options.output = names[1];
  if (options.output != kStandardStream &&
      media::AnyTwoAreOneFile(kReport, {{"IMAGE", options.image}, {"OUT", options.output}})) {
    return BadUsage;
  }
  return -1;
}

// The wait byte and the samples, as LOADM leaves them.
int LoadSound(const std::string& path, std::vector<std::uint8_t>& loaded) {
  ByteBuffer file;
  const std::int32_t code = LoadFileAtMost(path, kLargestImage, file);
  PcmImageInfo info;
  if (code == 0 && !ParsePcmImage(file.bytes.get(), file.length, info)) {
    kReport.Say("%s: cannot read: not an FM-7 PCM image\n", path.c_str());
    return CannotRead;
  }
  if (code != 0) {
    kReport.Say("%s: cannot read: %s\n", path.c_str(),
                code == TooLargeForUse ? "not an FM-7 PCM image (too large)"
                                       : DescribeFileError(code).c_str());
    return CannotRead;
  }
  if (!player::FitsPlay(info.samples)) {
    kReport.Say("%s: cannot play: its count is %u; PLAY loads 1 to %u bytes at &H%X\n",
                path.c_str(), static_cast<unsigned>(info.samples),
                static_cast<unsigned>(player::kSoundRoom),
                static_cast<unsigned>(player::kSoundAddress));
    return CannotRead;
  }
  const std::uint8_t* start = file.bytes.get() + pcm_image_offset::kWait;
  loaded.assign(start, start + info.samples);
  return Success;
}

std::vector<std::uint8_t> WaveFile(const std::vector<std::int16_t>& samples) {
  const auto dataSize = static_cast<std::uint32_t>(samples.size() * 2);
  std::vector<std::uint8_t> bytes(kWaveHeaderBytes + dataSize);
  WritePcmWaveHeader(player::kPreviewRate, 16, dataSize, bytes.data());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto value = static_cast<std::uint16_t>(samples[i]);
    bytes[kWaveHeaderBytes + 2 * i] = static_cast<std::uint8_t>(value);
    bytes[kWaveHeaderBytes + 2 * i + 1] = static_cast<std::uint8_t>(value >> 8);
  }
  return bytes;
}

int Save(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  if (path == kStandardStream) {
    os_file::SetStandardOutputBinary();
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
        std::fflush(stdout) == 0) {
      return Success;
    }
    kReport.Say("standard output: cannot write: %s\n",
                DescribeFileError(errno != 0 ? errno : WriteFailed).c_str());
    return CannotWrite;
  }
  const std::int32_t code = SaveFile(path, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  if (code != 0) {
    kReport.Say("%s: cannot write: %s\n", path.c_str(), DescribeFileError(code).c_str());
    return CannotWrite;
  }
  return Success;
}

int Run(const std::vector<std::string>& arguments) {
  Options options;
  if (const int parsed = ParseArguments(arguments, options); parsed >= 0) {
    return parsed;
  }
  std::vector<std::uint8_t> loaded;
  if (const int read = LoadSound(options.image, loaded); read != Success) {
    return read;
  }
  player::M6809 cpu;
  std::string error;
  const auto samples = static_cast<std::uint16_t>(loaded.size() - 1);
  if (!player::RunPlayer(options.profile, loaded, samples, cpu, error)) {
    kReport.Say("%s: the player stopped: %s\n", options.image.c_str(), error.c_str());
    return CannotRead;
  }
  const std::vector<std::int16_t> rendered = player::RenderPsg(
      player::DecodePsgWrites(cpu.writes), cpu.cycles, options.profile, options.clockHz);
  if (const int saved = Save(options.output, WaveFile(rendered)); saved != Success) {
    return saved;
  }
  std::fprintf(
      stderr, "%s -> %s: %u samples at PCM wait %u, %.2f s on the FM-7 (%s)\n",
      ShowPath(options.image).c_str(),
      options.output == kStandardStream ? "standard output" : ShowPath(options.output).c_str(),
      static_cast<unsigned>(samples), static_cast<unsigned>(loaded[0]),
      static_cast<double>(cpu.cycles) / options.clockHz, player::PsgProfileName(options.profile));
  return Success;
}

}  // namespace
}  // namespace tonebake::play

int main(int argc, char** argv) {
  tonebake::os_file::InstallSignalHandling();
  const int exit = tonebake::play::Run(std::vector<std::string>(argv + 1, argv + argc));
  return tonebake::media::FinishStandardOutput(tonebake::play::kReport, exit,
                                               tonebake::play::CannotWrite);
}
