#include "cli/command_line.h"

#include <gtest/gtest.h>

namespace tonebake {
namespace {

TEST(ParseWaitNumber, BehavesLikeAtoiWithDefinedWrap) {
  const struct {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"", 0},
      {"abc", 0},
      {"16", 16},
      {"+16", 16},
      {"-5", -5},
      {" \t\n\v\f\r42", 42},
      {"12x7", 12},
      {"- 3", 0},
      {"--3", 0},
      {"2147483647", 2147483647},
      {"2147483648", INT32_MIN},
      {"4294967295", -1},
      {"4294967296", 0},
      {"4294967303", 7},
      {"-4294967303", -7},
      {"-2147483648", INT32_MIN},
      {"99999999999999999999", 1661992959},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseWaitNumber(c.text), c.value) << '"' << c.text << '"';
  }
}

ScannedArguments Scan(const std::vector<std::string>& arguments) {
  return ScanArguments(arguments);
}

TEST(ScanArguments, WaitOptionInEveryFormIsClampedAndTheLastWins) {
  const struct {
    std::vector<std::string> arguments;
    std::int32_t wait;
  } cases[] = {
      {{"a"}, -1},  // automatic
      {{"-w7", "a"}, 7},     {{"-W7"}, 7},        {{"/w7"}, 7},      {{"/W7"}, 7},
      {{"-w"}, 0},           {{"-w300"}, 255},    {{"-w-5"}, 0},     {{"-w4294967303"}, 7},
      {{"-w2147483648"}, 0}, {{"-w3", "-w9"}, 9}, {{"-w", "12"}, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Scan(c.arguments).request.waitSetting, c.wait) << c.arguments.front();
  }
}

TEST(ScanArguments, FileNamesAndOptionsMix) {
  const ScannedArguments scanned = Scan({"-x", "in", "/", "-", "-w5", "out", "third", ""});
  EXPECT_EQ(scanned.request.inputArg, "in");
  EXPECT_EQ(scanned.request.outputArg, "out");
  EXPECT_EQ(scanned.request.waitSetting, 5);
  EXPECT_EQ(scanned.helpRequests, 0);
}

TEST(ScanArguments, NumberAfterSeparateWaitOptionIsAFileName) {
  EXPECT_EQ(Scan({"-w", "12"}).request.inputArg, "12");
}

TEST(ScanArguments, EmptyArgumentIsAFileName) {
  EXPECT_EQ(Scan({""}).request.inputArg, "");
}

TEST(ScanArguments, EveryHelpOptionCounts) {
  EXPECT_EQ(Scan({"-?", "/h", "in", "-H"}).helpRequests, 3);
  EXPECT_EQ(Scan({"-?"}).request.inputArg, std::nullopt);
}

TEST(ScanArguments, SlashArgumentIsAnOptionUntilDoubleDash) {
  const ScannedArguments before = Scan({"/home/user/song"});
  EXPECT_EQ(before.request.inputArg, std::nullopt);
  EXPECT_EQ(before.helpRequests, 1);  // "/h..." is the help option

  // After "--", a second "--" is a file name and "-w3" is no option.
  const ScannedArguments after = Scan({"-w9", "--", "/home/user/song", "--", "-w3"});
  EXPECT_EQ(after.request.inputArg, "/home/user/song");
  EXPECT_EQ(after.request.outputArg, "--");
  EXPECT_EQ(after.request.waitSetting, 9);
  EXPECT_EQ(after.helpRequests, 0);
}

}  // namespace
}  // namespace tonebake
