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

// Creates or truncates the file at `path` and writes `length` bytes. Returns
// 0, or a nonzero error code when the file cannot be created, fewer bytes
// than asked are written, or closing it fails; in the last two cases the
// incomplete file is removed, so that no truncated output remains.
std::int32_t SaveFile(const std::string& path, const std::uint8_t* bytes, std::uint32_t length,
                      FileAccessFactory makeAccess = &MakeFileAccess);

}  // namespace tonebake

#endif  // TONEBAKE_FILEIO_WHOLE_FILE_H
