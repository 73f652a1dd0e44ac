#include "cli/messages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "cli/platform.h"
#include "cli/results.h"
#include "support/captured_streams.h"
#include "support/text_encoding.h"

namespace tonebake {
namespace {

TEST(ErrorMessages, ShiftJisAndUtf8FormsSayTheSame) {
  for (int result = 1; result <= 9; ++result) {
    const std::string utf8 = ErrorMessageTemplate(result, MessageEncoding::Utf8);
    const std::string shiftJis = ErrorMessageTemplate(result, MessageEncoding::ShiftJis);
    EXPECT_EQ(test::ShiftJisToUtf8(shiftJis), utf8) << result;
  }
}

TEST(ErrorMessages, KeepTheirExactWording) {
  EXPECT_STREQ(ErrorMessageTemplate(2, MessageEncoding::Utf8),
               u8"入力するWAVEファイルが指定されてせん。\n");
  EXPECT_STREQ(ErrorMessageTemplate(8, MessageEncoding::Utf8),
               u8"WAVEファイルの1サンプル当りのビット数が8bitではありません。(%s)\n");
  for (const int outside : {0, -1, 9, 100}) {
    EXPECT_STREQ(ErrorMessageTemplate(outside, MessageEncoding::Utf8),
                 u8"不明なエラーが発生しました。(InputFile:%s, OutputFile:%s)\n");
  }
}

TEST(FormatMessage, ReplacesPlaceholdersInOrderAndNothingElse) {
  EXPECT_EQ(FormatMessage("(%s)\n", "a%sb", "x"), "(a%sb)\n");
  EXPECT_EQ(FormatMessage("%s, %s", "in", "out"), "in, out");
  EXPECT_EQ(FormatMessage("100%", "in", "out"), "100%");
  EXPECT_EQ(FormatMessage("%s%s%s", "a", "b"), "ab%s");  // two arguments at most
  EXPECT_EQ(ResultForHeaderCheck(static_cast<HeaderCheck>(0x1FF)), NotWave);
}

// Captures what a report writes to its streams.
class ReportTest : public ::testing::Test {
 protected:
  std::string Report(int result, MessageEncoding encoding) {
    test::CapturedStreams streams;
    EXPECT_EQ(ReportError(Console{streams.out, streams.err, encoding}, result, "in.wav", "out.bin"),
              result);
    std::string out;
    std::string err;
    streams.Finish(out, err);
    EXPECT_EQ(out, "");  // never standard output
    return err;
  }
};

// The runs of the program cover results 1 to 8; these two cannot be had
// from a run.
TEST_F(ReportTest, OkPrintsNothingAndUnknownResultsNameBothPaths) {
  EXPECT_EQ(Report(0, MessageEncoding::Utf8), "");
  for (const int unknown : {9, -1}) {
    EXPECT_EQ(Report(unknown, MessageEncoding::Utf8),
              u8"err: 不明なエラーが発生しました。(InputFile:in.wav, OutputFile:out.bin)\n\n");
  }
}

TEST(LocaleCharset, FollowsTheCLibraryPrecedence) {
  EXPECT_EQ(LocaleCharsetFromEnvironment("ja_JP.SJIS", "C.UTF-8", "en_US.UTF-8"), "SJIS");
  EXPECT_EQ(LocaleCharsetFromEnvironment("", "ja_JP.CP932", "en_US.UTF-8"), "CP932");
  EXPECT_EQ(LocaleCharsetFromEnvironment(nullptr, nullptr, "ja_JP.Shift_JIS@euro"), "Shift_JIS");
  EXPECT_EQ(LocaleCharsetFromEnvironment(nullptr, nullptr, "C"), "");
  EXPECT_EQ(LocaleCharsetFromEnvironment(nullptr, nullptr, nullptr), "");
}

TEST(LocaleCharset, RecognisesShiftJisNames) {
  for (const char* name : {"SJIS", "sjis", "Shift_JIS", "shift-jis", "CP932", "Windows-31J"}) {
    EXPECT_TRUE(IsShiftJisCharset(name)) << name;
  }
  for (const char* name : {"", "UTF-8", "eucJP", "ISO-8859-1", "cp9320"}) {
    EXPECT_FALSE(IsShiftJisCharset(name)) << name;
  }
}

}  // namespace
}  // namespace tonebake
