#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "cli/platform.h"

namespace tonebake {
namespace {

constexpr UINT kUtf8CodePage = 65001;

// File names arrive in the active ANSI code page (Shift-JIS on Japanese
// systems), so its own lead bytes decide which pairs belong together.
bool IsAnsiCodePageLeadByte(unsigned char byte) {
  return IsDBCSLeadByte(byte) != FALSE;
}

}  // namespace

// The home platform's consoles expect the Shift-JIS bytes, unless the console
// has been switched to UTF-8.
PlatformText DetectPlatformText() {
  const MessageEncoding messages =
      GetConsoleOutputCP() == kUtf8CodePage ? MessageEncoding::Utf8 : MessageEncoding::ShiftJis;
  const LeadByteRule pathLeadBytes =
      GetACP() == kUtf8CodePage ? &NoLeadBytes : &IsAnsiCodePageLeadByte;
  return PlatformText{messages, pathLeadBytes, true};
}

}  // namespace tonebake
