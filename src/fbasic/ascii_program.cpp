#include "fbasic/ascii_program.h"

namespace tonebake::fbasic {
namespace {

std::string Joined(const std::vector<std::string>& lines, const char* end) {
  std::string text = end;
  for (const std::string& line : lines) {
    text += line + end;
  }
  return text;
}

}  // namespace

std::string DiskProgramText(const std::vector<std::string>& lines) {
  return Joined(lines, "\r\n");
}

std::string TapeProgramText(const std::vector<std::string>& lines) {
  return Joined(lines, "\r");
}

}  // namespace tonebake::fbasic
