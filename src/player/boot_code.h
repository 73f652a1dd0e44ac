#ifndef TONEBAKE_PLAYER_BOOT_CODE_H
#define TONEBAKE_PLAYER_BOOT_CODE_H

#include <cstddef>
#include <cstdint>
#include <vector>

// tonebake's boot program: a disk that plays its sounds when the FM-7 is
// switched on with it in drive 0, without F-BASIC. Kept beside its listing,
// like the player.
//
// The boot ROM reads the boot sector (cylinder 0, head 0, sector 1) into
// &H0100 and runs it (other modes are said to use &H0300: the boot sector
// runs at any address). It reads the second part from cylinder 0, head 1,
// sectors 1 to 3, which an F-BASIC data disk leaves out of its FAT, into
// &H1000, and that part finds PLAYER and the sounds through the disk's own
// FAT and directory, loads them where PLAY's LOADMs do, and plays each in
// directory order. Every sector is read through the boot ROM's DREAD.
namespace tonebake::player {

// One line of a listing: where it is, its bytes, and the instruction.
struct BootLine {
  std::uint16_t offset;
  std::uint8_t length;
  std::uint8_t bytes[8];
  const char* text;
};
extern const BootLine kBootSectorListing[];
extern const std::size_t kBootSectorLines;
extern const BootLine kBootSecondPartListing[];
extern const std::size_t kBootSecondPartLines;

constexpr std::uint32_t kBootSectorBytes = 256;
// Where the second part lies and runs.
constexpr std::uint32_t kSecondPartHead = 1;     // cylinder 0
constexpr std::uint32_t kSecondPartSectors = 3;  // from sector 1
constexpr std::uint16_t kSecondPartAddress = 0x1000;

// The boot sector, and the second part's sectors one after another: the
// listings, each padded with 0xFF to whole sectors.
std::vector<std::uint8_t> BootSectorBytes();
std::vector<std::uint8_t> BootSecondPartBytes();

}  // namespace tonebake::player

#endif  // TONEBAKE_PLAYER_BOOT_CODE_H
