#include <cctype>
#include <string>

#include "cli/platform.h"

namespace tonebake {
namespace {

std::string NormalizedCharset(const char* charset) {
  std::string normalized;
  for (const char* p = charset; *p != '\0'; ++p) {
    if (*p != '-' && *p != '_') {
      normalized += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
  }
  return normalized;
}

bool IsSet(const char* value) {
  return value != nullptr && *value != '\0';
}

}  // namespace

bool IsShiftJisCharset(const char* charset) {
  const std::string name = NormalizedCharset(charset);
  return name == "sjis" || name == "shiftjis" || name == "cp932" || name == "windows31j";
}

std::string LocaleCharsetFromEnvironment(const char* lcAll, const char* lcCtype, const char* lang) {
  const std::string locale = IsSet(lcAll)     ? lcAll
                             : IsSet(lcCtype) ? lcCtype
                             : IsSet(lang)    ? lang
                                              : "";
  const std::size_t dot = locale.find('.');
  if (dot == std::string::npos) {
    return std::string();
  }
  return locale.substr(dot + 1, locale.find('@', dot) - dot - 1);
}

}  // namespace tonebake
