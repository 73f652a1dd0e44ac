#ifndef TONEBAKE_FILEIO_OS_FILE_H
#define TONEBAKE_FILEIO_OS_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The raw operating-system file calls behind FileAccess, one implementation
// per platform. Each call mirrors its Win32 counterpart: a boolean for
// success, counts through out parameters, and the reason for a failure left
// for LastError().
namespace tonebake::os_file {

// An open file; 0 means "no file".
using Handle = std::uintptr_t;
constexpr Handle kNoHandle = 0;

// Access, attribute and disposition values, with their Win32 meanings.
constexpr std::uint32_t kGenericRead = 0x80000000u;
constexpr std::uint32_t kGenericWrite = 0x40000000u;
constexpr std::uint32_t kFileAttributeNormal = 0x80u;
constexpr std::uint32_t kCreateNew = 1;     // create; fail when the name exists
constexpr std::uint32_t kCreateAlways = 2;  // create, or truncate an existing file
constexpr std::uint32_t kOpenExisting = 3;  // fail when the file is missing

// What a name refers to, with links followed.
enum class FileKind {
  Missing,      // nothing there (or nothing that can be looked at)
  Regular,      // a file this process may replace
  ReadOnly,     // a file this process may not write
  Other,        // a directory, device or pipe: written in place, never replaced
  Unreachable,  // cannot be looked at (no permission, a name too long, a loop
                // of links): opened in place, which fails with the reason
};

// Opens without sharing. Reading requires something that can be read as a
// file: a directory, for example, fails. Returns kNoHandle on failure.
Handle Open(const char* name, std::uint32_t desiredAccess, std::uint32_t flagsAndAttributes,
            std::uint32_t creationDisposition);
bool Close(Handle handle);
// The size in two 32-bit halves; false when the system cannot tell it.
bool GetSize(Handle handle, std::uint32_t* sizeLow, std::uint32_t* sizeHigh);
// Moves up to `count` bytes in as few calls as the system allows; `*done`
// receives the bytes moved, which is less than `count` only at the end of the
// file or on failure.
bool Read(Handle handle, void* buffer, std::uint32_t count, std::uint32_t* done);
bool Write(Handle handle, const void* buffer, std::uint32_t count, std::uint32_t* done);
// Deletes a file: only ever a temporary file this process made.
bool Remove(const char* name);
bool SetPosition(Handle handle, std::uint32_t offset);
// Puts `from` in the place of `to` in one step, replacing what `to` was.
bool Rename(const char* from, const char* to);
// Puts `from` in the place of `to` only when nothing is there; fails with
// the system's "exists" code otherwise.
bool RenameNoReplace(const char* from, const char* to);
// A second name for an existing file (a hard link); false where the file
// system has none.
bool Link(const char* existing, const char* name);
FileKind Inspect(const char* name);
// The file that `name` finally refers to: symbolic links followed when they
// lead to a regular file or to nothing yet; the name itself when it is not
// a link, or leads to anything else (a pipe, a device: /dev/stdout).
std::string FollowLinks(const std::string& name);
// Gives the open file the permission bits of the file at `model`.
bool CopyPermissions(Handle handle, const char* model);
// The length of the directory part of `path`, its last separator included.
std::size_t DirectoryLength(const std::string& path);
// The longest name, in bytes, that the directory `directory` (empty: the
// current one) can hold.
std::size_t NameLimit(const std::string& directory);
// The longest start of `name` of at most `bytes` bytes that ends on a whole
// character.
std::string CutName(const std::string& name, std::size_t bytes);

// What makes a file itself, whatever names it has: device and inode, or
// volume serial and file index. False when the name cannot be looked at.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileId& other) const {
    return volume == other.volume && index == other.index;
  }
};
bool Identify(const char* name, FileId& id);
// The identity of the regular file that standard output writes to; false
// when it is a terminal, a pipe or anything else.
bool IdentifyStandardOutput(FileId& id);
// The identity of whatever standard output writes to, a pipe or a device
// included where the system gives one one (POSIX); false when it has none.
bool IdentifyStandardOutputStream(FileId& id);
// Names compare as the file system compares them: exactly on POSIX, without
// regard to case on Windows.
bool SameNameText(const std::string& a, const std::string& b);
// Whether the folder (empty: the current one) takes names that differ only
// in case for one file, as macOS's and FAT's do: asked of the folder itself
// on POSIX, by a probe file made and removed at once; always on Windows.
bool FolderFoldsCase(const std::string& directory);

// An exclusive lock held on the file `name`, made when missing, for as long
// as the handle is open. TryLock answers Locked (with the handle), Busy (held
// by another process; try again), NotAFile (the name is taken by a link, a
// pipe or anything but a plain file: never waited on) or Failed (the reason
// left for LastError).
// Unlock removes the file, then lets it go, so that a waiting process finds
// its lock gone and makes a new one.
enum class LockResult { Locked, Busy, NotAFile, Failed };
LockResult TryLock(const char* name, Handle* handle);
void Unlock(const char* name, Handle handle);
void SleepMilliseconds(std::uint32_t milliseconds);
std::uint32_t ProcessId();
// While a file is being written under a temporary name: if the process is
// interrupted (Ctrl-C, termination, hang-up, or any other signal that
// would end it), the file is removed before the process ends as the signal
// would end it. A name is guarded before the
// file is created, so that no moment is left in which an interruption could
// leave it behind; its handle, once there is one, is given with
// SetGuardedHandle (Windows closes it before deleting the file). Up to
// kMaxGuarded files at once; false when that many are guarded already (a
// file is then not to be made). `name` must stay valid until it is released.
constexpr int kMaxGuarded = 16;
bool GuardTemporary(const char* name);
void SetGuardedHandle(const char* name, Handle handle);
void ReleaseTemporary(const char* name);
// From the start of a program that writes files: a write past the file-size
// limit or to a closed pipe fails and is reported instead of ending the
// process, and the interruptions are guarded.
void InstallSignalHandling();
// Between these two, interruptions wait: several files are put in place
// together, and an interruption comes before all of them or after all.
// Calls do not nest.
void DeferInterruptions();
void ResumeInterruptions();
// Asks the system to back [start, start + length), a fresh buffer about to
// be filled, with memory at once: one call instead of a page fault for every
// page, which is most of the cost of filling a large buffer. Only a hint:
// nothing changes where it is not understood.
void PrepareLargeBuffer(void* start, std::size_t length);
// Makes standard output carry bytes unchanged: Windows would otherwise
// turn each 0x0A into 0x0D 0x0A. Nothing elsewhere.
void SetStandardOutputBinary();
// The same for standard input: bytes as they come.
void SetStandardInputBinary();

// An anonymous temporary file, open to read and write in binary, that
// disappears when it is closed or the process ends, in the system's folder
// for temporary files (Windows's own tmpfile would make it in the drive's
// root, which a user may not write). nullptr on failure, the reason left
// for LastError().
std::FILE* OpenTemporaryFile();

#ifdef _WIN32
// A name in the active code page (as every name is taken here) for the
// calls that take UTF-16 names only; empty when it cannot be converted.
std::wstring WideName(const std::string& name);
#endif
// The system's code for the most recent failed call.
std::int32_t LastError();
// The system's own words for one of its codes.
std::string DescribeError(std::int32_t code);

}  // namespace tonebake::os_file

#endif  // TONEBAKE_FILEIO_OS_FILE_H
