#include "fileio/whole_file.h"

#include "fileio/replacing_file.h"

namespace tonebake {
namespace {

// A failure must never read as success, even when the system left no code
// (a read that simply came up short, say).
std::int32_t RecordedOr(const FileAccess& access, std::int32_t fallback) {
  const std::int32_t recorded = access.GetErrorCode();
  return recorded != 0 ? recorded : fallback;
}

std::int32_t ReadOpenFile(FileAccess& access, FileHandle handle, std::uint32_t maxLength,
                          ByteBuffer& file) {
  std::uint32_t sizeHigh = 0;
  // The failure value is also a real size: only a recorded code tells them
  // apart. No call has failed yet, so any code now is the size query's.
  const std::uint32_t size = access.GetSize(handle, &sizeHigh);
  if (access.GetErrorCode() != 0) {
    return access.GetErrorCode();
  }
  if (sizeHigh != 0) {
    return FileTooLarge;
  }
  if (size > maxLength) {
    return TooLargeForUse;
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

}  // namespace

std::int32_t LoadFile(const std::string& path, ByteBuffer& file, FileAccessFactory makeAccess) {
  return LoadFileAtMost(path, 0xFFFFFFFFu, file, makeAccess);
}

std::int32_t LoadFileAtMost(const std::string& path, std::uint32_t maxLength, ByteBuffer& file,
                            FileAccessFactory makeAccess) {
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
  const std::int32_t result = ReadOpenFile(*access, handle, maxLength, file);
  // Every byte is in memory by now, so a failed close loses nothing.
  access->Close(handle);
  return result;
}

std::uint32_t ReadFileStart(const std::string& path, std::uint8_t* bytes, std::uint32_t count,
                            std::uint64_t* fileSize, FileAccessFactory makeAccess) {
  const std::unique_ptr<FileAccess> access = makeAccess();
  if (!access || (access->Inspect(path.c_str()) != FileKind::Regular &&
                  access->Inspect(path.c_str()) != FileKind::ReadOnly)) {
    return 0;
  }
  const FileHandle handle = access->Open(path.c_str(), os_file::kGenericRead,
                                         os_file::kFileAttributeNormal, os_file::kOpenExisting);
  if (handle == kNoFileHandle) {
    return 0;
  }
  std::uint32_t sizeHigh = 0;
  const std::uint32_t sizeLow = access->GetSize(handle, &sizeHigh);
  const std::uint32_t got = access->GetErrorCode() == 0 ? access->Read(handle, bytes, count) : 0;
  access->Close(handle);
  if (fileSize != nullptr) {
    *fileSize = static_cast<std::uint64_t>(sizeHigh) << 32 | sizeLow;
  }
  return got;
}

std::int32_t SaveFile(const std::string& path, const std::uint8_t* bytes, std::uint32_t length,
                      FileAccessFactory makeAccess) {
  ReplacingFile file(makeAccess);
  std::int32_t result = file.Open(path);
  if (result == 0) {
    result = file.Write(bytes, length);
  }
  return result != 0 ? result : file.Commit();
}

}  // namespace tonebake
