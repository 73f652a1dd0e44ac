// Arbitrary bytes as the records of a T77 tape (the header is put first, so
// that every input reaches the reader). Whatever the tape, the reader gives
// files or a reason, its pieces put back together are the tape byte for
// byte, and a change to one file (its first byte picks which) leaves every
// other piece as it was and reads back as made.
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
  Tape again;
  FUZZ_CHECK(ReadWholeTape(TapeBytes(tape), again, why) == TapeRead);
  FUZZ_CHECK(again.files.size() >= tape.files.size());
  return 0;
}
