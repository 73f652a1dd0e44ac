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

// A 440 Hz sine at half scale, the same on every channel, written with
// libsndfile in the given container and sample format.
void WriteSine(const std::string& path, const Recording& recording, const char* title = nullptr,
               double seconds = kSeconds) {
  SF_INFO info{};
  info.samplerate = recording.rate;
  info.channels = recording.channels;
  info.format = recording.format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  if (title != nullptr) {
    sf_set_string(file, SF_STR_TITLE, title);  // set before the data: a LIST chunk first
  }
  const auto frames = static_cast<std::size_t>(seconds * recording.rate);
  std::vector<float> samples(frames * static_cast<std::size_t>(recording.channels));
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double t =
        static_cast<double>(i / static_cast<std::size_t>(recording.channels)) / recording.rate;
    samples[i] = static_cast<float>(0.5 * std::sin(2 * kPi * kToneHz * t));
  }
  sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames));
  sf_close(file);
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

// Zero crossings of the 8-bit samples around silence, as a frequency.
double ToneFrequency(const Bytes& samples, std::uint32_t rate) {
  int crossings = 0;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    crossings += (samples[i - 1] < 128) != (samples[i] < 128);
  }
  return crossings / 2.0 / (static_cast<double>(samples.size()) / rate);
}

class PrepRun : public ::testing::Test {
 protected:
  test::ToolRun Run(const std::string& executable, const std::vector<std::string>& arguments) {
    options.workDir = dir.path().string();
    return test::RunTool(executable, arguments, options);
  }
  test::ToolRun Prep(const std::vector<std::string>& arguments) {
    return Run(TONEBAKE_PREP_EXE, arguments);
  }
  std::string File(const std::string& name) const { return dir.File(name); }

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
    EXPECT_EQ(run.err, "") << recording.name;
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
  const struct {
    std::vector<std::string> options;
    std::size_t wait;
  } cases[] = {{{}, 16}, {{"--wait", "40"}, 40}, {{"--rate", "6000"}, 31}};
  for (const auto& c : cases) {
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.end(), {"in.wav", "out.wav"});
    ASSERT_EQ(Prep(arguments).exitCode, 0);
    ExpectPrepared("out", c.wait);
  }
}

TEST_F(PrepRun, SameInputGivesTheSameBytesAndTheImageTonebakeMakes) {
  WriteSine(File("in.wav"), {"in", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100});
  ASSERT_EQ(Prep({"--normalize", "--image", "direct.bin", "in.wav", "a.wav"}).exitCode, 0);
  ASSERT_EQ(Prep({"--normalize", "in.wav", "b.wav"}).exitCode, 0);
  EXPECT_EQ(test::ReadBytes(File("a.wav")), test::ReadBytes(File("b.wav")));
  ASSERT_EQ(Run(TONEBAKE_EXE, {"a"}).exitCode, 0);
  EXPECT_EQ(test::ReadBytes(File("direct.bin")), test::ReadBytes(File("a.bin")));
}

TEST_F(PrepRun, ResultsAnFm7CannotHoldAreWarnedAboutButWritten) {
  WriteSine(File("in.wav"), {"in", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000}, nullptr, 9.0);
  const auto contains = [](const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  };
  // 9 s at 3919 Hz: about 35270 samples, more than 32 KiB but a count that fits.
  const test::ToolRun large = Prep({"--wait", "63", "in.wav", "large.wav"});
  EXPECT_EQ(large.exitCode, 0);
  EXPECT_TRUE(contains(large.err, "tonebake-prep: warning: large.wav: the image is 352"));
  EXPECT_TRUE(contains(large.err,
                       " bytes, more than the 32 KiB an FM-7 in BASIC mode can hold; "
                       "32757 samples (8.36 s at 3919 Hz) fit\n"));
  EXPECT_FALSE(contains(large.err, "wraps")) << large.err;
  // 9 s at 8031 Hz: about 72280 samples, past the 16-bit count as well.
  const test::ToolRun wraps = Prep({"--wait", "16", "in.wav", "long.wav"});
  EXPECT_EQ(wraps.exitCode, 0);
  EXPECT_TRUE(contains(wraps.err, "tonebake-prep: warning: long.wav: 722"));
  EXPECT_TRUE(contains(wraps.err,
                       " samples; the image's 16-bit sample count wraps above 65535 "
                       "(8.16 s at 8031 Hz)\n"));
  EXPECT_TRUE(contains(wraps.err, "fit\n"));
  EXPECT_TRUE(std::filesystem::exists(File("long.wav")));
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

  options.fileSizeLimit = 1000;
  const test::ToolRun full = Prep({"in.wav", "out.wav"});
  EXPECT_EQ(full.exitCode, 3);
  EXPECT_FALSE(std::filesystem::exists(File("out.wav")));

  EXPECT_EQ(Prep({"--wait", "64", "in.wav", "out.wav"}).exitCode, 1);
}

}  // namespace
}  // namespace tonebake
