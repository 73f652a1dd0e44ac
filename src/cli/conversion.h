#ifndef TONEBAKE_CLI_CONVERSION_H
#define TONEBAKE_CLI_CONVERSION_H

#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/messages.h"
#include "cli/run_result.h"
#include "fileio/file_access.h"
#include "path/path_names.h"

namespace tonebake {

// Everything a run needs from its surroundings.
struct RunContext {
  Console console;
  LeadByteRule pathLeadBytes;
  FileAccessFactory makeFileAccess;
  bool slashStartsOption = true;  // Windows; elsewhere "/" begins an absolute path
};

// Converts the request's input file into a PCM image file and reports: the
// success line on the console's output, or the error message. The output is
// created only after the input has passed every check, so a failed input
// leaves an existing output untouched.
RunResult RunConversion(const RunRequest& request, const RunContext& context);

// The whole program after start-up: banner, argument scan, help, the two
// early errors, or the conversion run. `arguments` excludes the program name.
RunResult RunProgram(const std::vector<std::string>& arguments, const RunContext& context);

}  // namespace tonebake

#endif  // TONEBAKE_CLI_CONVERSION_H
