#ifndef TONEBAKE_CLI_MESSAGES_H
#define TONEBAKE_CLI_MESSAGES_H

#include <cstdio>
#include <string>

#include "cli/run_result.h"

namespace tonebake {

// How the Japanese messages are written: as UTF-8, or as the Shift-JIS bytes
// (code page 932) that consoles on the home platform expect.
enum class MessageEncoding { Utf8, ShiftJis };

// Where and how a run prints. Banner, usage and errors go to `err`; only the
// success line goes to `out`.
struct Console {
  std::FILE* out;
  std::FILE* err;
  MessageEncoding encoding;
};

// Replaces each "%s" of `text`, in order, with the next of the two arguments.
std::string FormatMessage(const char* text, const std::string& first, const std::string& second);

void PrintBanner(const Console& console);
// A line that helps with what the command line most likely meant, to
// standard error: "note: " and `text`.
void PrintNote(const Console& console, const std::string& text);
void PrintUsage(const Console& console);
// The usage block to `stream`: standard error for the help options,
// standard output for --help.
void WriteUsage(std::FILE* stream);

// The version of every tonebake program, from the build (TONEBAKE_VERSION).
extern const char* const kVersion;

// Writes "err: ", the message of `result` naming the paths, and an empty line.
// Result 0 writes nothing. Returns `result` unchanged.
int ReportError(const Console& console, int result, const std::string& inputPath = std::string(),
                const std::string& outputPath = std::string());

}  // namespace tonebake

#endif  // TONEBAKE_CLI_MESSAGES_H
