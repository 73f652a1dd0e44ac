// Arbitrary bytes as the records of a T77 tape (the header is put first, so
// that every input reaches the reader). Whatever the tape, the reader gives
// files or a reason, its pieces put back together are the tape byte for
// byte, and a change to one file (its first byte picks which) leaves every
// other piece as it was, takes away nothing but leader and that file's own
// blocks, and reads back as made.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "t77/t77_tape.h"

namespace {

using namespace tonebake::t77;

// Every piece but the one of file `index` (or none) is unchanged, in order.
bool OthersKept(const Tape& before, const Tape& after, int index) {
  std::vector<std::vector<std::uint8_t>> kept;
  for (const Tape::Piece& piece : before.pieces) {
    if (piece.file != index) {
      kept.push_back(piece.records);
    }
  }
  std::size_t next = 0;
  for (const Tape::Piece& piece : after.pieces) {
    if (next < kept.size() && piece.records == kept[next]) {
      ++next;
    }
  }
  return next == kept.size();
}

// Whether the records decode to leader (FF) and the blocks of `file` alone,
// in order: its header, its data, its end; read here from the block
// layout (01 3C, type, length, bytes, checksum), apart from the reader.
bool OnlyLeaderAndBlocksOf(const std::vector<std::uint8_t>& records, const TapeFile& file) {
  std::vector<std::uint8_t> tape = NewTape();
  tape.resize(kHeaderSize);
  tape.insert(tape.end(), records.begin(), records.end());
  const std::vector<std::uint8_t> bytes = DecodedBytes(tape);
  std::vector<std::uint8_t> body;
  int stage = 0;  // 0 before the header, 1 in the data, 2 after the end
  for (std::size_t at = 0; at < bytes.size();) {
    if (bytes[at] == 0xFF) {
      ++at;
      continue;
    }
    if (at + 4 > bytes.size() || bytes[at] != 0x01 || bytes[at + 1] != 0x3C ||
        at + 5 + bytes[at + 3] > bytes.size()) {
      return false;
    }
    const std::uint8_t type = bytes[at + 2];
    const std::size_t length = bytes[at + 3];
    const auto data = bytes.begin() + static_cast<std::ptrdiff_t>(at + 4);
    if (type == 0x00 && stage == 0 && length == 20) {
      const std::string name(data, data + 8);
      stage = name.substr(0, name.find_last_not_of(' ') + 1) == file.name ? 1 : 3;
    } else if (type == 0x01 && stage == 1) {
      body.insert(body.end(), data, data + static_cast<std::ptrdiff_t>(length));
    } else if (type == 0xFF && stage == 1) {
      stage = 2;
    } else {
      return false;
    }
    at += 5 + length;
  }
  return stage == 2 && body == file.body;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes = NewTape();
  bytes.resize(kHeaderSize);
  bytes.insert(bytes.end(), data, data + size - size % 2);
  Tape tape;
  std::string why;
  const ReadResult read = ReadWholeTape(bytes, tape, why);
  FUZZ_CHECK(read == TapeRead);
  FUZZ_CHECK(TapeBytes(tape) == bytes);
  if (tape.files.empty()) {
    return 0;
  }
  const std::size_t index = (size > 0 ? data[0] : 0) % tape.files.size();
  const Tape before = tape;
  TapeFile changed = MachineLanguageFile("NEW", {0x01, 0x02, 0x03});
  const bool removing = size > 1 && data[1] % 2 == 0;
  if (!(removing ? RemoveFile(tape, index) : ReplaceFile(tape, index, changed))) {
    FUZZ_CHECK(TapeBytes(tape) == bytes);  // refused: nothing changed
    return 0;
  }
  FUZZ_CHECK(OthersKept(before, tape, static_cast<int>(index)));
  for (const Tape::Piece& piece : before.pieces) {
    if (piece.file == static_cast<int>(index)) {
      FUZZ_CHECK(OnlyLeaderAndBlocksOf(piece.records, before.files[index]));
    }
  }
  Tape again;
  FUZZ_CHECK(ReadWholeTape(TapeBytes(tape), again, why) == TapeRead);
  FUZZ_CHECK(again.files.size() >= tape.files.size());
  return 0;
}
