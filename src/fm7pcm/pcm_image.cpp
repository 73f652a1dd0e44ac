#include "fm7pcm/pcm_image.h"

#include <new>
#include <stdexcept>

namespace tonebake {
namespace {

void AppendHeader(std::uint32_t count, std::uint8_t wait, std::vector<std::uint8_t>& image) {
  const std::uint8_t header[kPcmImageHeaderSize] = {
      0x00, static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count), 0x00, 0x00,
      wait};
  image.insert(image.end(), header, header + kPcmImageHeaderSize);
}

void AppendTrailer(std::vector<std::uint8_t>& image) {
  const std::uint8_t trailer[kPcmImageTrailerSize] = {kPcmEndMark, 0x00, 0x00, 0x00, 0x00};
  image.insert(image.end(), trailer, trailer + kPcmImageTrailerSize);
}

}  // namespace

bool BuildPcmImage(const WaveSamples& samples, std::uint8_t wait,
                   std::vector<std::uint8_t>& image) {
  image.clear();
  image.shrink_to_fit();
  // One allocation of the exact size; the samples are copied once, and
  // nothing is zero-filled first.
  const std::size_t imageSize = std::size_t{samples.count} + kPcmImageOverhead;
  try {
    image.reserve(imageSize);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  AppendHeader(samples.count, wait, image);
  image.insert(image.end(), samples.bytes, samples.bytes + samples.count);
  AppendTrailer(image);
  return true;
}

}  // namespace tonebake
