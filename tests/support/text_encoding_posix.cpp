#include <iconv.h>

#include <vector>

#include "support/text_encoding.h"

namespace tonebake::test {

std::string ShiftJisToUtf8(const std::string& shiftJis) {
  iconv_t converter = iconv_open("UTF-8", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    return "<no CP932 converter>";
  }
  std::vector<char> input(shiftJis.begin(), shiftJis.end());
  std::vector<char> output(shiftJis.size() * 4 + 1);
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

}  // namespace tonebake::test
