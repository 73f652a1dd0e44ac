#include "prep/wave_writer.h"

#include <algorithm>
#include <cstring>

#include "wave/byte_order.h"
#include "wave/wave_header.h"

namespace tonebake::prep {
namespace {

constexpr std::uint32_t kFormatChunkSize = 16;
constexpr std::uint16_t kLinearPcm = 1;
constexpr std::uint16_t kMono = 1;
constexpr std::uint16_t kBitsPerSample = 8;
constexpr std::uint16_t kBytesPerFrame = 1;

void PutId(std::uint8_t* header, std::uint32_t offset, const char* id) {
  std::memcpy(header + offset, id, 4);
}

}  // namespace

void WriteCanonicalWaveHeader(std::uint32_t sampleRate, std::uint32_t dataSize,
                              std::uint8_t* header) {
  PutId(header, wave_offset::kRiffId, "RIFF");
  WriteLittleEndian32(header + wave_offset::kRiffSize,
                      kWaveHeaderSize - kRiffPreambleSize + dataSize);
  PutId(header, wave_offset::kWaveId, "WAVE");
  PutId(header, wave_offset::kFmtId, "fmt ");
  WriteLittleEndian32(header + wave_offset::kFmtSize, kFormatChunkSize);
  WriteLittleEndian16(header + wave_offset::kAudioFormat, kLinearPcm);
  WriteLittleEndian16(header + wave_offset::kChannels, kMono);
  WriteLittleEndian32(header + wave_offset::kSampleRate, sampleRate);
  WriteLittleEndian32(header + wave_offset::kByteRate, sampleRate * kBytesPerFrame);
  WriteLittleEndian16(header + wave_offset::kBlockAlign, kBytesPerFrame);
  WriteLittleEndian16(header + wave_offset::kBitsPerSample, kBitsPerSample);
  PutId(header, wave_offset::kDataId, "data");
  WriteLittleEndian32(header + wave_offset::kDataSize, dataSize);
}

std::vector<std::uint8_t> MakeCanonicalWave(const std::vector<std::uint8_t>& samples,
                                            std::uint32_t sampleRate) {
  std::vector<std::uint8_t> file(kWaveHeaderSize + samples.size());
  WriteCanonicalWaveHeader(sampleRate, static_cast<std::uint32_t>(samples.size()), file.data());
  std::copy(samples.begin(), samples.end(), file.begin() + kWaveHeaderSize);
  return file;
}

}  // namespace tonebake::prep
