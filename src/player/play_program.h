#ifndef TONEBAKE_PLAYER_PLAY_PROGRAM_H
#define TONEBAKE_PLAYER_PLAY_PROGRAM_H

#include <cstdint>
#include <string>
#include <vector>

// PLAY, the F-BASIC menu that loads the player and the sounds of its disk
// and plays the one asked for.
namespace tonebake::player {

struct MenuSound {
  std::string name;     // the file's name on the disk
  std::uint16_t count;  // the image's count: LOADM loads that many bytes
  std::uint8_t wait;
};

// The most a sound may load: &H3000 to &H7FFF.
constexpr std::uint16_t kLargestMenuCount = 20480;

// The program as an ASCII BASIC file holds it: CR LF, then every line
// followed by CR LF (the end mark 0x1A is the file's, not the text's).
// `drive` is where PLAY finds PLAYER and the sounds ("1:").
std::string PlayProgram(const std::vector<MenuSound>& sounds, const std::string& drive);

// PLAY for a tape, where it comes first and PLAYER second: it loads PLAYER,
// then each sound in turn as the tape reaches it, and plays it.
std::string TapePlayProgram(const std::vector<MenuSound>& sounds);

}  // namespace tonebake::player

#endif  // TONEBAKE_PLAYER_PLAY_PROGRAM_H
