#include <fcntl.h>
#include <signal.h>
#if defined(__linux__) && defined(__x86_64__)
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#define TONEBAKE_TEST_CAN_TRACE 1
#endif
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "cli/platform.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"
#include "support/text_encoding.h"

namespace tonebake::test {
namespace {

// TONEBAKE_TEST_WRAPPER, split at spaces: a command, such as valgrind with
// its options, that every run of the program goes through.
std::vector<std::string> WrapperWords() {
  std::vector<std::string> words;
  const char* wrapper = std::getenv("TONEBAKE_TEST_WRAPPER");
  std::string word;
  for (const char* p = wrapper != nullptr ? wrapper : "";; ++p) {
    if (*p == ' ' || *p == '\0') {
      if (!word.empty()) {
        words.push_back(word);
      }
      word.clear();
      if (*p == '\0') {
        break;
      }
    } else {
      word += *p;
    }
  }
  return words;
}

// Standard input from `path`: the file itself, or its bytes through a pipe
// fed by a process of its own.
bool RedirectStandardInput(const std::string& path, bool throughPipe) {
  const int file = open(path.c_str(), O_RDONLY);
  if (file < 0 || !throughPipe) {
    return file >= 0 && dup2(file, STDIN_FILENO) >= 0;
  }
  int ends[2];
  if (pipe(ends) != 0) {
    return false;
  }
  if (fork() == 0) {
    close(ends[0]);
    char block[4096];
    ssize_t got = 0;
    while ((got = read(file, block, sizeof block)) > 0 &&
           write(ends[1], block, static_cast<std::size_t>(got)) == got) {
    }
    _exit(0);
  }
  close(ends[1]);
  return dup2(ends[0], STDIN_FILENO) >= 0;
}

// In the child: never returns.
[[noreturn]] void ExecTool(const std::string& executable, const std::vector<std::string>& arguments,
                           const ToolOptions& options, const std::string& outPath,
                           const std::string& errPath) {
  const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0 ||
      chdir(options.workDir.c_str()) != 0 ||
      (!options.stdinPath.empty() &&
       !RedirectStandardInput(options.stdinPath, options.stdinThroughPipe))) {
    _exit(126);
  }
  if (options.hangUpIgnored) {
    signal(SIGHUP, SIG_IGN);
  }
  int ends[2];
  if (options.stdoutBrokenPipe && (pipe(ends) != 0 || dup2(ends[1], STDOUT_FILENO) < 0)) {
    _exit(126);
  }
  if (options.stdoutBrokenPipe) {
    close(ends[0]);  // a write now fails with EPIPE, or ends the process with SIGPIPE
    close(ends[1]);
  }
  if (options.stdinClosed) {
    close(STDIN_FILENO);  // the next file opened gets descriptor 0
  }
  setenv("LC_ALL", options.locale.c_str(), 1);
  if (options.fileSizeLimit != 0) {
    const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, options.fileSizeSignalIgnored ? SIG_IGN : SIG_DFL);
  }
  std::vector<std::string> words = WrapperWords();
  words.push_back(executable);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

}  // namespace

int RunWithOutputFiles(const std::string& executable, const std::vector<std::string>& arguments,
                       const ToolOptions& options, const std::string& outPath,
                       const std::string& errPath) {
  const pid_t child = fork();
  if (child == 0) {
    ExecTool(executable, arguments, options, outPath, errPath);
  }
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    return WEXITSTATUS(status);
  }
  return -1;
}

InterruptedRun RunAndInterrupt(const std::string& executable,
                               const std::vector<std::string>& arguments,
                               const ToolOptions& options, bool (*ready)(const std::string& dir),
                               int signalNumber) {
  // The program's streams go to a file of the test's own, never to a device
  // that a faulty program could damage.
  const std::string streams = options.workDir + "/interrupted-run.txt";
  const pid_t child = fork();
  if (child == 0) {
    ExecTool(executable, arguments, options, streams, streams);
  }
  InterruptedRun run;
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (!ready(options.workDir)) {
      usleep(100);
      continue;
    }
    // Only once the program has really stopped does `ready` tell where it is.
    kill(child, SIGSTOP);
    if (waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status)) {
      run.sent = ready(options.workDir);
      if (run.sent) {
        kill(child, signalNumber);
      }
      kill(child, SIGCONT);
      waitpid(child, &status, 0);
    }
    break;
  }
  run.endSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return run;
}

InterruptedRun RunAndInterruptAt(const std::string& executable,
                                 const std::vector<std::string>& arguments,
                                 const ToolOptions& options, HoldPoint point, int signalNumber) {
  InterruptedRun run;
#ifdef TONEBAKE_TEST_CAN_TRACE
  if (!WrapperWords().empty()) {
    return run;  // the wrapper's own calls would be traced too
  }
  const std::string streams = options.workDir + "/interrupted-run.txt";
  const pid_t child = fork();
  if (child == 0) {
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    ExecTool(executable, arguments, options, streams, streams);
  }
  int status = 0;
  // The stop at exec: from here every system call stops it twice, on entry
  // and on exit, and a signal for it stops it before it is delivered.
  if (waitpid(child, &status, 0) != child || !WIFSTOPPED(status)) {
    return run;
  }
  ptrace(PTRACE_SETOPTIONS, child, nullptr,
         reinterpret_cast<void*>(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
  bool entering = true;
  int deliver = 0;
  for (;;) {
    if (ptrace(PTRACE_SYSCALL, child, nullptr, reinterpret_cast<void*>(deliver)) != 0 ||
        waitpid(child, &status, 0) != child || !WIFSTOPPED(status)) {
      break;
    }
    deliver = 0;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      deliver = WSTOPSIG(status);  // a signal on its way: let it through
      continue;
    }
    const bool entry = entering;
    entering = !entering;
    user_regs_struct registers{};
    if (!entry || run.sent || ptrace(PTRACE_GETREGS, child, nullptr, &registers) != 0) {
      continue;
    }
    const auto call = static_cast<long>(registers.orig_rax);
    const bool there = point == HoldPoint::FirstFileWrite
                           ? (call == SYS_write || call == SYS_writev || call == SYS_pwrite64) &&
                                 static_cast<int>(registers.rdi) > STDERR_FILENO
                           : call == SYS_rename || call == SYS_renameat || call == SYS_renameat2;
    if (there) {
      // Pending as the call runs: delivered when it returns, or once the
      // program unblocks it.
      kill(child, signalNumber);
      run.sent = true;
    }
  }
  run.endSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
#else
  (void)executable, (void)arguments, (void)options, (void)point, (void)signalNumber;
#endif
  return run;
}

BackgroundRun StartTool(const std::string& executable, const std::vector<std::string>& arguments,
                        const ToolOptions& options, const std::string& tag) {
  BackgroundRun run;
  run.outPath = options.workDir + "/run-" + tag + ".out";
  run.errPath = options.workDir + "/run-" + tag + ".err";
  run.pid = fork();
  if (run.pid == 0) {
    ExecTool(executable, arguments, options, run.outPath, run.errPath);
  }
  return run;
}

ToolRun FinishTool(const BackgroundRun& run) {
  ToolRun finished;
  int status = 0;
  if (run.pid > 0 && waitpid(run.pid, &status, 0) == run.pid && WIFEXITED(status)) {
    finished.exitCode = WEXITSTATUS(status);
  }
  finished.out = ReadText(run.outPath);
  finished.err = ReadText(run.errPath);
  return finished;
}

namespace {

bool ShiftJisLocale(const ToolOptions& options) {
  return IsShiftJisCharset(
      LocaleCharsetFromEnvironment(options.locale.c_str(), nullptr, nullptr).c_str());
}

}  // namespace

std::string ConsoleText(const std::string& utf8, const ToolOptions& options) {
  return ShiftJisLocale(options) ? Utf8ToShiftJis(utf8) : utf8;
}

bool FileSizeLimitSupported() {
  return true;
}

// File names are plain bytes on POSIX; the locale picks the lead-byte rule.
bool ShiftJisFileNames(const ToolOptions& options) {
  return ShiftJisLocale(options);
}

}  // namespace tonebake::test
