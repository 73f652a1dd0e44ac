#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "support/text_encoding.h"

namespace tonebake::test {
namespace {

constexpr UINT kShiftJis = 932;

std::string Convert(const std::string& text, UINT from, UINT to) {
  if (text.empty()) {
    return text;
  }
  const int size = static_cast<int>(text.size());
  const int wide = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (wide <= 0) {
    return "<invalid>";
  }
  std::wstring utf16(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), size, utf16.data(), wide);
  const int narrow = WideCharToMultiByte(to, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) {
    return "<invalid>";
  }
  std::string converted(static_cast<std::size_t>(narrow), '\0');
  WideCharToMultiByte(to, 0, utf16.data(), wide, converted.data(), narrow, nullptr, nullptr);
  return converted;
}

}  // namespace

std::string ShiftJisToUtf8(const std::string& shiftJis) {
  return Convert(shiftJis, kShiftJis, CP_UTF8);
}

std::string Utf8ToShiftJis(const std::string& utf8) {
  return Convert(utf8, CP_UTF8, kShiftJis);
}

}  // namespace tonebake::test
