#include "fileio/replacing_file.h"

namespace tonebake {
namespace {

// A failure must never read as success, even when the system left no code
// (a write that simply came up short, say).
std::int32_t RecordedOr(const FileAccess& access, std::int32_t fallback) {
  const std::int32_t recorded = access.GetErrorCode();
  return recorded != 0 ? recorded : fallback;
}

// A hidden name beside the target, unique to this process and attempt, so
// that no other file (nor another run's temporary file) is ever touched.
std::string TemporaryName(const std::string& target, std::uint32_t attempt) {
  const std::size_t directory = os_file::DirectoryLength(target);
  return target.substr(0, directory) + "." + target.substr(directory) + ".tonebake-" +
         std::to_string(os_file::ProcessId()) + "-" + std::to_string(attempt) + ".tmp";
}

// Creates the temporary file, guarded against interruption from before it
// exists; `name` is left empty when none could be made.
FileHandle CreateTemporary(FileAccess& access, const std::string& target, std::string& name) {
  constexpr std::uint32_t kAttempts = 8;  // leftovers of an earlier process with this id
  for (std::uint32_t attempt = 0; attempt < kAttempts; ++attempt) {
    name = TemporaryName(target, attempt);
    if (!os_file::GuardTemporary(name.c_str())) {
      break;  // unguarded, an interruption could leave the file behind
    }
    const FileHandle handle = access.Open(name.c_str(), os_file::kGenericWrite,
                                          os_file::kFileAttributeNormal, os_file::kCreateNew);
    if (handle != kNoFileHandle) {
      os_file::SetGuardedHandle(name.c_str(), handle);
      return handle;
    }
    os_file::ReleaseTemporary(name.c_str());
    if (access.Inspect(name.c_str()) == FileKind::Missing) {
      break;  // failed for a reason other than the name being taken
    }
  }
  name.clear();
  return kNoFileHandle;
}

}  // namespace

ReplacingFile::ReplacingFile(FileAccessFactory makeAccess) : makeAccess_(makeAccess) {}

ReplacingFile::~ReplacingFile() {
  Abandon();
}

std::int32_t ReplacingFile::Open(const std::string& path) {
  access_ = makeAccess_();
  if (!access_) {
    return failure_ = OutOfMemory;
  }
  target_ = access_->FollowLinks(path);
  const FileKind kind = access_->Inspect(target_.c_str());
  if (kind == FileKind::ReadOnly) {
    return failure_ = TargetReadOnly;
  }
  if (kind == FileKind::Other) {
    handle_ = access_->Open(target_.c_str(), os_file::kGenericWrite, os_file::kFileAttributeNormal,
                            os_file::kCreateAlways);
    return handle_ == kNoFileHandle ? Fail(OpenFailed) : 0;
  }
  handle_ = CreateTemporary(*access_, target_, temporary_);
  if (handle_ == kNoFileHandle) {
    return Fail(OpenFailed);
  }
  if (kind == FileKind::Regular && access_->CopyPermissions(handle_, target_.c_str()) == 0) {
    return Fail(PermissionsFailed);
  }
  return 0;
}

std::int32_t ReplacingFile::Write(const std::uint8_t* bytes, std::uint32_t length) {
  if (failure_ != 0 || handle_ == kNoFileHandle) {
    return failure_ != 0 ? failure_ : OpenFailed;
  }
  if (access_->Write(handle_, bytes, length) != length) {
    return Fail(WriteFailed);
  }
  written_ += length;
  return 0;
}

std::int32_t ReplacingFile::WriteAt(std::uint32_t offset, const std::uint8_t* bytes,
                                    std::uint32_t length) {
  if (failure_ != 0 || handle_ == kNoFileHandle) {
    return failure_ != 0 ? failure_ : OpenFailed;
  }
  if (access_->SetPosition(handle_, offset) == 0) {
    return Fail(SeekFailed);
  }
  if (access_->Write(handle_, bytes, length) != length) {
    return Fail(WriteFailed);
  }
  return access_->SetPosition(handle_, written_) == 0 ? Fail(SeekFailed) : 0;
}

std::int32_t ReplacingFile::Commit() {
  if (failure_ != 0 || handle_ == kNoFileHandle) {
    return failure_ != 0 ? failure_ : OpenFailed;
  }
  const FileHandle handle = handle_;
  handle_ = kNoFileHandle;
  // A failed close can mean the data never reached the disk.
  if (access_->Close(handle) == 0) {
    return Fail(CloseFailed);
  }
  if (!temporary_.empty() && access_->Rename(temporary_.c_str(), target_.c_str()) == 0) {
    return Fail(RenameFailed);
  }
  if (!temporary_.empty()) {
    os_file::ReleaseTemporary(temporary_.c_str());
    temporary_.clear();
  }
  return 0;
}

std::int32_t ReplacingFile::Fail(std::int32_t fallback) {
  failure_ = access_ ? RecordedOr(*access_, fallback) : fallback;
  Abandon();
  return failure_;
}

void ReplacingFile::Abandon() {
  if (handle_ != kNoFileHandle) {
    access_->Close(handle_);
    handle_ = kNoFileHandle;
  }
  if (!temporary_.empty()) {
    access_->Remove(temporary_.c_str());
    os_file::ReleaseTemporary(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace tonebake
