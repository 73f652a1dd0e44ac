// Arbitrary bytes split at zero bytes into an argument vector: argument scan
// and path derivation under both lead-byte rules, with what must always hold.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "fuzz/fuzz_check.h"
#include "path/path_names.h"

namespace {

using tonebake::LeadByteRule;

constexpr std::size_t kMaxArguments = 16;

std::vector<std::string> SplitArguments(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments(1);
  for (std::size_t i = 0; i < size && arguments.size() <= kMaxArguments; ++i) {
    if (data[i] == 0) {
      arguments.emplace_back();
    } else {
      arguments.back() += static_cast<char>(data[i]);
    }
  }
  return arguments;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Splitting loses nothing: the parts put back together are the path.
void CheckSplit(const std::string& path, LeadByteRule rule) {
  const tonebake::PathParts parts = tonebake::SplitPath(path, rule);
  FUZZ_CHECK(parts.drive + parts.directory + parts.baseName + parts.extension == path);
  FUZZ_CHECK(parts.extension.empty() || parts.extension[0] == '.');
}

void CheckDerivedNames(const tonebake::RunRequest& request, LeadByteRule rule) {
  const std::string& input = *request.inputArg;
  CheckSplit(input, rule);
  const std::string inputExtension = tonebake::SplitPath(input, rule).extension;
  const tonebake::DerivedNames names = tonebake::DeriveNames(input, request.outputArg, rule);
  // The input path carries the argument's own extension, or ".wav".
  FUZZ_CHECK(inputExtension.empty() ? names.inputPath == input + ".wav" : names.inputPath == input);
  if (request.outputArg) {
    CheckSplit(*request.outputArg, rule);
    FUZZ_CHECK(names.outputPath == *request.outputArg ||
               names.outputPath == *request.outputArg + ".bin");
  } else {
    FUZZ_CHECK(EndsWith(names.outputPath, ".bin"));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> arguments = SplitArguments(data, size);
  const tonebake::ScannedArguments scanned = tonebake::ScanArguments(arguments);
  const std::int32_t wait = scanned.request.waitSetting;
  FUZZ_CHECK(wait == tonebake::kAutomaticWait || (wait >= 0 && wait <= 255));
  FUZZ_CHECK(scanned.helpRequests >= 0 &&
             static_cast<std::size_t>(scanned.helpRequests) <= arguments.size());
  FUZZ_CHECK(!scanned.request.outputArg || scanned.request.inputArg);
  (void)tonebake::ParseWaitNumber(arguments.front().c_str());
  if (scanned.request.inputArg) {
    CheckDerivedNames(scanned.request, &tonebake::NoLeadBytes);
    CheckDerivedNames(scanned.request, &tonebake::IsShiftJisLeadByte);
  }
  return 0;
}
