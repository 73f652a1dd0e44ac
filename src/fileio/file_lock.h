#ifndef TONEBAKE_FILEIO_FILE_LOCK_H
#define TONEBAKE_FILEIO_FILE_LOCK_H

#include <cstdint>
#include <functional>
#include <string>

#include "fileio/os_file.h"

namespace tonebake {

// An exclusive lock on a file that a program reads, changes and replaces:
// a disk or a tape image. It is held on a hidden lock file beside it
// (".NAME.tonebake-lock"), which exists only while a run holds it, so that a
// file can be locked before it exists and a file replaced by a rename stays
// locked. Runs on one file thus take turns: each reads what the one before
// it wrote. The lock goes with the process, however it ends.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { Release(); }

  // Takes the lock on the file `path` (its links followed), waiting while
  // another run holds it: `waiting` is called once if the wait goes on past
  // a moment, and the wait ends after `timeoutMilliseconds`. Returns 0, the
  // system's code for a lock that cannot be made, or LockTimedOut.
  std::int32_t Acquire(const std::string& path, std::uint32_t timeoutMilliseconds,
                       const std::function<void()>& waiting);
  void Release();
  // The lock file's name, once Acquire has been called.
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  os_file::Handle handle_ = os_file::kNoHandle;
};

// How long a run waits for another by default: far beyond any run's time.
constexpr std::uint32_t kLockTimeoutMilliseconds = 60000;

}  // namespace tonebake

#endif  // TONEBAKE_FILEIO_FILE_LOCK_H
