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

}  // namespace tonebake
