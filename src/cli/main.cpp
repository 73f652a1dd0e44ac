#include <cstdio>
#include <string>
#include <vector>

#include "cli/conversion.h"
#include "cli/platform.h"

int main(int argc, char** argv) {
  using namespace tonebake;
  const PlatformText text = DetectPlatformText();
  const RunContext context{Console{stdout, stderr, text.messages}, text.pathLeadBytes,
                           &MakeFileAccess, text.slashStartsOption};
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.emplace_back(argv[i]);
  }
  // The run result is the exit code.
  return static_cast<int>(RunProgram(arguments, context));
}
