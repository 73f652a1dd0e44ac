#ifndef TONEBAKE_FBASIC_FILE_TYPES_H
#define TONEBAKE_FBASIC_FILE_TYPES_H

#include <cstdint>

// F-BASIC's file types, and the flag of a file kept as ASCII text: the
// bytes a disk's directory entry and a tape's header block hold.
namespace tonebake::fbasic {

enum FileType : std::uint8_t { BasicProgram = 0, DataFile = 1, MachineLanguage = 2 };

constexpr std::uint8_t kAsciiFlag = 0xFF;
constexpr std::uint8_t kBinaryFlag = 0x00;

}  // namespace tonebake::fbasic

#endif  // TONEBAKE_FBASIC_FILE_TYPES_H
