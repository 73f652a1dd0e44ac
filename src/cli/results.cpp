#include "cli/results.h"

#include <iterator>

namespace tonebake {
namespace {

// Every result in one place: its message in both encodings, the path the
// message names and the header checks that lead to it. Rows are in the
// order of the results' values. The texts are the program's established
// wording and are kept byte for byte, the missing kana of result 2's
// included, because users and scripts know them as they are.
constexpr ResultRow kResults[] = {
    {Ok, "", "", NamedPath::None, {}},
    {NoParameters,
     u8"パラメータが指定されていません。\n",
     "\x83p\x83\x89\x83\x81\x81[\x83^\x82\xAA\x8Ew\x92\xE8\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC"
     "\x82\xB9\x82\xF1\x81"
     "B\n",
     NamedPath::None,
     {}},
    {NoInputFile,
     u8"入力するWAVEファイルが指定されてせん。\n",
     "\x93\xFC\x97\xCD\x82\xB7\x82\xE9WAVE\x83t\x83@\x83"
     "C\x83\x8B\x82\xAA\x8Ew\x92\xE8\x82\xB3\x82\xEA\x82\xC4\x82\xB9\x82\xF1\x81"
     "B\n",
     NamedPath::None,
     {}},
    {InputOpenFailed,
     u8"入力ファイルのオープンに失敗しました。(%s)\n",
     "\x93\xFC\x97\xCD\x83t\x83@\x83"
     "C\x83\x8B\x82\xCC\x83I\x81[\x83v\x83\x93\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
     "\x81"
     "B(%s)\n",
     NamedPath::Input,
     {}},
    {NotWave,
     u8"WAVEファイルではありません。(%s)\n",
     "WAVE\x83t\x83@\x83"
     "C\x83\x8B\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81"
     "B(%s)\n",
     NamedPath::Input,
     {SizeMismatch, NoRiffId, NoWaveId, NoFmtId, NoDataId, DataOutsideFile}},
    {OutputOpenFailed,
     u8"出力ファイルのオープンに失敗しました。(%s)\n",
     "\x8Fo\x97\xCD\x83t\x83@\x83"
     "C\x83\x8B\x82\xCC\x83I\x81[\x83v\x83\x93\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
     "\x81"
     "B(%s)\n",
     NamedPath::Output,
     {}},
    {NotLinearPcm,
     u8"WAVEファイルのオーディオ形式がリニアPCMではありません。(%s)\n",
     "WAVE\x83t\x83@\x83"
     "C\x83\x8B\x82\xCC\x83I\x81[\x83"
     "f\x83"
     "B\x83I\x8C`\x8E\xAE\x82\xAA\x83\x8A\x83j\x83"
     "APCM\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81"
     "B(%s)\n",
     NamedPath::Input,
     {FormatNotPcm}},
    {TooManyChannels,
     u8"WAVEファイルのチャネル数が2以上です。(%s)\n",
     "WAVE\x83t\x83@\x83"
     "C\x83\x8B\x82\xCC\x83`\x83\x83\x83l\x83\x8B\x90\x94\x82\xAA"
     "2\x88\xC8\x8F\xE3\x82\xC5\x82\xB7\x81"
     "B(%s)\n",
     NamedPath::Input,
     {ChannelsNotOne}},
    {Not8Bit,
     u8"WAVEファイルの1サンプル当りのビット数が8bitではありません。(%s)\n",
     "WAVE\x83t\x83@\x83"
     "C\x83\x8B\x82\xCC"
     "1\x83T\x83\x93\x83v\x83\x8B\x93\x96\x82\xE8\x82\xCC\x83r\x83"
     "b\x83g\x90\x94\x82\xAA"
     "8bit\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81"
     "B(%s)\n",
     NamedPath::Input,
     {BitsNotEight}},
};
static_assert(std::size(kResults) == kRunResultCount, "one row for every RunResult");

constexpr bool RowsFollowTheResults() {
  for (int i = 0; i < kRunResultCount; ++i) {
    if (kResults[i].result != i) {
      return false;
    }
  }
  return true;
}
static_assert(RowsFollowTheResults(), "row i describes result i");

// Any result outside the table.
const ResultRow kUnknownResult = {static_cast<RunResult>(-1),
                                  u8"不明なエラーが発生しました。(InputFile:%s, OutputFile:%s)\n",
                                  "\x95s\x96\xBE\x82\xC8\x83G\x83\x89\x81["
                                  "\x82\xAA\x94\xAD\x90\xB6\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
                                  "\x81"
                                  "B(InputFile:%s, OutputFile:%s)\n",
                                  NamedPath::Both,
                                  {}};

}  // namespace

const ResultRow& DescribeResult(int result) {
  return result >= 1 && result < kRunResultCount ? kResults[result] : kUnknownResult;
}

RunResult ResultForHeaderCheck(HeaderCheck check) {
  if (check == HeaderOk) {
    return Ok;
  }
  for (const ResultRow& row : kResults) {
    for (const HeaderCheck leading : row.checks) {
      if (leading == check) {
        return row.result;
      }
    }
  }
  return NotWave;  // any other finding means the layout is not the expected one
}

const char* ErrorMessageTemplate(int result, MessageEncoding encoding) {
  const ResultRow& row = DescribeResult(result);
  return encoding == MessageEncoding::ShiftJis ? row.shiftJis : row.utf8;
}

}  // namespace tonebake
