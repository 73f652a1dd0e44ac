#include "prep/signal.h"

#include <algorithm>
#include <cmath>

#include "fm7pcm/wait_table.h"

namespace tonebake::prep {
namespace {

constexpr float kSilence = 128.0f;
constexpr float kStepsPerUnit = 128.0f;
constexpr double kPi = 3.14159265358979323846;

}  // namespace

std::size_t RepairNonFinite(float* samples, std::size_t count) {
  std::size_t repaired = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (std::isnan(samples[i])) {
      samples[i] = 0.0f;
      ++repaired;
    } else if (std::isinf(samples[i])) {
      samples[i] = samples[i] > 0 ? 1.0f : -1.0f;
      ++repaired;
    } else {
      samples[i] = std::clamp(samples[i], -kLargestInput, kLargestInput);
    }
  }
  return repaired;
}

void ToMono(const float* interleaved, std::size_t frames, int channels, ChannelChoice choice,
            float* mono) {
  const auto width = static_cast<std::size_t>(std::max(channels, 1));
  if (choice != ChannelChoice::Mix) {
    const std::size_t picked = choice == ChannelChoice::Right && width > 1 ? 1 : 0;
    for (std::size_t frame = 0; frame < frames; ++frame) {
      mono[frame] = interleaved[frame * width + picked];
    }
    return;
  }
  const float scale = 1.0f / static_cast<float>(width);
  for (std::size_t frame = 0; frame < frames; ++frame) {
    float sum = 0.0f;
    for (std::size_t channel = 0; channel < width; ++channel) {
      sum += interleaved[frame * width + channel];
    }
    mono[frame] = sum * scale;
  }
}

// The bilinear-transform high-pass of the audio EQ cookbook, Q = 1/sqrt(2).
HighPass::HighPass(double cutoffHz, double sampleRate) {
  const double w0 = 2 * kPi * cutoffHz / sampleRate;
  const double alpha = std::sin(w0) / std::sqrt(2.0);
  const double cosW0 = std::cos(w0);
  const double a0 = 1 + alpha;
  b0_ = (1 + cosW0) / 2 / a0;
  b1_ = -(1 + cosW0) / a0;
  b2_ = b0_;
  a1_ = -2 * cosW0 / a0;
  a2_ = (1 - alpha) / a0;
}

float HighPass::Process(float sample) {
  const double x = sample;
  const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
  x2_ = x1_;
  x1_ = x;
  y2_ = y1_;
  // Flushed to zero once it dies away, so that silence becomes exact again.
  y1_ = std::fabs(y) < 1e-20 ? 0.0 : y;
  return static_cast<float>(y1_);
}

// splitmix64: the same sequence on every platform and every run, unlike the
// standard distributions. Uniform in [0, 1).
float Quantizer::Noise() {
  noiseState_ += 0x9E3779B97F4A7C15ull;
  std::uint64_t z = noiseState_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<float>(z >> 40) / static_cast<float>(1u << 24);
}

std::uint8_t Quantizer::Quantize(float sample) {
  // Whatever arithmetic before made of a sample, no byte is undefined.
  if (std::isnan(sample)) {
    ++notNumbers_;
    return static_cast<std::uint8_t>(kSilence);
  }
  const float magnitude = std::fabs(sample);
  peak_ = std::max(peak_, magnitude);
  if (magnitude < kDigitalSilence) {
    return static_cast<std::uint8_t>(kSilence);
  }
  // Triangular: the difference of two uniform values.
  const float exact = sample * kStepsPerUnit + kSilence;
  // Clipped is what the signal itself puts out of range, not the dither.
  if (exact < -0.5f || exact >= 255.5f) {
    ++clipped_;
  }
  const float offset = dither_ ? Noise() - Noise() : 0.0f;
  const float level = std::floor(exact + offset + 0.5f);
  return static_cast<std::uint8_t>(std::clamp(level, 0.0f, 255.0f));
}

std::uint8_t ClosestWait(double rate) {
  std::size_t best = 0;
  for (std::size_t wait = 1; wait < kWaitRateCount; ++wait) {
    if (std::fabs(WaitRateTable[wait] - rate) < std::fabs(WaitRateTable[best] - rate)) {
      best = wait;
    }
  }
  return static_cast<std::uint8_t>(best);
}

double GainToFullScaleDb(float peak) {
  return peak > 0.0f ? 20.0 * std::log10(kFullScale / peak) : 0.0;
}

}  // namespace tonebake::prep
