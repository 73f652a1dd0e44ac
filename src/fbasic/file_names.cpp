#include "fbasic/file_names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace tonebake::fbasic {

bool IsValidName(const std::string& name) {
  if (name.empty() || name.size() > kNameLength) {
    return false;
  }
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return c > ' ' && c < 0x7F && c != '"' && c != ':'; });
}

DefaultNameResult DefaultName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
  const std::size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) {
    base.erase(dot);
  }
  DefaultNameResult result;
  for (const char c : base) {
    const std::string one(1, static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (IsValidName(one)) {
      result.name += one;
    } else {
      result.dropped = true;
    }
  }
  result.cut = result.name.size() > kNameLength;
  result.name.resize(std::min<std::size_t>(result.name.size(), kNameLength));
  if (result.name.empty()) {
    result.name = kFallbackName;
  }
  return result;
}

std::string ShowName(const std::string& name) {
  std::string shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\\') {
      shown += "\\\\";
    } else if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    }
  }
  return shown;
}

}  // namespace tonebake::fbasic
