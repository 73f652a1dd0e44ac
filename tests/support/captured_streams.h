#ifndef TONEBAKE_TESTS_SUPPORT_CAPTURED_STREAMS_H
#define TONEBAKE_TESTS_SUPPORT_CAPTURED_STREAMS_H

#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace tonebake::test {

// Two streams backed by files, standing for standard output and error;
// Finish closes them and gives what was written to each.
class CapturedStreams {
 public:
  CapturedStreams() : out(Open("out")), err(Open("err")) {}
  CapturedStreams(const CapturedStreams&) = delete;
  CapturedStreams& operator=(const CapturedStreams&) = delete;
  ~CapturedStreams() { Close(); }

  void Finish(std::string& outText, std::string& errText) {
    Close();
    outText = ReadText(dir_.File("out"));
    errText = ReadText(dir_.File("err"));
  }

 private:
  // Declared before the streams, so that it exists when they are opened in it.
  TempDir dir_;

 public:
  std::FILE* out;
  std::FILE* err;

 private:
  std::FILE* Open(const char* name) { return std::fopen(dir_.File(name).c_str(), "w+b"); }
  void Close() {
    if (out != nullptr) {
      std::fclose(out);
      std::fclose(err);
      out = err = nullptr;
    }
  }
};

}  // namespace tonebake::test

#endif  // TONEBAKE_TESTS_SUPPORT_CAPTURED_STREAMS_H
