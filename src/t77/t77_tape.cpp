#include "t77/t77_tape.h"

#include "fbasic/file_names.h"
#include "fbasic/machine_language.h"
#include "fm7pcm/pcm_image.h"

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
constexpr std::size_t kNameLength = fbasic::kNameLength;
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

// A stretch of records between markers and silences, and the bytes it
// decodes to. `lead` is where the markers and silences before it begin.
struct Run {
  std::size_t lead = 0;
  std::size_t begin = 0;
  std::size_t end = 0;
  std::vector<std::uint8_t> bytes;
};

// Half-cycles (true: long) paired into bits, bits framed into bytes wherever
// a 0 start bit and two 1 stop bits hold.
std::vector<std::uint8_t> FrameBytes(const std::vector<bool>& halves) {
  std::vector<bool> bits;
  for (std::size_t i = 0; i + 1 < halves.size();) {
    if (halves[i] == halves[i + 1]) {
      bits.push_back(halves[i]);
      i += 2;
    } else {
      ++i;  // a lone half-cycle: pair the next ones
    }
  }
  std::vector<std::uint8_t> bytes;
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
    bytes.push_back(byte);
    i += 11;
  }
  return bytes;
}

bool IsSeparator(std::uint16_t record) {
  return record == kMarker || record == kSilence;
}

// The runs of a tape: a level held over one record or more is one
// half-cycle. Runs that decode to nothing are joined, so that memory goes
// with what decodes, not with the number of records.
std::vector<Run> DecodeRuns(const std::vector<std::uint8_t>& tape) {
  std::vector<Run> runs;
  std::vector<bool> halves;  // true: long
  Run current;
  current.lead = current.begin = kHeaderSize;
  int level = -1;
  std::uint32_t held = 0;
  const auto close = [&](std::size_t end) {
    if (held > 0) {
      halves.push_back(held >= kShortLimit);
    }
    level = -1;
    held = 0;
    if (end > current.begin) {
      current.end = end;
      current.bytes = FrameBytes(halves);
      if (current.bytes.empty() && !runs.empty() && runs.back().bytes.empty()) {
        runs.back().end = end;
      } else {
        runs.push_back(std::move(current));
      }
    }
    halves.clear();
    current = Run();
  };
  bool betweenRuns = true;
  for (std::size_t at = kHeaderSize; at + 1 < tape.size(); at += 2) {
    const std::uint16_t record = RecordAt(tape, at);
    if (IsSeparator(record)) {
      if (!betweenRuns) {
        close(at);
        current.lead = at;
        betweenRuns = true;
      }
      current.begin = at + 2;
      continue;
    }
    betweenRuns = false;
    const int recordLevel = (record & kHigh) != 0 ? 1 : 0;
    if (recordLevel != level && held > 0) {
      halves.push_back(held >= kShortLimit);
      held = 0;
    }
    level = recordLevel;
    held += record & 0x7FFF;
  }
  if (!betweenRuns) {
    close(tape.size() - tape.size() % 2);
  }
  return runs;
}

struct Block {
  std::uint8_t type;
  std::vector<std::uint8_t> bytes;
  std::size_t begin;  // its place in the run's bytes, mark to checksum
  std::size_t end;
};

// The blocks of one run of bytes, up to the first that is cut short or
// whose checksum does not add up: false then, with why.
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
    blocks.push_back(
        {type,
         std::vector<std::uint8_t>(run.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                   run.begin() + static_cast<std::ptrdiff_t>(at + 4 + length)),
         at, at + 4 + length + 1});
    at += 4 + length;
  }
  return true;
}

// Where each file and each unread stretch lies, as the reader finds them.
struct Span {
  std::size_t begin;
  std::size_t end;
  int file;  // -1: unread
};

std::uint16_t Big16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

// Where the body of a machine-language file disagrees with its own
// framing, which is how a lost data block shows: an image's count against
// the samples it holds, or LOADM's blocks against the body's length. Empty
// when they agree, or when the body has no framing to check.
std::string FramingFault(const std::vector<std::uint8_t>& body) {
  PcmImageInfo info;
  if (ParsePcmImage(body.data(), body.size(), info)) {
    return "";
  }
  const std::size_t size = body.size();
  if (size >= kPcmImageOverhead && body[0] == 0 && body[3] == 0 && body[4] == 0 &&
      std::memcmp(body.data() + size - kPcmImageTrailerSize, kPcmImageTrailer,
                  kPcmImageTrailerSize) == 0) {
    return "its header counts " + std::to_string(Big16(body, pcm_image_offset::kCountHigh)) +
           " samples but it holds " + std::to_string(size - kPcmImageOverhead) +
           " (a data block is missing or foreign)";
  }
  if (size == 0 || body[0] != fbasic::kBlockFlag) {
    return "";
  }
  std::size_t at = 0;
  while (at < size && body[at] == fbasic::kBlockFlag) {
    if (at + fbasic::kBlockHeaderSize > size ||
        at + fbasic::kBlockHeaderSize + Big16(body, at + 1) > size) {
      return "a block of its LOADM framing runs past its end (a data block is missing)";
    }
    at += fbasic::kBlockHeaderSize + Big16(body, at + 1);
  }
  constexpr std::uint8_t kDiskEndMark = 0x1A;
  if (at + fbasic::kBlockHeaderSize > size) {
    return "its LOADM framing has no end record (a data block is missing)";
  }
  at += fbasic::kBlockHeaderSize;
  if (at < size && !(at + 1 == size && body[at] == kDiskEndMark)) {
    return "bytes follow its LOADM end record (a data block is missing or foreign)";
  }
  return "";
}

// Bytes of a run that are neither leader nor inside one of its blocks:
// another format's records sharing the run.
bool HasForeignBytes(const std::vector<std::uint8_t>& run, const std::vector<Block>& blocks) {
  std::size_t at = 0;
  const auto leaderUpTo = [&run, &at](std::size_t end) {
    for (; at < end; ++at) {
      if (run[at] != kLeaderByte) {
        return false;
      }
    }
    return true;
  };
  for (const Block& block : blocks) {
    if (!leaderUpTo(block.begin)) {
      return true;
    }
    at = block.end;
  }
  return !leaderUpTo(run.size());
}

// Follows the blocks of the runs through the files they make.
class FileFinder {
 public:
  explicit FileFinder(Tape& tape) : tape_(tape) {}

  void Take(const Run& run) {
    std::vector<Block> blocks;
    std::string why;
    const bool whole = FindBlocks(run.bytes, blocks, why);
    const bool openBefore = open_;
    const std::size_t unreadBefore = tape_.unread.size();
    const std::size_t filesBefore = tape_.files.size();
    bool stray = false;
    bool taken = false;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      const bool ours = TakeBlock(run, blocks[i], i == 0);
      stray = !ours || stray;
      taken = ours || taken;
    }
    // What lies inside a file's stretch stays a stretch of its own, never
    // joined with one before the file.
    const bool inFile = openBefore || taken || open_;
    if (!whole && open_) {
      Abandon(run.end, why);
    } else if (!whole) {
      Unreadable(run.begin, run.end, "", why, !inFile);
    } else if (stray || (blocks.empty() && !open_)) {
      Unreadable(run.begin, run.end, "", stray ? "a block outside any file" : "not an F-BASIC file",
                 !inFile);
    } else if (inFile && !OnlyADamagedFileHere(unreadBefore, filesBefore) &&
               HasForeignBytes(run.bytes, blocks)) {
      Unreadable(run.begin, run.end, "", "records of another kind inside a file's stretch", false);
    }
    lastEnd_ = run.end;
  }

  void Finish() {
    if (open_) {
      Abandon(lastEnd_, "the tape ends inside it");
    }
  }

  std::vector<Span>& spans() { return spans_; }

 private:
  // False for a block that belongs to no file.
  bool TakeBlock(const Run& run, const Block& block, bool firstInRun) {
    if (block.type == kHeaderBlock && block.bytes.size() == kHeaderBlockLength) {
      if (open_) {
        Abandon(firstInRun ? lastEnd_ : run.end, "it ends without its end block");
      }
      open_ = true;
      file_ = TapeFile();
      file_.name.assign(block.bytes.begin(), block.bytes.begin() + kNameLength);
      file_.name.erase(file_.name.find_last_not_of(' ') + 1);
      std::memcpy(file_.type, block.bytes.data() + kNameLength, sizeof file_.type);
      begin_ = run.lead;
      return true;
    }
    if (block.type == kDataBlock && open_) {
      file_.body.insert(file_.body.end(), block.bytes.begin(), block.bytes.end());
      return true;
    }
    if (block.type == kEndBlock && open_) {
      Close(run.end);
      return true;
    }
    // Blocks out of order (files interleaved, or a file whose header was
    // lost): the file just read may hold blocks that were not its own.
    if (!open_ && !spans_.empty() && spans_.back().file >= 0) {
      DamageLastFile("a block of no file follows it (its blocks may be another file's)");
    }
    return false;
  }

  // Whether the run ended a damaged file, whose stretch takes in the run and
  // its foreign bytes, and no other file is in it: none read whole since,
  // none still open.
  bool OnlyADamagedFileHere(std::size_t unreadBefore, std::size_t filesBefore) const {
    return !open_ && tape_.files.size() == filesBefore &&
           std::any_of(tape_.unread.begin() + static_cast<std::ptrdiff_t>(unreadBefore),
                       tape_.unread.end(),
                       [](const Unread& unread) { return !unread.name.empty(); });
  }

  void Close(std::size_t end) {
    open_ = false;
    if (const std::string fault = IsMachineLanguage(file_) ? FramingFault(file_.body) : "";
        !fault.empty()) {
      Unreadable(begin_, std::max(end, begin_), file_.name, fault, false);
      return;
    }
    spans_.push_back({begin_, end, static_cast<int>(tape_.files.size())});
    tape_.files.push_back(std::move(file_));
  }

  void DamageLastFile(const std::string& why) {
    Span& span = spans_.back();
    tape_.unread.push_back({span.begin, span.end, 0.0, tape_.files.back().name, why});
    tape_.files.pop_back();
    span.file = -1;
  }

  void Abandon(std::size_t end, const std::string& why) {
    Unreadable(begin_, std::max(end, begin_), file_.name, why, false);
    open_ = false;
  }

  // Joined with the stretch before it when asked and neither names a file.
  void Unreadable(std::size_t begin, std::size_t end, const std::string& name,
                  const std::string& why, bool join = true) {
    if (join && name.empty() && !spans_.empty() && spans_.back().file < 0 &&
        !tape_.unread.empty() && tape_.unread.back().name.empty() &&
        tape_.unread.back().end <= begin) {
      spans_.back().end = tape_.unread.back().end = end;
      return;
    }
    spans_.push_back({begin, end, -1});
    tape_.unread.push_back({begin, end, 0.0, name, why});
  }

  Tape& tape_;
  std::vector<Span> spans_;
  bool open_ = false;
  TapeFile file_;
  std::size_t begin_ = 0;
  std::size_t lastEnd_ = kHeaderSize;
};

// The index in `unread` of the damaged file that alone makes up `group`.
int DamagedFileAt(const Tape& tape, const Span& group) {
  if (group.file >= 0) {
    return -1;
  }
  for (std::size_t i = 0; i < tape.unread.size(); ++i) {
    const Unread& unread = tape.unread[i];
    if (unread.begin == group.begin && unread.end == group.end && !unread.name.empty()) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

// The pieces between and over the spans; spans that overlap share a piece
// that belongs to no file.
void CutIntoPieces(const std::vector<std::uint8_t>& bytes, std::vector<Span> spans, Tape& tape) {
  std::stable_sort(spans.begin(), spans.end(),
                   [](const Span& a, const Span& b) { return a.begin < b.begin; });
  const auto slice = [&bytes](std::size_t from, std::size_t to) {
    return std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(to));
  };
  std::size_t cursor = kHeaderSize;
  const std::size_t end = bytes.size() - bytes.size() % 2;
  for (std::size_t i = 0; i < spans.size();) {
    Span group = spans[i++];
    bool alone = true;
    while (i < spans.size() && spans[i].begin < group.end) {
      group.end = std::max(group.end, spans[i++].end);
      group.file = -1;
      alone = false;
    }
    if (cursor < group.begin) {
      tape.pieces.push_back({slice(cursor, group.begin), -1, -1});
    }
    tape.pieces.push_back(
        {slice(group.begin, group.end), group.file, alone ? DamagedFileAt(tape, group) : -1});
    cursor = group.end;
  }
  if (cursor < end) {
    tape.pieces.push_back({slice(cursor, end), -1, -1});
  }
}

// Playing time at each unread stretch's start.
void TimeUnread(const std::vector<std::uint8_t>& bytes, Tape& tape) {
  std::stable_sort(tape.unread.begin(), tape.unread.end(),
                   [](const Unread& a, const Unread& b) { return a.begin < b.begin; });
  std::uint64_t units = 0;
  std::size_t at = kHeaderSize;
  for (Unread& unread : tape.unread) {
    for (; at < unread.begin && at + 1 < bytes.size(); at += 2) {
      units += RecordAt(bytes, at) & 0x7FFF;
    }
    unread.seconds = static_cast<double>(units) * kUnitSeconds;
  }
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

ReadResult ReadWholeTape(const std::vector<std::uint8_t>& bytes, Tape& tape, std::string& why) {
  tape = Tape();
  if (bytes.size() < kHeaderSize || bytes.size() % 2 != 0 ||
      std::memcmp(bytes.data(), kHeader, kHeaderSize) != 0) {
    why = "not a T77 tape image (another header, or an odd length)";
    return NotATape;
  }
  FileFinder finder(tape);
  for (const Run& run : DecodeRuns(bytes)) {
    finder.Take(run);
  }
  finder.Finish();
  TimeUnread(bytes, tape);
  CutIntoPieces(bytes, finder.spans(), tape);
  return TapeRead;
}

ReadResult ReadTape(const std::vector<std::uint8_t>& bytes, std::vector<TapeFile>& files,
                    std::string& why) {
  Tape tape;
  const ReadResult read = ReadWholeTape(bytes, tape, why);
  files = std::move(tape.files);
  for (const Unread& unread : tape.unread) {
    if (!unread.name.empty() || unread.why != "not an F-BASIC file") {
      why = unread.name.empty() ? unread.why : unread.name + ": " + unread.why;
      files.clear();
      return TapeDamaged;
    }
  }
  return read;
}

std::vector<std::uint8_t> DecodedBytes(const std::vector<std::uint8_t>& tape) {
  std::vector<std::uint8_t> bytes;
  for (const Run& run : DecodeRuns(tape)) {
    bytes.insert(bytes.end(), run.bytes.begin(), run.bytes.end());
  }
  return bytes;
}

std::vector<std::uint8_t> TapeBytes(const Tape& tape) {
  std::vector<std::uint8_t> bytes(kHeader, kHeader + kHeaderSize);
  for (const Tape::Piece& piece : tape.pieces) {
    bytes.insert(bytes.end(), piece.records.begin(), piece.records.end());
  }
  return bytes;
}

namespace {

std::vector<std::uint8_t> FileRecords(const TapeFile& file) {
  std::vector<std::uint8_t> records;
  AppendFile(records, file);
  return records;
}

std::vector<Tape::Piece>::iterator PieceOf(Tape& tape, std::size_t index) {
  return std::find_if(tape.pieces.begin(), tape.pieces.end(), [index](const Tape::Piece& piece) {
    return piece.file == static_cast<int>(index);
  });
}

}  // namespace

bool ReplaceFile(Tape& tape, std::size_t index, const TapeFile& file) {
  const auto piece = PieceOf(tape, index);
  if (index >= tape.files.size() || piece == tape.pieces.end()) {
    return false;
  }
  piece->records = FileRecords(file);
  tape.files[index] = file;
  return true;
}

bool RemoveFile(Tape& tape, std::size_t index) {
  const auto piece = PieceOf(tape, index);
  if (index >= tape.files.size() || piece == tape.pieces.end()) {
    return false;
  }
  tape.pieces.erase(piece);
  tape.files.erase(tape.files.begin() + static_cast<std::ptrdiff_t>(index));
  for (Tape::Piece& other : tape.pieces) {
    other.file -= other.file > static_cast<int>(index) ? 1 : 0;
  }
  return true;
}

void InsertFile(Tape& tape, std::size_t index, const TapeFile& file) {
  index = std::min(index, tape.files.size());
  // Before the file that is at `index` now, or after the one before it.
  auto at = index == 0 ? tape.pieces.begin() : tape.pieces.end();
  if (index > 0 && index < tape.files.size() && PieceOf(tape, index) != tape.pieces.end()) {
    at = PieceOf(tape, index);
  } else if (index > 0 && index < tape.files.size() &&
             PieceOf(tape, index - 1) != tape.pieces.end()) {
    at = PieceOf(tape, index - 1) + 1;
  }
  for (Tape::Piece& other : tape.pieces) {
    other.file += other.file >= static_cast<int>(index) ? 1 : 0;
  }
  tape.pieces.insert(at, {FileRecords(file), static_cast<int>(index), -1});
  tape.files.insert(tape.files.begin() + static_cast<std::ptrdiff_t>(index), file);
}

void AddFileAtEnd(Tape& tape, const TapeFile& file) {
  tape.pieces.push_back({FileRecords(file), static_cast<int>(tape.files.size()), -1});
  tape.files.push_back(file);
}

namespace {

std::vector<Tape::Piece>::iterator PieceOfDamaged(Tape& tape, std::size_t unread) {
  return std::find_if(tape.pieces.begin(), tape.pieces.end(), [unread](const Tape::Piece& piece) {
    return piece.unread == static_cast<int>(unread);
  });
}

void ForgetDamaged(Tape& tape, std::size_t unread) {
  tape.unread.erase(tape.unread.begin() + static_cast<std::ptrdiff_t>(unread));
  for (Tape::Piece& piece : tape.pieces) {
    piece.unread -= piece.unread > static_cast<int>(unread) ? 1 : 0;
  }
}

}  // namespace

bool RemoveDamaged(Tape& tape, std::size_t unread) {
  const auto piece = PieceOfDamaged(tape, unread);
  if (piece == tape.pieces.end()) {
    return false;
  }
  tape.pieces.erase(piece);
  ForgetDamaged(tape, unread);
  return true;
}

bool ReplaceDamaged(Tape& tape, std::size_t unread, const TapeFile& file) {
  const auto piece = PieceOfDamaged(tape, unread);
  if (piece == tape.pieces.end()) {
    return false;
  }
  // The new file takes the damaged one's place among the files.
  const auto index = static_cast<int>(std::count_if(
      tape.pieces.begin(), piece, [](const Tape::Piece& other) { return other.file >= 0; }));
  for (Tape::Piece& other : tape.pieces) {
    other.file += other.file >= index ? 1 : 0;
  }
  piece->records = FileRecords(file);
  piece->file = index;
  piece->unread = -1;
  tape.files.insert(tape.files.begin() + index, file);
  ForgetDamaged(tape, unread);
  return true;
}

namespace {
constexpr double kSilenceSeconds = 2.0;
constexpr double kEndSeconds = 0.5;
}  // namespace

std::uint64_t RenderedLength(const std::vector<std::uint8_t>& tape, std::uint32_t rate) {
  std::uint64_t units = 0;
  std::uint64_t silences = 0;
  for (std::size_t at = kHeaderSize; at + 1 < tape.size(); at += 2) {
    const std::uint16_t record = RecordAt(tape, at);
    silences += record == kSilence ? 1 : 0;
    units += record == kSilence ? 0 : record & 0x7FFF;
  }
  return static_cast<std::uint64_t>(
      std::llround((static_cast<double>(silences) * kSilenceSeconds +
                    static_cast<double>(units) * kUnitSeconds + kEndSeconds) *
                   rate));
}

std::uint64_t RenderTape(const std::vector<std::uint8_t>& tape, std::uint32_t rate,
                         const SampleSink& sink) {
  constexpr std::uint8_t kHighSample = 0xF0;
  constexpr std::uint8_t kLowSample = 0x10;
  constexpr std::uint8_t kSilentSample = 0x80;
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
