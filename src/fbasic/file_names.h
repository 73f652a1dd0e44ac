#ifndef TONEBAKE_FBASIC_FILE_NAMES_H
#define TONEBAKE_FBASIC_FILE_NAMES_H

#include <cstdint>
#include <string>

// F-BASIC's file names, the same on disk and on tape.
namespace tonebake::fbasic {

constexpr std::uint32_t kNameLength = 8;

// Whether F-BASIC can take `name` as a file name: 1 to 8 printable ASCII
// characters, none of them a space, '"' or ':'.
bool IsValidName(const std::string& name);

// The default name of a file from `path`, always one F-BASIC takes: its
// base name without its extension, upper-cased, without what F-BASIC cannot
// hold (spaces, '"', ':', anything not printable ASCII), cut to 8
// characters, or kFallbackName when nothing is left.
struct DefaultNameResult {
  std::string name;
  bool cut = false;      // it was longer than 8 characters
  bool dropped = false;  // characters F-BASIC cannot hold were left out
};
constexpr const char* kFallbackName = "SOUND";
DefaultNameResult DefaultName(const std::string& path);

// A name from a medium as it can be shown on a terminal: printable ASCII as
// it is, a backslash doubled, any other byte as \xHH.
std::string ShowName(const std::string& name);

}  // namespace tonebake::fbasic

#endif  // TONEBAKE_FBASIC_FILE_NAMES_H
