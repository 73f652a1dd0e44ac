#include "wave/wave_header.h"

#include <cstring>

#include "wave/byte_order.h"

namespace tonebake {
namespace {

constexpr std::uint16_t kLinearPcm = 1;
constexpr std::uint16_t kMonoChannels = 1;
constexpr std::uint16_t kBitsPerSampleRequired = 8;
constexpr std::size_t kIdLength = 4;

bool IdEquals(const std::uint8_t* bytes, std::uint32_t offset, const char* id) {
  return std::memcmp(bytes + offset, id, kIdLength) == 0;
}

bool LengthMatchesRiffSize(const std::uint8_t* bytes, std::uint32_t length) {
  // The sum wraps in 32 bits, like the length it is compared with.
  const std::uint32_t expected =
      ReadLittleEndian32(bytes + wave_offset::kRiffSize) + kRiffPreambleSize;
  return length == expected;
}

}  // namespace

HeaderCheck CheckWaveHeader(const std::uint8_t* bytes, std::uint32_t length) {
  if (length < kWaveHeaderSize || !LengthMatchesRiffSize(bytes, length)) {
    return SizeMismatch;
  }
  HeaderCheck code = HeaderOk;
  if (!IdEquals(bytes, wave_offset::kRiffId, "RIFF")) {
    code = NoRiffId;
  }
  if (!IdEquals(bytes, wave_offset::kWaveId, "WAVE")) {
    code = NoWaveId;
  }
  if (!IdEquals(bytes, wave_offset::kFmtId, "fmt ")) {
    code = NoFmtId;
  }
  if (ReadLittleEndian16(bytes + wave_offset::kAudioFormat) != kLinearPcm) {
    code = FormatNotPcm;
  }
  if (ReadLittleEndian16(bytes + wave_offset::kChannels) != kMonoChannels) {
    code = ChannelsNotOne;
  }
  if (ReadLittleEndian16(bytes + wave_offset::kBitsPerSample) != kBitsPerSampleRequired) {
    code = BitsNotEight;
  }
  return code;
}

HeaderCheck LocateSamples(const std::uint8_t* bytes, std::uint32_t length, WaveSamples& samples) {
  samples = WaveSamples{};
  if (length < kWaveHeaderSize) {
    return DataOutsideFile;
  }
  // dataSize is a signed field: a value of 2^31 or more is a negative size.
  const std::uint32_t rawSize = ReadLittleEndian32(bytes + wave_offset::kDataSize);
  const bool negative = (rawSize & 0x80000000u) != 0;
  if (negative || rawSize > length - kWaveHeaderSize) {
    return DataOutsideFile;
  }
  samples.bytes = bytes + wave_offset::kSamples;
  samples.count = rawSize;
  return HeaderOk;
}

std::uint32_t ReadSampleRate(const std::uint8_t* bytes) {
  return ReadLittleEndian32(bytes + wave_offset::kSampleRate);
}

}  // namespace tonebake
