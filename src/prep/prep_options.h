#ifndef TONEBAKE_PREP_PREP_OPTIONS_H
#define TONEBAKE_PREP_PREP_OPTIONS_H

#include <optional>
#include <string>
#include <vector>

namespace tonebake::prep {

struct PrepOptions {
  std::string input;
  std::string output;
  std::optional<int> wait;           // --wait N, 0..63
  std::optional<long> rate;          // --rate HZ: the wait whose rate is closest
  bool normalize = false;            // --normalize
  bool dither = true;                // --no-dither turns it off
  std::optional<std::string> image;  // --image OUT.bin
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
ParsedOptions ParsePrepOptions(const std::vector<std::string>& arguments);

// The text of --help.
std::string PrepUsage();

}  // namespace tonebake::prep

#endif  // TONEBAKE_PREP_PREP_OPTIONS_H
