#include "fileio/file_lock.h"

#include <chrono>

#include "fileio/file_access.h"
#include "fileio/file_names.h"

namespace tonebake {
namespace {

constexpr std::uint32_t kPollMilliseconds = 20;
constexpr std::uint32_t kQuietWaitMilliseconds = 500;

}  // namespace

std::int32_t FileLock::Acquire(const std::string& path, std::uint32_t timeoutMilliseconds,
                               const std::function<void()>& waiting) {
  Release();
  name_ = SiblingName(os_file::FollowLinks(path), ".tonebake-lock");
  const auto start = std::chrono::steady_clock::now();
  bool told = false;
  for (;;) {
    // An interruption removes the lock file with the temporary files; one
    // that comes between making the file and guarding it waits until it is
    // guarded, so that no moment leaves a lock file behind.
    os_file::DeferInterruptions();
    const os_file::LockResult result = os_file::TryLock(name_.c_str(), &handle_);
    if (result == os_file::LockResult::Locked) {
      os_file::GuardTemporary(name_.c_str());
    }
    os_file::ResumeInterruptions();
    switch (result) {
      case os_file::LockResult::Locked:
        return 0;
      case os_file::LockResult::NotAFile:
        handle_ = os_file::kNoHandle;
        return LockNameTaken;
      case os_file::LockResult::Failed: {
        const std::int32_t code = os_file::LastError();
        handle_ = os_file::kNoHandle;
        return code != 0 ? code : OpenFailed;
      }
      case os_file::LockResult::Busy:
        break;
    }
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
    if (waited >= timeoutMilliseconds) {
      handle_ = os_file::kNoHandle;
      return LockTimedOut;
    }
    if (!told && waited >= kQuietWaitMilliseconds) {
      told = true;
      if (waiting) {
        waiting();
      }
    }
    os_file::SleepMilliseconds(kPollMilliseconds);
  }
}

void FileLock::Release() {
  if (handle_ != os_file::kNoHandle) {
    os_file::ReleaseTemporary(name_.c_str());
    os_file::Unlock(name_.c_str(), handle_);
    handle_ = os_file::kNoHandle;
  }
}

}  // namespace tonebake
