#ifndef TONEBAKE_PLAYER_PLAYER_CODE_H
#define TONEBAKE_PLAYER_PLAYER_CODE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fbasic/play_program.h"
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

// The memory PLAY uses, the same under Disk BASIC and ROM BASIC. Disk
// BASIC's boot sector loads &H6E00-&H7FFF (its disk code from &H7000, and
// what lies below it is not known to be free), and Fujitsu's system-disk
// utilities load their machine code above CLEAR ,&H1FFF: so BASIC keeps
// everything below &H2000, PLAYER is loaded at &H2000, and each sound right
// above it, up to &H6DFF. Nothing is ever loaded at &H6E00 or above. The
// player's code runs at any address.
constexpr std::uint16_t kPlayerLoadAddress = 0x2000;
constexpr std::uint16_t kBasicTop = kPlayerLoadAddress - 1;  // CLEAR ,&H1FFF
constexpr std::uint16_t kSoundRoomEnd = 0x6E00;              // the first byte never written

// The parameter block after the opening branch, both big-endian: the
// address of the wait byte (the samples follow it) and the sample count.
namespace player_offset {
constexpr std::uint16_t kBase = 2;
constexpr std::uint16_t kCount = 4;
constexpr std::uint16_t kLoop = 0x4F;    // the sample loop: 144 + 5w cycles a turn
constexpr std::uint16_t kTables = 0xCF;  // the volume tables, to the end
}  // namespace player_offset

constexpr std::uint16_t kPlayerSize = player_offset::kTables + kVolumeTableSize;

// The effective clock of the FM-7's main 6809 that the wait table fits.
constexpr double kFm7ClockHz = 1798660.0;

// Where PLAY loads a sound (LOADM "NAME",kSoundAddress: the image's load
// address is 0), and how many bytes fit there before &H6E00: LOADM loads an
// image's count bytes, the wait byte and count - 1 samples, so this is also
// the largest count PLAY lists.
constexpr std::uint16_t kSoundAddress = kPlayerLoadAddress + kPlayerSize;
constexpr std::uint32_t kSoundRoom = kSoundRoomEnd - kSoundAddress;

// The code with the profile's volume tables, or with `table`: what is
// loaded at the load address.
std::vector<std::uint8_t> PlayerBytes(PsgProfile profile);
std::vector<std::uint8_t> PlayerBytes(const VolumeTable& table);

// Whether `file` is tonebake's PLAYER: a machine-language file whose first
// block is the player, with its code byte for byte and volume tables this
// or an earlier version made (the load address may be another version's).
// Other tables make it a user's file.
bool IsTonebakePlayer(const std::vector<std::uint8_t>& file);

// The tables of tonebake's PLAYER `file` and the curve they were made for,
// when they are this version's or an earlier one's. The sounds beside it
// were made for them, so they stay.
struct KnownTables {
  PsgProfile profile = PsgProfile::Fm7;
  VolumeTable table{};
};
bool PlayerTables(const std::vector<std::uint8_t>& file, KnownTables& known);

// For tonebake's PLAYER `file`, of this version or an earlier one (loaded
// elsewhere, say): this version's code, loaded where this version loads
// it, with the same volume tables. False when its tables are none this or
// an earlier version makes.
bool CurrentPlayerFor(const std::vector<std::uint8_t>& file, std::vector<std::uint8_t>& current);

// Where PLAY puts BASIC, PLAYER, its parameters and each sound.
fbasic::PlayLayout PlayLayoutOfThePlayer();

// PLAYER as LOADM reads it, loaded and run at kPlayerLoadAddress.
std::vector<std::uint8_t> PlayerFile(PsgProfile profile);

// The largest count PLAY lists: the sound's room up to &H6DFF.
constexpr std::uint32_t kLargestMenuCount = kSoundRoom;

// Whether PLAY can list and load a sound of `count` samples.
constexpr bool FitsPlay(std::uint32_t count) {
  return count > 0 && count <= kLargestMenuCount;
}

}  // namespace tonebake::player

#endif  // TONEBAKE_PLAYER_PLAYER_CODE_H
