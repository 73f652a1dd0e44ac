#ifndef TONEBAKE_PATH_PATH_NAMES_H
#define TONEBAKE_PATH_PATH_NAMES_H

#include <optional>
#include <string>

namespace tonebake {

// Tells whether a byte leads a double-byte character in the code page that
// path names are written in. The byte after a lead byte is never taken as a
// separator or a dot, even when its value is "\" (0x5C), as it can be in
// Shift-JIS.
using LeadByteRule = bool (*)(unsigned char byte);

// For encodings without double-byte characters, UTF-8 included: no UTF-8
// sequence contains a byte that could be mistaken for "/", "\" or ".".
bool NoLeadBytes(unsigned char byte);
// Lead bytes of Shift-JIS (code page 932).
bool IsShiftJisLeadByte(unsigned char byte);

struct PathParts {
  std::string drive;      // empty, or a letter and ":"
  std::string directory;  // empty, or everything up to and including the last separator
  std::string baseName;   // the file name without its extension
  std::string extension;  // empty, or the file name from its last "." on
};

// Splits a path. Both "/" and "\" are separators and a leading "X:" is a
// drive on every platform, so a name gives the same parts everywhere. Parts
// are kept whole, however long.
PathParts SplitPath(const std::string& path, LeadByteRule leadByte);

// Joins parts: a "\" is supplied after a directory that does not end in a
// separator, a "." before an extension that does not begin with one.
std::string MakePath(const PathParts& parts, LeadByteRule leadByte);

struct DerivedNames {
  std::string inputPath;
  std::string outputPath;
};

constexpr const char* kInputExtension = ".wav";
constexpr const char* kOutputExtension = ".bin";

// The input path gets ".wav" when it has no extension. The output path is the
// second argument with ".bin" supplied likewise, or else the input's drive,
// directory and base name with ".bin".
DerivedNames DeriveNames(const std::string& inputArg, const std::optional<std::string>& outputArg,
                         LeadByteRule leadByte);

// A path or name for a message: each control character (a line break, the
// start of a terminal's escape code) shown as \xNN, so that a name never
// acts on the terminal; every other byte (UTF-8, Shift-JIS) as it is.
std::string ShowPath(const std::string& path);

}  // namespace tonebake

#endif  // TONEBAKE_PATH_PATH_NAMES_H
