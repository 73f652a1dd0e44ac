#include "wave/wave_writer.h"

#include <cstring>

#include "wave/byte_order.h"
#include "wave/wave_header.h"

namespace tonebake {
namespace {

constexpr std::uint32_t kFormatChunkSize = 16;

void PutId(std::uint8_t* header, std::uint32_t offset, const char* id) {
  std::memcpy(header + offset, id, wave_value::kIdLength);
}

}  // namespace

void WriteCanonicalWaveHeader(std::uint32_t sampleRate, std::uint32_t dataSize,
                              std::uint8_t* header) {
  WritePcmWaveHeader(sampleRate, 8, dataSize, header);
}

void WritePcmWaveHeader(std::uint32_t sampleRate, std::uint16_t bitsPerSample,
                        std::uint32_t dataSize, std::uint8_t* header) {
  const auto bytesPerFrame = static_cast<std::uint16_t>(bitsPerSample / 8);
  PutId(header, wave_offset::kRiffId, wave_value::kRiffId);
  WriteLittleEndian32(header + wave_offset::kRiffSize,
                      kWaveHeaderSize - kRiffPreambleSize + dataSize);
  PutId(header, wave_offset::kWaveId, wave_value::kWaveId);
  PutId(header, wave_offset::kFmtId, wave_value::kFmtId);
  WriteLittleEndian32(header + wave_offset::kFmtSize, kFormatChunkSize);
  WriteLittleEndian16(header + wave_offset::kAudioFormat, wave_value::kLinearPcm);
  WriteLittleEndian16(header + wave_offset::kChannels, wave_value::kMono);
  WriteLittleEndian32(header + wave_offset::kSampleRate, sampleRate);
  WriteLittleEndian32(header + wave_offset::kByteRate, sampleRate * bytesPerFrame);
  WriteLittleEndian16(header + wave_offset::kBlockAlign, bytesPerFrame);
  WriteLittleEndian16(header + wave_offset::kBitsPerSample, bitsPerSample);
  PutId(header, wave_offset::kDataId, wave_value::kDataId);
  WriteLittleEndian32(header + wave_offset::kDataSize, dataSize);
}

}  // namespace tonebake
