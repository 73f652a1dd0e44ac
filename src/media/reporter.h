#ifndef TONEBAKE_MEDIA_REPORTER_H
#define TONEBAKE_MEDIA_REPORTER_H

#include <cstdarg>
#include <cstdio>
#include <string>

#include "path/path_names.h"

namespace tonebake::media {

// A program's one voice: every message it prints to standard error begins
// with its name, as "PROGRAM: ...". The names in it are data: a control
// character in one (a line break, an escape code) is shown, never acted on.
class Reporter {
 public:
  explicit constexpr Reporter(const char* name) : program_(name) {}
  constexpr const char* program() const { return program_; }

#if defined(__GNUC__) && !defined(_WIN32)
  __attribute__((format(printf, 2, 3)))
#endif
  void
  Say(const char* format, ...) const {
    va_list arguments;
    va_start(arguments, format);
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) {
      std::vsnprintf(text.data(), text.size() + 1, format, arguments);
    }
    va_end(arguments);
    const bool lineEnds = !text.empty() && text.back() == '\n';
    if (lineEnds) {
      text.pop_back();
    }
    std::fprintf(stderr, "%s: %s%s", program_, ShowPath(text).c_str(), lineEnds ? "\n" : "");
  }

 private:
  const char* program_;
};

}  // namespace tonebake::media

#endif  // TONEBAKE_MEDIA_REPORTER_H
