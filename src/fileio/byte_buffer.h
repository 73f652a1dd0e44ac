#ifndef TONEBAKE_FILEIO_BYTE_BUFFER_H
#define TONEBAKE_FILEIO_BYTE_BUFFER_H

#include <cstdint>
#include <memory>

namespace tonebake {

// A heap byte array with its 32-bit length: a whole loaded file, or an image
// on its way to disk.
struct ByteBuffer {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::uint32_t length = 0;
};

// Allocates `length` bytes, not zero-filled: every byte is about to be
// written, and a large buffer is backed with memory at once. Returns false,
// leaving `buffer` empty, when the memory cannot be had.
bool AllocateBuffer(std::uint32_t length, ByteBuffer& buffer);

}  // namespace tonebake

#endif  // TONEBAKE_FILEIO_BYTE_BUFFER_H
