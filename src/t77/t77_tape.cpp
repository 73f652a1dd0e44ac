#include "t77/t77_tape.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tonebake::t77 {
namespace {

constexpr char kHeader[] = "XM7 TAPE IMAGE 0";
constexpr std::uint16_t kMarker = 0x0000;
constexpr std::uint16_t kSilence = 0x7FFF;
constexpr std::uint16_t kHigh = 0x8000;
constexpr std::uint16_t kShortHalf = 0x1A;  // a 0 bit: one short cycle
constexpr std::uint16_t kLongHalf = 0x30;   // a 1 bit: one long cycle
constexpr std::uint16_t kShortLimit = 37;   // half-cycles below are short

// Blocks: 01 3C, the block type, the length, the bytes, the checksum.
constexpr std::uint8_t kBlockMark[2] = {0x01, 0x3C};
constexpr std::uint8_t kHeaderBlock = 0x00;
constexpr std::uint8_t kDataBlock = 0x01;
constexpr std::uint8_t kEndBlock = 0xFF;
constexpr std::size_t kHeaderBlockLength = 20;
constexpr std::size_t kNameLength = 8;
constexpr std::size_t kLargestBlock = 255;
constexpr std::uint8_t kLeaderByte = 0xFF;

void PutRecord(std::vector<std::uint8_t>& tape, std::uint16_t record) {
  tape.push_back(static_cast<std::uint8_t>(record >> 8));
  tape.push_back(static_cast<std::uint8_t>(record));
}

void PutBit(std::vector<std::uint8_t>& tape, bool one) {
  const std::uint16_t half = one ? kLongHalf : kShortHalf;
  PutRecord(tape, kHigh | half);
  PutRecord(tape, half);
}

void PutByte(std::vector<std::uint8_t>& tape, std::uint8_t byte) {
  PutBit(tape, false);
  for (int bit = 0; bit < 8; ++bit) {
    PutBit(tape, (byte >> bit & 1) != 0);
  }
  PutBit(tape, true);
  PutBit(tape, true);
}

void PutBytes(std::vector<std::uint8_t>& tape, std::uint8_t byte, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    PutByte(tape, byte);
  }
}

void PutBlock(std::vector<std::uint8_t>& tape, std::uint8_t type, const std::uint8_t* bytes,
              std::size_t length) {
  std::uint32_t sum = type + static_cast<std::uint32_t>(length);
  PutByte(tape, kBlockMark[0]);
  PutByte(tape, kBlockMark[1]);
  PutByte(tape, type);
  PutByte(tape, static_cast<std::uint8_t>(length));
  for (std::size_t i = 0; i < length; ++i) {
    PutByte(tape, bytes[i]);
    sum += bytes[i];
  }
  PutByte(tape, static_cast<std::uint8_t>(sum));
}

std::uint16_t RecordAt(const std::vector<std::uint8_t>& tape, std::size_t at) {
  return static_cast<std::uint16_t>(tape[at] << 8 | tape[at + 1]);
}

// The bytes of a tape, a run for each stretch between silences: half-cycles
// (a level held over one record or more) paired into bits, bits framed into
// bytes wherever a 0 start bit and two 1 stop bits hold.
std::vector<std::vector<std::uint8_t>> DecodeBytes(const std::vector<std::uint8_t>& tape) {
  std::vector<std::vector<std::uint8_t>> runs(1);
  std::vector<bool> halves;  // true: long
  const auto frame = [&runs, &halves]() {
    std::vector<bool> bits;
    for (std::size_t i = 0; i + 1 < halves.size();) {
      if (halves[i] == halves[i + 1]) {
        bits.push_back(halves[i]);
        i += 2;
      } else {
        ++i;  // a lone half-cycle: pair the next ones
      }
    }
    for (std::size_t i = 0; i + 11 <= bits.size();) {
      if (bits[i] || !bits[i + 9] || !bits[i + 10]) {
        ++i;
        continue;
      }
      std::uint8_t byte = 0;
      for (int bit = 0; bit < 8; ++bit) {
        byte = static_cast<std::uint8_t>(
            byte | (bits[i + 1 + static_cast<std::size_t>(bit)] ? 1 << bit : 0));
      }
      runs.back().push_back(byte);
      i += 11;
    }
    halves.clear();
    runs.emplace_back();
  };
  int level = -1;
  std::uint32_t held = 0;
  for (std::size_t at = kHeaderSize; at + 1 < tape.size(); at += 2) {
    const std::uint16_t record = RecordAt(tape, at);
    if (record == kMarker || record == kSilence) {
      if (held > 0) {
        halves.push_back(held >= kShortLimit);
      }
      level = -1;
      held = 0;
      frame();
      continue;
    }
    const int recordLevel = (record & kHigh) != 0 ? 1 : 0;
    if (recordLevel != level && held > 0) {
      halves.push_back(held >= kShortLimit);
      held = 0;
    }
    level = recordLevel;
    held += record & 0x7FFF;
  }
  if (held > 0) {
    halves.push_back(held >= kShortLimit);
  }
  frame();
  return runs;
}

struct Block {
  std::uint8_t type;
  std::vector<std::uint8_t> bytes;
};

// The blocks of one run of bytes. False when a block is cut short or its
// checksum does not add up.
bool FindBlocks(const std::vector<std::uint8_t>& run, std::vector<Block>& blocks,
                std::string& why) {
  for (std::size_t at = 0; at + 1 < run.size(); ++at) {
    if (run[at] != kBlockMark[0] || run[at + 1] != kBlockMark[1]) {
      continue;
    }
    if (at + 4 > run.size()) {
      why = "a block is cut short";
      return false;
    }
    const std::uint8_t type = run[at + 2];
    const std::size_t length = run[at + 3];
    if (at + 4 + length + 1 > run.size()) {
      why = "a block is cut short";
      return false;
    }
    std::uint32_t sum = type + static_cast<std::uint32_t>(length);
    for (std::size_t i = 0; i < length; ++i) {
      sum += run[at + 4 + i];
    }
    if ((sum & 0xFF) != run[at + 4 + length]) {
      why = "a block's checksum does not add up";
      return false;
    }
    blocks.push_back({type, std::vector<std::uint8_t>(
                                run.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                run.begin() + static_cast<std::ptrdiff_t>(at + 4 + length))});
    at += 4 + length;
  }
  return true;
}

}  // namespace

TapeFile MachineLanguageFile(const std::string& name, const std::vector<std::uint8_t>& image) {
  TapeFile file;
  file.name = name;
  std::memcpy(file.type, kMachineLanguageType, sizeof file.type);
  file.body = image;
  return file;
}

TapeFile AsciiBasicFile(const std::string& name, const std::string& text) {
  TapeFile file;
  file.name = name;
  std::memcpy(file.type, kAsciiBasicType, sizeof file.type);
  file.body.assign(text.begin(), text.end());
  return file;
}

bool IsMachineLanguage(const TapeFile& file) {
  return std::memcmp(file.type, kMachineLanguageType, sizeof file.type) == 0;
}

std::vector<std::uint8_t> NewTape() {
  std::vector<std::uint8_t> tape(kHeader, kHeader + kHeaderSize);
  PutRecord(tape, kMarker);
  PutRecord(tape, kSilence);
  return tape;
}

void AppendFile(std::vector<std::uint8_t>& tape, const TapeFile& file) {
  const bool ascii = !IsMachineLanguage(file) && file.type[1] == 0xFF;
  PutRecord(tape, kMarker);
  PutRecord(tape, kSilence);
  PutBytes(tape, kLeaderByte, 256);
  std::uint8_t header[kHeaderBlockLength] = {};
  std::memset(header, ' ', kNameLength);
  std::memcpy(header, file.name.data(), std::min(file.name.size(), kNameLength));
  std::memcpy(header + kNameLength, file.type, sizeof file.type);
  PutBlock(tape, kHeaderBlock, header, sizeof header);
  PutBytes(tape, kLeaderByte, 259);
  for (std::size_t at = 0; at < file.body.size(); at += kLargestBlock) {
    const std::size_t length = std::min(kLargestBlock, file.body.size() - at);
    PutBlock(tape, kDataBlock, file.body.data() + at, length);
    PutBytes(tape, kLeaderByte, ascii ? 259 : 20);
  }
  PutBlock(tape, kEndBlock, nullptr, 0);
  PutBytes(tape, kLeaderByte, 4);
}

ReadResult ReadTape(const std::vector<std::uint8_t>& tape, std::vector<TapeFile>& files,
                    std::string& why) {
  files.clear();
  if (tape.size() < kHeaderSize || tape.size() % 2 != 0 ||
      std::memcmp(tape.data(), kHeader, kHeaderSize) != 0) {
    why = "not a T77 tape image (another header, or an odd length)";
    return NotATape;
  }
  std::vector<Block> blocks;
  for (const std::vector<std::uint8_t>& run : DecodeBytes(tape)) {
    if (!FindBlocks(run, blocks, why)) {
      return TapeDamaged;
    }
  }
  bool open = false;
  for (const Block& block : blocks) {
    if (block.type == kHeaderBlock && block.bytes.size() == kHeaderBlockLength) {
      if (open) {
        why = "a file ends without its end block";
        return TapeDamaged;
      }
      TapeFile file;
      file.name.assign(block.bytes.begin(), block.bytes.begin() + kNameLength);
      file.name.erase(file.name.find_last_not_of(' ') + 1);
      std::memcpy(file.type, block.bytes.data() + kNameLength, sizeof file.type);
      files.push_back(file);
      open = true;
    } else if (block.type == kDataBlock && open) {
      files.back().body.insert(files.back().body.end(), block.bytes.begin(), block.bytes.end());
    } else if (block.type == kEndBlock && open) {
      open = false;
    } else {
      why = "a block outside any file";
      return TapeDamaged;
    }
  }
  if (open) {
    why = "the tape ends inside a file";
    return TapeDamaged;
  }
  return TapeRead;
}

std::uint64_t RenderTape(const std::vector<std::uint8_t>& tape, std::uint32_t rate,
                         const SampleSink& sink) {
  constexpr std::uint8_t kHighSample = 0xF0;
  constexpr std::uint8_t kLowSample = 0x10;
  constexpr std::uint8_t kSilentSample = 0x80;
  constexpr double kSilenceSeconds = 2.0;
  constexpr double kEndSeconds = 0.5;
  std::vector<std::uint8_t> block;
  block.reserve(1 << 16);
  std::uint64_t written = 0;
  bool stopped = false;
  // Fills up to the sample where `seconds` from the start falls.
  const auto fillTo = [&](double seconds, std::uint8_t value) {
    const auto until = static_cast<std::uint64_t>(std::llround(seconds * rate));
    while (written < until && !stopped) {
      block.push_back(value);
      ++written;
      if (block.size() == block.capacity()) {
        stopped = !sink(block.data(), block.size());
        block.clear();
      }
    }
  };
  std::uint64_t units = 0;
  double silences = 0;
  for (std::size_t at = kHeaderSize; at + 1 < tape.size() && !stopped; at += 2) {
    const std::uint16_t record = RecordAt(tape, at);
    if (record == kMarker) {
      continue;
    }
    if (record == kSilence) {
      const double start = silences + static_cast<double>(units) * kUnitSeconds;
      silences += kSilenceSeconds;
      fillTo(start + kSilenceSeconds, kSilentSample);
      continue;
    }
    units += record & 0x7FFF;
    fillTo(silences + static_cast<double>(units) * kUnitSeconds,
           (record & kHigh) != 0 ? kHighSample : kLowSample);
  }
  fillTo(silences + static_cast<double>(units) * kUnitSeconds + kEndSeconds, kSilentSample);
  if (!block.empty() && !stopped) {
    sink(block.data(), block.size());
  }
  return written;
}

}  // namespace tonebake::t77
