#ifndef TONEBAKE_FILEIO_FILE_ACCESS_H
#define TONEBAKE_FILEIO_FILE_ACCESS_H

#include <cstdint>
#include <memory>
#include <string>

#include "fileio/os_file.h"

namespace tonebake {

using FileHandle = os_file::Handle;
constexpr FileHandle kNoFileHandle = os_file::kNoHandle;

// The class's own failure codes, recorded instead of the system's when
// useSystemError is off. Size shares its code with Close.
enum FileAccessCode : std::int32_t {
  ReadFailed = 0x8103,
  WriteFailed = 0x8104,
  OpenFailed = 0x8107,
  CloseFailed = 0x8108,
  SizeFailed = CloseFailed,
  RenameFailed = 0x8109,
  PermissionsFailed = 0x810A,
  SeekFailed = 0x810B,
  RemoveFailed = 0x810C,
  // Used by the whole-file functions for failures that are not a system call's.
  FileTooLarge = 0x8110,
  OutOfMemory = 0x8111,
  TargetReadOnly = 0x8112,
  LockTimedOut = 0x8113,    // another run held the file's lock all along
  TargetExists = 0x8114,    // a file that is only to be made is there already
  TooLargeForUse = 0x8115,  // larger than what it is read for can take
  LockNameTaken = 0x8116,   // a lock file's name is taken by a link, a pipe or a folder
};

using FileKind = os_file::FileKind;

// A thin layer over the operating system's file calls that records an error
// code when a call fails instead of throwing. Every operation is virtual so
// that a derived class can change how errors are recorded, or stand in for
// the file system altogether (tests use this to make calls fail).
class FileAccess {
 public:
  FileAccess() = default;
  FileAccess(const FileAccess&) = delete;
  FileAccess& operator=(const FileAccess&) = delete;
  virtual ~FileAccess() = default;

  virtual std::int32_t SetErrorCode(std::int32_t code);  // returns the previous code
  virtual std::int32_t GetErrorCode() const;
  virtual std::int32_t SetUseSystemError(std::int32_t flag);  // returns the previous flag
  virtual std::int32_t GetUseSystemError() const;

  // Opens without sharing; returns kNoFileHandle on failure.
  virtual FileHandle Open(const char* name, std::uint32_t desiredAccess,
                          std::uint32_t flagsAndAttributes, std::uint32_t creationDisposition);
  // 1 on success, 0 on failure.
  virtual int Close(FileHandle handle);
  // The low 32 bits of the size, the high ones to *sizeHigh when given.
  // 0xFFFFFFFF is a failure only when an error code is recorded with it: a
  // file may be exactly that long.
  virtual std::uint32_t GetSize(FileHandle handle, std::uint32_t* sizeHigh);
  // The bytes actually moved; fewer than asked at the end of the file or on
  // failure.
  virtual std::uint32_t Read(FileHandle handle, void* buffer, std::uint32_t count);
  virtual std::uint32_t Write(FileHandle handle, const void* buffer, std::uint32_t count);
  // Deletes a file: the temporary file of a save that failed. 1 or 0.
  virtual int Remove(const char* name);
  // Moves to `offset` bytes from the start of the file. 1 or 0.
  virtual int SetPosition(FileHandle handle, std::uint32_t offset);
  // Puts the file `from` in the place of `to` in one step. 1 or 0.
  virtual int Rename(const char* from, const char* to);
  // Gives the open file the permission bits of the file `model`. 1 or 0.
  virtual int CopyPermissions(FileHandle handle, const char* model);
  // A second name for an existing file (a hard link). 1 or 0: 0 also where
  // the file system has none (FAT, exFAT).
  virtual int Link(const char* existing, const char* name);
  // Queries that cannot fail: what a name refers to, and the file at the end
  // of its symbolic links.
  virtual FileKind Inspect(const char* name);
  virtual std::string FollowLinks(const std::string& name);

 private:
  void RecordFailure(std::int32_t ownCode);

  std::int32_t errorCode = 0;
  std::int32_t useSystemError = 1;
};

// A reason for a recorded code, for a message: the system's own words for
// its codes, plain words for the class's.
std::string DescribeFileError(std::int32_t code);

// Makes the FileAccess used for one whole-file transfer; null when it cannot
// be allocated.
using FileAccessFactory = std::unique_ptr<FileAccess> (*)();
std::unique_ptr<FileAccess> MakeFileAccess();

}  // namespace tonebake

#endif  // TONEBAKE_FILEIO_FILE_ACCESS_H
