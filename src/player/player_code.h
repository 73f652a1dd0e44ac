#ifndef TONEBAKE_PLAYER_PLAYER_CODE_H
#define TONEBAKE_PLAYER_PLAYER_CODE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "player/volume_table.h"

// The 6809 player of FM-7 PCM images: machine code that plays samples
// through the PSG's three volume registers, kept beside its listing so that
// every byte and cycle can be checked by hand.
namespace tonebake::player {

// One line of the listing: where it is, its bytes, the cycles the data
// sheet gives it (0 for data), and the instruction.
struct ListingLine {
  std::uint16_t offset;
  std::uint8_t length;
  std::uint8_t bytes[5];
  std::uint8_t cycles;
  const char* text;
};
extern const ListingLine kPlayerListing[];
extern const std::size_t kPlayerListingLines;

// Where PLAY loads it: above BASIC's CLEAR ,&H27FF and below the sound at
// &H3000. The code runs at any address.
constexpr std::uint16_t kPlayerLoadAddress = 0x2800;

// The parameter block after the opening branch, both big-endian: the
// address of the wait byte (the samples follow it) and the sample count.
namespace player_offset {
constexpr std::uint16_t kBase = 2;
constexpr std::uint16_t kCount = 4;
constexpr std::uint16_t kLoop = 0x4F;    // the sample loop: 144 + 5w cycles a turn
constexpr std::uint16_t kTables = 0xCF;  // the volume tables, to the end
}  // namespace player_offset

constexpr std::uint16_t kPlayerSize = player_offset::kTables + kVolumeTableSize;

// The code with the profile's volume tables: what is loaded at the load
// address.
std::vector<std::uint8_t> PlayerBytes(PsgProfile profile);

// A machine-language file as LOADM reads it: 0x00, the length and the load
// address, the bytes, then 0xFF 0x00 0x00 and the address EXEC starts at
// (all big-endian). An FM-7 PCM image is one too, loaded at 0.
std::vector<std::uint8_t> MachineLanguageFile(const std::vector<std::uint8_t>& bytes,
                                              std::uint16_t loadAddress, std::uint16_t execAddress);

}  // namespace tonebake::player

#endif  // TONEBAKE_PLAYER_PLAYER_CODE_H
