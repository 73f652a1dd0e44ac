#ifndef TONEBAKE_TESTS_SUPPORT_RUN_TOOL_H
#define TONEBAKE_TESTS_SUPPORT_RUN_TOOL_H

#include <cstdint>
#include <string>
#include <vector>

namespace tonebake::test {

struct ToolOptions {
  std::string workDir;              // the directory the program runs in
  std::string locale = "C.UTF-8";   // LC_ALL for the run
  std::uint64_t fileSizeLimit = 0;  // when nonzero, writes past this many bytes fail
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

}  // namespace tonebake::test

#endif  // TONEBAKE_TESTS_SUPPORT_RUN_TOOL_H
