#include "cli/conversion.h"
#include "cli/wave_to_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "support/captured_streams.h"
#include "support/faulty_file_access.h"
#include "support/temp_dir.h"
#include "support/wave_bytes.h"

namespace tonebake {
namespace {

using test::Fault;

// A conversion run in this process, with the file layer's calls failing as
// planned and both streams captured.
class ConversionRun : public ::testing::Test {
 protected:
  RunResult Convert(const std::string& inputArg) {
    test::CapturedStreams streams;
    RunRequest request;
    request.inputArg = dir.File(inputArg);
    const RunContext context{Console{streams.out, streams.err, MessageEncoding::Utf8}, &NoLeadBytes,
                             &test::MakeFaultyFileAccess};
    const RunResult result = RunConversion(request, context);
    streams.Finish(printedOut, printedErr);
    return result;
  }

  test::TempDir dir;
  std::string printedOut;
  std::string printedErr;
};

TEST_F(ConversionRun, EveryFailingFileCallGivesItsResultAndMessageAndNoOutput) {
  const std::string input = dir.File("song.wav");
  const std::string output = dir.File("song.bin");
  const std::string inputFailed =
      u8"err: 入力ファイルのオープンに失敗しました。(" + input + ")\n\n";
  const std::string outputFailed =
      u8"err: 出力ファイルのオープンに失敗しました。(" + output + ")\n\n";
  const struct {
    Fault fault;
    RunResult result;
    std::string err;
  } cases[] = {
      {Fault::OpenInput, InputOpenFailed, inputFailed},
      {Fault::Size, InputOpenFailed, inputFailed},
      {Fault::SizeOver4GiB, InputOpenFailed, inputFailed},
      {Fault::Read, InputOpenFailed, inputFailed},
      {Fault::ShortRead, InputOpenFailed, inputFailed},
      {Fault::OpenOutput, OutputOpenFailed, outputFailed},
      {Fault::Write, OutputOpenFailed, outputFailed},
      {Fault::ShortWrite, OutputOpenFailed, outputFailed},
      {Fault::CloseOutput, OutputOpenFailed, outputFailed},
      {Fault::Rename, OutputOpenFailed, outputFailed},
  };
  test::WriteBytes(input, test::MakeWave(test::RampSamples(300)));
  for (const bool noCode : {false, true}) {
    for (const auto& c : cases) {
      const test::ScopedFault injected(c.fault, noCode);
      EXPECT_EQ(Convert("song"), c.result) << static_cast<int>(c.fault);
      EXPECT_EQ(printedErr, c.err) << static_cast<int>(c.fault);
      EXPECT_EQ(printedOut, "") << static_cast<int>(c.fault);
      EXPECT_FALSE(std::filesystem::exists(output)) << static_cast<int>(c.fault);
    }
  }
}

TEST_F(ConversionRun, FailedCloseOfTheInputStillConverts) {
  const test::ScopedFault injected(Fault::CloseInput);
  test::WriteBytes(dir.File("song.wav"), test::MakeWave(test::RampSamples(3)));
  EXPECT_EQ(Convert("song"), Ok);
  EXPECT_EQ(printedErr, "");
  EXPECT_EQ(printedOut, "Ok: " + dir.File("song.wav") + " -> " + dir.File("song.bin") + "\n");
  EXPECT_EQ(test::ReadBytes(dir.File("song.bin")).size(), 14u);
}

TEST(PlanImage, ARejectedFileLeavesNoPlan) {
  ImagePlan plan{reinterpret_cast<const std::uint8_t*>("x"), 5, 9, 16};  // left from before
  const test::Bytes stereo = test::MakeWave(test::RampSamples(4), [] {
    test::WaveFields fields;
    fields.channels = 2;
    return fields;
  }());
  EXPECT_EQ(PlanImage(stereo.data(), static_cast<std::uint32_t>(stereo.size()), -1, plan),
            TooManyChannels);
  EXPECT_EQ(plan.samples, nullptr);
  EXPECT_EQ(plan.count, 0u);
  EXPECT_EQ(plan.wait, 0);
  EXPECT_EQ(plan.imageSize, 0u);
}

}  // namespace
}  // namespace tonebake
