#include "fileio/whole_file.h"

namespace tonebake {
namespace {

constexpr std::uint32_t kSizeFailure = 0xFFFFFFFFu;

// A failure must never read as success, even when the system left no code
// (a read that simply came up short, say).
std::int32_t RecordedOr(const FileAccess& access, std::int32_t fallback) {
  const std::int32_t recorded = access.GetErrorCode();
  return recorded != 0 ? recorded : fallback;
}

std::int32_t ReadOpenFile(FileAccess& access, FileHandle handle, ByteBuffer& file) {
  std::uint32_t sizeHigh = 0;
  // The failure value is also a real size: only a recorded code tells them
  // apart, so start from none.
  access.SetErrorCode(0);
  const std::uint32_t size = access.GetSize(handle, &sizeHigh);
  if (size == kSizeFailure && access.GetErrorCode() != 0) {
    return access.GetErrorCode();
  }
  if (sizeHigh != 0) {
    return FileTooLarge;
  }
  ByteBuffer buffer;
  if (!AllocateBuffer(size, buffer)) {
    return OutOfMemory;
  }
  // A read that falls short discards the buffer: nothing is converted from
  // bytes that the file did not supply.
  if (access.Read(handle, buffer.bytes.get(), size) != size) {
    return RecordedOr(access, ReadFailed);
  }
  file = std::move(buffer);
  return 0;
}

// Writes all of `bytes` to the open file and closes it; 0 or the first
// failure's code.
std::int32_t WriteAndClose(FileAccess& access, FileHandle handle, const std::uint8_t* bytes,
                           std::uint32_t length) {
  std::int32_t result = 0;
  if (access.Write(handle, bytes, length) != length) {
    result = RecordedOr(access, WriteFailed);
  }
  // A failed close can mean the data never reached the disk.
  if (access.Close(handle) == 0 && result == 0) {
    result = RecordedOr(access, CloseFailed);
  }
  return result;
}

// A device or a pipe cannot be replaced, only written to.
std::int32_t WriteInPlace(FileAccess& access, const std::string& target, const std::uint8_t* bytes,
                          std::uint32_t length) {
  const FileHandle handle = access.Open(target.c_str(), os_file::kGenericWrite,
                                        os_file::kFileAttributeNormal, os_file::kCreateAlways);
  if (handle == kNoFileHandle) {
    return RecordedOr(access, OpenFailed);
  }
  return WriteAndClose(access, handle, bytes, length);
}

// A hidden name beside the target, unique to this process and attempt, so
// that no other file (nor another run's temporary file) is ever touched.
std::string TemporaryName(const std::string& target, std::uint32_t attempt) {
  const std::size_t directory = os_file::DirectoryLength(target);
  return target.substr(0, directory) + "." + target.substr(directory) + ".tonebake-" +
         std::to_string(os_file::ProcessId()) + "-" + std::to_string(attempt) + ".tmp";
}

FileHandle CreateTemporary(FileAccess& access, const std::string& target, std::string& name) {
  constexpr std::uint32_t kAttempts = 8;  // leftovers of an earlier process with this id
  for (std::uint32_t attempt = 0; attempt < kAttempts; ++attempt) {
    name = TemporaryName(target, attempt);
    const FileHandle handle = access.Open(name.c_str(), os_file::kGenericWrite,
                                          os_file::kFileAttributeNormal, os_file::kCreateNew);
    if (handle != kNoFileHandle || access.Inspect(name.c_str()) == FileKind::Missing) {
      return handle;  // created, or failed for a reason other than the name being taken
    }
  }
  return kNoFileHandle;
}

// The whole image goes to a new file beside the target, which takes the
// target's place only once every byte is written and the file is closed:
// until then the target, which may be the input itself, keeps every byte,
// and a failure or an interruption leaves it as it was.
std::int32_t WriteAndReplace(FileAccess& access, const std::string& target, bool targetExists,
                             const std::uint8_t* bytes, std::uint32_t length) {
  std::string temporary;
  const FileHandle handle = CreateTemporary(access, target, temporary);
  if (handle == kNoFileHandle) {
    return RecordedOr(access, OpenFailed);
  }
  os_file::GuardTemporary(temporary.c_str(), handle);
  std::int32_t result = 0;
  if (targetExists && access.CopyPermissions(handle, target.c_str()) == 0) {
    result = RecordedOr(access, PermissionsFailed);
    access.Close(handle);
  } else {
    result = WriteAndClose(access, handle, bytes, length);
  }
  if (result == 0 && access.Rename(temporary.c_str(), target.c_str()) == 0) {
    result = RecordedOr(access, RenameFailed);
  }
  if (result != 0) {
    access.Remove(temporary.c_str());
  }
  os_file::ReleaseTemporary();
  return result;
}

}  // namespace

std::int32_t LoadFile(const std::string& path, ByteBuffer& file, FileAccessFactory makeAccess) {
  file = ByteBuffer{};
  const std::unique_ptr<FileAccess> access = makeAccess();
  if (!access) {
    return OutOfMemory;
  }
  const FileHandle handle = access->Open(path.c_str(), os_file::kGenericRead,
                                         os_file::kFileAttributeNormal, os_file::kOpenExisting);
  if (handle == kNoFileHandle) {
    return RecordedOr(*access, OpenFailed);
  }
  const std::int32_t result = ReadOpenFile(*access, handle, file);
  // Every byte is in memory by now, so a failed close loses nothing.
  access->Close(handle);
  return result;
}

std::int32_t SaveFile(const std::string& path, const std::uint8_t* bytes, std::uint32_t length,
                      FileAccessFactory makeAccess) {
  const std::unique_ptr<FileAccess> access = makeAccess();
  if (!access) {
    return OutOfMemory;
  }
  // Through a symbolic link, the file it points to is replaced and the link
  // stays.
  const std::string target = access->FollowLinks(path);
  switch (access->Inspect(target.c_str())) {
    case FileKind::Other:
      return WriteInPlace(*access, target, bytes, length);
    case FileKind::ReadOnly:
      return TargetReadOnly;
    case FileKind::Regular:
      return WriteAndReplace(*access, target, true, bytes, length);
    case FileKind::Missing:
    default:
      return WriteAndReplace(*access, target, false, bytes, length);
  }
}

}  // namespace tonebake
