#include "cli/messages.h"

#include "cli/results.h"
#include "path/path_names.h"

#include <cstring>
#include <iterator>

namespace tonebake {

const char* const kVersion = TONEBAKE_VERSION;

namespace {

const char* const kBannerLines[] = {
    "Transform Wave File to PCM for FM-7\n",
    "                       Version 1.00\n",
    "               The tonebake authors\n",
    "\n",
};

const char* const kUsageLines[] = {
    "Usage:\n",
    "tonebake wave-filename[.wav] [output-filename[.bin]] [{-|/}option]\n",
    "\n",
    "Option\n",
    " -w:PCM Wait [0 - 255]\n",
    " -?:Help\n",
    "\n",
};

constexpr const char* kErrorPrefix = "err: ";

template <std::size_t N>
void WriteLines(std::FILE* stream, const char* const (&lines)[N]) {
  for (const char* line : lines) {
    std::fputs(line, stream);
  }
}

}  // namespace

std::string FormatMessage(const char* text, const std::string& first, const std::string& second) {
  const std::string* const arguments[] = {&first, &second};
  std::size_t used = 0;
  std::string formatted;
  for (const char* p = text; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's' && used < std::size(arguments)) {
      formatted += *arguments[used++];
      ++p;
    } else {
      formatted += *p;
    }
  }
  return formatted;
}

void PrintBanner(const Console& console) {
  WriteLines(console.err, kBannerLines);
}

void PrintNote(const Console& console, const std::string& text) {
  std::fprintf(console.err, "note: %s\n", text.c_str());
}

void PrintUsage(const Console& console) {
  WriteUsage(console.err);
}

void WriteUsage(std::FILE* stream) {
  WriteLines(stream, kUsageLines);
}

int ReportError(const Console& console, int result, const std::string& inputPath,
                const std::string& outputPath) {
  if (result == Ok) {
    return result;
  }
  const NamedPath named = DescribeResult(result).names;
  const std::string& first = named == NamedPath::Output ? outputPath : inputPath;
  // The paths are the user's data: shown, never acted on by the terminal.
  const std::string message = FormatMessage(ErrorMessageTemplate(result, console.encoding),
                                            ShowPath(first), ShowPath(outputPath));
  std::fputs(kErrorPrefix, console.err);
  std::fwrite(message.data(), 1, message.size(), console.err);
  std::fputs("\n", console.err);
  return result;
}

}  // namespace tonebake
