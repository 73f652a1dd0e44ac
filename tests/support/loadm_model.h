#ifndef TONEBAKE_TESTS_SUPPORT_LOADM_MODEL_H
#define TONEBAKE_TESTS_SUPPORT_LOADM_MODEL_H

#include <cstdint>
#include <utility>
#include <vector>

// A model of F-BASIC's LOADM, for tests, on the bytes of a machine-language
// file as LOADM reads them. It assumes the rule of Microsoft's 6809 Disk
// BASIC, from which F-BASIC was developed (not checked on a real FM-7):
// LOADM reads a flag byte and four more; a flag of 00 starts a block (a
// length and a load address, high byte first, then that many bytes, stored
// at the address plus LOADM's offset), and any other flag ends the load,
// the last two of the four being the exec address. A file that runs out
// first ends in an error, with what was stored left in place.
namespace tonebake::test {

struct LoadmResult {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> writes;  // [from, to), offset added
  bool ended = false;      // an end mark was read; false: an error
  std::uint16_t exec = 0;  // the exec address an end mark gave
};

inline LoadmResult Loadm(const std::vector<std::uint8_t>& file, std::uint16_t offset) {
  LoadmResult result;
  std::size_t at = 0;
  while (file.size() - at >= 5) {
    const std::uint8_t flag = file[at];
    const unsigned first = file[at + 1] << 8 | file[at + 2];
    const unsigned second = file[at + 3] << 8 | file[at + 4];
    at += 5;
    if (flag != 0x00) {
      result.ended = true;
      result.exec = static_cast<std::uint16_t>(second);
      return result;
    }
    const std::uint32_t address = (second + offset) & 0xFFFF;
    const std::size_t stored = std::min<std::size_t>(first, file.size() - at);
    result.writes.push_back({address, address + static_cast<std::uint32_t>(stored)});
    at += stored;
  }
  return result;
}

// Whether every write of `result` lies in [from, to).
inline bool WritesOnlyIn(const LoadmResult& result, std::uint32_t from, std::uint32_t to) {
  for (const auto& write : result.writes) {
    if (write.second > write.first && (write.first < from || write.second > to)) {
      return false;
    }
  }
  return true;
}

}  // namespace tonebake::test

#endif  // TONEBAKE_TESTS_SUPPORT_LOADM_MODEL_H
