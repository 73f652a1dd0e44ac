#include "path/path_names.h"

#include <gtest/gtest.h>

namespace tonebake {
namespace {

// "表" (U+8868) and "ソ" (U+30BD) in Shift-JIS: each has "\" as its second
// byte.
const std::string kHyou = "\x95\x5C";
const std::string kSo = "\x83\x5C";

struct SplitCase {
  std::string path;
  LeadByteRule rule;
  PathParts parts;
};

TEST(SplitPath, FindsDriveDirectoryBaseNameAndExtension) {
  const SplitCase cases[] = {
      {"song", &NoLeadBytes, {"", "", "song", ""}},
      {"song.wav", &NoLeadBytes, {"", "", "song", ".wav"}},
      {"a.b.c", &NoLeadBytes, {"", "", "a.b", ".c"}},
      {"song.", &NoLeadBytes, {"", "", "song", "."}},
      {".hidden", &NoLeadBytes, {"", "", "", ".hidden"}},
      {"", &NoLeadBytes, {"", "", "", ""}},
      {"dir.v1/song", &NoLeadBytes, {"", "dir.v1/", "song", ""}},
      {"a\\b/c.wav", &NoLeadBytes, {"", "a\\b/", "c", ".wav"}},
      {"/abs/x.wav", &NoLeadBytes, {"", "/abs/", "x", ".wav"}},
      {"dir/", &NoLeadBytes, {"", "dir/", "", ""}},
      {"c:song", &NoLeadBytes, {"c:", "", "song", ""}},
      {"c:", &NoLeadBytes, {"c:", "", "", ""}},
      {"C:\\dir\\song.wav", &NoLeadBytes, {"C:", "\\dir\\", "song", ".wav"}},
      {":x", &NoLeadBytes, {"", "", ":x", ""}},
      // Shift-JIS: the second byte 0x5C is part of the character.
      {kHyou + ".wav", &IsShiftJisLeadByte, {"", "", kHyou, ".wav"}},
      {"d\\" + kSo + "\\x", &IsShiftJisLeadByte, {"", "d\\" + kSo + "\\", "x", ""}},
      // The same bytes read as single bytes split at the 0x5C.
      {kHyou + ".wav", &NoLeadBytes, {"", kHyou, "", ".wav"}},
      // A dot as a second byte is no extension; a lone final lead byte ends the scan.
      {"a\x81.", &IsShiftJisLeadByte, {"", "", "a\x81.", ""}},
      {"a.b\x81", &IsShiftJisLeadByte, {"", "", "a", ".b\x81"}},
  };
  for (const SplitCase& c : cases) {
    const PathParts parts = SplitPath(c.path, c.rule);
    EXPECT_EQ(parts.drive, c.parts.drive) << c.path;
    EXPECT_EQ(parts.directory, c.parts.directory) << c.path;
    EXPECT_EQ(parts.baseName, c.parts.baseName) << c.path;
    EXPECT_EQ(parts.extension, c.parts.extension) << c.path;
  }
}

TEST(IsShiftJisLeadByte, TakesExactlyTheTwoLeadByteRanges) {
  // Lead bytes are 0x81-0x9F and 0xE0-0xFC; the single-byte katakana
  // 0xA1-0xDF and the ASCII range are not.
  for (const unsigned lead : {0x81u, 0x82u, 0x95u, 0x9Fu, 0xE0u, 0xEAu, 0xF0u, 0xFAu, 0xFCu}) {
    EXPECT_TRUE(IsShiftJisLeadByte(static_cast<unsigned char>(lead))) << lead;
  }
  for (const unsigned other : {0x00u, 0x5Cu, 0x7Fu, 0x80u, 0xA0u, 0xA1u, 0xDFu, 0xFDu, 0xFFu}) {
    EXPECT_FALSE(IsShiftJisLeadByte(static_cast<unsigned char>(other))) << other;
  }
}

TEST(SplitPath, KeepsLongPartsWhole) {
  const std::string directory = std::string(300, 'd') + "/";
  const std::string base = std::string(254, 'b') + kHyou + std::string(10, 'b');
  const std::string extension = "." + std::string(299, 'e');
  const PathParts parts = SplitPath(directory + base + extension, &IsShiftJisLeadByte);
  EXPECT_EQ(parts.directory, directory);
  EXPECT_EQ(parts.baseName, base);
  EXPECT_EQ(parts.extension, extension);
}

TEST(MakePath, SuppliesMissingSeparatorAndDot) {
  EXPECT_EQ(MakePath({"c:", "dir", "song", "bin"}, &NoLeadBytes), "c:dir\\song.bin");
  EXPECT_EQ(MakePath({"", "dir/", "song", ".bin"}, &NoLeadBytes), "dir/song.bin");
  EXPECT_EQ(MakePath({"", "", "song", ""}, &NoLeadBytes), "song");
  // A directory ending in a double-byte character whose second byte is "\"
  // does not end in a separator.
  EXPECT_EQ(MakePath({"", kSo, "x", ".bin"}, &IsShiftJisLeadByte), kSo + "\\x.bin");
  EXPECT_EQ(MakePath({"", kSo, "x", ".bin"}, &NoLeadBytes), kSo + "x.bin");
}

struct DeriveCase {
  std::string input;
  std::optional<std::string> output;
  std::string inputPath;
  std::string outputPath;
};

TEST(DeriveNames, SuppliesDefaultExtensionsAndPlacesTheOutput) {
  const DeriveCase cases[] = {
      {"song", std::nullopt, "song.wav", "song.bin"},
      {"song.WAV", std::nullopt, "song.WAV", "song.bin"},
      {"song.", std::nullopt, "song.", "song.bin"},
      {"dir.v1/song", std::nullopt, "dir.v1/song.wav", "dir.v1/song.bin"},
      {".hidden", std::nullopt, ".hidden", ".bin"},
      {"", std::nullopt, ".wav", ".bin"},
      {"x:song", std::nullopt, "x:song.wav", "x:song.bin"},
      {"C:\\in\\song.wav", std::nullopt, "C:\\in\\song.wav", "C:\\in\\song.bin"},
      {"song.bin", std::nullopt, "song.bin", "song.bin"},
      {"in/song", std::string("out"), "in/song.wav", "out.bin"},
      {"in/song", std::string("out.pcm"), "in/song.wav", "out.pcm"},
      {"in/song", std::string("d/out."), "in/song.wav", "d/out."},
      {"in/song", std::string(""), "in/song.wav", ".bin"},
  };
  for (const DeriveCase& c : cases) {
    const DerivedNames names = DeriveNames(c.input, c.output, &NoLeadBytes);
    EXPECT_EQ(names.inputPath, c.inputPath) << c.input;
    EXPECT_EQ(names.outputPath, c.outputPath) << c.input;
  }
}

TEST(DeriveNames, ShiftJisNameWithBackslashByteKeepsItsDirectory) {
  const DerivedNames names = DeriveNames(kHyou + "\\" + kSo, std::nullopt, &IsShiftJisLeadByte);
  EXPECT_EQ(names.inputPath, kHyou + "\\" + kSo + ".wav");
  EXPECT_EQ(names.outputPath, kHyou + "\\" + kSo + ".bin");
}

}  // namespace
}  // namespace tonebake
