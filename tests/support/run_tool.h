#ifndef TONEBAKE_TESTS_SUPPORT_RUN_TOOL_H
#define TONEBAKE_TESTS_SUPPORT_RUN_TOOL_H

#include <cstdint>
#include <string>
#include <vector>

namespace tonebake::test {

struct ToolOptions {
  std::string workDir;                // the directory the program runs in
  std::string locale = "C.UTF-8";     // LC_ALL for the run (POSIX only)
  std::uint64_t fileSizeLimit = 0;    // when nonzero, writes past this many bytes fail
  bool fileSizeSignalIgnored = true;  // with a limit: SIGXFSZ ignored, or at its default
  std::string stdinPath;              // when set, standard input comes from this file,
  bool stdinThroughPipe = false;      // through a pipe rather than the file itself (POSIX)
  bool stdinClosed = false;           // started with no standard input at all (POSIX)
  bool hangUpIgnored = false;         // started with SIGHUP ignored, as by nohup (POSIX)
  bool stdoutBrokenPipe = false;      // standard output a pipe nobody reads (POSIX)
};

struct ToolRun {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs the executable under test with exactly these arguments (not counting
// the program name) and captures both of its streams.
ToolRun RunTool(const std::string& executable, const std::vector<std::string>& arguments,
                const ToolOptions& options);

// Runs the executable with its standard output and error going to the two
// files, and returns its exit code (-1 when it did not exit normally). One
// implementation per platform.
int RunWithOutputFiles(const std::string& executable, const std::vector<std::string>& arguments,
                       const ToolOptions& options, const std::string& outPath,
                       const std::string& errPath);

// What the program writes for UTF-8 text with "\n" line ends, in the message
// encoding and the line ends that a run with `options` gets on this platform.
std::string ConsoleText(const std::string& utf8, const ToolOptions& options);

// Whether a run can be given a file-size limit.
bool FileSizeLimitSupported();

// How a run that was sent a signal ended.
struct InterruptedRun {
  bool sent = false;  // false when the program finished before `ready` held
  int endSignal = 0;  // the signal that ended it, 0 when it exited
};

// Starts the program, waits until `ready()` holds, then sends it
// `signalNumber`; `ready` is checked again with the program stopped, so the
// signal arrives while it still holds. POSIX only.
InterruptedRun RunAndInterrupt(const std::string& executable,
                               const std::vector<std::string>& arguments,
                               const ToolOptions& options, bool (*ready)(const std::string& dir),
                               int signalNumber);

// Where RunAndInterruptAt holds the program: as it makes its first write
// to a file (not a standard stream), or as it renames a file into place.
enum class HoldPoint { FirstFileWrite, Rename };

// Starts the program traced, holds it as it enters the system call of
// `point`, sends it `signalNumber` there, and lets it go on: the same point
// on every run, however loaded the machine. `sent` is false where tracing
// is not available (not Linux on x86-64, or under TONEBAKE_TEST_WRAPPER),
// or when the program never reached the point.
InterruptedRun RunAndInterruptAt(const std::string& executable,
                                 const std::vector<std::string>& arguments,
                                 const ToolOptions& options, HoldPoint point, int signalNumber);

// A run started in the background, its streams going to files of its own in
// the work directory. POSIX only.
struct BackgroundRun {
  int pid = -1;
  std::string outPath;
  std::string errPath;
};
BackgroundRun StartTool(const std::string& executable, const std::vector<std::string>& arguments,
                        const ToolOptions& options, const std::string& tag);
// Waits for the run to end.
ToolRun FinishTool(const BackgroundRun& run);

// Whether file names can hold Shift-JIS bytes here and are read with the
// Shift-JIS lead-byte rule in a run with `options`.
bool ShiftJisFileNames(const ToolOptions& options);

}  // namespace tonebake::test

#endif  // TONEBAKE_TESTS_SUPPORT_RUN_TOOL_H
