#ifndef TONEBAKE_WAVE_BYTE_ORDER_H
#define TONEBAKE_WAVE_BYTE_ORDER_H

#include <cstdint>

namespace tonebake {

// Multi-byte fields are assembled from single bytes so that neither the host's
// byte order nor the alignment of the buffer matters. The caller guarantees
// that the bytes read lie inside the buffer.

inline std::uint16_t ReadLittleEndian16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t ReadLittleEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

inline void WriteLittleEndian16(std::uint8_t* bytes, std::uint16_t value) {
  bytes[0] = static_cast<std::uint8_t>(value);
  bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void WriteLittleEndian32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

}  // namespace tonebake

#endif  // TONEBAKE_WAVE_BYTE_ORDER_H
