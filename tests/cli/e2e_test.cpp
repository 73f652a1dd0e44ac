// Runs the built program in a temporary directory and compares its exit code,
// both streams and the bytes it writes.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "support/run_tool.h"
#include "support/temp_dir.h"
#include "support/wave_bytes.h"

namespace tonebake {
namespace {

using test::Bytes;
using test::MakeWave;
using test::ReadBytes;
using test::WriteBytes;

const std::string kBanner =
    "Transform Wave File to PCM for FM-7\n"
    "                       Version 1.00\n"
    "               The tonebake authors\n"
    "\n";
const std::string kUsage =
    "Usage:\n"
    "tonebake wave-filename[.wav] [output-filename[.bin]] [{-|/}option]\n"
    "\n"
    "Option\n"
    " -w:PCM Wait [0 - 255]\n"
    " -?:Help\n"
    "\n";

const Bytes kFourSamples{0x80, 0x90, 0x70, 0x80};
const Bytes kFourSampleImage{0x00, 0x00, 0x04, 0x00, 0x00, 0x10, 0x80, 0x90,
                             0x70, 0x80, 0xFF, 0x00, 0x00, 0x00, 0x00};

class EndToEnd : public ::testing::Test {
 protected:
  test::ToolRun Run(const std::vector<std::string>& arguments) {
    options.workDir = dir.path().string();
    return test::RunTool(TONEBAKE_EXE, arguments, options);
  }
  // Expected stream contents, written here as UTF-8 with "\n" line ends.
  std::string Console(const std::string& utf8) const { return test::ConsoleText(utf8, options); }
  std::string ErrorText(const std::string& message) const {
    return Console(kBanner + "err: " + message + "\n");
  }
  std::string File(const std::string& name) const { return dir.File(name); }
  bool Exists(const std::string& name) const { return std::filesystem::exists(dir.File(name)); }

  test::TempDir dir;
  test::ToolOptions options;
};

// Options begin with "/" as well on Windows; elsewhere "/" begins an
// absolute path, and only "-" an option.
#ifdef _WIN32
const std::string kSlashOption = "/";
#else
const std::string kSlashOption = "-";

TEST_F(EndToEnd, AbsolutePathsAreFileNamesOffWindows) {
  WriteBytes(File("song.wav"), MakeWave(kFourSamples));
  const test::ToolRun run = Run({File("song.wav"), File("abs.bin")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadBytes(File("abs.bin")), kFourSampleImage);
  EXPECT_FALSE(Exists("song.bin"));
}
#endif

TEST_F(EndToEnd, NoArgumentsReportsResult1WithoutUsage) {
  const test::ToolRun run = Run({});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, ErrorText(u8"パラメータが指定されていません。\n"));
  EXPECT_EQ(run.out, "");
}

TEST_F(EndToEnd, HelpPrintsUsageOncePerOptionAndConvertsNothing) {
  WriteBytes(File("song.wav"), MakeWave(kFourSamples));
  const struct {
    std::vector<std::string> arguments;
    std::string err;
    std::string out;
  } cases[] = {
      {{"-?"}, kBanner + kUsage, ""},
      {{"-?", kSlashOption + "h"}, kBanner + kUsage + kUsage, ""},
      {{"song", "-H"}, kBanner + kUsage, ""},
      {{"--help"}, kBanner, kUsage},
      {{"song", "--version"}, kBanner, "tonebake 1.00\n"},
  };
  for (const auto& c : cases) {
    const test::ToolRun run = Run(c.arguments);
    EXPECT_EQ(run.exitCode, 0) << c.arguments.front();
    EXPECT_EQ(run.err, Console(c.err)) << c.arguments.front();
    EXPECT_EQ(run.out, Console(c.out)) << c.arguments.front();
  }
  EXPECT_FALSE(Exists("song.bin"));
}

#ifndef _WIN32
TEST_F(EndToEnd, HelpThatCannotBeWrittenIsNoSuccess) {
  options.workDir = dir.path().string();
  for (const char* option : {"--help", "--version"}) {
    const int exitCode =
        test::RunWithOutputFiles(TONEBAKE_EXE, {option}, options, "/dev/full", File("err.txt"));
    EXPECT_EQ(exitCode, 5) << option;
    EXPECT_EQ(test::ReadText(File("err.txt")),
              ErrorText(u8"出力ファイルのオープンに失敗しました。(standard output)\n"));
  }
}
#endif

TEST_F(EndToEnd, OptionsWithoutFileNameReportResult2) {
  const test::ToolRun run = Run({"-w5", "-x"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err, ErrorText(u8"入力するWAVEファイルが指定されてせん。\n"));
}

TEST_F(EndToEnd, ConvertsABareNameBesideIt) {
  WriteBytes(File("song.wav"), MakeWave(kFourSamples));
  options.stdinClosed = true;  // so the files are opened as descriptor 0, a valid one too
  const test::ToolRun run = Run({"song"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, Console("Ok: song.wav -> song.bin\n"));
  EXPECT_EQ(run.err, Console(kBanner));
  EXPECT_EQ(ReadBytes(File("song.bin")), kFourSampleImage);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(EndToEnd, WaitOptionFixesTheWaitByte) {
  WriteBytes(File("song.wav"), MakeWave(kFourSamples));
  for (const auto& [option, wait] : {std::pair<std::string, int>{"-w7", 7},
                                     {kSlashOption + "W4294967303", 7},
                                     {"-w300", 255},
                                     {"-w-5", 0},
                                     {"-w", 0}}) {
    const test::ToolRun run = Run({option, "song.wav", "out"});
    ASSERT_EQ(run.exitCode, 0) << option;
    const Bytes image = ReadBytes(File("out.bin"));
    ASSERT_EQ(image.size(), 15u) << option;
    EXPECT_EQ(image[5], wait) << option;
  }
}

TEST_F(EndToEnd, RejectedInputsLeaveAnExistingOutputUntouched) {
  Bytes appended = MakeWave(kFourSamples);
  appended.push_back(0);
  test::WaveFields dataPastEnd;
  dataPastEnd.dataSize = 5;
  test::WaveFields negativeData;
  negativeData.dataSize = 0xFFFFFFFF;
  test::WaveFields stereo16;
  stereo16.channels = 2;
  stereo16.bitsPerSample = 16;
  test::WaveFields stereo;
  stereo.channels = 2;
  test::WaveFields floatFormat;
  floatFormat.audioFormat = 3;
  test::WaveFields rifx;
  rifx.riffId = "RIFX";
  test::WaveFields listFirst;  // as ffmpeg writes: metadata before the samples
  listFirst.dataId = "LIST";

  const std::string notWave = u8"WAVEファイルではありません。(in.wav)\n";
  const struct {
    const char* name;
    Bytes file;
    int exitCode;
    std::string message;
  } cases[] = {
      {"stereo 16-bit", MakeWave(kFourSamples, stereo16), 8,
       u8"WAVEファイルの1サンプル当りのビット数が8bitではありません。(in.wav)\n"},
      {"stereo", MakeWave(kFourSamples, stereo), 7,
       u8"WAVEファイルのチャネル数が2以上です。(in.wav)\n"},
      {"float", MakeWave(kFourSamples, floatFormat), 6,
       u8"WAVEファイルのオーディオ形式がリニアPCMではありません。(in.wav)\n"},
      {"RIFX", MakeWave(kFourSamples, rifx), 4, notWave},
      {"a LIST chunk first", MakeWave(kFourSamples, listFirst), 4, notWave},
      {"appended byte", appended, 4, notWave},
      {"shorter than a header", Bytes(10, 0), 4, notWave},
      {"empty", Bytes(), 4, notWave},
      {"data past the end", MakeWave(kFourSamples, dataPastEnd), 4, notWave},
      {"negative data size", MakeWave(kFourSamples, negativeData), 4, notWave},
  };
  for (const auto& c : cases) {
    WriteBytes(File("in.wav"), c.file);
    WriteBytes(File("in.bin"), Bytes{1, 2, 3});
    const test::ToolRun run = Run({"in"});
    EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
    EXPECT_EQ(run.err, ErrorText(c.message)) << c.name;
    EXPECT_EQ(run.out, "") << c.name;
    EXPECT_EQ(ReadBytes(File("in.bin")), (Bytes{1, 2, 3})) << c.name;
  }
}

TEST_F(EndToEnd, InputThatCannotBeLoadedReportsResult3WithItsPath) {
  std::filesystem::create_directory(File("folder.wav"));
  for (const auto& [argument, path] :
       {std::pair<std::string, std::string>{"missing", "missing.wav"},
        {"folder", "folder.wav"},
        {"", ".wav"}}) {
    const test::ToolRun run = Run({argument});
    EXPECT_EQ(run.exitCode, 3) << argument;
    EXPECT_EQ(run.err, ErrorText(u8"入力ファイルのオープンに失敗しました。(" + path + ")\n"));
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(EndToEnd, OutputThatCannotBeCreatedReportsResult5WithItsPath) {
  WriteBytes(File("song.wav"), MakeWave(kFourSamples));
  const test::ToolRun run = Run({"song", "no-such-dir/out"});
  EXPECT_EQ(run.exitCode, 5);
  EXPECT_EQ(run.err, ErrorText(u8"出力ファイルのオープンに失敗しました。(no-such-dir/out.bin)\n"));
  EXPECT_EQ(run.out, "");
}

// Whether a temporary file of a save is in `dir`.
bool TemporaryFilePresent(const std::string& dir) {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
    if (entry.path().filename().string().find(".tonebake-") != std::string::npos) {
      return true;
    }
  }
  return false;
}

TEST_F(EndToEnd, FailedWriteReportsResult5AndKeepsEveryExistingFile) {
  if (!test::FileSizeLimitSupported()) {
    GTEST_SKIP() << "no way to limit the file size of a run here";
  }
  const Bytes song = MakeWave(test::RampSamples(20000));
  const Bytes older{1, 2, 3};
  const struct {
    const char* name;
    const char* argument;
    bool signalIgnored;
  } cases[] = {
      {"in place, SIGXFSZ ignored", "song.bin", true},
      {"in place, SIGXFSZ at its default", "song.bin", false},
      {"over an older output", "song.wav", true},
  };
  for (const auto& c : cases) {
    WriteBytes(File("song.bin"), std::string(c.argument) == "song.bin" ? song : older);
    WriteBytes(File("song.wav"), song);
    options.fileSizeLimit = 4096;
    options.fileSizeSignalIgnored = c.signalIgnored;
    const test::ToolRun run = Run({c.argument});
    EXPECT_EQ(run.exitCode, 5) << c.name;
    EXPECT_EQ(run.err, ErrorText(u8"出力ファイルのオープンに失敗しました。(song.bin)\n")) << c.name;
    EXPECT_EQ(run.out, "") << c.name;
    EXPECT_EQ(ReadBytes(File("song.bin")), std::string(c.argument) == "song.bin" ? song : older)
        << c.name;
    EXPECT_FALSE(TemporaryFilePresent(dir.path().string())) << c.name;
  }
}

TEST_F(EndToEnd, InterruptedWriteLeavesTheOldOutputAndNoTemporaryFile) {
#ifdef _WIN32
  GTEST_SKIP() << "a console control event cannot be sent to a program started under wine";
#else
  // Large enough that the write takes a while; smaller under valgrind and in
  // the quick runs of mutation testing.
  const bool small = std::getenv("TONEBAKE_TEST_WRAPPER") || std::getenv("TONEBAKE_TEST_QUICK");
  const std::uint32_t count = small ? 16u << 20 : 256u << 20;
  test::WaveFields big;
  big.riffSize = 36 + count;
  big.dataSize = count;
  WriteBytes(File("big.wav"), MakeWave(Bytes(), big));
  std::filesystem::resize_file(File("big.wav"), 44 + std::uint64_t{count});  // zeros
  const Bytes older{1, 2, 3};
  options.workDir = dir.path().string();
  // Every signal that ends a process and can be caught; a hang-up too, when
  // it is not ignored. The program is held at a known point: as it starts
  // writing the image (the old output stays) or as it renames it into place
  // (the signal waits for the rename: the new output is whole). Where it
  // cannot be traced (under valgrind, say), the signal comes while its
  // temporary file is there, and either outcome is right.
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGALRM}) {
    for (const test::HoldPoint point : {test::HoldPoint::FirstFileWrite, test::HoldPoint::Rename}) {
      WriteBytes(File("big.bin"), older);
      test::InterruptedRun run =
          test::RunAndInterruptAt(TONEBAKE_EXE, {"big"}, options, point, signalNumber);
      const bool held = run.sent;
      for (int attempt = 0; attempt < 5 && !run.sent; ++attempt) {
        run = test::RunAndInterrupt(TONEBAKE_EXE, {"big"}, options, &TemporaryFilePresent,
                                    signalNumber);
      }
      ASSERT_TRUE(run.sent) << "the write never lasted long enough to interrupt";
      EXPECT_EQ(run.endSignal, signalNumber);
      const bool old = ReadBytes(File("big.bin")) == older;
      const bool whole = std::filesystem::file_size(File("big.bin")) == count + 11u;
      if (held) {
        EXPECT_TRUE(point == test::HoldPoint::FirstFileWrite ? old : whole) << signalNumber;
      } else {
        EXPECT_TRUE(old || whole) << signalNumber;
      }
      EXPECT_FALSE(TemporaryFilePresent(dir.path().string())) << signalNumber;
    }
  }
  // Started under nohup, a hang-up stays ignored: the image is finished.
  options.hangUpIgnored = true;
  WriteBytes(File("big.bin"), older);
  test::InterruptedRun run = test::RunAndInterruptAt(TONEBAKE_EXE, {"big"}, options,
                                                     test::HoldPoint::FirstFileWrite, SIGHUP);
  for (int attempt = 0; attempt < 5 && !run.sent; ++attempt) {
    run = test::RunAndInterrupt(TONEBAKE_EXE, {"big"}, options, &TemporaryFilePresent, SIGHUP);
  }
  ASSERT_TRUE(run.sent);
  EXPECT_EQ(run.endSignal, 0);
  EXPECT_EQ(std::filesystem::file_size(File("big.bin")), count + 11u);
#endif
}

#ifndef _WIN32
TEST_F(EndToEnd, ASymlinkedOutputStaysALinkAndItsTargetGetsTheImage) {
  WriteBytes(File("song.wav"), MakeWave(kFourSamples));
  WriteBytes(File("real.bin"), Bytes{1, 2, 3});
  std::filesystem::create_symlink("real.bin", File("out.bin"));
  const test::ToolRun run = Run({"song", "out.bin"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(File("out.bin")));
  EXPECT_EQ(ReadBytes(File("real.bin")), kFourSampleImage);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}
#endif

// An output that is the input itself, by any name, would replace the
// recording with its image: refused as an output that cannot be written,
// with the recording kept.
TEST_F(EndToEnd, OutputThatIsTheInputIsRefusedAndTheRecordingKept) {
  const Bytes wave = MakeWave(kFourSamples);
  WriteBytes(File("song.wav"), wave);
  WriteBytes(File("song.bin"), wave);
  std::vector<std::vector<std::string>> runs = {
      {"song.bin"}, {"song.wav", "song.wav"}, {"song", "./song.wav"}};
#ifndef _WIN32
  std::filesystem::create_symlink("song.wav", File("link.wav"));
  runs.push_back({"song.wav", "link.wav"});
#endif
  for (const auto& arguments : runs) {
    const test::ToolRun run = Run(arguments);
    const std::string output = arguments.size() > 1 ? arguments[1] : "song.bin";
    EXPECT_EQ(run.exitCode, 5) << arguments[0];
    EXPECT_EQ(run.err, ErrorText(u8"出力ファイルのオープンに失敗しました。(" + output + ")\n"));
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(ReadBytes(File("song.wav")), wave);
  EXPECT_EQ(ReadBytes(File("song.bin")), wave);
}

// A recording already at the output is never replaced by an image: "-w 20"
// makes 20 the input and the recording the output. An empty output name
// is no name at all.
TEST_F(EndToEnd, ARecordingIsNeverTurnedIntoAnImage) {
  const Bytes wave = MakeWave(kFourSamples);
  WriteBytes(File("song.wav"), wave);
  WriteBytes(File("20.wav"), wave);
  Bytes riffOnly = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};  // any WAVE at all
  WriteBytes(File("other.bin"), riffOnly);
  const std::string note = "note: -w 20 is wait 0 and a file named 20; for wait 20, write -w20\n";
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string err;
  } cases[] = {
      {{"-w", "20", "song.wav", "out.bin"},
       5,
       kBanner + note + u8"err: 出力ファイルのオープンに失敗しました。(song.wav)\n\n"},
      {{"song", "other.bin"},
       5,
       kBanner + u8"err: 出力ファイルのオープンに失敗しました。(other.bin)\n\n"},
      {{"song.wav", ""},
       1,
       kBanner + "note: the output name is empty: give one, or leave it out\n" +
           u8"err: パラメータが指定されていません。\n\n"},
      {{"-W", "7", "song"},
       3,
       kBanner + "note: -W 7 is wait 0 and a file named 7; for wait 7, write -W7\n" +
           u8"err: 入力ファイルのオープンに失敗しました。(7.wav)\n\n"},
  };
  for (const auto& c : cases) {
    const test::ToolRun run = Run(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments[0];
    EXPECT_EQ(run.err, Console(c.err));
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(ReadBytes(File("song.wav")), wave);
  EXPECT_EQ(ReadBytes(File("other.bin")), riffOnly);
  EXPECT_FALSE(Exists(".bin"));
}

#ifndef _WIN32
// The success line is part of the result: one that cannot be written fails
// the run, and it stays out of an image written to standard output.
TEST_F(EndToEnd, TheSuccessLineIsAResultAndKeepsOutOfTheImage) {
  WriteBytes(File("song.wav"), MakeWave(kFourSamples));
  options.workDir = dir.path().string();
  EXPECT_EQ(test::RunWithOutputFiles(TONEBAKE_EXE, {"song"}, options, "/dev/full", File("err.txt")),
            5);
  EXPECT_EQ(test::ReadText(File("err.txt")),
            ErrorText(u8"出力ファイルのオープンに失敗しました。(standard output)\n"));
  std::filesystem::create_symlink("/dev/stdout", File("o.bin"));
  const test::ToolRun run = Run({"song", "o.bin"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(Bytes(run.out.begin(), run.out.end()), kFourSampleImage);
  EXPECT_EQ(run.err, kBanner + "Ok: song.wav -> o.bin\n");
}
#endif

TEST_F(EndToEnd, DoubleDashLetsAnAbsolutePathBeAFileName) {
  WriteBytes(File("song.wav"), MakeWave(kFourSamples));
  const std::string input = File("song");
  const test::ToolRun run = Run({"--", input, File("third")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, Console("Ok: " + input + ".wav -> " + File("third.bin") + "\n"));
  EXPECT_EQ(ReadBytes(File("third.bin")), kFourSampleImage);
}

TEST_F(EndToEnd, ThirdFileNameAndUnknownOptionsAreIgnored) {
  WriteBytes(File("song.wav"), MakeWave(kFourSamples));
  const test::ToolRun run = Run({"-q", "song", "out.pcm", "third"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, Console("Ok: song.wav -> out.pcm\n"));
  EXPECT_EQ(ReadBytes(File("out.pcm")), kFourSampleImage);
  EXPECT_FALSE(Exists("third.bin"));
}

TEST_F(EndToEnd, ShiftJisNamesAndMessages) {
  options.locale = "ja_JP.SJIS";
  if (!test::ShiftJisFileNames(options)) {
    GTEST_SKIP() << "file names are not in Shift-JIS here";
  }
  // "表" in Shift-JIS ends in the byte of "\"; it must stay one file name.
  const std::string hyou = "\x95\x5C";
  WriteBytes(File(hyou + ".wav"), MakeWave(kFourSamples));
  const test::ToolRun run = Run({hyou});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, Console(u8"Ok: 表.wav -> 表.bin\n"));
  EXPECT_EQ(ReadBytes(File(hyou + ".bin")), kFourSampleImage);

  const test::ToolRun failed = Run({hyou + "x"});
  EXPECT_EQ(failed.exitCode, 3);
  EXPECT_EQ(failed.err, ErrorText(u8"入力ファイルのオープンに失敗しました。(表x.wav)\n"));
}

}  // namespace
}  // namespace tonebake
