#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>

#include "fileio/os_file.h"

namespace tonebake::os_file {
namespace {

// File descriptors start at 0, which is the "no file" value of a handle, so a
// handle carries the descriptor plus one.
Handle HandleFromDescriptor(int fd) {
  return static_cast<Handle>(fd) + 1;
}
int DescriptorFromHandle(Handle handle) {
  return static_cast<int>(handle - 1);
}

// Non-blocking, so that opening a FIFO cannot hang before it is refused.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
// Created with 0666 less the umask, as any file a user makes.
constexpr int kWriteFlags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
constexpr mode_t kNewFileMode = 0666;

// Accepts only what can be read as a file; a directory gives EISDIR.
bool IsReadableFile(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    return false;
  }
  if (S_ISREG(info.st_mode)) {
    return true;
  }
  errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  return false;
}

Handle OpenForReading(const char* name) {
  const int fd = open(name, kReadFlags);
  if (fd < 0) {
    return kNoHandle;
  }
  if (!IsReadableFile(fd)) {
    const int reason = errno;
    close(fd);
    errno = reason;
    return kNoHandle;
  }
  return HandleFromDescriptor(fd);
}

// A single read or write moves at most about 2 GiB on Linux (some systems
// refuse to be asked for more), and a signal may interrupt it: loop in
// pieces until all is moved, the file ends, or a call fails.
constexpr std::uint32_t kMaxTransfer = 1u << 30;

template <typename Transfer>
bool TransferAll(std::uint32_t count, std::uint32_t* done, Transfer transfer) {
  *done = 0;
  while (*done < count) {
    const std::uint32_t left = count - *done;
    const ssize_t moved = transfer(*done, left < kMaxTransfer ? left : kMaxTransfer);
    if (moved < 0 && errno == EINTR) {
      continue;
    }
    if (moved < 0) {
      return false;
    }
    if (moved == 0) {
      break;
    }
    *done += static_cast<std::uint32_t>(moved);
  }
  return true;
}

}  // namespace

Handle Open(const char* name, std::uint32_t desiredAccess, std::uint32_t /*flagsAndAttributes*/,
            std::uint32_t creationDisposition) {
  if (desiredAccess == kGenericRead && creationDisposition == kOpenExisting) {
    return OpenForReading(name);
  }
  if (desiredAccess == kGenericWrite && creationDisposition == kCreateAlways) {
    const int fd = open(name, kWriteFlags, kNewFileMode);
    return fd < 0 ? kNoHandle : HandleFromDescriptor(fd);
  }
  errno = EINVAL;
  return kNoHandle;
}

bool Close(Handle handle) {
  return close(DescriptorFromHandle(handle)) == 0;
}

std::uint32_t GetSize(Handle handle, std::uint32_t* sizeHigh) {
  struct stat info {};
  if (fstat(DescriptorFromHandle(handle), &info) != 0 || info.st_size < 0) {
    return 0xFFFFFFFFu;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (sizeHigh != nullptr) {
    *sizeHigh = static_cast<std::uint32_t>(size >> 32);
  }
  return static_cast<std::uint32_t>(size);
}

bool Read(Handle handle, void* buffer, std::uint32_t count, std::uint32_t* done) {
  const int fd = DescriptorFromHandle(handle);
  auto* bytes = static_cast<unsigned char*>(buffer);
  return TransferAll(count, done, [fd, bytes](std::uint32_t offset, std::uint32_t left) {
    return read(fd, bytes + offset, left);
  });
}

bool Write(Handle handle, const void* buffer, std::uint32_t count, std::uint32_t* done) {
  const int fd = DescriptorFromHandle(handle);
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  return TransferAll(count, done, [fd, bytes](std::uint32_t offset, std::uint32_t left) {
    return write(fd, bytes + offset, left);
  });
}

bool Remove(const char* name) {
  struct stat info {};
  if (lstat(name, &info) != 0 || !S_ISREG(info.st_mode)) {
    return false;
  }
  return unlink(name) == 0;
}

void PrepareLargeBuffer(void* start, std::size_t length) {
#ifdef MADV_POPULATE_WRITE
  // Only whole pages inside the buffer can be advised; a small buffer is not
  // worth the call.
  constexpr std::size_t kLargeBuffer = 1024 * 1024;
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (length < kLargeBuffer || pageSize <= 0) {
    return;
  }
  const auto page = static_cast<std::uintptr_t>(pageSize);
  const auto address = reinterpret_cast<std::uintptr_t>(start);
  const std::uintptr_t first = (address + page - 1) / page * page;
  const std::uintptr_t end = (address + length) / page * page;
  const int savedErrno = errno;  // an older kernel refuses the hint: no failure
  madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
  errno = savedErrno;
#else
  (void)start;
  (void)length;
#endif
}

std::int32_t LastError() {
  return errno;
}

}  // namespace tonebake::os_file
