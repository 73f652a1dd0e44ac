#include "prep/audio_io.h"

#include <samplerate.h>
#include <sndfile.h>

#include <cmath>
#include <memory>

#include "prep/signal.h"

namespace tonebake::prep {
namespace {

// The longest recording read: far beyond anything an FM-7 can hold, and a
// guard against sizes that would not fit in memory.
constexpr sf_count_t kMaxSamples = sf_count_t{1} << 30;

struct SoundFileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

}  // namespace

bool ReadMonoAudio(const std::string& path, MonoAudio& audio, std::string& error) {
  SF_INFO info{};
  const SoundFile file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    error = sf_strerror(nullptr);
    return false;
  }
  if (info.channels < 1 || info.samplerate < 1 || info.frames < 0 ||
      info.frames > kMaxSamples / info.channels) {
    error = "unsupported length, channel count or sample rate";
    return false;
  }
  std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
  const sf_count_t read = sf_readf_float(file.get(), interleaved.data(), info.frames);
  if (read != info.frames) {
    error = sf_strerror(file.get());
    return false;
  }
  audio.samples = Downmix(interleaved, info.channels);
  audio.sampleRate = info.samplerate;
  return true;
}

bool Resample(MonoAudio& audio, double targetRate, std::string& error) {
  if (audio.samples.empty() || audio.sampleRate == targetRate) {
    audio.sampleRate = targetRate;
    return true;
  }
  const double ratio = targetRate / audio.sampleRate;
  std::vector<float> output(
      static_cast<std::size_t>(std::ceil(static_cast<double>(audio.samples.size()) * ratio)) + 1);
  SRC_DATA data{};
  data.data_in = audio.samples.data();
  data.input_frames = static_cast<long>(audio.samples.size());
  data.data_out = output.data();
  data.output_frames = static_cast<long>(output.size());
  data.src_ratio = ratio;
  const int failed = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1);
  if (failed != 0) {
    error = src_strerror(failed);
    return false;
  }
  output.resize(static_cast<std::size_t>(data.output_frames_gen));
  audio.samples = std::move(output);
  audio.sampleRate = targetRate;
  return true;
}

}  // namespace tonebake::prep
