#ifndef TONEBAKE_PREP_AUDIO_IO_H
#define TONEBAKE_PREP_AUDIO_IO_H

#include <string>
#include <vector>

namespace tonebake::prep {

struct MonoAudio {
  std::vector<float> samples;  // in [-1, 1]
  double sampleRate = 0;
};

// Reads any recording that libsndfile understands and averages its channels.
// On failure returns false with libsndfile's own reason in `error`.
bool ReadMonoAudio(const std::string& path, MonoAudio& audio, std::string& error);

// Converts `audio` to `targetRate` with libsamplerate's band-limited sinc
// converter. On failure returns false with the reason in `error`.
bool Resample(MonoAudio& audio, double targetRate, std::string& error);

}  // namespace tonebake::prep

#endif  // TONEBAKE_PREP_AUDIO_IO_H
