#ifndef TONEBAKE_PREP_SIGNAL_H
#define TONEBAKE_PREP_SIGNAL_H

#include <cstdint>
#include <vector>

namespace tonebake::prep {

// The largest level an 8-bit sample holds symmetrically around silence
// (0x80): 127 steps of 1/128 each way.
constexpr float kFullScale = 127.0f / 128.0f;

// Averages the channels of interleaved frames into one.
std::vector<float> Downmix(const std::vector<float>& interleaved, int channels);

// Scales the samples so that the largest magnitude is kFullScale; silence
// stays silence.
void Normalize(std::vector<float>& samples);

// Quantizes samples in [-1, 1] to 8-bit unsigned (silence 0x80), clamping
// what lies outside. With dither, triangular (TPDF) noise of one step peak
// is added first, from a fixed seed, so the same samples always give the
// same bytes.
std::vector<std::uint8_t> QuantizeTo8Bit(const std::vector<float>& samples, bool dither);

// The PCM wait whose FM-7 playback rate is closest to `rate`; between two
// equally close, the faster.
std::uint8_t ClosestWait(long rate);

}  // namespace tonebake::prep

#endif  // TONEBAKE_PREP_SIGNAL_H
