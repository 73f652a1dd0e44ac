#ifndef TONEBAKE_FM7PCM_PCM_IMAGE_H
#define TONEBAKE_FM7PCM_PCM_IMAGE_H

#include <cstddef>
#include <cstdint>

namespace tonebake {

// Layout of the FM-7 PCM image: a six-byte header, the samples unchanged, a
// five-byte trailer. Multi-byte numbers are big-endian.
namespace pcm_image_offset {
constexpr std::size_t kCountHigh = 1;
constexpr std::size_t kCountLow = 2;
constexpr std::size_t kWait = 5;
constexpr std::size_t kSamples = 6;
}  // namespace pcm_image_offset

constexpr std::uint32_t kPcmImageHeaderSize = 6;
constexpr std::uint32_t kPcmImageTrailerSize = 5;
constexpr std::uint32_t kPcmImageOverhead = kPcmImageHeaderSize + kPcmImageTrailerSize;
constexpr std::uint8_t kPcmEndMark = 0xFF;

// The length of the image of `count` samples. The samples of a loaded file
// always leave room for the overhead within 32 bits.
constexpr std::uint32_t PcmImageSize(std::uint32_t count) {
  return count + kPcmImageOverhead;
}

// Writes the six header bytes of an image of `count` samples played with
// `wait`.
void WritePcmImageHeader(std::uint32_t count, std::uint8_t wait, std::uint8_t* header);

// The five bytes that end every image.
extern const std::uint8_t kPcmImageTrailer[kPcmImageTrailerSize];

// Writes the image of the `count` bytes at `samples` played with `wait` to
// `image`, which holds exactly PcmImageSize(count) bytes. The count field
// keeps only the low 16 bits of the sample count; every sample is still
// written.
void BuildPcmImage(const std::uint8_t* samples, std::uint32_t count, std::uint8_t wait,
                   std::uint8_t* image);

// What the header of an image says, once the bytes have proved to be one.
struct PcmImageInfo {
  std::uint16_t count = 0;  // the count field
  std::uint8_t wait = 0;
  std::uint32_t samples = 0;  // the bytes between header and trailer
};

// Whether `length` bytes are an FM-7 PCM image: 0x00, the count, 0x00
// 0x00, the wait, the samples, and the trailer, with the count the low 16
// bits of the number of samples.
bool ParsePcmImage(const std::uint8_t* bytes, std::size_t length, PcmImageInfo& info);

}  // namespace tonebake

#endif  // TONEBAKE_FM7PCM_PCM_IMAGE_H
