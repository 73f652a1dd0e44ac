#include "support/run_tool.h"

#include "support/temp_dir.h"

namespace tonebake::test {

ToolRun RunTool(const std::string& executable, const std::vector<std::string>& arguments,
                const ToolOptions& options) {
  const TempDir capture;
  ToolRun run;
  run.exitCode = RunWithOutputFiles(executable, arguments, options, capture.File("stdout"),
                                    capture.File("stderr"));
  run.out = ReadText(capture.File("stdout"));
  run.err = ReadText(capture.File("stderr"));
  return run;
}

}  // namespace tonebake::test
