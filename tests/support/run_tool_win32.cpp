#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "cli/platform.h"
#include "support/run_tool.h"
#include "support/text_encoding.h"

namespace tonebake::test {
namespace {

constexpr UINT kShiftJis = 932;

// Quotes one argument, where it needs quotes, so that the C runtime's
// argument parser gives it back unchanged: backslashes are literal except
// before a quote. An argument without blanks or quotes goes as it is, so that
// a double-byte character ending in the byte of "\" is never doubled.
std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
    return argument;
  }
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

HANDLE CreateInheritable(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int RunAndWait(const std::string& executable, std::string commandLine, const std::string& workDir,
               HANDLE out, HANDLE err) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  // Under wine, starting a process now and then fails for a moment when
  // the machine is busy (seen in CI, never when run again): a few tries.
  bool started = false;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    started = CreateProcessA(executable.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                             nullptr, workDir.c_str(), &startup, &process) != 0;
    if (!started) {
      Sleep(200);
    }
  }
  if (!started) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(exitCode);
}

}  // namespace

int RunWithOutputFiles(const std::string& executable, const std::vector<std::string>& arguments,
                       const ToolOptions& options, const std::string& outPath,
                       const std::string& errPath) {
  std::string commandLine = QuoteArgument(executable);
  for (const std::string& argument : arguments) {
    commandLine += " " + QuoteArgument(argument);
  }
  const HANDLE out = CreateInheritable(outPath);
  const HANDLE err = CreateInheritable(errPath);
  const int exitCode = RunAndWait(executable, commandLine, options.workDir, out, err);
  CloseHandle(out);
  CloseHandle(err);
  return exitCode;
}

// The program writes in text mode (CR LF line ends) and picks its message
// encoding from the console, just as this process sees it.
std::string ConsoleText(const std::string& utf8, const ToolOptions&) {
  const std::string encoded =
      DetectPlatformText().messages == MessageEncoding::ShiftJis ? Utf8ToShiftJis(utf8) : utf8;
  std::string text;
  for (const char c : encoded) {
    if (c == '\n') {
      text += '\r';
    }
    text += c;
  }
  return text;
}

bool FileSizeLimitSupported() {
  return false;
}

// Windows has no signals to send another process; the console control
// handler that stands for them needs a console event, which wine cannot
// deliver to a program started from a test.
InterruptedRun RunAndInterrupt(const std::string&, const std::vector<std::string>&,
                               const ToolOptions&, bool (*)(const std::string&), int) {
  return InterruptedRun{};
}

InterruptedRun RunAndInterruptAt(const std::string&, const std::vector<std::string>&,
                                 const ToolOptions&, HoldPoint, int) {
  return {};
}

bool ShiftJisFileNames(const ToolOptions&) {
  return GetACP() == kShiftJis;
}

}  // namespace tonebake::test
