#include <gtest/gtest.h>

#include <cmath>

#include "fm7pcm/wait_table.h"
#include "prep/prep_options.h"
#include "prep/signal.h"

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
  const ParsedOptions trailing = Parse({"in.flac", "out.wav", "-n", "--gain", "-3"});
  ASSERT_EQ(trailing.error, "");
  EXPECT_EQ(trailing.options.output, "out.wav");
  EXPECT_TRUE(trailing.options.normalize);
  EXPECT_EQ(trailing.options.gainDb, -3.0);
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
      {"--channel", "centre", "in", "out"},
      {"--image", "out", "in", "out"},
      {"--gain", "1e300", "in", "out"},
  };
  for (const auto& arguments : cases) {
    EXPECT_NE(Parse(arguments).error, "") << arguments.front();
  }
  // What is wrong is named as the user wrote it.
  EXPECT_EQ(Parse({"--bogus=1", "in", "out"}).error, "unknown option '--bogus'");
  EXPECT_EQ(Parse({"-x", "in", "out"}).error, "unknown option '-x'");
  EXPECT_EQ(Parse({"in", "out", "--wait"}).error, "option '--wait' needs a value");
  // A file an option names is a file of its own: not empty, not '-'.
  const std::vector<std::pair<std::vector<std::string>, std::string>> files = {
      {{"--disk", "-", "in", "out"},
       "--disk needs a file name; only OUTPUT can be standard output"},
      {{"--tape", "-", "in", "out"},
       "--tape needs a file name; only OUTPUT can be standard output"},
      {{"--image=", "in", "out"}, "--image needs a file name, not an empty one"},
      {{"--disk", "", "in", "out"}, "--disk needs a file name, not an empty one"},
      {{"in", ""}, "OUTPUT needs a file name, not an empty one"},
  };
  for (const auto& [arguments, error] : files) {
    EXPECT_EQ(Parse(arguments).error, error) << arguments.front();
  }
}

TEST(ClosestWait, PicksTheNearestRate) {
  EXPECT_EQ(ClosestWait(8031), 16);
  EXPECT_EQ(ClosestWait(8000), 16);
  EXPECT_EQ(ClosestWait(8150), 15);  // 8214 is 64 away, 8031 is 119 away
  EXPECT_EQ(ClosestWait(7855.4), 17);
  EXPECT_EQ(ClosestWait(44100), 0);
  EXPECT_EQ(ClosestWait(1), 63);
}

std::vector<std::uint8_t> Quantize(const std::vector<float>& levels, bool dither,
                                   std::uint64_t* clipped = nullptr) {
  Quantizer quantizer(dither);
  std::vector<std::uint8_t> bytes;
  for (const float level : levels) {
    bytes.push_back(quantizer.Quantize(level));
  }
  if (clipped != nullptr) {
    *clipped = quantizer.clipped();
  }
  return bytes;
}

TEST(Quantizer, MapsLevelsAroundSilenceAndCountsWhatItClamps) {
  const std::vector<float> levels = {0.0f, 0.5f, -0.5f, kFullScale, -1.0f, 2.0f, -2.0f, 1.0f};
  std::uint64_t clipped = 0;
  EXPECT_EQ(Quantize(levels, false, &clipped),
            (std::vector<std::uint8_t>{128, 192, 64, 255, 0, 255, 0, 255}));
  EXPECT_EQ(clipped, 3u);  // 2, -2 and 1 lie beyond 8 bits; -1 and 127/128 do not
}

TEST(Quantizer, DitherIsTriangularSmallRepeatableAndLeavesSilenceExact) {
  const std::vector<float> quiet(10000, 0.25f / 128);  // a quarter step above silence
  const std::vector<std::uint8_t> first = Quantize(quiet, true);
  EXPECT_EQ(first, Quantize(quiet, true));
  int moved = 0;
  for (const std::uint8_t sample : first) {
    EXPECT_GE(sample, 127);
    EXPECT_LE(sample, 129);
    moved += sample != 128;
  }
  // Triangular noise d of one step peak moves a level a quarter step above a
  // step when d >= 0.25 or d < -0.75: (0.75^2 + 0.25^2) / 2 = 31.25%.
  EXPECT_NEAR(moved, 3125, 250);
  EXPECT_EQ(Quantize(std::vector<float>(1000, 0.0f), true), std::vector<std::uint8_t>(1000, 128));
}

TEST(RepairNonFinite, ReplacesNanWithSilenceAndInfinityWithFullScale) {
  std::vector<float> samples = {0.5f, NAN, INFINITY, -INFINITY, -0.25f};
  EXPECT_EQ(RepairNonFinite(samples.data(), samples.size()), 3u);
  EXPECT_EQ(samples, (std::vector<float>{0.5f, 0.0f, 1.0f, -1.0f, -0.25f}));
}

TEST(ToMono, MixesOrPicksAChannel) {
  const std::vector<float> stereo = {1.0f, 0.0f, -0.5f, 0.5f};
  const std::vector<float> mono = {0.25f, -0.25f};
  const struct {
    const std::vector<float>* input;
    int channels;
    ChannelChoice choice;
    std::vector<float> expected;
  } cases[] = {
      {&stereo, 2, ChannelChoice::Mix, {0.5f, 0.0f}},
      {&stereo, 2, ChannelChoice::Left, {1.0f, -0.5f}},
      {&stereo, 2, ChannelChoice::Right, {0.0f, 0.5f}},
      {&mono, 1, ChannelChoice::Right, {0.25f, -0.25f}},
  };
  for (const auto& c : cases) {
    std::vector<float> out(c.expected.size());
    ToMono(c.input->data(), out.size(), c.channels, c.choice, out.data());
    EXPECT_EQ(out, c.expected) << static_cast<int>(c.choice);
  }
}

TEST(ParseTimeAndRate, ReadWhatUsersWrite) {
  EXPECT_EQ(ParseTime("12.5"), 12.5);
  EXPECT_EQ(ParseTime("1:02.5"), 62.5);
  EXPECT_EQ(ParseTime("1:00:00"), 3600.0);
  EXPECT_EQ(ParseRate("8000"), 8000.0);
  EXPECT_EQ(ParseRate("7.855k"), 7855.0);
  for (const char* bad : {"", "-1", "1:60", "1:2:3:4", "x", "1:", "nan", "1e300"}) {
    EXPECT_EQ(ParseTime(bad), std::nullopt) << bad;
  }
  for (const char* bad : {"", "0", "-8000", "8kk", "8 k", "inf"}) {
    EXPECT_EQ(ParseRate(bad), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace tonebake::prep
