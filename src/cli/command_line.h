#ifndef TONEBAKE_CLI_COMMAND_LINE_H
#define TONEBAKE_CLI_COMMAND_LINE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tonebake {

constexpr std::int32_t kAutomaticWait = -1;
constexpr std::int32_t kMaxWait = 255;

struct RunRequest {
  std::optional<std::string> inputArg;   // first file-name argument
  std::optional<std::string> outputArg;  // second file-name argument
  // kAutomaticWait: pick the wait from the sample rate; else 0..255 from -w.
  std::int32_t waitSetting = kAutomaticWait;
};

struct ScannedArguments {
  RunRequest request;
  int helpRequests = 0;      // the usage block is shown once per help option
  bool longHelp = false;     // --help: the usage on standard output
  bool longVersion = false;  // --version: the version on standard output
  // A bare wait option and the argument after it, made only of digits: the
  // user most likely meant them as one ("-w 20" for "-w20").
  std::optional<std::string> waitOption;
  std::optional<std::string> waitNumberApart;
};

// Converts the text after "-w" like C's atoi, but defined for every input:
// optional white space, an optional sign, then decimal digits accumulated
// modulo 2^32 and read as a signed 32-bit value. No digits give 0.
std::int32_t ParseWaitNumber(const char* text);

// Scans the arguments after the program name. An argument beginning with "-"
// (or "/" where `slashStartsOption`, as on Windows; elsewhere it begins an
// absolute path) is an option, selected by its second character; "--help"
// and "--version" are options of their own. Unknown options, and file names
// after the second, are ignored. An argument that is exactly "--" ends
// option scanning, so that later ones are file names even when they begin
// with "/" or "-".
ScannedArguments ScanArguments(const std::vector<std::string>& arguments,
                               bool slashStartsOption = true);

}  // namespace tonebake

#endif  // TONEBAKE_CLI_COMMAND_LINE_H
