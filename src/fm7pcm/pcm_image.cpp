#include "fm7pcm/pcm_image.h"

#include <cstring>

namespace tonebake {

void BuildPcmImage(const WaveSamples& samples, std::uint8_t wait, std::uint8_t* image) {
  const std::uint32_t count = samples.count;
  const std::uint8_t header[kPcmImageHeaderSize] = {
      0x00, static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count), 0x00, 0x00,
      wait};
  const std::uint8_t trailer[kPcmImageTrailerSize] = {kPcmEndMark, 0x00, 0x00, 0x00, 0x00};
  std::memcpy(image, header, kPcmImageHeaderSize);
  if (count > 0) {
    std::memcpy(image + pcm_image_offset::kSamples, samples.bytes, count);
  }
  std::memcpy(image + pcm_image_offset::kSamples + count, trailer, kPcmImageTrailerSize);
}

}  // namespace tonebake
