#ifndef TONEBAKE_TESTS_SUPPORT_TEXT_ENCODING_H
#define TONEBAKE_TESTS_SUPPORT_TEXT_ENCODING_H

#include <string>

namespace tonebake::test {

// Converts Shift-JIS (code page 932) bytes to UTF-8 with the platform's own
// converter, so that message tables can be checked against an independent
// source. Returns "<invalid>" when the bytes do not convert.
std::string ShiftJisToUtf8(const std::string& shiftJis);

}  // namespace tonebake::test

#endif  // TONEBAKE_TESTS_SUPPORT_TEXT_ENCODING_H
