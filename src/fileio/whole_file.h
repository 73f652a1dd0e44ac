#ifndef TONEBAKE_FILEIO_WHOLE_FILE_H
#define TONEBAKE_FILEIO_WHOLE_FILE_H

#include <cstdint>
#include <memory>
#include <string>

#include "fileio/byte_buffer.h"
#include "fileio/file_access.h"

namespace tonebake {

// Reads the whole file at `path` into `file`. Its length is 32-bit, so larger
// files are refused. Returns 0, or a nonzero error code with `file` left
// empty: the file cannot be opened or sized, is 4 GiB or larger,
// memory for it cannot be had, or fewer bytes than its size could be read.
std::int32_t LoadFile(const std::string& path, ByteBuffer& file,
                      FileAccessFactory makeAccess = &MakeFileAccess);

// LoadFile for a use that takes at most `maxLength` bytes: a longer file is
// refused with TooLargeForUse before anything is read.
std::int32_t LoadFileAtMost(const std::string& path, std::uint32_t maxLength, ByteBuffer& file,
                            FileAccessFactory makeAccess = &MakeFileAccess);

// Up to `count` bytes from the start of the regular file at `path`, into
// `bytes`, and its whole size into `fileSize` when asked; how many bytes in
// the result, 0 when it is missing, empty, not a regular file (a pipe is
// never read from) or cannot be read.
std::uint32_t ReadFileStart(const std::string& path, std::uint8_t* bytes, std::uint32_t count,
                            std::uint64_t* fileSize = nullptr,
                            FileAccessFactory makeAccess = &MakeFileAccess);

// Makes the file at `path` hold exactly `length` bytes. They are written to
// a new temporary file beside it, which then replaces it in one step, so
// that a failure or an interruption leaves an existing file as it was and
// never a truncated one. A symbolic link keeps pointing where it did, and
// the file it points to is replaced; an existing file keeps its permission
// bits; a device or pipe is written in place. Returns 0, or a nonzero error
// code when anything fails (the temporary file is then removed), or when the
// existing file is read-only.
std::int32_t SaveFile(const std::string& path, const std::uint8_t* bytes, std::uint32_t length,
                      FileAccessFactory makeAccess = &MakeFileAccess);

}  // namespace tonebake

#endif  // TONEBAKE_FILEIO_WHOLE_FILE_H
