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

std::string DefaultName(const std::string& path, bool& cut) {
  const std::size_t slash = path.find_last_of("/\\");
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) {
    name.erase(dot);
  }
  for (char& c : name) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  cut = name.size() > kNameLength;
  name.resize(std::min<std::size_t>(name.size(), kNameLength));
  return name;
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
