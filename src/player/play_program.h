#ifndef TONEBAKE_PLAYER_PLAY_PROGRAM_H
#define TONEBAKE_PLAYER_PLAY_PROGRAM_H

#include <cstdint>
#include <string>
#include <vector>

#include "player/player_code.h"

// PLAY, the F-BASIC menu that loads the player and the sounds of its disk
// or tape and plays the one asked for.
namespace tonebake::player {

struct MenuSound {
  std::string name;     // the file's name on the disk or tape
  std::uint32_t count;  // the image's true sample count: LOADM loads that many bytes
  std::uint8_t wait;
};

// The largest count PLAY lists: the sound's room up to &H6FFF.
constexpr std::uint32_t kLargestMenuCount = kSoundRoom;

// Whether PLAY can list and load a sound of `count` samples.
constexpr bool FitsPlay(std::uint32_t count) {
  return count > 0 && count <= kLargestMenuCount;
}

// The program as an ASCII BASIC file on disk holds it: CR LF, then every
// line followed by CR LF (the end mark 0x1A is the file's, not the text's).
// `drive` is where PLAY finds PLAYER and the sounds ("1:").
std::string PlayProgram(const std::vector<MenuSound>& sounds, const std::string& drive);

// PLAY for a tape, where it comes first and PLAYER second: it loads PLAYER,
// then each sound in turn as the tape reaches it, and plays it. In F-BASIC's
// tape form: CR, then every line followed by CR alone.
std::string TapePlayProgram(const std::vector<MenuSound>& sounds);

// Whether `text` (a file's bytes) is a PLAY that tonebake wrote, in this
// version's form or an earlier one's, on disk or on tape.
bool IsTonebakePlay(const std::vector<std::uint8_t>& text);

}  // namespace tonebake::player

#endif  // TONEBAKE_PLAYER_PLAY_PROGRAM_H
