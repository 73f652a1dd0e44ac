#ifndef TONEBAKE_FBASIC_MACHINE_LANGUAGE_H
#define TONEBAKE_FBASIC_MACHINE_LANGUAGE_H

#include <cstddef>
#include <cstdint>
#include <vector>

// A machine-language file as LOADM reads it, the same on disk and on tape:
// blocks of 0x00, a length and a load address, and the bytes; then 0xFF
// 0x00 0x00 and the address EXEC starts at (numbers big-endian). An FM-7
// PCM image has this framing too, loaded at 0.
namespace tonebake::fbasic {

constexpr std::size_t kBlockHeaderSize = 5;
constexpr std::uint8_t kBlockFlag = 0x00;
constexpr std::uint8_t kEndFlag = 0xFF;

// One block holding `bytes`, loaded at `loadAddress`, and the end mark.
std::vector<std::uint8_t> MachineLanguageFile(const std::vector<std::uint8_t>& bytes,
                                              std::uint16_t loadAddress, std::uint16_t execAddress);

// The first block of `file`, when it is whole: its length, load address
// and where its bytes begin.
struct Block {
  std::uint16_t length = 0;
  std::uint16_t address = 0;
  std::size_t data = 0;
};
bool FirstBlock(const std::vector<std::uint8_t>& file, Block& block);

}  // namespace tonebake::fbasic

#endif  // TONEBAKE_FBASIC_MACHINE_LANGUAGE_H
