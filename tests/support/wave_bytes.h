#ifndef TONEBAKE_TESTS_SUPPORT_WAVE_BYTES_H
#define TONEBAKE_TESTS_SUPPORT_WAVE_BYTES_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tonebake::test {

using Bytes = std::vector<std::uint8_t>;

// The fields of a canonical 44-byte WAVE header, defaulting to a valid
// 8-bit mono linear-PCM file at 8000 Hz.
struct WaveFields {
  std::string riffId = "RIFF";
  std::string waveId = "WAVE";
  std::string fmtId = "fmt ";
  std::string dataId = "data";
  std::uint16_t audioFormat = 1;
  std::uint16_t channels = 1;
  std::uint32_t sampleRate = 8000;
  std::uint16_t bitsPerSample = 8;
  // The sizes match the samples unless given here.
  std::optional<std::uint32_t> riffSize;
  std::optional<std::uint32_t> dataSize;
};

inline void PutLittleEndian(Bytes& bytes, std::size_t offset, std::uint32_t value,
                            std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) {
    bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

// A whole file: header, then `samples`. riffSize and dataSize match the
// samples, so the file passes the length test.
inline Bytes MakeWave(const Bytes& samples, const WaveFields& fields = WaveFields()) {
  Bytes bytes(44, 0);
  const auto put_id = [&bytes](std::size_t offset, const std::string& id) {
    for (std::size_t i = 0; i < 4; ++i) {
      bytes[offset + i] = static_cast<std::uint8_t>(i < id.size() ? id[i] : ' ');
    }
  };
  put_id(0, fields.riffId);
  PutLittleEndian(bytes, 4,
                  fields.riffSize.value_or(static_cast<std::uint32_t>(36 + samples.size())), 4);
  put_id(8, fields.waveId);
  put_id(12, fields.fmtId);
  PutLittleEndian(bytes, 16, 16, 4);
  PutLittleEndian(bytes, 20, fields.audioFormat, 2);
  PutLittleEndian(bytes, 22, fields.channels, 2);
  PutLittleEndian(bytes, 24, fields.sampleRate, 4);
  const std::uint32_t blockAlign = fields.channels * fields.bitsPerSample / 8u;
  PutLittleEndian(bytes, 28, fields.sampleRate * blockAlign, 4);
  PutLittleEndian(bytes, 32, blockAlign, 2);
  PutLittleEndian(bytes, 34, fields.bitsPerSample, 2);
  put_id(36, fields.dataId);
  PutLittleEndian(bytes, 40, fields.dataSize.value_or(static_cast<std::uint32_t>(samples.size())),
                  4);
  bytes.insert(bytes.end(), samples.begin(), samples.end());
  return bytes;
}

// `count` samples of a simple ramp, so that a moved or dropped byte shows.
inline Bytes RampSamples(std::size_t count) {
  Bytes samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    samples[i] = static_cast<std::uint8_t>(i * 7 + 3);
  }
  return samples;
}

}  // namespace tonebake::test

#endif  // TONEBAKE_TESTS_SUPPORT_WAVE_BYTES_H
