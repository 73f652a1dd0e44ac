#include "fileio/file_access.h"

#include <new>

namespace tonebake {

std::int32_t FileAccess::SetErrorCode(std::int32_t code) {
  const std::int32_t previous = errorCode;
  errorCode = code;
  return previous;
}

std::int32_t FileAccess::GetErrorCode() const {
  return errorCode;
}

std::int32_t FileAccess::SetUseSystemError(std::int32_t flag) {
  const std::int32_t previous = useSystemError;
  useSystemError = flag;
  return previous;
}

std::int32_t FileAccess::GetUseSystemError() const {
  return useSystemError;
}

void FileAccess::RecordFailure(std::int32_t ownCode) {
  // Read the system's code before anything else can change it.
  const std::int32_t systemCode = os_file::LastError();
  SetErrorCode(GetUseSystemError() != 0 ? systemCode : ownCode);
}

FileHandle FileAccess::Open(const char* name, std::uint32_t desiredAccess,
                            std::uint32_t flagsAndAttributes, std::uint32_t creationDisposition) {
  const FileHandle handle =
      os_file::Open(name, desiredAccess, flagsAndAttributes, creationDisposition);
  if (handle == kNoFileHandle) {
    RecordFailure(OpenFailed);
  }
  return handle;
}

int FileAccess::Close(FileHandle handle) {
  if (!os_file::Close(handle)) {
    RecordFailure(CloseFailed);
    return 0;
  }
  return 1;
}

std::uint32_t FileAccess::GetSize(FileHandle handle, std::uint32_t* sizeHigh) {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  if (!os_file::GetSize(handle, &low, &high)) {
    RecordFailure(SizeFailed);
    return 0xFFFFFFFFu;
  }
  if (sizeHigh != nullptr) {
    *sizeHigh = high;
  }
  return low;
}

std::uint32_t FileAccess::Read(FileHandle handle, void* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  if (!os_file::Read(handle, buffer, count, &done)) {
    RecordFailure(ReadFailed);
  }
  return done;
}

std::uint32_t FileAccess::Write(FileHandle handle, const void* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  if (!os_file::Write(handle, buffer, count, &done)) {
    RecordFailure(WriteFailed);
  }
  return done;
}

int FileAccess::Remove(const char* name) {
  if (!os_file::Remove(name)) {
    RecordFailure(RemoveFailed);
    return 0;
  }
  return 1;
}

int FileAccess::SetPosition(FileHandle handle, std::uint32_t offset) {
  if (!os_file::SetPosition(handle, offset)) {
    RecordFailure(SeekFailed);
    return 0;
  }
  return 1;
}

int FileAccess::Rename(const char* from, const char* to) {
  if (!os_file::Rename(from, to)) {
    RecordFailure(RenameFailed);
    return 0;
  }
  return 1;
}

int FileAccess::Link(const char* existing, const char* name) {
  return os_file::Link(existing, name) ? 1 : 0;
}

int FileAccess::CopyPermissions(FileHandle handle, const char* model) {
  if (!os_file::CopyPermissions(handle, model)) {
    RecordFailure(PermissionsFailed);
    return 0;
  }
  return 1;
}

FileKind FileAccess::Inspect(const char* name) {
  return os_file::Inspect(name);
}

std::string FileAccess::FollowLinks(const std::string& name) {
  return os_file::FollowLinks(name);
}

std::string DescribeFileError(std::int32_t code) {
  switch (code) {
    case FileTooLarge:
      return "it is 4 GiB or larger";
    case TargetReadOnly:
      return "the file is read-only";
    case OutOfMemory:
      return "not enough memory";
    case WriteFailed:
      return "the write was incomplete";
    case CloseFailed:
      return "closing the file failed";
    case RenameFailed:
      return "the file could not be put in place";
    case LockTimedOut:
      return "another run is still working on it; try again once it has finished";
    case TargetExists:
      return "it already exists";
    case LockNameTaken:
      return "the name is taken by something that is not a plain file";
    default:
      // The class's other codes stand for a failed call that left no code.
      return code >= ReadFailed ? "the file could not be read or written"
                                : os_file::DescribeError(code);
  }
}

std::unique_ptr<FileAccess> MakeFileAccess() {
  return std::unique_ptr<FileAccess>(new (std::nothrow) FileAccess());
}

}  // namespace tonebake
