#include "fileio/whole_file.h"

#include <new>

namespace tonebake {
namespace {

constexpr std::uint32_t kSizeFailure = 0xFFFFFFFFu;

// A failure must never read as success, even when the system left no code
// (a read that simply came up short, say).
std::int32_t RecordedOr(const FileAccess& access, std::int32_t fallback) {
  const std::int32_t recorded = access.GetErrorCode();
  return recorded != 0 ? recorded : fallback;
}

std::int32_t ReadOpenFile(FileAccess& access, FileHandle handle, LoadedFile& file) {
  std::uint32_t sizeHigh = 0;
  const std::uint32_t size = access.GetSize(handle, &sizeHigh);
  if (size == kSizeFailure) {
    return RecordedOr(access, SizeFailed);
  }
  if (sizeHigh != 0) {
    return FileTooLarge;
  }
  // Not zero-filled: every byte is about to be overwritten by the read, and
  // a read that falls short discards the buffer.
  std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[size]);
  if (!bytes) {
    return OutOfMemory;
  }
  if (access.Read(handle, bytes.get(), size) != size) {
    return RecordedOr(access, ReadFailed);
  }
  file.bytes = std::move(bytes);
  file.length = size;
  return 0;
}

}  // namespace

std::int32_t LoadFile(const std::string& path, LoadedFile& file, FileAccessFactory makeAccess) {
  file = LoadedFile{};
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
  const FileHandle handle = access->Open(path.c_str(), os_file::kGenericWrite,
                                         os_file::kFileAttributeNormal, os_file::kCreateAlways);
  if (handle == kNoFileHandle) {
    return RecordedOr(*access, OpenFailed);
  }
  std::int32_t result = 0;
  if (access->Write(handle, bytes, length) != length) {
    result = RecordedOr(*access, WriteFailed);
  }
  // A failed close can mean the data never reached the disk.
  if (access->Close(handle) == 0 && result == 0) {
    result = RecordedOr(*access, CloseFailed);
  }
  if (result != 0) {
    access->Remove(path.c_str());
  }
  return result;
}

}  // namespace tonebake
