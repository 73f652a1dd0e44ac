#ifndef TONEBAKE_PREP_PREP_OPTIONS_H
#define TONEBAKE_PREP_PREP_OPTIONS_H

#include <optional>
#include <string>
#include <vector>

#include "player/volume_table.h"
#include "prep/signal.h"

namespace tonebake::prep {

// "-" as INPUT or OUTPUT: standard input or output.
constexpr const char* kStandardStream = "-";

struct PrepOptions {
  std::string input;
  std::string output;
  std::optional<int> wait;     // --wait N, 0..63
  std::optional<double> rate;  // --rate HZ: the wait whose rate is closest
  bool normalize = false;      // --normalize
  bool dither = true;          // --no-dither turns it off
  bool plain = false;          // --plain (or --no-dither): rounded bytes, not chosen for the player
  std::optional<std::string> image;            // --image OUT.bin
  double startSeconds = 0;                     // --start TIME
  std::optional<double> lengthSeconds;         // --length TIME
  bool fit = false;                            // --fit: make it fit what PLAY loads
  double gainDb = 0;                           // --gain DB
  ChannelChoice channel = ChannelChoice::Mix;  // --channel left|right|mix
  std::optional<double> highpassHz;            // --highpass HZ
  std::optional<std::string> disk;             // --disk DISK.d77: the image there too
  std::optional<std::string> diskName;         // --disk-name NAME
  std::optional<std::string> tape;             // --tape TAPE.t77: the image there too
  bool replace = false;                        // --replace: a file of that name on the disk
  bool player = false;                         // --player: PLAYER and PLAY on the disk too
  bool boot = false;                           // --boot: the disk boots and plays its sounds
  std::optional<std::string> preview;          // --preview OUT.wav: what the FM-7 plays
  player::PsgProfile profile = player::PsgProfile::Fm7;  // --psg fm7|fm77av
  bool profileGiven = false;
  bool help = false;
  bool version = false;
};

// The outcome of reading the command line: options, or a one-line reason
// why they cannot be used.
struct ParsedOptions {
  PrepOptions options;
  std::string error;  // empty when the command line is usable
};

// Reads the GNU-style command line (`arguments` includes the program name).
// Options may come before, between or after the names; "--" ends them.
ParsedOptions ParsePrepOptions(const std::vector<std::string>& arguments);

// A time: seconds ("12.5") or minutes and seconds ("1:02.5"), optionally
// with hours ("1:00:00"). Nothing when it is not one or is negative.
std::optional<double> ParseTime(const std::string& text);

// A rate in Hz: a decimal number, optionally with a "k" for thousands
// ("8000", "7.855k"). Nothing when it is not one or is not positive.
std::optional<double> ParseRate(const std::string& text);

// The text of --help.
std::string PrepUsage();

}  // namespace tonebake::prep

#endif  // TONEBAKE_PREP_PREP_OPTIONS_H
