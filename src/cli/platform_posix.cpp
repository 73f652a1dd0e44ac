#include <cstdlib>
#include <string>

#include "cli/platform.h"

namespace tonebake {

// The console and the file names share the locale's character set: Shift-JIS
// locales get the Shift-JIS message bytes and lead-byte rule, everything else
// UTF-8 messages and single-byte path scanning.
PlatformText DetectPlatformText() {
  const std::string charset = LocaleCharsetFromEnvironment(
      std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
  if (IsShiftJisCharset(charset.c_str())) {
    return PlatformText{MessageEncoding::ShiftJis, &IsShiftJisLeadByte, false};
  }
  return PlatformText{MessageEncoding::Utf8, &NoLeadBytes, false};
}

}  // namespace tonebake
