#include "fm7pcm/pcm_image.h"

#include <gtest/gtest.h>

#include "support/wave_bytes.h"

namespace tonebake {
namespace {

using test::Bytes;

// Builds into a buffer one byte longer than the image, to show that nothing
// is written past the image.
Bytes Build(const Bytes& samples, std::uint8_t wait) {
  const auto count = static_cast<std::uint32_t>(samples.size());
  Bytes image(PcmImageSize(count) + 1, 0xAA);
  BuildPcmImage(samples.data(), count, wait, image.data());
  EXPECT_EQ(image.back(), 0xAA);
  image.pop_back();
  return image;
}

TEST(BuildPcmImage, FourSamples) {
  EXPECT_EQ(Build(Bytes{0x80, 0x90, 0x70, 0x80}, 16),
            (Bytes{0x00, 0x00, 0x04, 0x00, 0x00, 0x10, 0x80, 0x90, 0x70, 0x80, 0xFF, 0x00, 0x00,
                   0x00, 0x00}));
}

TEST(BuildPcmImage, OneSample) {
  EXPECT_EQ(Build(Bytes{0x42}, 7),
            (Bytes{0x00, 0x00, 0x01, 0x00, 0x00, 0x07, 0x42, 0xFF, 0x00, 0x00, 0x00, 0x00}));
}

TEST(BuildPcmImage, NoSamples) {
  EXPECT_EQ(Build(Bytes(), 255),
            (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}));
}

TEST(BuildPcmImage, CountIsBigEndianAndSamplesAreUnchanged) {
  const Bytes samples = test::RampSamples(1000);
  const Bytes image = Build(samples, 16);
  ASSERT_EQ(image.size(), 1011u);
  EXPECT_EQ(Bytes(image.begin(), image.begin() + 6), (Bytes{0x00, 0x03, 0xE8, 0x00, 0x00, 0x10}));
  EXPECT_EQ(Bytes(image.begin() + 6, image.end() - 5), samples);
  EXPECT_EQ(Bytes(image.end() - 5, image.end()), (Bytes{0xFF, 0x00, 0x00, 0x00, 0x00}));
}

TEST(BuildPcmImage, CountFieldKeepsLow16BitsButEverySampleIsWritten) {
  for (const std::size_t count : {65535u, 65536u, 65537u + 0x1234u}) {
    const Bytes samples = test::RampSamples(count);
    const Bytes image = Build(samples, 0);
    ASSERT_EQ(image.size(), count + 11) << count;
    EXPECT_EQ(image[1], static_cast<std::uint8_t>(count >> 8)) << count;
    EXPECT_EQ(image[2], static_cast<std::uint8_t>(count)) << count;
    EXPECT_EQ(Bytes(image.begin() + 6, image.end() - 5), samples) << count;
    EXPECT_EQ(image[6 + count], 0xFF) << count;
  }
}

}  // namespace
}  // namespace tonebake
