#include "fileio/replacing_file.h"

#include <vector>

#include "fileio/file_names.h"

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
std::string OwnName(const std::string& target, std::uint32_t attempt, const char* kind) {
  return SiblingName(target, ".tonebake-" + std::to_string(os_file::ProcessId()) + "-" +
                                 std::to_string(attempt) + kind);
}

std::string TemporaryName(const std::string& target, std::uint32_t attempt) {
  return OwnName(target, attempt, ".tmp");
}

// A copy of `target` as `name`, made new, for a file system without hard
// links. False, with nothing left, when it cannot be made whole.
bool CopyAside(FileAccess& access, const std::string& target, const std::string& name) {
  access.SetErrorCode(0);  // the end of the file is a read of 0 with no code
  const FileHandle from = access.Open(target.c_str(), os_file::kGenericRead,
                                      os_file::kFileAttributeNormal, os_file::kOpenExisting);
  if (from == kNoFileHandle) {
    return false;
  }
  const FileHandle to = access.Open(name.c_str(), os_file::kGenericWrite,
                                    os_file::kFileAttributeNormal, os_file::kCreateNew);
  bool whole = to != kNoFileHandle;
  // A file called back is the file as it was, its mode (and owner) too;
  // where the file system keeps none, the bytes are what matters.
  if (whole && access.CopyPermissions(to, target.c_str()) == 0) {
    access.SetErrorCode(0);
  }
  std::vector<std::uint8_t> block(1 << 16);
  for (std::uint32_t got = 1; whole && got > 0;) {
    got = access.Read(from, block.data(), static_cast<std::uint32_t>(block.size()));
    whole = (got > 0 || access.GetErrorCode() == 0) && access.Write(to, block.data(), got) == got;
  }
  access.Close(from);
  if (to != kNoFileHandle) {
    whole = access.Close(to) != 0 && whole;
  }
  if (!whole && to != kNoFileHandle) {
    access.Remove(name.c_str());
  }
  return whole;
}

// A second name for the existing target, kept while several files are put
// in place, so that it can come back if a later one fails: a hard link, or
// a copy where the file system has none (the FAT of a USB stick). Empty
// when neither can be made.
std::string MakeBackup(FileAccess& access, const std::string& target) {
  constexpr std::uint32_t kAttempts = 8;
  for (std::uint32_t attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string name = OwnName(target, attempt, ".old");
    if (access.Link(target.c_str(), name.c_str()) != 0) {
      return name;
    }
    if (access.Inspect(name.c_str()) == FileKind::Missing) {
      // Not a name taken by a leftover: no links here.
      return CopyAside(access, target, name) ? name : std::string();
    }
  }
  return std::string();
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

std::int32_t ReplacingFile::Open(const std::string& path, Placement placement) {
  access_ = makeAccess_();
  if (!access_) {
    return failure_ = OutOfMemory;
  }
  placement_ = placement;
  target_ = access_->FollowLinks(path);
  const FileKind kind = access_->Inspect(target_.c_str());
  targetExisted_ = kind != FileKind::Missing && kind != FileKind::Unreachable;
  if (placement == Placement::CreateOnly && targetExisted_) {
    return failure_ = TargetExists;
  }
  if (kind == FileKind::ReadOnly) {
    return failure_ = TargetReadOnly;
  }
  // What cannot be looked at is opened in place, which fails as it would.
  if (kind == FileKind::Other || kind == FileKind::Unreachable) {
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
  ReplacingFile* const self = this;
  return CommitAll(&self, 1, nullptr);
}

// Completes the file: a failed close can mean the data never reached the
// disk.
std::int32_t ReplacingFile::Close() {
  if (failure_ != 0 || handle_ == kNoFileHandle) {
    return failure_ != 0 ? failure_ : OpenFailed;
  }
  const FileHandle handle = handle_;
  handle_ = kNoFileHandle;
  return access_->Close(handle) == 0 ? Fail(CloseFailed) : 0;
}

std::int32_t ReplacingFile::PutInPlace() {
  if (temporary_.empty()) {
    return 0;  // written in place already
  }
  if (placement_ == Placement::Replace) {
    if (access_->Rename(temporary_.c_str(), target_.c_str()) == 0) {
      return Fail(RenameFailed);
    }
  } else if (!os_file::RenameNoReplace(temporary_.c_str(), target_.c_str())) {
    const std::int32_t code = os_file::LastError();
    failure_ = access_->Inspect(target_.c_str()) != FileKind::Missing ? TargetExists
               : code != 0                                            ? code
                                                                      : RenameFailed;
    Abandon();
    return failure_;
  }
  Release();
  return 0;
}

// Undoes PutInPlace: the old file comes back under its name, or the new
// one goes when there was none.
void ReplacingFile::TakeBack(const std::string& backup) {
  if (!backup.empty()) {
    os_file::Rename(backup.c_str(), target_.c_str());
  } else if (!targetExisted_) {
    os_file::Remove(target_.c_str());
  }
}

void ReplacingFile::Release() {
  if (!temporary_.empty()) {
    os_file::ReleaseTemporary(temporary_.c_str());
    temporary_.clear();
  }
}

std::int32_t ReplacingFile::CommitAll(ReplacingFile* const* files, std::size_t count,
                                      std::size_t* failed) {
  const auto abandonAll = [&](std::size_t index, std::int32_t code) {
    for (std::size_t i = 0; i < count; ++i) {
      files[i]->Abandon();
    }
    if (failed != nullptr) {
      *failed = index;
    }
    return code;
  };
  for (std::size_t i = 0; i < count; ++i) {
    if (const std::int32_t code = files[i]->Close(); code != 0) {
      return abandonAll(i, code);
    }
  }
  // Only a later failure can call a file back, so the last needs no backup.
  // Without one, all or nothing could not be promised: nothing is changed.
  std::vector<std::string> backups(count);
  const auto removeBackups = [&backups] {
    for (const std::string& backup : backups) {
      if (!backup.empty()) {
        os_file::Remove(backup.c_str());
        os_file::ReleaseTemporary(backup.c_str());
      }
    }
  };
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (files[i]->targetExisted_ && !files[i]->temporary_.empty()) {
      backups[i] = MakeBackup(*files[i]->access_, files[i]->target_);
      // An interruption before the files go in place takes the backup away.
      if (!backups[i].empty() && !os_file::GuardTemporary(backups[i].c_str())) {
        os_file::Remove(backups[i].c_str());
        backups[i].clear();
      }
      if (backups[i].empty()) {
        removeBackups();
        return abandonAll(i, RenameFailed);
      }
    }
  }
  os_file::DeferInterruptions();
  std::int32_t result = 0;
  std::size_t placed = 0;
  for (; placed < count && result == 0; ++placed) {
    result = files[placed]->PutInPlace();
  }
  if (result != 0) {
    for (std::size_t i = 0; i + 1 < placed; ++i) {
      files[i]->TakeBack(backups[i]);
      if (!backups[i].empty()) {
        os_file::ReleaseTemporary(backups[i].c_str());
        backups[i].clear();
      }
    }
  }
  removeBackups();
  os_file::ResumeInterruptions();
  return result != 0 ? abandonAll(placed - 1, result) : 0;
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
    Release();
  }
}

}  // namespace tonebake
