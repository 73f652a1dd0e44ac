#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "fileio/os_file.h"

namespace tonebake::os_file {
namespace {

HANDLE AsWin32(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

constexpr DWORD kNoSharing = 0;

}  // namespace

Handle Open(const char* name, std::uint32_t desiredAccess, std::uint32_t flagsAndAttributes,
            std::uint32_t creationDisposition) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened, so only
  // files are ever read.
  const HANDLE handle = CreateFileA(name, desiredAccess, kNoSharing, nullptr, creationDisposition,
                                    flagsAndAttributes, nullptr);
  return handle == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<Handle>(handle);
}

bool Close(Handle handle) {
  return CloseHandle(AsWin32(handle)) != FALSE;
}

std::uint32_t GetSize(Handle handle, std::uint32_t* sizeHigh) {
  DWORD high = 0;
  const DWORD low = GetFileSize(AsWin32(handle), &high);
  if (sizeHigh != nullptr) {
    *sizeHigh = high;
  }
  return low;
}

bool Read(Handle handle, void* buffer, std::uint32_t count, std::uint32_t* done) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  *done = 0;
  while (*done < count) {
    DWORD moved = 0;
    if (!ReadFile(AsWin32(handle), bytes + *done, count - *done, &moved, nullptr)) {
      return false;
    }
    if (moved == 0) {
      break;  // end of file
    }
    *done += moved;
  }
  return true;
}

bool Write(Handle handle, const void* buffer, std::uint32_t count, std::uint32_t* done) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  *done = 0;
  while (*done < count) {
    DWORD moved = 0;
    if (!WriteFile(AsWin32(handle), bytes + *done, count - *done, &moved, nullptr)) {
      return false;
    }
    if (moved == 0) {
      break;
    }
    *done += moved;
  }
  return true;
}

bool Remove(const char* name) {
  const DWORD attributes = GetFileAttributesA(name);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  return DeleteFileA(name) != FALSE;
}

// Windows commits the pages of a heap block as it is allocated.
void PrepareLargeBuffer(void*, std::size_t) {}

std::int32_t LastError() {
  return static_cast<std::int32_t>(GetLastError());
}

}  // namespace tonebake::os_file
