#ifndef TONEBAKE_FBASIC_PLAY_PROGRAM_H
#define TONEBAKE_FBASIC_PLAY_PROGRAM_H

#include <cstdint>
#include <string>
#include <vector>

// PLAY, the F-BASIC menu that loads the player and the sounds of its disk
// or tape and plays the one asked for.
namespace tonebake::fbasic {

struct MenuSound {
  std::string name;     // the file's name on the disk or tape
  std::uint32_t count;  // the image's true sample count: LOADM loads that many bytes
  std::uint8_t wait;
};

// Where PLAY puts things, given by the player: the top of BASIC's memory
// (CLEAR), where PLAYER is loaded and run, where its parameters are POKEd
// (the wait byte's address, and the number of samples), where each sound is
// loaded, and the clock a sample's cycles are counted in.
struct PlayLayout {
  std::uint16_t basicTop;
  std::uint16_t playerAddress;
  std::uint16_t baseParameter;
  std::uint16_t countParameter;
  std::uint16_t soundAddress;
  double clockHz;
};

// The program as an ASCII BASIC file on disk holds it (CR LF line ends).
// `drive` is where PLAY finds PLAYER and the sounds ("1:").
std::string PlayProgram(const std::vector<MenuSound>& sounds, const std::string& drive,
                        const PlayLayout& layout);

// PLAY for a tape, where it comes first and PLAYER second: it loads PLAYER,
// then each sound in turn as the tape reaches it, and plays it. In F-BASIC's
// tape form (CR line ends).
std::string TapePlayProgram(const std::vector<MenuSound>& sounds, const PlayLayout& layout);

// Whether `text` (a file's bytes) is a PLAY that tonebake wrote, in this
// version's form (for `layout`) or an earlier one's, on disk or on tape,
// with nothing changed since but its DATA lines: only such a PLAY is
// written anew.
bool IsTonebakePlay(const std::vector<std::uint8_t>& text, const PlayLayout& layout);

// The sounds a PLAY's DATA lines list, by name, in order.
std::vector<std::string> ListedSounds(const std::vector<std::uint8_t>& text);

// Whether it begins as tonebake's PLAY does (CLEAR, PLAYER's LOADM, the
// title), edited since or not.
bool LooksLikeTonebakePlay(const std::vector<std::uint8_t>& text);

}  // namespace tonebake::fbasic

#endif  // TONEBAKE_FBASIC_PLAY_PROGRAM_H
