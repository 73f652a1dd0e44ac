#ifndef TONEBAKE_WAVE_WAVE_WRITER_H
#define TONEBAKE_WAVE_WAVE_WRITER_H

#include <cstdint>

namespace tonebake {

// Writes the 44-byte header of a WAVE file in the plain layout that tonebake
// reads (linear PCM, one channel, 8 bits per sample) holding `dataSize`
// samples at `sampleRate`.
void WriteCanonicalWaveHeader(std::uint32_t sampleRate, std::uint32_t dataSize,
                              std::uint8_t* header);

// The same layout for one channel of 8 or 16 bits, `dataSize` bytes of
// samples.
void WritePcmWaveHeader(std::uint32_t sampleRate, std::uint16_t bitsPerSample,
                        std::uint32_t dataSize, std::uint8_t* header);

}  // namespace tonebake

#endif  // TONEBAKE_WAVE_WAVE_WRITER_H
