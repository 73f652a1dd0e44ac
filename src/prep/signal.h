#ifndef TONEBAKE_PREP_SIGNAL_H
#define TONEBAKE_PREP_SIGNAL_H

#include <cstddef>
#include <cstdint>

namespace tonebake::prep {

// The largest level an 8-bit sample holds symmetrically around silence
// (0x80): 127 steps of 1/128 each way.
constexpr float kFullScale = 127.0f / 128.0f;
// Far below the 8-bit step (-42 dBFS): what a resampler or filter leaves of
// digital silence.
constexpr float kDigitalSilence = 1.0f / (1 << 20);
// The widest change of level --gain takes, and the factor it gives at most.
constexpr double kMaxGainDb = 200;
constexpr float kMaxGain = 1e10f;

enum class ChannelChoice { Mix, Left, Right };

// Beyond what any recording holds (120 dB above full scale), and far enough
// below the float limit that mixing, resampling and filtering cannot
// overflow.
constexpr float kLargestInput = 1e6f;

// Replaces NaN with 0 and infinities with ±1, and limits the rest to
// ±kLargestInput, in place, so that nothing undefined reaches the
// arithmetic after it. Returns how many were not numbers or infinite.
std::size_t RepairNonFinite(float* samples, std::size_t count);

// One channel from `frames` interleaved frames: the average of all of them,
// or the left or right one. A mono recording gives its only channel for
// either side.
void ToMono(const float* interleaved, std::size_t frames, int channels, ChannelChoice choice,
            float* mono);

// A two-pole Butterworth high-pass filter, for removing DC offset and
// rumble.
class HighPass {
 public:
  HighPass(double cutoffHz, double sampleRate);
  float Process(float sample);

 private:
  double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
  double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// Quantizes samples in [-1, 1] to 8-bit unsigned (silence 0x80), counting
// those that lie beyond what 8 bits hold and clamping them. NaN becomes
// silence, and is counted. With dither,
// triangular (TPDF) noise of one step peak is added first, from a fixed
// seed, so the same samples always give the same bytes. Digital silence
// (below about -120 dBFS) is never dithered: it stays exactly 0x80.
class Quantizer {
 public:
  explicit Quantizer(bool dither) : dither_(dither) {}
  std::uint8_t Quantize(float sample);
  std::uint64_t clipped() const { return clipped_; }
  std::uint64_t notNumbers() const { return notNumbers_; }
  float peak() const { return peak_; }

 private:
  float Noise();

  bool dither_;
  std::uint64_t noiseState_ = 0x746F6E6562616B65ull;  // "tonebake"
  std::uint64_t clipped_ = 0;
  std::uint64_t notNumbers_ = 0;
  float peak_ = 0.0f;
};

// The PCM wait whose FM-7 playback rate is closest to `rate`; between two
// equally close, the faster.
std::uint8_t ClosestWait(double rate);

// The gain in dB that brings `peak` down to full scale (negative when it
// lies above).
double GainToFullScaleDb(float peak);

}  // namespace tonebake::prep

#endif  // TONEBAKE_PREP_SIGNAL_H
