#ifndef TONEBAKE_MEDIA_REPORTER_H
#define TONEBAKE_MEDIA_REPORTER_H

#include <cstdarg>
#include <cstdio>

namespace tonebake::media {

// A program's one voice: every message it prints to standard error begins
// with its name, as "PROGRAM: ...".
class Reporter {
 public:
  explicit constexpr Reporter(const char* name) : program_(name) {}
  constexpr const char* program() const { return program_; }

#if defined(__GNUC__) && !defined(_WIN32)
  __attribute__((format(printf, 2, 3)))
#endif
  void
  Say(const char* format, ...) const {
    std::fprintf(stderr, "%s: ", program_);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
  }

 private:
  const char* program_;
};

}  // namespace tonebake::media

#endif  // TONEBAKE_MEDIA_REPORTER_H
