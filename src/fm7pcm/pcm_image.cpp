#include "fm7pcm/pcm_image.h"

#include <cstring>

namespace tonebake {

const std::uint8_t kPcmImageTrailer[kPcmImageTrailerSize] = {kPcmEndMark, 0x00, 0x00, 0x00, 0x00};

void WritePcmImageHeader(std::uint32_t count, std::uint8_t wait, std::uint8_t* header) {
  // Every header byte not named below is zero.
  std::memset(header, 0, kPcmImageHeaderSize);
  header[pcm_image_offset::kCountHigh] = static_cast<std::uint8_t>(count >> 8);
  header[pcm_image_offset::kCountLow] = static_cast<std::uint8_t>(count);
  header[pcm_image_offset::kWait] = wait;
}

void BuildPcmImage(const std::uint8_t* samples, std::uint32_t count, std::uint8_t wait,
                   std::uint8_t* image) {
  WritePcmImageHeader(count, wait, image);
  if (count > 0) {
    std::memcpy(image + pcm_image_offset::kSamples, samples, count);
  }
  std::memcpy(image + pcm_image_offset::kSamples + count, kPcmImageTrailer, kPcmImageTrailerSize);
}

bool ParsePcmImage(const std::uint8_t* bytes, std::size_t length, PcmImageInfo& info) {
  if (length < kPcmImageOverhead || bytes[0] != 0 || bytes[3] != 0 || bytes[4] != 0 ||
      std::memcmp(bytes + length - kPcmImageTrailerSize, kPcmImageTrailer, kPcmImageTrailerSize) !=
          0) {
    return false;
  }
  const auto samples = static_cast<std::uint32_t>(length - kPcmImageOverhead);
  const auto count = static_cast<std::uint16_t>(bytes[pcm_image_offset::kCountHigh] << 8 |
                                                bytes[pcm_image_offset::kCountLow]);
  if ((samples & 0xFFFF) != count) {
    return false;
  }
  info.count = count;
  info.wait = bytes[pcm_image_offset::kWait];
  info.samples = samples;
  return true;
}

}  // namespace tonebake
