// tonebake-prep: turns any recording into exactly the WAVE file tonebake
// wants, at the FM-7 playback rate of a PCM wait, and from there into an
// image, a disk, a tape and a preview.
#include <cstdio>
#include <string>
#include <vector>

#include "fileio/os_file.h"
#include "media/disk_medium.h"
#include "prep/prep_options.h"
#include "prep/prepare.h"

namespace tonebake::prep {
namespace {

int RunPrep(const std::vector<std::string>& arguments) {
  const ParsedOptions parsed = ParsePrepOptions(arguments);
  if (!parsed.error.empty()) {
    kReport.Say("%s (see '%s --help')\n", parsed.error.c_str(), kProgram);
    return BadUsage;
  }
  if (parsed.options.help) {
    std::fputs(PrepUsage().c_str(), stdout);
    return Success;
  }
  if (parsed.options.version) {
    std::printf("%s %s\n", kProgram, TONEBAKE_VERSION);
    return Success;
  }
  return Prepare(parsed.options);
}

}  // namespace
}  // namespace tonebake::prep

int main(int argc, char** argv) {
  tonebake::os_file::InstallSignalHandling();
  const int exit = tonebake::prep::RunPrep(std::vector<std::string>(argv, argv + argc));
  return tonebake::media::FinishStandardOutput(tonebake::prep::kReport, exit,
                                               tonebake::prep::OutputFailure);
}
