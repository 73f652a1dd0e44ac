#ifndef TONEBAKE_FILEIO_REPLACING_FILE_H
#define TONEBAKE_FILEIO_REPLACING_FILE_H

#include <cstdint>
#include <memory>
#include <string>

#include "fileio/file_access.h"

namespace tonebake {

// A file written in pieces that takes the place of `path` only when Commit
// succeeds. The bytes go to a new hidden file beside the target, created
// exclusively and named after it and this process; Commit closes it and
// renames it over the target in one step. Until then the target keeps every
// byte, whatever fails or interrupts the process (the temporary file is
// removed on SIGINT, SIGTERM and SIGHUP, or Ctrl-C on Windows).
//
// A symbolic link keeps pointing where it did and the file it points to is
// replaced; an existing file keeps its permission bits; a read-only file is
// refused; a device or a pipe is written in place, as there is nothing to
// rename. A file that is only to be made never replaces one that appears
// meanwhile. Every call returns 0 or a nonzero error code; after a failure the
// temporary file is gone and further calls fail. Destroying an uncommitted
// file abandons it.
class ReplacingFile {
 public:
  explicit ReplacingFile(FileAccessFactory makeAccess = &MakeFileAccess);
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();

  enum class Placement {
    Replace,     // take the place of whatever is at `path`
    CreateOnly,  // fail, when committing, if something has appeared at `path`
  };
  std::int32_t Open(const std::string& path, Placement placement = Placement::Replace);
  std::int32_t Write(const std::uint8_t* bytes, std::uint32_t length);
  // Overwrites bytes already written, such as a header whose sizes are known
  // only at the end.
  std::int32_t WriteAt(std::uint32_t offset, const std::uint8_t* bytes, std::uint32_t length);
  std::int32_t Commit();

  // Commits several files together: each is completed and closed first, then
  // all are put in place with interruptions held back, so that an
  // interruption comes before every rename or after them all. When one
  // rename fails, those made already are undone (an existing file comes back
  // from a second name made for it beforehand), so that every target is as
  // it was. Returns 0, or the code of the first failure with its index in
  // `failed`; every file is abandoned then.
  static std::int32_t CommitAll(ReplacingFile* const* files, std::size_t count,
                                std::size_t* failed);

  // The file that the bytes are for: `path` with its links followed.
  const std::string& target() const { return target_; }

 private:
  std::int32_t Close();
  std::int32_t PutInPlace();
  void TakeBack(const std::string& backup);
  void Release();
  std::int32_t Fail(std::int32_t fallback);
  void Abandon();

  FileAccessFactory makeAccess_;
  std::unique_ptr<FileAccess> access_;
  std::string target_;
  std::string temporary_;  // empty when writing the target in place
  Placement placement_ = Placement::Replace;
  bool targetExisted_ = false;
  FileHandle handle_ = kNoFileHandle;
  std::uint32_t written_ = 0;
  std::int32_t failure_ = 0;
};

}  // namespace tonebake

#endif  // TONEBAKE_FILEIO_REPLACING_FILE_H
