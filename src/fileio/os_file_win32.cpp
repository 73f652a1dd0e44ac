#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include <algorithm>
#include <string>

#include "fileio/os_file.h"

namespace tonebake::os_file {
namespace {

HANDLE AsWin32(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

constexpr DWORD kNoSharing = 0;

// ReadFile and WriteFile share one loop: each moves what it can, and the loop
// goes on until all is moved, the file ends, or a call fails.
template <typename Transfer>
bool TransferAll(std::uint32_t count, std::uint32_t* done, Transfer transfer) {
  *done = 0;
  while (*done < count) {
    DWORD moved = 0;
    if (!transfer(*done, count - *done, &moved)) {
      return false;
    }
    if (moved == 0) {
      break;  // end of file
    }
    *done += moved;
  }
  return true;
}

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

bool GetSize(Handle handle, std::uint32_t* sizeLow, std::uint32_t* sizeHigh) {
  DWORD high = 0;
  // 0xFFFFFFFF is also the low half of a real size: only the error code
  // tells a failure.
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(AsWin32(handle), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
    return false;
  }
  *sizeLow = low;
  *sizeHigh = high;
  return true;
}

bool Read(Handle handle, void* buffer, std::uint32_t count, std::uint32_t* done) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  return TransferAll(count, done, [handle, bytes](std::uint32_t offset, DWORD left, DWORD* moved) {
    return ReadFile(AsWin32(handle), bytes + offset, left, moved, nullptr) != FALSE;
  });
}

bool Write(Handle handle, const void* buffer, std::uint32_t count, std::uint32_t* done) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  return TransferAll(count, done, [handle, bytes](std::uint32_t offset, DWORD left, DWORD* moved) {
    return WriteFile(AsWin32(handle), bytes + offset, left, moved, nullptr) != FALSE;
  });
}

bool Remove(const char* name) {
  return DeleteFileA(name) != FALSE;
}

bool SetPosition(Handle handle, std::uint32_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  return SetFilePointerEx(AsWin32(handle), position, nullptr, FILE_BEGIN) != FALSE;
}

bool Rename(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool RenameNoReplace(const char* from, const char* to) {
  return MoveFileExA(from, to, 0) != FALSE;
}

bool Link(const char* existing, const char* name) {
  return CreateHardLinkA(name, existing, nullptr) != FALSE;
}

FileKind Inspect(const char* name) {
  const DWORD attributes = GetFileAttributesA(name);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD reason = GetLastError();
    return reason == ERROR_FILE_NOT_FOUND || reason == ERROR_PATH_NOT_FOUND ? FileKind::Missing
                                                                            : FileKind::Unreachable;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return FileKind::Other;
  }
  // A device name such as NUL answers with attributes too: only a file on a
  // disk is replaced.
  const HANDLE probe = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    const DWORD type = GetFileType(probe);
    CloseHandle(probe);
    if (type != FILE_TYPE_DISK) {
      return FileKind::Other;
    }
  }
  return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? FileKind::ReadOnly : FileKind::Regular;
}

// Links are left to the system: a replaced name gets the new file.
std::string FollowLinks(const std::string& name) {
  return name;
}

// A new file takes its permissions from its directory, as the old one did.
bool CopyPermissions(Handle, const char*) {
  return true;
}

// Stepping over double-byte characters, whose second byte may be that of "\".
std::size_t DirectoryLength(const std::string& path) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (IsDBCSLeadByte(static_cast<BYTE>(c))) {
      ++i;
    } else if (c == '\\' || c == '/' || (c == ':' && i == 1)) {
      length = i + 1;
    }
  }
  return length;
}

// A name is at most 255 characters on NTFS and FAT alike, and with the
// directory's full path it must fit in MAX_PATH, the limit of the calls
// used here.
std::size_t NameLimit(const std::string& directory) {
  constexpr std::size_t kLongestName = 255;
  char full[MAX_PATH];
  const DWORD length =
      GetFullPathNameA(directory.empty() ? "." : directory.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) {
    return kLongestName;
  }
  // The full path, a separator unless it ends in one, the name, the final NUL.
  const bool separated = full[length - 1] == '\\' || full[length - 1] == '/';
  const std::size_t used = length + (separated ? 0 : 1) + 1;
  return used < MAX_PATH ? std::min<std::size_t>(kLongestName, MAX_PATH - used) : 0;
}

std::string CutName(const std::string& name, std::size_t bytes) {
  std::size_t cut = 0;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t width = IsDBCSLeadByte(static_cast<BYTE>(name[i])) ? 2 : 1;
    if (i + width > bytes) {
      break;
    }
    i += width;
    cut = i;
  }
  return name.substr(0, cut);
}

bool Identify(const char* name, FileId& id) {
  // Backup semantics let a directory be opened too, for its identity only.
  const HANDLE handle = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(handle, &info) != FALSE;
  CloseHandle(handle);
  id.volume = info.dwVolumeSerialNumber;
  id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return known;
}

bool IdentifyStandardOutput(FileId& id) {
  const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  BY_HANDLE_FILE_INFORMATION info{};
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
      GetFileType(handle) != FILE_TYPE_DISK || GetFileInformationByHandle(handle, &info) == FALSE) {
    return false;
  }
  id.volume = info.dwVolumeSerialNumber;
  id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

// A pipe or the console has no file index: only files on disk compare.
bool IdentifyStandardOutputStream(FileId& id) {
  return IdentifyStandardOutput(id);
}

bool FolderFoldsCase(const std::string&) {
  return true;
}

bool SameNameText(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

// Opened without sharing, the file is the lock itself; it is deleted when
// the handle closes, however the process ends.
LockResult TryLock(const char* name, Handle* handle) {
  const HANDLE file =
      CreateFileA(name, GENERIC_READ | GENERIC_WRITE, kNoSharing, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD reason = GetLastError();
    // A folder at the name is no lock anyone holds: it never goes away.
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return LockResult::NotAFile;
    }
    // A lock being let go is "delete pending" for a moment: access denied.
    return reason == ERROR_SHARING_VIOLATION || reason == ERROR_ACCESS_DENIED ? LockResult::Busy
                                                                              : LockResult::Failed;
  }
  *handle = reinterpret_cast<Handle>(file);
  return LockResult::Locked;
}

void Unlock(const char*, Handle handle) {
  CloseHandle(AsWin32(handle));
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  Sleep(milliseconds);
}

std::uint32_t ProcessId() {
  return GetCurrentProcessId();
}

namespace {

// Read by the console control handler, which runs on a thread of its own.
struct Guarded {
  const char* volatile name;
  volatile HANDLE handle;
};
Guarded g_guarded[kMaxGuarded] = {};
// Set while files are put in place together; the handler waits for it.
volatile LONG g_deferring = 0;

BOOL WINAPI RemoveGuardedOnControl(DWORD /*event*/) {
  while (g_deferring != 0) {
    Sleep(1);
  }
  for (Guarded& slot : g_guarded) {
    const char* name = slot.name;
    if (name != nullptr) {
      // The file is open without sharing: it can be deleted only once closed.
      if (slot.handle != nullptr) {
        CloseHandle(slot.handle);
      }
      DeleteFileA(name);
    }
  }
  return FALSE;  // the default handler then ends the process
}

}  // namespace

bool GuardTemporary(const char* name) {
  InstallSignalHandling();
  for (Guarded& slot : g_guarded) {
    if (slot.name == nullptr) {
      slot.handle = nullptr;
      slot.name = name;
      return true;
    }
  }
  return false;
}

void SetGuardedHandle(const char* name, Handle handle) {
  for (Guarded& slot : g_guarded) {
    if (slot.name == name) {
      slot.handle = AsWin32(handle);
    }
  }
}

void ReleaseTemporary(const char* name) {
  for (Guarded& slot : g_guarded) {
    if (slot.name == name) {
      slot.name = nullptr;
      slot.handle = nullptr;
    }
  }
}

// Windows has no file-size signal nor broken-pipe signal: a failed write
// is reported as it is.
void InstallSignalHandling() {
  static const bool installed = SetConsoleCtrlHandler(RemoveGuardedOnControl, TRUE) != FALSE;
  (void)installed;
}

void DeferInterruptions() {
  InterlockedExchange(&g_deferring, 1);
}

void ResumeInterruptions() {
  InterlockedExchange(&g_deferring, 0);
}

// Windows commits the pages of a heap block as it is allocated.
void PrepareLargeBuffer(void*, std::size_t) {}

void SetStandardOutputBinary() {
  _setmode(_fileno(stdout), _O_BINARY);
}

void SetStandardInputBinary() {
  _setmode(_fileno(stdin), _O_BINARY);
}

std::FILE* OpenTemporaryFile() {
  char folder[MAX_PATH + 1] = {};
  char name[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameA(folder, "tbk", 0, name) == 0) {
    return nullptr;
  }
  // The name GetTempFileName made is opened again to be deleted on close.
  const HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    DeleteFileA(name);
    SetLastError(error);
    return nullptr;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* const file = _fdopen(descriptor, "w+b");
  if (file == nullptr) {
    _close(descriptor);
  }
  return file;
}

std::wstring WideName(const std::string& name) {
  const int length =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name.c_str(), -1, nullptr, 0);
  if (length <= 0) {
    return std::wstring();
  }
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name.c_str(), -1, &wide[0], length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

std::int32_t LastError() {
  return static_cast<std::int32_t>(GetLastError());
}

std::string DescribeError(std::int32_t code) {
  char text[256] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  std::string described(text, length);
  // Without the line end the system puts after its sentence.
  while (!described.empty() &&
         (described.back() == '\n' || described.back() == '\r' || described.back() == '.')) {
    described.pop_back();
  }
  return described.empty() ? "error " + std::to_string(code) : described;
}

}  // namespace tonebake::os_file
