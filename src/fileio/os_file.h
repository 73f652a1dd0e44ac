#ifndef TONEBAKE_FILEIO_OS_FILE_H
#define TONEBAKE_FILEIO_OS_FILE_H

#include <cstddef>
#include <cstdint>

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
constexpr std::uint32_t kCreateAlways = 2;  // create, or truncate an existing file
constexpr std::uint32_t kOpenExisting = 3;  // fail when the file is missing

// Opens without sharing. Reading requires something that can be read as a
// file: a directory, for example, fails. Returns kNoHandle on failure.
Handle Open(const char* name, std::uint32_t desiredAccess, std::uint32_t flagsAndAttributes,
            std::uint32_t creationDisposition);
bool Close(Handle handle);
// The low 32 bits of the size; the high bits go to *sizeHigh when it is given.
// 0xFFFFFFFF on failure.
std::uint32_t GetSize(Handle handle, std::uint32_t* sizeHigh);
// Moves up to `count` bytes in as few calls as the system allows; `*done`
// receives the bytes moved, which is less than `count` only at the end of the
// file or on failure.
bool Read(Handle handle, void* buffer, std::uint32_t count, std::uint32_t* done);
bool Write(Handle handle, const void* buffer, std::uint32_t count, std::uint32_t* done);
// Deletes a regular file; anything else (a device, say) is left alone.
bool Remove(const char* name);
// Asks the system to back [start, start + length), a fresh buffer about to
// be filled, with memory at once: one call instead of a page fault for every
// page, which is most of the cost of filling a large buffer. Only a hint:
// nothing changes where it is not understood.
void PrepareLargeBuffer(void* start, std::size_t length);
// The system's code for the most recent failed call.
std::int32_t LastError();

}  // namespace tonebake::os_file

#endif  // TONEBAKE_FILEIO_OS_FILE_H
