#include <iconv.h>

#include <vector>

#include "support/text_encoding.h"

namespace tonebake::test {
namespace {

std::string Convert(const std::string& text, const char* from, const char* to) {
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    return "<no converter>";
  }
  std::vector<char> input(text.begin(), text.end());
  std::vector<char> output(text.size() * 4 + 1);
  char* in = input.data();
  char* out = output.data();
  std::size_t inLeft = input.size();
  std::size_t outLeft = output.size();
  const std::size_t converted = iconv(converter, &in, &inLeft, &out, &outLeft);
  iconv_close(converter);
  if (converted == static_cast<std::size_t>(-1) || inLeft != 0) {
    return "<invalid>";
  }
  return std::string(output.data(), out);
}

}  // namespace

std::string ShiftJisToUtf8(const std::string& shiftJis) {
  return Convert(shiftJis, "CP932", "UTF-8");
}

std::string Utf8ToShiftJis(const std::string& utf8) {
  return Convert(utf8, "UTF-8", "CP932");
}

}  // namespace tonebake::test
