#ifndef TONEBAKE_MEDIA_MEDIA_COMMAND_H
#define TONEBAKE_MEDIA_MEDIA_COMMAND_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>
#include "media/reporter.h"

#include "player/volume_table.h"

// The command line that tonebake-disk and tonebake-tape share: a verb, its
// names, and options anywhere ("--" ends them).
namespace tonebake::media {

struct MediaCommand {
  std::string verb;
  std::vector<std::string> operands;
  bool replace = false;                       // --replace, for 'add', 'player' and 'boot'
  bool raw = false;                           // --raw, for 'add'
  bool remove = false;                        // --remove, for 'boot'
  std::optional<player::PsgProfile> profile;  // --psg, for 'player' and 'boot'
  std::optional<std::string> rate;            // --rate, for 'wav'
};

struct MediaVerb {
  const char* name;
  std::size_t minOperands;
  std::size_t maxOperands;
  int (*run)(const MediaCommand&);
};

// Reads the command line, prints help or the version, refuses bad usage
// (exit 1, with the reason), or runs the verb. `usage` is the help text.
int RunMediaCommand(const Reporter& report, const char* usage,
                    const std::vector<std::string>& arguments, const MediaVerb* verbs,
                    std::size_t verbCount);

// The arguments with "--name=value" given as "--name" "value", for the
// options named in `withValues`, up to "--": the one spelling of an
// option's value that each program then reads. Any other "--name=..." is
// left whole, to be refused as an unknown option.
std::vector<std::string> SplitOptionValues(const std::vector<std::string>& arguments,
                                           const std::vector<std::string>& withValues);

// The usage mistakes of 'add MEDIUM FILE [NAME]' that both programs point
// out: the names swapped (an image where the disk or tape should be), and
// standard input ('-') without a NAME. -1 when there is none, else exit 1.
int CheckAddOperands(const Reporter& report, const MediaCommand& command, const char* medium);

// "PROGRAM: WHY (see 'PROGRAM --help')", exit 1.
int ReportUsage(const Reporter& report, const std::string& why);

}  // namespace tonebake::media

#endif  // TONEBAKE_MEDIA_MEDIA_COMMAND_H
