#include "wave/wave_header.h"

#include <cstring>

#include "wave/byte_order.h"

namespace tonebake {
namespace {

bool IdEquals(const std::uint8_t* bytes, std::uint32_t offset, const char* id) {
  return std::memcmp(bytes + offset, id, wave_value::kIdLength) == 0;
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
  if (!IdEquals(bytes, wave_offset::kRiffId, wave_value::kRiffId)) {
    code = NoRiffId;
  }
  if (!IdEquals(bytes, wave_offset::kWaveId, wave_value::kWaveId)) {
    code = NoWaveId;
  }
  if (!IdEquals(bytes, wave_offset::kFmtId, wave_value::kFmtId)) {
    code = NoFmtId;
  }
  if (!IdEquals(bytes, wave_offset::kDataId, wave_value::kDataId)) {
    code = NoDataId;
  }
  if (ReadLittleEndian16(bytes + wave_offset::kAudioFormat) != wave_value::kLinearPcm) {
    code = FormatNotPcm;
  }
  if (ReadLittleEndian16(bytes + wave_offset::kChannels) != wave_value::kMono) {
    code = ChannelsNotOne;
  }
  if (ReadLittleEndian16(bytes + wave_offset::kBitsPerSample) != wave_value::kBitsPerSample) {
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

bool StartsAsRiffWave(const std::uint8_t* bytes, std::uint32_t length) {
  return length >= wave_offset::kWaveId + wave_value::kIdLength &&
         std::memcmp(bytes + wave_offset::kRiffId, wave_value::kRiffId, wave_value::kIdLength) ==
             0 &&
         std::memcmp(bytes + wave_offset::kWaveId, wave_value::kWaveId, wave_value::kIdLength) == 0;
}

std::uint32_t ReadSampleRate(const std::uint8_t* bytes) {
  return ReadLittleEndian32(bytes + wave_offset::kSampleRate);
}

}  // namespace tonebake
