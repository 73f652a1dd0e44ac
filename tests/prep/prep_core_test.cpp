#include <gtest/gtest.h>

#include <cmath>

#include "fm7pcm/wait_table.h"
#include "prep/prep_options.h"
#include "prep/signal.h"
#include "prep/wave_writer.h"
#include "wave/wave_header.h"

namespace tonebake::prep {
namespace {

ParsedOptions Parse(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "tonebake-prep");
  return ParsePrepOptions(arguments);
}

TEST(ParsePrepOptions, ReadsEveryOption) {
  const ParsedOptions parsed = Parse(
      {"--wait", "16", "--normalize", "--no-dither", "--image", "x.bin", "in.flac", "out.wav"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.options.wait, 16);
  EXPECT_TRUE(parsed.options.normalize);
  EXPECT_FALSE(parsed.options.dither);
  EXPECT_EQ(parsed.options.image, "x.bin");
  EXPECT_EQ(parsed.options.input, "in.flac");
  EXPECT_EQ(parsed.options.output, "out.wav");

  const ParsedOptions shortForms = Parse({"-r", "8000", "-n", "in", "out"});
  ASSERT_EQ(shortForms.error, "");
  EXPECT_EQ(shortForms.options.rate, 8000);
  EXPECT_TRUE(shortForms.options.dither);
  const ParsedOptions afterNames = Parse({"in", "out", "--wait", "3", "--", "-odd"});
  EXPECT_EQ(afterNames.error, "needs exactly two file names, INPUT and OUTPUT.wav");
  const ParsedOptions mixed = Parse({"in", "--wait", "3", "--", "-odd"});
  ASSERT_EQ(mixed.error, "");
  EXPECT_EQ(mixed.options.wait, 3);
  EXPECT_EQ(mixed.options.output, "-odd");
  EXPECT_TRUE(Parse({"--help"}).options.help);
  EXPECT_TRUE(Parse({"--version"}).options.version);
}

TEST(ParsePrepOptions, RefusesWhatCannotBeUsed) {
  const std::vector<std::vector<std::string>> cases = {
      {"in"},
      {"in", "out", "extra"},
      {"--wait", "64", "in", "out"},
      {"--wait", "-1", "in", "out"},
      {"--wait", "7x", "in", "out"},
      {"--rate", "0", "in", "out"},
      {"--wait", "3", "--rate", "8000", "in", "out"},
      {"--bogus", "in", "out"},
      {"in", "out", "--wait"},
  };
  for (const auto& arguments : cases) {
    EXPECT_NE(Parse(arguments).error, "") << arguments.front();
  }
}

TEST(ClosestWait, PicksTheNearestRate) {
  EXPECT_EQ(ClosestWait(8031), 16);
  EXPECT_EQ(ClosestWait(8000), 16);
  EXPECT_EQ(ClosestWait(8150), 15);  // 8214 is 64 away, 8031 is 119 away
  EXPECT_EQ(ClosestWait(44100), 0);
  EXPECT_EQ(ClosestWait(1), 63);
}

TEST(QuantizeTo8Bit, MapsLevelsAroundSilenceAndClamps) {
  const std::vector<float> levels = {0.0f, 0.5f, -0.5f, kFullScale, -1.0f, 2.0f, -2.0f};
  EXPECT_EQ(QuantizeTo8Bit(levels, false),
            (std::vector<std::uint8_t>{128, 192, 64, 255, 0, 255, 0}));
}

TEST(QuantizeTo8Bit, DitherIsTriangularSmallAndRepeatable) {
  const std::vector<float> silence(10000, 0.0f);
  const std::vector<std::uint8_t> first = QuantizeTo8Bit(silence, true);
  EXPECT_EQ(first, QuantizeTo8Bit(silence, true));
  int moved = 0;
  for (const std::uint8_t sample : first) {
    EXPECT_GE(sample, 127);
    EXPECT_LE(sample, 129);
    moved += sample != 128;
  }
  // Triangular noise of one step peak moves a quarter of the samples.
  EXPECT_NEAR(moved, 2500, 300);
}

TEST(Downmix, AveragesChannels) {
  EXPECT_EQ(Downmix({1.0f, 0.0f, -0.5f, 0.5f}, 2), (std::vector<float>{0.5f, 0.0f}));
  EXPECT_EQ(Downmix({0.25f, -0.25f}, 1), (std::vector<float>{0.25f, -0.25f}));
}

TEST(Normalize, ScalesThePeakToFullScale) {
  std::vector<float> samples = {0.1f, -0.25f, 0.2f};
  Normalize(samples);
  EXPECT_FLOAT_EQ(samples[1], -kFullScale);
  EXPECT_FLOAT_EQ(samples[0], 0.4f * kFullScale);
  std::vector<float> silence(3, 0.0f);
  Normalize(silence);
  EXPECT_EQ(silence, std::vector<float>(3, 0.0f));
}

TEST(MakeCanonicalWave, TonebakeAcceptsItAndPicksTheIntendedWait) {
  const std::vector<std::uint8_t> samples = {1, 2, 3};
  for (std::size_t wait = 0; wait < kWaitRateCount; ++wait) {
    const std::vector<std::uint8_t> file = MakeCanonicalWave(samples, WaitRateTable[wait]);
    const auto length = static_cast<std::uint32_t>(file.size());
    ASSERT_EQ(CheckWaveHeader(file.data(), length), HeaderOk);
    WaveSamples located;
    ASSERT_EQ(LocateSamples(file.data(), length, located), HeaderOk);
    EXPECT_EQ(std::vector<std::uint8_t>(located.bytes, located.bytes + located.count), samples);
    EXPECT_EQ(SelectWait(ReadSampleRate(file.data())), wait);
  }
}

}  // namespace
}  // namespace tonebake::prep
