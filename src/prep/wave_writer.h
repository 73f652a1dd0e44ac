#ifndef TONEBAKE_PREP_WAVE_WRITER_H
#define TONEBAKE_PREP_WAVE_WRITER_H

#include <cstdint>
#include <vector>

namespace tonebake::prep {

// The 44-byte header of such a file holding `dataSize` samples.
void WriteCanonicalWaveHeader(std::uint32_t sampleRate, std::uint32_t dataSize,
                              std::uint8_t* header);

// A whole WAVE file in the plain 44-byte layout that tonebake reads: linear
// PCM, one channel, 8 bits per sample, then the samples.
std::vector<std::uint8_t> MakeCanonicalWave(const std::vector<std::uint8_t>& samples,
                                            std::uint32_t sampleRate);

}  // namespace tonebake::prep

#endif  // TONEBAKE_PREP_WAVE_WRITER_H
