// Runs the built tonebake-prep on recordings made here with libsndfile (and
// by hand, for layouts libsndfile does not write), then tonebake on its
// output.
#include <sndfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <signal.h>
#include <unistd.h>

#include "fileio/file_lock.h"
#include "fm7pcm/wait_table.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"
#include "support/wave_bytes.h"
#include "wave/byte_order.h"
#include "wave/wave_header.h"

namespace tonebake {
namespace {

using test::Bytes;

constexpr double kPi = 3.14159265358979323846;
constexpr double kToneHz = 440.0;
constexpr double kSeconds = 1.5;

struct Recording {
  const char* name;
  int format;
  int channels;
  int rate;
};

// Interleaved frames written with libsndfile in the given container and
// sample format.
void WriteFrames(const std::string& path, const Recording& recording,
                 const std::vector<float>& samples, const char* title = nullptr) {
  SF_INFO info{};
  info.samplerate = recording.rate;
  info.channels = recording.channels;
  info.format = recording.format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  if (title != nullptr) {
    sf_set_string(file, SF_STR_TITLE, title);  // set before the data: a LIST chunk first
  }
  sf_writef_float(file, samples.data(),
                  static_cast<sf_count_t>(samples.size()) / recording.channels);
  sf_close(file);
}

// `seconds` of `level(t, channel)` at the recording's rate.
template <typename Level>
std::vector<float> Synthesize(const Recording& recording, double seconds, Level level) {
  const auto frames = static_cast<std::size_t>(seconds * recording.rate);
  const auto channels = static_cast<std::size_t>(recording.channels);
  std::vector<float> samples(frames * channels);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<float>(
        level(static_cast<double>(i / channels) / recording.rate, static_cast<int>(i % channels)));
  }
  return samples;
}

double Sine(double t, double amplitude = 0.5) {
  return amplitude * std::sin(2 * kPi * kToneHz * t);
}

// A 440 Hz sine at half scale, the same on every channel.
void WriteSine(const std::string& path, const Recording& recording, const char* title = nullptr,
               double seconds = kSeconds) {
  WriteFrames(path, recording,
              Synthesize(recording, seconds, [](double t, int) { return Sine(t); }), title);
}

// The 8-bit samples of a prepared WAVE file.
Bytes SamplesOf(const Bytes& file) {
  WaveSamples samples;
  if (file.size() < kWaveHeaderSize ||
      LocateSamples(file.data(), static_cast<std::uint32_t>(file.size()), samples) != HeaderOk) {
    return Bytes();
  }
  return Bytes(samples.bytes, samples.bytes + samples.count);
}

// The largest distance from silence among samples [from, to).
int Swing(const Bytes& samples, std::size_t from, std::size_t to) {
  int swing = 0;
  for (std::size_t i = from; i < std::min(to, samples.size()); ++i) {
    swing = std::max(swing, std::abs(samples[i] - 128));
  }
  return swing;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::size_t Find(const Bytes& bytes, const char* id) {
  const auto at = std::search(bytes.begin(), bytes.end(), id, id + 4);
  return static_cast<std::size_t>(at - bytes.begin());
}

// The layout ffmpeg writes: a LIST/INFO chunk between "fmt " and "data".
// libsndfile puts its own elsewhere, so one is spliced into a plain file.
void InsertFfmpegListChunk(const std::string& path) {
  Bytes file = test::ReadBytes(path);
  const char list[] = "LIST\x1a\0\0\0INFOISFT\x0e\0\0\0Lavf59.27.100";
  const std::size_t listSize = sizeof list;  // the closing zero ends the ISFT text
  file.insert(file.begin() + static_cast<std::ptrdiff_t>(Find(file, "data")), list,
              list + listSize);
  WriteLittleEndian32(&file[4], static_cast<std::uint32_t>(file.size() - 8));
  test::WriteBytes(path, file);
}

// Crossings of the 8-bit samples through silence, as a frequency: from
// below 120 to above 136 and back, so that bytes chosen for the player,
// which wander near silence, count one crossing each.
double ToneFrequency(const Bytes& samples, std::uint32_t rate) {
  int crossings = 0;
  bool high = samples.empty() || samples[0] >= 128;
  for (const std::uint8_t sample : samples) {
    if ((high && sample < 120) || (!high && sample > 136)) {
      high = !high;
      ++crossings;
    }
  }
  return crossings / 2.0 / (static_cast<double>(samples.size()) / rate);
}

class PrepRun : public ::testing::Test {
 protected:
  // Messages with "\n" line ends: Windows writes "\r\n", checked once in
  // StandardInputAndOutputCarryTheSameBytesAsFiles.
  test::ToolRun Run(const std::string& executable, const std::vector<std::string>& arguments) {
    options.workDir = dir.path().string();
    test::ToolRun run = test::RunTool(executable, arguments, options);
    rawErr = run.err;
#ifdef _WIN32
    for (std::size_t at = 0; (at = run.err.find("\r\n", at)) != std::string::npos;) {
      run.err.erase(at, 1);
    }
#endif
    return run;
  }
  test::ToolRun Prep(const std::vector<std::string>& arguments) {
    return Run(TONEBAKE_PREP_EXE, arguments);
  }
  std::string File(const std::string& name) const {
    return dir.File(name);
  }

  // Checks a prepared file: the layout tonebake reads, the rate of the
  // intended wait, the length of the recording and the tone's frequency;
  // then tonebake converts it with that wait.
  void ExpectPrepared(const std::string& name, std::size_t wait) {
    SCOPED_TRACE(name);
    const Bytes file = test::ReadBytes(File(name + ".wav"));
    const auto length = static_cast<std::uint32_t>(file.size());
    ASSERT_EQ(CheckWaveHeader(file.data(), length), HeaderOk);
    WaveSamples samples;
    ASSERT_EQ(LocateSamples(file.data(), length, samples), HeaderOk);
    const std::uint32_t rate = WaitRateTable[wait];
    EXPECT_EQ(ReadSampleRate(file.data()), rate);
    EXPECT_NEAR(static_cast<double>(samples.count), kSeconds * rate, 2.0);
    const Bytes sampleBytes(samples.bytes, samples.bytes + samples.count);
    EXPECT_NEAR(ToneFrequency(sampleBytes, rate), kToneHz, kToneHz * 0.02);

    const test::ToolRun converted = Run(TONEBAKE_EXE, {name});
    ASSERT_EQ(converted.exitCode, 0) << converted.err;
    EXPECT_EQ(test::ReadBytes(File(name + ".bin")).at(5), wait);
  }

  test::TempDir dir;
  test::ToolOptions options;
  std::string rawErr;  // the last run's messages as written
};

TEST_F(PrepRun, EveryLayoutLibsndfileWritesBecomesWhatTonebakeWants) {
  const Recording recordings[] = {
      {"stereo16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100},
      {"mono24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 48000},
      {"float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 22050},
      {"extensible", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 2, 44100},
      {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 32000},
      {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100},
  };
  for (const Recording& recording : recordings) {
    const std::string input = std::string(recording.name) + ".in";
    WriteSine(File(input), recording);
    const test::ToolRun run = Prep({input, std::string(recording.name) + ".wav"});
    ASSERT_EQ(run.exitCode, 0) << recording.name << ": " << run.err;
    EXPECT_EQ(run.out, "") << recording.name;  // standard output carries only data
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
    // Every input rate is above the fastest playback rate: wait 0.
    ExpectPrepared(recording.name, 0);
  }
}

TEST_F(PrepRun, ChunksBeforeTheDataAreUnderstood) {
  WriteSine(File("titled.in"), {"titled", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100}, "Chime");
  const Bytes titled = test::ReadBytes(File("titled.in"));
  ASSERT_LT(Find(titled, "LIST"), Find(titled, "data"));
  WriteSine(File("ffmpeg.in"), {"ffmpeg", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100});
  InsertFfmpegListChunk(File("ffmpeg.in"));
  for (const std::string name : {"titled", "ffmpeg"}) {
    const test::ToolRun run = Prep({"--wait", "16", name + ".in", name + ".wav"});
    ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
    ExpectPrepared(name, 16);
  }
}

TEST_F(PrepRun, WaitComesFromTheOptionTheRateOrTheInput) {
  WriteSine(File("in.wav"), {"in", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000});
  // Options before, between and after the names.
  const struct {
    std::vector<std::string> arguments;
    std::size_t wait;
  } cases[] = {
      {{"in.wav", "out.wav"}, 16},
      {{"in.wav", "--wait", "40", "out.wav"}, 40},
      {{"in.wav", "out.wav", "--rate", "6000"}, 31},
      {{"--rate", "7.855k", "in.wav", "out.wav", "-n"}, 17},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Prep(c.arguments).exitCode, 0) << c.arguments[1];
    ExpectPrepared("out", c.wait);
  }
}

TEST_F(PrepRun, SameInputGivesTheSameBytesAndTheImageTonebakeMakes) {
  WriteSine(File("in.wav"), {"in", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100});
  ASSERT_EQ(Prep({"--normalize", "--image", "direct.bin", "--disk", "fm7.d77", "in.wav", "a.wav"})
                .exitCode,
            0);
  ASSERT_EQ(Prep({"--normalize", "in.wav", "b.wav"}).exitCode, 0);
  EXPECT_EQ(test::ReadBytes(File("a.wav")), test::ReadBytes(File("b.wav")));
  ASSERT_EQ(Run(TONEBAKE_EXE, {"a"}).exitCode, 0);
  EXPECT_EQ(test::ReadBytes(File("direct.bin")), test::ReadBytes(File("a.bin")));
  // --disk stored the same image on a new disk, named after OUTPUT.
  ASSERT_EQ(Run(TONEBAKE_DISK_EXE, {"extract", "fm7.d77", "A", "fromdisk.bin"}).exitCode, 0);
  EXPECT_EQ(test::ReadBytes(File("fromdisk.bin")), test::ReadBytes(File("a.bin")));
}

TEST_F(PrepRun, ResultsAnFm7CannotHoldAreWarnedAboutButWritten) {
  WriteSine(File("in.wav"), {"in", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000}, nullptr, 9.0);
  const auto contains = Contains;
  // 9 s at 3919 Hz: about 35270 samples, more than PLAY loads (18993, from
  // right above PLAYER to &H6DFF) but a count that fits.
  const test::ToolRun large = Prep({"--wait", "63", "in.wav", "large.wav"});
  EXPECT_EQ(large.exitCode, 0);
  EXPECT_TRUE(contains(large.err, "tonebake-prep: warning: large.wav: 352"));
  EXPECT_TRUE(contains(large.err,
                       " samples, more than PLAY loads (18993 bytes, from &H23CF up to &H6DFF); "
                       "18993 samples (4.85 s at 3919 Hz) fit, and --fit makes it fit\n"));
  EXPECT_FALSE(contains(large.err, "wraps")) << large.err;
  // 9 s at 8031 Hz: about 72280 samples, past the 16-bit count as well. On
  // a disk with PLAY it is stored, and its true count keeps it out of
  // PLAY's list.
  const test::ToolRun wraps =
      Prep({"--wait", "16", "--disk", "d.d77", "--player", "in.wav", "long.wav"});
  EXPECT_EQ(wraps.exitCode, 0);
  EXPECT_TRUE(contains(wraps.err,
                       "tonebake-prep: d.d77: LONG is not in PLAY's list: its count of "
                       "722"));
  ASSERT_EQ(Run(TONEBAKE_DISK_EXE, {"extract", "d.d77", "PLAY", "play.txt"}).exitCode, 0);
  EXPECT_FALSE(contains(test::ReadText(File("play.txt")), "LONG"));
  EXPECT_TRUE(contains(wraps.err, "tonebake-prep: warning: long.wav: 722"));
  EXPECT_TRUE(contains(wraps.err,
                       " samples; the image's 16-bit sample count wraps above 65535 "
                       "(8.16 s at 8031 Hz)\n"));
  EXPECT_TRUE(contains(wraps.err, "fit\n"));
  EXPECT_TRUE(std::filesystem::exists(File("long.wav")));
  // A tape file holds 65,535 samples: refused before anything is made.
  const test::ToolRun tape = Prep({"--wait", "16", "--tape", "t.t77", "in.wav", "long2.wav"});
  EXPECT_EQ(tape.exitCode, 3);
  EXPECT_TRUE(contains(tape.err, "tonebake-prep: t.t77: cannot add 722")) << tape.err;
  EXPECT_FALSE(std::filesystem::exists(File("t.t77")) ||
               std::filesystem::exists(File("long2.wav")));
  // More than a disk holds still previews what PLAY would load.
  WriteSine(File("hour.wav"), {"h", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000}, nullptr, 40.0);
  const test::ToolRun heard =
      Prep({"--wait", "16", "--preview", "heard.wav", "hour.wav", "hour8.wav"});
  EXPECT_EQ(heard.exitCode, 0) << heard.err;
  EXPECT_TRUE(contains(heard.err,
                       "tonebake-prep: warning: heard.wav: PLAY does not list a sound of "
                       "321240 samples; the preview plays the first 18992\n"))
      << heard.err;
  // 18,992 samples of 224 cycles at 1,798,660 Hz, at 44,100 Hz, 16-bit.
  EXPECT_NEAR(static_cast<double>(test::ReadBytes(File("heard.wav")).size() - 44) / 2,
              18992 * 224 / 1798660.0 * 44100, 30);
}

TEST_F(PrepRun, FilesMadeBySoxConvert) {
  const test::ToolRun made = Run("sox", {"-n", "-r", "48000", "-c", "2", "-b", "24", "sox.flac",
                                         "synth", "1.5", "sine", "440", "vol", "0.5"});
  if (made.exitCode != 0) {
    GTEST_SKIP() << "sox is not installed";
  }
  const test::ToolRun run = Prep({"--rate", "8000", "sox.flac", "sox.wav"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectPrepared("sox", 16);
}

TEST_F(PrepRun, UnreadableInputAndUnwritableOutputFail) {
  test::WriteBytes(File("junk.wav"), Bytes{'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
  const test::ToolRun junk = Prep({"junk.wav", "out.wav"});
  EXPECT_EQ(junk.exitCode, 2);
  EXPECT_EQ(junk.err.rfind("tonebake-prep: junk.wav: cannot read: ", 0), 0u) << junk.err;

  WriteSine(File("in.wav"), {"in", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000});
  const test::ToolRun missingDir = Prep({"in.wav", "no/such/out.wav"});
  EXPECT_EQ(missingDir.exitCode, 3);
  EXPECT_NE(missingDir.err.find("no/such/out.wav: cannot write"), std::string::npos);

#ifndef _WIN32  // no file-size limit there
  options.fileSizeLimit = 1000;
  const test::ToolRun full = Prep({"in.wav", "out.wav"});
  EXPECT_EQ(full.exitCode, 3);
  EXPECT_FALSE(std::filesystem::exists(File("out.wav")));
#endif

  EXPECT_EQ(Prep({"--wait", "64", "in.wav", "out.wav"}).exitCode, 1);
  std::filesystem::create_directory(File("folder"));
  EXPECT_EQ(Prep({"folder", "out.wav"}).err,
            "tonebake-prep: folder: cannot read: is a directory\n");
}

TEST_F(PrepRun, OddInputIsRepairedOrRefusedWithAWarning) {
  const Recording floatMono{"float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 8000};
  std::vector<float> broken = Synthesize(floatMono, 1.0, [](double t, int) { return Sine(t); });
  broken[100] = NAN;
  broken[2000] = INFINITY;
  broken[4000] = -INFINITY;
  WriteFrames(File("broken.wav"), floatMono, broken);
  const test::ToolRun repaired = Prep({"--wait", "16", "broken.wav", "out.wav"});
  EXPECT_EQ(repaired.exitCode, 0);
  EXPECT_TRUE(Contains(repaired.err, "broken.wav: 3 samples were not numbers (NaN) or infinite"))
      << repaired.err;

  // A 0 dBFS square overshoots once resampled.
  const Recording stereo{"square", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100};
  WriteFrames(File("square.wav"), stereo, Synthesize(stereo, 1.0, [](double t, int) {
                return std::sin(2 * kPi * kToneHz * t) >= 0 ? 1.0 : -1.0;
              }));
  const test::ToolRun clipped = Prep({"--wait", "16", "square.wav", "out.wav"});
  EXPECT_EQ(clipped.exitCode, 0);
  EXPECT_TRUE(Contains(clipped.err, "samples clipped; a gain of -")) << clipped.err;

  // A header that claims 1 Hz: 20 million frames at wait 63 (3919 Hz) would make 78 billion
  // samples. No recording is that slow.
  constexpr std::uint32_t kFrames = 20000000;
  test::WaveFields oneHertz;
  oneHertz.sampleRate = 1;
  oneHertz.riffSize = 36 + kFrames;
  oneHertz.dataSize = kFrames;
  test::WriteBytes(File("slow.wav"), test::MakeWave(Bytes(), oneHertz));
  std::filesystem::resize_file(File("slow.wav"), kWaveHeaderSize + kFrames);
  const test::ToolRun slow = Prep({"slow.wav", "out.wav"});
  EXPECT_EQ(slow.exitCode, 2);
  EXPECT_EQ(slow.err,
            "tonebake-prep: slow.wav: cannot read: its sample rate of 1 Hz is below 1000 Hz\n");
}

TEST_F(PrepRun, TruncatedFileKeepsWhatDecodedWithAWarning) {
  WriteSine(File("whole.flac"), {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 8000}, nullptr, 4);
  Bytes flac = test::ReadBytes(File("whole.flac"));
  flac.resize(flac.size() / 2);
  test::WriteBytes(File("half.flac"), flac);
  const test::ToolRun run = Prep({"--wait", "16", "half.flac", "out.wav"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Contains(run.err, "half.flac: decoding stopped at 0:0")) << run.err;
  EXPECT_NEAR(static_cast<double>(SamplesOf(test::ReadBytes(File("out.wav"))).size()), 2 * 8031.0,
              0.15 * 2 * 8031);
}

TEST_F(PrepRun, StandardInputAndOutputCarryTheSameBytesAsFiles) {
  WriteSine(File("in.wav"), {"in", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100});
  ASSERT_EQ(Prep({"in.wav", "file.wav"}).exitCode, 0);
  const Bytes expected = test::ReadBytes(File("file.wav"));
  const test::ToolRun toStdout = Prep({"in.wav", "-"});
  EXPECT_EQ(toStdout.exitCode, 0);
  EXPECT_EQ(Bytes(toStdout.out.begin(), toStdout.out.end()), expected);
#ifdef _WIN32  // a binary standard output, and messages in CR LF lines
  EXPECT_TRUE(rawErr.size() > 2 && rawErr.find("\r\n") == rawErr.size() - 2) << rawErr;
#else  // the test runner gives no standard input on Windows
  options.stdinPath = "in.wav";
  options.stdinThroughPipe = true;
  ASSERT_EQ(Prep({"-", "piped.wav", "--normalize"}).exitCode, 0);
  ASSERT_EQ(Prep({"in.wav", "normalized.wav", "--normalize"}).exitCode, 0);
  EXPECT_EQ(test::ReadBytes(File("piped.wav")), test::ReadBytes(File("normalized.wav")));
#endif
}

// Shift-JIS names are read and written as for every tool (under code page
// 932 on Windows): one whose second byte is the code of "\\" stays one name,
// and "ﾃｩ", whose two bytes would read as UTF-8 "é", is not taken for that.
TEST_F(PrepRun, ShiftJisNamesAreReadAndWritten) {
  options.locale = "ja_JP.SJIS";
  if (!test::ShiftJisFileNames(options)) {
    GTEST_SKIP() << "file names are not in Shift-JIS here";
  }
  WriteSine(File("in.wav"), {"in", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 8000});
  for (const std::string name : {"\x95\x5C", "\xC3\xA9"}) {  // "表", "ﾃｩ"
    test::WriteBytes(File(name + ".flac"), test::ReadBytes(File("in.wav")));
    const test::ToolRun run = Prep({name + ".flac", name + ".wav", "--image", name + ".bin"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_GT(test::ReadBytes(File(name + ".wav")).size(), kWaveHeaderSize);
    EXPECT_GT(test::ReadBytes(File(name + ".bin")).size(), 11u);  // header and trailer
  }
}

// Input that lies about its length or never ends costs what it holds: a
// FLAC claiming far more samples than it has gives, to standard output,
// the header's length made up with silence (0x80); an endless standard
// input that is no recording is given up at once.
TEST_F(PrepRun, LyingOrEndlessInputCostsWhatItHolds) {
  WriteSine(File("whole.flac"), {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 8000}, nullptr, 4);
  Bytes flac = test::ReadBytes(File("whole.flac"));
  // STREAMINFO follows "fLaC" and its 4-byte block header; its total
  // sample count is the low 36 bits of its bytes 10 to 17, big-endian.
  constexpr std::uint64_t kClaimed = 2000000;
  std::uint64_t field = 0;
  for (int i = 0; i < 8; ++i) {
    field = field << 8 | flac[18 + static_cast<std::size_t>(i)];
  }
  field = (field & ~((std::uint64_t{1} << 36) - 1)) | kClaimed;
  for (int i = 7; i >= 0; --i, field >>= 8) {
    flac[18 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(field);
  }
  test::WriteBytes(File("lying.flac"), flac);
  ASSERT_EQ(Prep({"--wait", "16", "lying.flac", "file.wav"}).exitCode, 0);
  const Bytes decoded = SamplesOf(test::ReadBytes(File("file.wav")));
  const test::ToolRun piped = Prep({"--wait", "16", "lying.flac", "-"});
  ASSERT_EQ(piped.exitCode, 0) << piped.err;
  const Bytes out = SamplesOf(Bytes(piped.out.begin(), piped.out.end()));
  EXPECT_NEAR(static_cast<double>(out.size()), kClaimed * 8031.0 / 8000, 2.0);
  ASSERT_GT(out.size(), decoded.size());
  EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), out.begin()));
  EXPECT_EQ(std::count(out.begin() + static_cast<std::ptrdiff_t>(decoded.size()), out.end(), 0x80),
            static_cast<std::ptrdiff_t>(out.size() - decoded.size()));
#ifndef _WIN32
  options.stdinPath = "/dev/zero";
  const test::ToolRun zeros = Prep({"-", "out.wav"});
  EXPECT_EQ(zeros.exitCode, 2);
  EXPECT_TRUE(Contains(zeros.err, "standard input starts as no recording")) << zeros.err;
  EXPECT_FALSE(std::filesystem::exists(File("out.wav")));
#endif
}

// A long run never looks hung: what the length alone tells comes before the
// pass, and where standard error is a terminal the pass shows how far it is.
TEST_F(PrepRun, ALongRunSaysWhatItKnowsFirstAndShowsHowFarItIs) {
  WriteSine(File("long.wav"), {"long", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000}, nullptr, 3);
  const test::ToolRun failed = Prep({"--wait", "16", "long.wav", "no/such/folder/out.wav"});
  EXPECT_EQ(failed.exitCode, 3);
  EXPECT_EQ(failed.err.rfind("tonebake-prep: warning: no/such/folder/out.wav: 24093 samples, more "
                             "than PLAY loads",
                             0),
            0u)
      << failed.err;
#ifndef _WIN32
  if (std::system("script --version >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "no 'script' (util-linux) to give the run a terminal";
  }
  const std::string command = "cd '" + dir.path().string() + "' && script -qec '" +
                              TONEBAKE_PREP_EXE + " long.wav out.wav' /dev/null > tty.txt";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string shown = test::ReadText(File("tty.txt"));
  EXPECT_TRUE(Contains(shown, "\rtonebake-prep: 0:00.")) << shown;
  EXPECT_TRUE(Contains(shown, " of 0:03.000 (")) << shown;
#endif
}

TEST_F(PrepRun, EditsCutPickFilterAndScale) {
  // One second of silence, then four of the tone on the left only, with a
  // DC offset on the right.
  const Recording stereo{"edit", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 8000};
  WriteFrames(File("in.wav"), stereo, Synthesize(stereo, 5.0, [](double t, int channel) {
                return channel == 1 ? 0.25 + 0.1 * std::sin(2 * kPi * 100 * t)
                                    : (t < 1.0 ? 0.0 : Sine(t));
              }));
  const auto run = [this](std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"--wait", "16", "--no-dither", "in.wav", "out.wav"});
    EXPECT_EQ(Prep(arguments).exitCode, 0);
    return SamplesOf(test::ReadBytes(File("out.wav")));
  };
  // A left-only recording keeps its level: half scale is 64 steps.
  EXPECT_NEAR(Swing(run({"--channel", "left"}), 0, 40000), 64, 2);
  EXPECT_NEAR(Swing(run({"--channel", "left", "--gain", "-6.0206"}), 0, 40000), 32, 2);
  // --start skips the silence; --length keeps 1.5 s.
  const Bytes cut = run({"--channel", "left", "--start", "1", "--length", "0:01.5"});
  EXPECT_NEAR(static_cast<double>(cut.size()), 1.5 * 8031, 2);
  EXPECT_GT(Swing(cut, 0, 40), 20);
  // The right channel's DC offset (32 steps) is gone after --highpass.
  const Bytes filtered = run({"--channel", "right", "--highpass", "20"});
  double sum = 0;
  for (std::size_t i = 8031; i < filtered.size(); ++i) {
    sum += filtered[i];
  }
  EXPECT_NEAR(sum / static_cast<double>(filtered.size() - 8031), 128.0, 0.5);
  // --fit with a wait: 18993 samples (what PLAY loads), the last 10 ms
  // fading to exactly silence.
  const Bytes fitted = run({"--channel", "left", "--fit"});
  ASSERT_EQ(fitted.size(), 18993u);
  EXPECT_GT(Swing(fitted, 18993 - 200, 18993 - 80), 60);
  EXPECT_LE(Swing(fitted, 18993 - 2, 18993), 2);  // gain at most 2/80 of 64 steps
  EXPECT_EQ(fitted.back(), 0x80);
}

// Every refusal comes before anything is written: no output is made, and
// every file named keeps its bytes.
TEST_F(PrepRun, RefusalsComeBeforeAnyFileIsTouched) {
  WriteSine(File("in.wav"), {"in", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000});
  ASSERT_EQ(Prep({"in.wav", "x.wav", "--disk", "d.d77"}).exitCode, 0);
  Bytes protectedDisk = test::ReadBytes(File("d.d77"));
  protectedDisk[0x1A] = 0x10;
  test::WriteBytes(File("ro.d77"), protectedDisk);
#ifdef _WIN32  // a second name for the file: a symbolic link needs a privilege there
  std::filesystem::create_hard_link(File("in.wav"), File("link.wav"));
#else
  std::filesystem::create_symlink("in.wav", File("link.wav"));
#endif
  const std::string usage = " (see 'tonebake-prep --help')\n";
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string err;
  } cases[] = {
      {{"in.wav", "d.d77", "--disk", "d.d77"},
       1,
       "tonebake-prep: OUTPUT d.d77 and --disk d.d77 are the same file" + usage},
      {{"in.wav", "o.wav", "--image", "d.d77", "--disk", "./d.d77"},
       1,
       "tonebake-prep: --image d.d77 and --disk ./d.d77 are the same file" + usage},
      {{"in.wav", "o.wav", "--disk", "d.d77", "--tape", "./d.d77"},
       1,
       "tonebake-prep: --disk d.d77 and --tape ./d.d77 are the same file" + usage},
      {{"in.wav", "o.wav", "--image", "./o.wav"},
       1,
       "tonebake-prep: OUTPUT o.wav and --image ./o.wav are the same file" + usage},
#ifndef _WIN32  // /dev/stdout is POSIX's
      {{"in.wav", "-", "--preview", "/dev/stdout"},
       1,
       "tonebake-prep: OUTPUT - (standard output) and --preview /dev/stdout are the same file" +
           usage},
#endif
      {{"in.wav", "in.wav"},
       1,
       "tonebake-prep: INPUT in.wav and OUTPUT in.wav are the same file" + usage},
      {{"in.wav", "link.wav"},
       1,
       "tonebake-prep: INPUT in.wav and OUTPUT link.wav are the same file" + usage},
      {{"in.wav", "o.wav", "--image", "o.bin", "--disk", "d.d77", "--disk-name", "BAD:NAME"},
       1,
       "tonebake-prep: d.d77: cannot add BAD:NAME: F-BASIC cannot take that name (1 to 8 "
       "printable characters, no space, '\"' or ':')\n"},
      {{"in.wav", "x.wav", "--image", "o.bin", "--disk", "d.d77"},
       3,
       "tonebake-prep: d.d77: cannot add X: a file of that name is on the disk already "
       "(--replace replaces it)\n"},
      {{"in.wav", "o.wav", "--disk", "d.d77", "--player", "--disk-name", "PLAY"},
       1,
       "tonebake-prep: the sound cannot be called PLAY with --player, the name of the menu "
       "(--disk-name gives it another; see 'tonebake-prep --help')\n"},
      {{"in.wav", "o.wav", "--disk", "ro.d77"},
       3,
       "tonebake-prep: ro.d77: cannot add O: the disk is write-protected\n"},
      {{"in.wav", "o.wav", "--start", "2"},
       2,
       "tonebake-prep: in.wav: no samples to write: nothing is left of it after --start and "
       "--length\n"},
      {{"in.wav", "-", "--length", "0"},
       2,
       "tonebake-prep: in.wav: no samples to write: nothing is left of it after --start and "
       "--length\n"},
      {{"empty.wav", "o.wav"},
       2,
       "tonebake-prep: empty.wav: no samples to write: it holds too little sound for a single "
       "sample at this rate\n"},
      {{"in.wav", "o.wav", "-r", "1e308k"},
       1,
       "tonebake-prep: --rate takes a rate in Hz such as 8000 or 7.855k, not '1e308k'" + usage},
      {{"in.wav", "o.wav", "--wait", "16", "--highpass", "4015.5"},
       1,
       "tonebake-prep: --highpass 4015 Hz is not below half the output rate of 8031 Hz" + usage},
      {{"in.wav", "o.wav", "--replace"},
       1,
       "tonebake-prep: --replace goes with --disk or --tape" + usage},
      {{"in.wav", "o.wav", "--tape", "t.t77", "--boot"},
       1,
       "tonebake-prep: --boot goes with --disk" + usage},
  };
  test::WriteBytes(File("empty.wav"), test::MakeWave({}));
  const Bytes input = test::ReadBytes(File("in.wav"));
  const Bytes disk = test::ReadBytes(File("d.d77"));
  for (const auto& c : cases) {
    const test::ToolRun run = Prep(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments[1];
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(test::ReadBytes(File("in.wav")), input);
    EXPECT_EQ(test::ReadBytes(File("d.d77")), disk);
    EXPECT_FALSE(std::filesystem::exists(File("o.wav")));
    EXPECT_FALSE(std::filesystem::exists(File("o.bin")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 6);
  }
  // A re-run replaces its own sound when asked to.
  WriteSine(File("in.wav"), {"in", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000}, nullptr, 0.5);
  ASSERT_EQ(Prep({"in.wav", "x.wav", "--image", "x.bin", "--disk", "d.d77", "--replace"}).exitCode,
            0);
  ASSERT_EQ(Run(TONEBAKE_DISK_EXE, {"extract", "d.d77", "X", "back.bin"}).exitCode, 0);
  EXPECT_EQ(test::ReadBytes(File("back.bin")), test::ReadBytes(File("x.bin")));
}

// Input at the float limit, where mixing or resampling would overflow to
// NaN, and input below digital silence, which --normalize cannot scale.
TEST_F(PrepRun, ExtremeLevelsGiveFullScaleOrSilenceNeverUndefinedBytes) {
  const Recording floatStereo{"float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100};
  WriteFrames(File("huge.wav"), floatStereo, Synthesize(floatStereo, 0.5, [](double t, int) {
                return std::sin(2 * kPi * kToneHz * t) >= 0 ? 3e38 : -3e38;
              }));
  const test::ToolRun huge =
      Prep({"--wait", "16", "--gain", "100", "--plain", "huge.wav", "huge8.wav"});
  EXPECT_EQ(huge.exitCode, 0);
  EXPECT_TRUE(Contains(huge.err, "samples clipped; --normalize would avoid it")) << huge.err;
  const Bytes square = SamplesOf(test::ReadBytes(File("huge8.wav")));
  EXPECT_GT(std::count(square.begin(), square.end(), 0x00), 1500);
  EXPECT_GT(std::count(square.begin(), square.end(), 0xFF), 1500);
  // Bytes chosen for the player reach both ends of the tables as well.
  ASSERT_EQ(Prep({"--wait", "16", "--gain", "100", "huge.wav", "chosen8.wav"}).exitCode, 0);
  const Bytes chosen = SamplesOf(test::ReadBytes(File("chosen8.wav")));
  EXPECT_LE(*std::min_element(chosen.begin(), chosen.end() - 100), 0x08);
  EXPECT_GE(*std::max_element(chosen.begin(), chosen.end() - 100), 0xF7);

  const Recording floatMono{"float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 8000};
  WriteFrames(File("tiny.wav"), floatMono,
              Synthesize(floatMono, 0.5, [](double t, int) { return 1e-40 * Sine(t); }));
  ASSERT_EQ(Prep({"--wait", "16", "--normalize", "tiny.wav", "tiny8.wav"}).exitCode, 0);
  const Bytes silence = SamplesOf(test::ReadBytes(File("tiny8.wav")));
  EXPECT_EQ(std::count(silence.begin(), silence.end(), 0x80),
            static_cast<std::ptrdiff_t>(silence.size()));
}

// Runs on one disk wait for each other; a run stopped or failing halfway
// leaves no temporary file.
#ifndef _WIN32  // runs in the background, a broken pipe, a size limit and signals
TEST_F(PrepRun, RunsTakeTurnsAndStoppedRunsLeaveNothing) {
  WriteSine(File("in.wav"), {"in", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100}, nullptr, 60);
  options.workDir = dir.path().string();
  FileLock held;
  ASSERT_EQ(held.Acquire(File("d.d77"), 1000, nullptr), 0);
  std::vector<test::BackgroundRun> started;
  for (const char* name : {"a", "b"}) {
    started.push_back(test::StartTool(
        TONEBAKE_PREP_EXE,
        {"--length", "1", "in.wav", std::string(name) + ".wav", "--disk", "d.d77"}, options, name));
  }
  for (const test::BackgroundRun& run : started) {
    for (int wait = 0; test::ReadText(run.errPath).find("waiting") == std::string::npos; ++wait) {
      ASSERT_LT(wait, 500) << "a run did not wait for the lock";
      usleep(10000);
    }
  }
  held.Release();
  for (const test::BackgroundRun& run : started) {
    EXPECT_EQ(test::FinishTool(run).exitCode, 0);
  }
  const test::ToolRun listed = Run(TONEBAKE_DISK_EXE, {"list", "d.d77"});
  EXPECT_TRUE(Contains(listed.out, "\nA  ") && Contains(listed.out, "\nB  ")) << listed.out;

  const auto temporaryLeft = [](const std::string& where) {
    for (const auto& entry : std::filesystem::directory_iterator(where)) {
      if (entry.path().filename().string().find(".tonebake-") != std::string::npos) {
        return true;
      }
    }
    return false;
  };
  options.stdoutBrokenPipe = true;  // as "| head -c 100" leaves it
  const test::ToolRun piped = Prep({"in.wav", "-", "--image", "x.bin"});
  EXPECT_EQ(piped.exitCode, 3);
  // After the warnings the length gives before the pass.
  const std::string broken = "tonebake-prep: standard output: cannot write: Broken pipe\n";
  EXPECT_EQ(piped.err.substr(piped.err.size() - std::min(piped.err.size(), broken.size())), broken);
  EXPECT_FALSE(std::filesystem::exists(File("x.bin")));
  options.stdoutBrokenPipe = false;
  options.fileSizeLimit = 10000;  // standard output a file that cannot grow
  EXPECT_EQ(Prep({"in.wav", "-"}).exitCode, 3);
  options.fileSizeLimit = 0;
  for (const int signalNumber : {SIGINT, SIGHUP, SIGUSR1, SIGALRM}) {
    test::InterruptedRun run;
    for (int attempt = 0; attempt < 5 && !run.sent; ++attempt) {
      run = test::RunAndInterrupt(TONEBAKE_PREP_EXE, {"in.wav", "out.wav"}, options, temporaryLeft,
                                  signalNumber);
    }
    ASSERT_TRUE(run.sent) << signalNumber;
    EXPECT_EQ(run.endSignal, signalNumber);
    EXPECT_FALSE(temporaryLeft(dir.path().string())) << signalNumber;
  }
}
#endif

// The journey: one run makes the WAVE file, the image, a disk with PLAYER
// and PLAY, and a preview that is exactly what tonebake-play renders.
TEST_F(PrepRun, FitPicksTheRateThatHoldsItAllAndThePlayerComesAlong) {
  // 3 s at 44.1 kHz: 18672 samples at wait 29 (6224 Hz) fit in the 18993
  // bytes PLAY loads (98 %); wait 28 (6333 Hz) would give 18999.
  WriteSine(File("jingle.wav"), {"j", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100}, nullptr, 3.0);
  const test::ToolRun run =
      Prep({"--fit", "--player", "--psg", "fm77av", "--disk", "fm7.d77", "--image", "j.bin",
            "--preview", "heard.wav", "--tape", "fm7.t77", "--boot", "jingle.wav", "j.wav"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err,
            "jingle.wav -> j.wav: 18672 samples at 6224 Hz (PCM wait 29), 3.00 s\n"
            "also written: j.bin (image), fm7.d77 (disk, as J, with PLAY and PLAYER, booting), "
            "fm7.t77 "
            "(tape, as J, with PLAY and PLAYER), heard.wav (preview)\n");
  // It ends on silence: LOADM reads a last sample of 00 as another block.
  const Bytes image = test::ReadBytes(File("j.bin"));
  ASSERT_EQ(image.size(), 18672u + 11);
  EXPECT_EQ(image[image.size() - 6], 0x80);
  const test::ToolRun played = Run(TONEBAKE_PLAY_EXE, {"--psg", "fm77av", "j.bin", "played.wav"});
  ASSERT_EQ(played.exitCode, 0) << played.err;
  EXPECT_EQ(test::ReadBytes(File("heard.wav")), test::ReadBytes(File("played.wav")));
  ASSERT_EQ(Run(TONEBAKE_TAPE_EXE, {"extract", "fm7.t77", "J", "fromtape.bin"}).exitCode, 0);
  EXPECT_EQ(test::ReadBytes(File("fromtape.bin")), test::ReadBytes(File("j.bin")));
  EXPECT_TRUE(Contains(Run(TONEBAKE_TAPE_EXE, {"list", "fm7.t77"}).out, "\nPLAYER  "));
  const test::ToolRun listed = Run(TONEBAKE_DISK_EXE, {"list", "fm7.d77"});
  EXPECT_TRUE(Contains(listed.out, "\nJ  ") && Contains(listed.out, "\nPLAYER  ") &&
              Contains(listed.out, "\nPLAY      BASIC    ASCII ") &&
              Contains(listed.out, "\nBoots: tonebake's boot program"))
      << listed.out;
  ASSERT_EQ(Run(TONEBAKE_DISK_EXE, {"extract", "fm7.d77", "PLAY", "play.txt"}).exitCode, 0);
  EXPECT_TRUE(Contains(test::ReadText(File("play.txt")),
                       "\r\n1000 DATA \"J\",18672,29,3.00\r\n1010 DATA \"\",0,0,0\r\n\x1A"));
  // Even wait 63 cannot hold 8 s: cut, and said so.
  WriteSine(File("long.wav"), {"l", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000}, nullptr, 8.0);
  const test::ToolRun cut = Prep({"--fit", "long.wav", "long8.wav"});
  EXPECT_EQ(cut.exitCode, 0);
  EXPECT_TRUE(Contains(cut.err,
                       "tonebake-prep: warning: long.wav: cut to 4.85 s of 8.00 s at 3919 Hz to "
                       "fit what PLAY loads, with a 10 ms fade-out\n"))
      << cut.err;
}

// The bytes are chosen, and the preview rendered, for the tables the sound
// will be played with: those of the PLAYER already on the disk or tape.
TEST_F(PrepRun, ASoundIsMadeForThePlayerOnTheMedium) {
  WriteSine(File("in.wav"), {"s", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8031}, nullptr, 0.2);
  ASSERT_EQ(Prep({"--psg", "fm77av", "in.wav", "av.wav", "--image", "av.bin"}).exitCode, 0);
  ASSERT_EQ(Prep({"in.wav", "fm7.wav", "--image", "fm7.bin"}).exitCode, 0);
  ASSERT_NE(test::ReadBytes(File("av.bin")), test::ReadBytes(File("fm7.bin")));
  ASSERT_EQ(Run(TONEBAKE_DISK_EXE, {"player", "--psg", "fm77av", "d.d77"}).exitCode, 0);
  ASSERT_EQ(Run(TONEBAKE_TAPE_EXE, {"player", "--psg", "fm77av", "t.t77"}).exitCode, 0);
  ASSERT_EQ(Prep({"in.wav", "o.wav", "--disk", "d.d77", "--tape", "t.t77", "--preview", "h.wav"})
                .exitCode,
            0);
  ASSERT_EQ(Run(TONEBAKE_DISK_EXE, {"extract", "d.d77", "O", "disk.bin"}).exitCode, 0);
  ASSERT_EQ(Run(TONEBAKE_TAPE_EXE, {"extract", "t.t77", "O", "tape.bin"}).exitCode, 0);
  EXPECT_EQ(test::ReadBytes(File("disk.bin")), test::ReadBytes(File("av.bin")));
  EXPECT_EQ(test::ReadBytes(File("tape.bin")), test::ReadBytes(File("av.bin")));
  ASSERT_EQ(Run(TONEBAKE_PLAY_EXE, {"--psg", "fm77av", "av.bin", "played.wav"}).exitCode, 0);
  EXPECT_EQ(test::ReadBytes(File("h.wav")), test::ReadBytes(File("played.wav")));
}

}  // namespace
}  // namespace tonebake
