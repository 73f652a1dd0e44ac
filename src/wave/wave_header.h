#ifndef TONEBAKE_WAVE_WAVE_HEADER_H
#define TONEBAKE_WAVE_WAVE_HEADER_H

#include <cstdint>

namespace tonebake {

// Offsets of the fields of the canonical 44-byte WAVE header. Every field is
// read at its fixed offset; chunks are never searched for.
namespace wave_offset {
constexpr std::uint32_t kRiffId = 0;
constexpr std::uint32_t kRiffSize = 4;
constexpr std::uint32_t kWaveId = 8;
constexpr std::uint32_t kFmtId = 12;
constexpr std::uint32_t kFmtSize = 16;
constexpr std::uint32_t kAudioFormat = 20;
constexpr std::uint32_t kChannels = 22;
constexpr std::uint32_t kSampleRate = 24;
constexpr std::uint32_t kByteRate = 28;
constexpr std::uint32_t kBlockAlign = 32;
constexpr std::uint32_t kBitsPerSample = 34;
constexpr std::uint32_t kDataId = 36;
constexpr std::uint32_t kDataSize = 40;
constexpr std::uint32_t kSamples = 44;
}  // namespace wave_offset

constexpr std::uint32_t kWaveHeaderSize = wave_offset::kSamples;

// The field values of a file in the one layout tonebake reads, which is also
// the layout tonebake-prep writes.
namespace wave_value {
constexpr std::uint32_t kIdLength = 4;
constexpr const char* kRiffId = "RIFF";
constexpr const char* kWaveId = "WAVE";
constexpr const char* kFmtId = "fmt ";
constexpr const char* kDataId = "data";
constexpr std::uint16_t kLinearPcm = 1;
constexpr std::uint16_t kMono = 1;
constexpr std::uint16_t kBitsPerSample = 8;
}  // namespace wave_value
// riffSize counts everything after the "RIFF" id and the size field itself.
constexpr std::uint32_t kRiffPreambleSize = 8;

// Findings of the header check. The values never change, so that a code
// seen in a log or a test means the same finding in every version.
enum HeaderCheck : std::int32_t {
  HeaderOk = 0,
  SizeMismatch = 0x101,
  NoRiffId = 0x102,
  NoWaveId = 0x103,
  NoFmtId = 0x104,
  FormatNotPcm = 0x105,
  ChannelsNotOne = 0x106,
  BitsNotEight = 0x107,
  // The data size is negative or claims bytes beyond the end of the file.
  DataOutsideFile = 0x108,
  // Bytes 36-39 are not "data": another chunk (LIST, a longer "fmt ") comes
  // first, and what follows is not samples.
  NoDataId = 0x109,
};

// The sample bytes of a checked file: a view into the caller's buffer.
struct WaveSamples {
  const std::uint8_t* bytes = nullptr;
  std::uint32_t count = 0;
};

// Judges a whole loaded file. Once the length matches riffSize + 8, all six
// field tests run in order and the last one that fails decides the code, so a
// wrong sample width is reported whatever else is wrong. A file too short to
// hold the header is SizeMismatch; nothing outside [bytes, bytes + length) is
// ever read.
HeaderCheck CheckWaveHeader(const std::uint8_t* bytes, std::uint32_t length);

// Locates the samples of a file that passed CheckWaveHeader. dataSize is only
// a claim: a negative size, or one that runs past the end of the file, is
// DataOutsideFile and leaves `samples` empty.
HeaderCheck LocateSamples(const std::uint8_t* bytes, std::uint32_t length, WaveSamples& samples);

// Whether the bytes begin as a RIFF WAVE file does ("RIFF", a size,
// "WAVE"), whatever follows.
bool StartsAsRiffWave(const std::uint8_t* bytes, std::uint32_t length);

// The sample rate field. Requires length >= kWaveHeaderSize.
std::uint32_t ReadSampleRate(const std::uint8_t* bytes);

}  // namespace tonebake

#endif  // TONEBAKE_WAVE_WAVE_HEADER_H
