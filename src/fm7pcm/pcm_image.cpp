#include "fm7pcm/pcm_image.h"

#include <cstring>

namespace tonebake {

void BuildPcmImage(const WaveSamples& samples, std::uint8_t wait, std::uint8_t* image) {
  const std::uint32_t count = samples.count;
  // Every header byte not named below is zero.
  std::memset(image, 0, kPcmImageHeaderSize);
  image[pcm_image_offset::kCountHigh] = static_cast<std::uint8_t>(count >> 8);
  image[pcm_image_offset::kCountLow] = static_cast<std::uint8_t>(count);
  image[pcm_image_offset::kWait] = wait;
  if (count > 0) {
    std::memcpy(image + pcm_image_offset::kSamples, samples.bytes, count);
  }
  const std::uint8_t trailer[kPcmImageTrailerSize] = {kPcmEndMark, 0x00, 0x00, 0x00, 0x00};
  std::memcpy(image + pcm_image_offset::kSamples + count, trailer, kPcmImageTrailerSize);
}

}  // namespace tonebake
