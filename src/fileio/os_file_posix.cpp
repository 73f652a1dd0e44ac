#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "fileio/os_file.h"

namespace tonebake::os_file {
namespace {

// File descriptors start at 0, which is the "no file" value of a handle, so a
// handle carries the descriptor plus one.
Handle HandleFromDescriptor(int fd) {
  return static_cast<Handle>(fd) + 1;
}
int DescriptorFromHandle(Handle handle) {
  return static_cast<int>(handle - 1);
}

// Non-blocking, so that opening a FIFO cannot hang before it is refused.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
// Created with 0666 less the umask, as any file a user makes.
constexpr int kWriteFlags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
constexpr int kCreateNewFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
constexpr mode_t kNewFileMode = 0666;

// Accepts only what can be read as a file; a directory gives EISDIR.
bool IsReadableFile(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    return false;
  }
  if (S_ISREG(info.st_mode)) {
    return true;
  }
  errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  return false;
}

Handle OpenForReading(const char* name) {
  const int fd = open(name, kReadFlags);
  if (fd < 0) {
    return kNoHandle;
  }
  if (!IsReadableFile(fd)) {
    const int reason = errno;
    close(fd);
    errno = reason;
    return kNoHandle;
  }
  return HandleFromDescriptor(fd);
}

// A single read or write moves at most about 2 GiB on Linux (some systems
// refuse to be asked for more), and a signal may interrupt it: loop in
// pieces until all is moved, the file ends, or a call fails.
constexpr std::uint32_t kMaxTransfer = 1u << 30;

template <typename Transfer>
bool TransferAll(std::uint32_t count, std::uint32_t* done, Transfer transfer) {
  *done = 0;
  while (*done < count) {
    const std::uint32_t left = count - *done;
    const ssize_t moved = transfer(*done, left < kMaxTransfer ? left : kMaxTransfer);
    if (moved < 0 && errno == EINTR) {
      continue;
    }
    if (moved < 0) {
      return false;
    }
    if (moved == 0) {
      break;
    }
    *done += static_cast<std::uint32_t>(moved);
  }
  return true;
}

}  // namespace

Handle Open(const char* name, std::uint32_t desiredAccess, std::uint32_t /*flagsAndAttributes*/,
            std::uint32_t creationDisposition) {
  if (desiredAccess == kGenericRead && creationDisposition == kOpenExisting) {
    return OpenForReading(name);
  }
  if (desiredAccess == kGenericWrite &&
      (creationDisposition == kCreateAlways || creationDisposition == kCreateNew)) {
    const int flags = creationDisposition == kCreateNew ? kCreateNewFlags : kWriteFlags;
    const int fd = open(name, flags, kNewFileMode);
    return fd < 0 ? kNoHandle : HandleFromDescriptor(fd);
  }
  errno = EINVAL;
  return kNoHandle;
}

bool Close(Handle handle) {
  return close(DescriptorFromHandle(handle)) == 0;
}

bool GetSize(Handle handle, std::uint32_t* sizeLow, std::uint32_t* sizeHigh) {
  struct stat info {};
  if (fstat(DescriptorFromHandle(handle), &info) != 0) {
    return false;
  }
  if (info.st_size < 0) {
    errno = EOVERFLOW;
    return false;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  *sizeLow = static_cast<std::uint32_t>(size);
  *sizeHigh = static_cast<std::uint32_t>(size >> 32);
  return true;
}

bool Read(Handle handle, void* buffer, std::uint32_t count, std::uint32_t* done) {
  const int fd = DescriptorFromHandle(handle);
  auto* bytes = static_cast<unsigned char*>(buffer);
  return TransferAll(count, done, [fd, bytes](std::uint32_t offset, std::uint32_t left) {
    return read(fd, bytes + offset, left);
  });
}

bool Write(Handle handle, const void* buffer, std::uint32_t count, std::uint32_t* done) {
  const int fd = DescriptorFromHandle(handle);
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  return TransferAll(count, done, [fd, bytes](std::uint32_t offset, std::uint32_t left) {
    return write(fd, bytes + offset, left);
  });
}

bool Remove(const char* name) {
  return unlink(name) == 0;
}

bool SetPosition(Handle handle, std::uint32_t offset) {
  return lseek(DescriptorFromHandle(handle), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool Rename(const char* from, const char* to) {
  return rename(from, to) == 0;
}

// A hard link is made only where nothing is; where the file system has none,
// a plain rename is the next best, with the name checked just before.
bool RenameNoReplace(const char* from, const char* to) {
  if (link(from, to) == 0) {
    unlink(from);
    return true;
  }
  if (errno == EEXIST) {
    return false;
  }
  struct stat info {};
  if (lstat(to, &info) == 0) {
    errno = EEXIST;
    return false;
  }
  return rename(from, to) == 0;
}

bool Link(const char* existing, const char* name) {
  return link(existing, name) == 0;
}

FileKind Inspect(const char* name) {
  struct stat info {};
  if (stat(name, &info) != 0) {
    return errno == ENOENT ? FileKind::Missing : FileKind::Unreachable;
  }
  if (!S_ISREG(info.st_mode)) {
    return FileKind::Other;
  }
  // A file its owner made read-only is not silently replaced: renaming over
  // it would succeed where opening it for writing fails.
  return access(name, W_OK) == 0 ? FileKind::Regular : FileKind::ReadOnly;
}

std::string FollowLinks(const std::string& name) {
  constexpr int kMaxLinks = 40;  // the kernel's own limit, against loops
  struct stat end {};
  if (stat(name.c_str(), &end) == 0 && !S_ISREG(end.st_mode)) {
    return name;  // a pipe or a device: its link may name no path (pipe:[N])
  }
  std::string current = name;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat info {};
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      return current;
    }
    std::string target(PATH_MAX, '\0');
    const ssize_t length = readlink(current.c_str(), target.data(), target.size());
    if (length <= 0) {
      return current;
    }
    target.resize(static_cast<std::size_t>(length));
    // A relative link is relative to the directory that holds it.
    current = target.front() == '/' ? target : current.substr(0, DirectoryLength(current)) + target;
  }
  return current;
}

bool CopyPermissions(Handle handle, const char* model) {
  struct stat info {};
  if (stat(model, &info) != 0) {
    return false;
  }
  // The owner where this process may give it (root's run on a user's file);
  // before the mode, which a change of owner may clear bits of.
  const int descriptor = DescriptorFromHandle(handle);
  if (fchown(descriptor, info.st_uid, info.st_gid) != 0) {
    errno = 0;  // not allowed: the file stays this process's own
  }
  return fchmod(descriptor, info.st_mode & 07777) == 0;
}

std::size_t DirectoryLength(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

std::size_t NameLimit(const std::string& directory) {
  constexpr long kUsualLimit = 255;
  const long limit = pathconf(directory.empty() ? "." : directory.c_str(), _PC_NAME_MAX);
  return static_cast<std::size_t>(limit > 0 ? limit : kUsualLimit);
}

// UTF-8: a character's later bytes are 10xxxxxx, so a cut before one of them
// moves back to its first byte.
std::string CutName(const std::string& name, std::size_t bytes) {
  if (name.size() <= bytes) {
    return name;
  }
  std::size_t cut = bytes;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  return name.substr(0, cut);
}

bool Identify(const char* name, FileId& id) {
  struct stat info {};
  if (stat(name, &info) != 0) {
    return false;
  }
  id.volume = static_cast<std::uint64_t>(info.st_dev);
  id.index = static_cast<std::uint64_t>(info.st_ino);
  return true;
}

namespace {

// What standard output writes to, when it can be looked at.
bool StatStandardOutput(struct stat& info, FileId& id) {
  if (fstat(STDOUT_FILENO, &info) != 0) {
    return false;
  }
  id.volume = static_cast<std::uint64_t>(info.st_dev);
  id.index = static_cast<std::uint64_t>(info.st_ino);
  return true;
}

}  // namespace

bool IdentifyStandardOutput(FileId& id) {
  struct stat info {};
  return StatStandardOutput(info, id) && S_ISREG(info.st_mode);
}

bool IdentifyStandardOutputStream(FileId& id) {
  struct stat info {};
  return StatStandardOutput(info, id);
}

bool SameNameText(const std::string& a, const std::string& b) {
  return a == b;
}

bool FolderFoldsCase(const std::string& directory) {
  const std::string probe = directory + ".tonebake-" + std::to_string(getpid()) + "-case-probe";
  if (!GuardTemporary(probe.c_str())) {
    return false;
  }
  const int made = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  bool folds = false;
  if (made >= 0) {
    close(made);
    std::string upper = probe;
    std::transform(upper.begin() + static_cast<std::ptrdiff_t>(directory.size()), upper.end(),
                   upper.begin() + static_cast<std::ptrdiff_t>(directory.size()),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    struct stat info {};
    folds = stat(upper.c_str(), &info) == 0;
    unlink(probe.c_str());
  }
  ReleaseTemporary(probe.c_str());
  return folds;
}

LockResult TryLock(const char* name, Handle* handle) {
  // Read-only is enough for a lock, and works on a lock file another user
  // made. Without blocking: a pipe at the name would wait for a writer.
  const int fd = open(name, O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, kNewFileMode);
  if (fd < 0) {
    // A link, or a folder (which cannot be opened to write or be made).
    return errno == ELOOP || errno == EISDIR ? LockResult::NotAFile : LockResult::Failed;
  }
  struct stat opened {};
  if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    close(fd);
    return LockResult::NotAFile;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int reason = errno;
    close(fd);
    errno = reason;
    return reason == EWOULDBLOCK ? LockResult::Busy : LockResult::Failed;
  }
  // The holder before us removes the file before it lets go: a lock on a
  // file no longer under this name locks nothing.
  struct stat locked {};
  struct stat named {};
  if (fstat(fd, &locked) != 0 || lstat(name, &named) != 0 || locked.st_dev != named.st_dev ||
      locked.st_ino != named.st_ino) {
    close(fd);
    return LockResult::Busy;
  }
  *handle = HandleFromDescriptor(fd);
  return LockResult::Locked;
}

void Unlock(const char* name, Handle handle) {
  unlink(name);
  close(DescriptorFromHandle(handle));
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

std::uint32_t ProcessId() {
  return static_cast<std::uint32_t>(getpid());
}

namespace {

// Read by the signal handler, so changed only while the signals are blocked.
const char* volatile g_guardedNames[kMaxGuarded] = {};
// Every signal whose default action ends the process and that a program
// can catch. Faults (SIGSEGV and the like) are left to the sanitizers and
// debuggers that watch them.
constexpr int kCleanupSignals[] = {
    SIGINT,    SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};
sigset_t g_deferredFrom;

extern "C" void RemoveGuardedAndDie(int signalNumber) {
  for (const char* volatile& slot : g_guardedNames) {
    const char* name = slot;
    if (name != nullptr) {
      unlink(name);
    }
  }
  // End as the signal would have ended the process: with its default action,
  // delivered as soon as this handler returns.
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

void InstallHandlersOnce() {
  static bool installed = false;
  if (installed) {
    return;
  }
  installed = true;
  // A write past the file-size limit then fails with EFBIG, and one to a
  // closed pipe with EPIPE, and is reported, instead of killing the process
  // halfway through the file.
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
  for (const int signalNumber : kCleanupSignals) {
    struct sigaction previous {};
    sigaction(signalNumber, nullptr, &previous);
    if (previous.sa_handler == SIG_IGN) {
      continue;  // started under nohup, say: the signal stays ignored
    }
    struct sigaction action {};
    action.sa_handler = RemoveGuardedAndDie;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
  }
}

sigset_t CleanupSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signalNumber : kCleanupSignals) {
    sigaddset(&set, signalNumber);
  }
  return set;
}

// Blocks the cleanup signals for its lifetime, so that the handler never
// sees the guarded name half set up.
class CleanupSignalsBlocked {
 public:
  CleanupSignalsBlocked() {
    const sigset_t set = CleanupSignalSet();
    sigprocmask(SIG_BLOCK, &set, &previous_);
  }
  CleanupSignalsBlocked(const CleanupSignalsBlocked&) = delete;
  CleanupSignalsBlocked& operator=(const CleanupSignalsBlocked&) = delete;
  ~CleanupSignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_{};
};

}  // namespace

bool GuardTemporary(const char* name) {
  const CleanupSignalsBlocked blocked;
  InstallHandlersOnce();
  for (const char* volatile& slot : g_guardedNames) {
    if (slot == nullptr) {
      slot = name;
      return true;
    }
  }
  return false;
}

// The handler needs only the name.
void SetGuardedHandle(const char*, Handle) {}

void ReleaseTemporary(const char* name) {
  const CleanupSignalsBlocked blocked;
  for (const char* volatile& slot : g_guardedNames) {
    if (slot == name) {
      slot = nullptr;
    }
  }
}

void InstallSignalHandling() {
  const CleanupSignalsBlocked blocked;
  InstallHandlersOnce();
}

// A signal that arrives meanwhile stays pending, and is handled as soon as
// the mask is restored.
void DeferInterruptions() {
  const sigset_t set = CleanupSignalSet();
  sigprocmask(SIG_BLOCK, &set, &g_deferredFrom);
}

void ResumeInterruptions() {
  sigprocmask(SIG_SETMASK, &g_deferredFrom, nullptr);
}

void PrepareLargeBuffer(void* start, std::size_t length) {
#ifdef MADV_POPULATE_WRITE
  // Only whole pages inside the buffer can be advised; a small buffer is not
  // worth the call.
  constexpr std::size_t kLargeBuffer = 1024 * 1024;
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (length < kLargeBuffer || pageSize <= 0) {
    return;
  }
  const auto page = static_cast<std::uintptr_t>(pageSize);
  const auto address = reinterpret_cast<std::uintptr_t>(start);
  const std::uintptr_t first = (address + page - 1) / page * page;
  const std::uintptr_t end = (address + length) / page * page;
  const int savedErrno = errno;  // an older kernel refuses the hint: no failure
  madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
  errno = savedErrno;
#else
  (void)start;
  (void)length;
#endif
}

void SetStandardOutputBinary() {}

void SetStandardInputBinary() {}

std::FILE* OpenTemporaryFile() {
  return std::tmpfile();
}

std::int32_t LastError() {
  return errno;
}

std::string DescribeError(std::int32_t code) {
  return std::strerror(code);
}

}  // namespace tonebake::os_file
