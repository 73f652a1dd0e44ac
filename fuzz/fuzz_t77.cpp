// Arbitrary bytes as the records of a T77 tape (the header is put first, so
// that every input reaches the reader). Whatever the tape, the reader gives
// files or a reason, and what it reads writes back to a tape that reads the
// same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "t77/t77_tape.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tonebake::t77;
  std::vector<std::uint8_t> tape = NewTape();
  tape.resize(kHeaderSize);
  tape.insert(tape.end(), data, data + size - size % 2);
  std::vector<TapeFile> files;
  std::string why;
  const ReadResult read = ReadTape(tape, files, why);
  FUZZ_CHECK(read == TapeRead || !why.empty());
  if (read != TapeRead) {
    return 0;
  }
  std::vector<std::uint8_t> again = NewTape();
  for (const TapeFile& file : files) {
    AppendFile(again, file);
  }
  std::vector<TapeFile> reread;
  FUZZ_CHECK(ReadTape(again, reread, why) == TapeRead);
  FUZZ_CHECK(reread.size() == files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    FUZZ_CHECK(reread[i].body == files[i].body);
  }
  return 0;
}
