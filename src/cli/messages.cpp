#include "cli/messages.h"

#include <cstring>
#include <iterator>

namespace tonebake {
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

struct MessageText {
  const char* utf8;
  const char* shiftJis;
};

// Indexed by result; the last entry serves every result outside 1..8. The
// wording of each text is part of the program's contract and is kept exactly,
// including the message for result 2.
const MessageText kErrorMessages[] = {
    {"", ""},
    {u8"パラメータが指定されていません。\n",
     "\x83p\x83\x89\x83\x81\x81[\x83^\x82\xAA\x8Ew\x92\xE8\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC"
     "\x82\xB9\x82\xF1\x81"
     "B\n"},
    {u8"入力するWAVEファイルが指定されてせん。\n",
     "\x93\xFC\x97\xCD\x82\xB7\x82\xE9WAVE\x83t\x83@\x83"
     "C\x83\x8B\x82\xAA\x8Ew\x92\xE8\x82\xB3\x82\xEA\x82\xC4\x82\xB9\x82\xF1\x81"
     "B\n"},
    {u8"入力ファイルのオープンに失敗しました。(%s)\n",
     "\x93\xFC\x97\xCD\x83t\x83@\x83"
     "C\x83\x8B\x82\xCC\x83I\x81[\x83v\x83\x93\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
     "\x81"
     "B(%s)\n"},
    {u8"WAVEファイルではありません。(%s)\n",
     "WAVE\x83t\x83@\x83"
     "C\x83\x8B\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81"
     "B(%s)\n"},
    {u8"出力ファイルのオープンに失敗しました。(%s)\n",
     "\x8Fo\x97\xCD\x83t\x83@\x83"
     "C\x83\x8B\x82\xCC\x83I\x81[\x83v\x83\x93\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
     "\x81"
     "B(%s)\n"},
    {u8"WAVEファイルのオーディオ形式がリニアPCMではありません。(%s)\n",
     "WAVE\x83t\x83@\x83"
     "C\x83\x8B\x82\xCC\x83I\x81[\x83"
     "f\x83"
     "B\x83I\x8C`\x8E\xAE\x82\xAA\x83\x8A\x83j\x83"
     "APCM\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81"
     "B(%s)\n"},
    {u8"WAVEファイルのチャネル数が2以上です。(%s)\n",
     "WAVE\x83t\x83@\x83"
     "C\x83\x8B\x82\xCC\x83`\x83\x83\x83l\x83\x8B\x90\x94\x82\xAA"
     "2\x88\xC8\x8F\xE3\x82\xC5\x82\xB7\x81"
     "B(%s)\n"},
    {u8"WAVEファイルの1サンプル当りのビット数が8bitではありません。(%s)\n",
     "WAVE\x83t\x83@\x83"
     "C\x83\x8B\x82\xCC"
     "1\x83T\x83\x93\x83v\x83\x8B\x93\x96\x82\xE8\x82\xCC\x83r\x83"
     "b\x83g\x90\x94\x82\xAA"
     "8bit\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81"
     "B(%s)\n"},
    {u8"不明なエラーが発生しました。(InputFile:%s, OutputFile:%s)\n",
     "\x95s\x96\xBE\x82\xC8\x83G\x83\x89\x81["
     "\x82\xAA\x94\xAD\x90\xB6\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
     "\x81"
     "B(InputFile:%s, OutputFile:%s)\n"},
};

constexpr int kUnknownErrorIndex = static_cast<int>(std::size(kErrorMessages)) - 1;
constexpr const char* kErrorPrefix = "err: ";

template <std::size_t N>
void WriteLines(std::FILE* stream, const char* const (&lines)[N]) {
  for (const char* line : lines) {
    std::fputs(line, stream);
  }
}

}  // namespace

const char* ErrorMessageTemplate(int result, MessageEncoding encoding) {
  const bool known = result >= 1 && result < kUnknownErrorIndex;
  const MessageText& text = kErrorMessages[known ? result : kUnknownErrorIndex];
  return encoding == MessageEncoding::ShiftJis ? text.shiftJis : text.utf8;
}

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

void PrintUsage(const Console& console) {
  WriteLines(console.err, kUsageLines);
}

int ReportError(const Console& console, int result, const std::string& inputPath,
                const std::string& outputPath) {
  if (result == Ok) {
    return result;
  }
  // Single-path messages name the output for result 5 and the input
  // otherwise; the unknown-error message names both, input first.
  const std::string& first = result == OutputOpenFailed ? outputPath : inputPath;
  const std::string message =
      FormatMessage(ErrorMessageTemplate(result, console.encoding), first, outputPath);
  std::fputs(kErrorPrefix, console.err);
  std::fwrite(message.data(), 1, message.size(), console.err);
  std::fputs("\n", console.err);
  return result;
}

}  // namespace tonebake
