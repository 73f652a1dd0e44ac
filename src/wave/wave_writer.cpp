#include "wave/wave_writer.h"

#include <cstring>

#include "wave/byte_order.h"
#include "wave/wave_header.h"

namespace tonebake {
namespace {

constexpr std::uint32_t kFormatChunkSize = 16;
constexpr std::uint16_t kBytesPerFrame = 1;  // one channel of 8 bits

void PutId(std::uint8_t* header, std::uint32_t offset, const char* id) {
  std::memcpy(header + offset, id, wave_value::kIdLength);
}

}  // namespace

void WriteCanonicalWaveHeader(std::uint32_t sampleRate, std::uint32_t dataSize,
                              std::uint8_t* header) {
  PutId(header, wave_offset::kRiffId, wave_value::kRiffId);
  WriteLittleEndian32(header + wave_offset::kRiffSize,
                      kWaveHeaderSize - kRiffPreambleSize + dataSize);
  PutId(header, wave_offset::kWaveId, wave_value::kWaveId);
  PutId(header, wave_offset::kFmtId, wave_value::kFmtId);
  WriteLittleEndian32(header + wave_offset::kFmtSize, kFormatChunkSize);
  WriteLittleEndian16(header + wave_offset::kAudioFormat, wave_value::kLinearPcm);
  WriteLittleEndian16(header + wave_offset::kChannels, wave_value::kMono);
  WriteLittleEndian32(header + wave_offset::kSampleRate, sampleRate);
  WriteLittleEndian32(header + wave_offset::kByteRate, sampleRate * kBytesPerFrame);
  WriteLittleEndian16(header + wave_offset::kBlockAlign, kBytesPerFrame);
  WriteLittleEndian16(header + wave_offset::kBitsPerSample, wave_value::kBitsPerSample);
  PutId(header, wave_offset::kDataId, wave_value::kDataId);
  WriteLittleEndian32(header + wave_offset::kDataSize, dataSize);
}

}  // namespace tonebake
