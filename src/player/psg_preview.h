#ifndef TONEBAKE_PLAYER_PSG_PREVIEW_H
#define TONEBAKE_PLAYER_PSG_PREVIEW_H

#include <cstdint>
#include <string>
#include <vector>

#include "m6809/m6809.h"
#include "player/player_code.h"
#include "player/volume_table.h"

// The player run on the 6809 model as PLAY runs it on the FM-7, and what
// the PSG would put out, rendered for a PC to play.
namespace tonebake::player {

using m6809::BusWrite;
using m6809::M6809;

constexpr std::uint32_t kPreviewRate = 44100;

// Loads the player and `loaded` (the wait byte, then the samples, as LOADM
// leaves them at kSoundAddress) into a fresh model, pokes the parameters as PLAY
// does, and runs EXEC from its call to its return. False with the reason
// when the model stops or the run does not end.
bool RunPlayer(PsgProfile profile, const std::vector<std::uint8_t>& loaded,
               std::uint16_t sampleCount, M6809& cpu, std::string& error);
// The same with a PLAYER that has `table`, an earlier version's say.
bool RunPlayer(const VolumeTable& table, const std::vector<std::uint8_t>& loaded,
               std::uint16_t sampleCount, M6809& cpu, std::string& error);
// The stack the model starts with, and the return address EXEC leaves on
// it.
constexpr std::uint16_t kStartStack = 0x1F00;
constexpr std::uint16_t kReturnAddress = 0xFFF0;

// A PSG register write, decoded from the bus protocol: the register latched
// with function 3, given the data port's value when function 2 is written.
struct PsgWrite {
  std::uint64_t cycle;
  std::uint8_t reg;
  std::uint8_t value;
};
std::vector<PsgWrite> DecodePsgWrites(const std::vector<BusWrite>& writes);

// What the three volume registers put out from cycle 0 to `endCycle` at
// `clockHz`: the profile's levels summed, each write taking effect at its
// own cycle, integrated over each interval of kPreviewRate, the mean of the
// whole subtracted, as 16-bit samples.
std::vector<std::int16_t> RenderPsg(const std::vector<PsgWrite>& writes, std::uint64_t endCycle,
                                    PsgProfile profile, double clockHz);

}  // namespace tonebake::player

#endif  // TONEBAKE_PLAYER_PSG_PREVIEW_H
