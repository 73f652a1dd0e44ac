#ifndef TONEBAKE_TESTS_SUPPORT_TEXT_ENCODING_H
#define TONEBAKE_TESTS_SUPPORT_TEXT_ENCODING_H

#include <string>

namespace tonebake::test {

// Conversions between Shift-JIS (code page 932) and UTF-8 done by the
// platform's own converter, so that the program's message tables are checked
// against an independent source. Each returns "<invalid>" when the text does
// not convert.
std::string ShiftJisToUtf8(const std::string& shiftJis);
std::string Utf8ToShiftJis(const std::string& utf8);

}  // namespace tonebake::test

#endif  // TONEBAKE_TESTS_SUPPORT_TEXT_ENCODING_H
