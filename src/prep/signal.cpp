#include "prep/signal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "fm7pcm/wait_table.h"

namespace tonebake::prep {
namespace {

constexpr float kSilence = 128.0f;
constexpr float kStepsPerUnit = 128.0f;

// A small generator with a fixed seed (splitmix64): the same sequence on
// every platform and every run, unlike the standard distributions.
class NoiseSource {
 public:
  // Uniform in [0, 1).
  float Next() {
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<float>(z >> 40) / static_cast<float>(1u << 24);
  }
  // Triangular in (-1, 1): the difference of two uniform values.
  float NextTriangular() { return Next() - Next(); }

 private:
  std::uint64_t state = 0x746F6E6562616B65ull;  // "tonebake"
};

}  // namespace

std::vector<float> Downmix(const std::vector<float>& interleaved, int channels) {
  const auto width = static_cast<std::size_t>(std::max(channels, 1));
  std::vector<float> mono(interleaved.size() / width);
  for (std::size_t frame = 0; frame < mono.size(); ++frame) {
    float sum = 0.0f;
    for (std::size_t channel = 0; channel < width; ++channel) {
      sum += interleaved[frame * width + channel];
    }
    mono[frame] = sum / static_cast<float>(width);
  }
  return mono;
}

void Normalize(std::vector<float>& samples) {
  float peak = 0.0f;
  for (const float sample : samples) {
    peak = std::max(peak, std::fabs(sample));
  }
  if (peak > 0.0f) {
    const float gain = kFullScale / peak;
    for (float& sample : samples) {
      sample *= gain;
    }
  }
}

std::vector<std::uint8_t> QuantizeTo8Bit(const std::vector<float>& samples, bool dither) {
  NoiseSource noise;
  std::vector<std::uint8_t> bytes(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const float offset = dither ? noise.NextTriangular() : 0.0f;
    const float level = std::floor(samples[i] * kStepsPerUnit + kSilence + offset + 0.5f);
    bytes[i] = static_cast<std::uint8_t>(std::clamp(level, 0.0f, 255.0f));
  }
  return bytes;
}

std::uint8_t ClosestWait(long rate) {
  std::size_t best = 0;
  for (std::size_t wait = 1; wait < kWaitRateCount; ++wait) {
    if (std::labs(static_cast<long>(WaitRateTable[wait]) - rate) <
        std::labs(static_cast<long>(WaitRateTable[best]) - rate)) {
      best = wait;
    }
  }
  return static_cast<std::uint8_t>(best);
}

}  // namespace tonebake::prep
