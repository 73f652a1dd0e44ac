#include "fileio/byte_buffer.h"

#include <new>

#include "fileio/os_file.h"

namespace tonebake {

bool AllocateBuffer(std::uint32_t length, ByteBuffer& buffer) {
  buffer = ByteBuffer{};
  std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[length]);
  if (!bytes) {
    return false;
  }
  os_file::PrepareLargeBuffer(bytes.get(), length);
  buffer.bytes = std::move(bytes);
  buffer.length = length;
  return true;
}

}  // namespace tonebake
