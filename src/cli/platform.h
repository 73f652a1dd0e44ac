#ifndef TONEBAKE_CLI_PLATFORM_H
#define TONEBAKE_CLI_PLATFORM_H

#include <string>

#include "cli/messages.h"
#include "path/path_names.h"

namespace tonebake {

// How this platform's console and path names are encoded, one
// implementation per platform.
struct PlatformText {
  MessageEncoding messages;
  LeadByteRule pathLeadBytes;
  bool slashStartsOption;  // "/w16" on Windows; elsewhere "/" begins an absolute path
};

PlatformText DetectPlatformText();

// Whether a character-set name, as found in a locale name like
// "ja_JP.SJIS", names Shift-JIS. Case, "-" and "_" are ignored.
bool IsShiftJisCharset(const char* charset);

// The character set of the locale that governs character types, taken from
// the environment as the C library would: LC_ALL, else LC_CTYPE, else LANG,
// the first that is set and not empty. The part between "." and "@", or
// empty when there is none.
std::string LocaleCharsetFromEnvironment(const char* lcAll, const char* lcCtype, const char* lang);

}  // namespace tonebake

#endif  // TONEBAKE_CLI_PLATFORM_H
