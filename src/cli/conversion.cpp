#include "cli/conversion.h"

#include <cstdio>

#include "fileio/whole_file.h"
#include "fm7pcm/pcm_image.h"
#include "fm7pcm/wait_table.h"

namespace tonebake {
namespace {

std::uint8_t EffectiveWait(std::int32_t waitSetting, const std::uint8_t* file) {
  if (waitSetting < 0) {
    return SelectWait(ReadSampleRate(file));
  }
  return static_cast<std::uint8_t>(waitSetting);
}

// Load, convert and save; stops at the first failure. The buffers are owned
// here and released on every path out.
RunResult ConvertFile(const RunRequest& request, const DerivedNames& names,
                      const RunContext& context) {
  ByteBuffer input;
  if (LoadFile(names.inputPath, input, context.makeFileAccess) != 0) {
    return InputOpenFailed;
  }
  ByteBuffer image;
  const RunResult converted =
      ConvertWaveToImage(input.bytes.get(), input.length, request.waitSetting, image);
  if (converted != Ok) {
    return converted;
  }
  input = ByteBuffer{};  // the image holds all that is still needed
  if (SaveFile(names.outputPath, image.bytes.get(), image.length, context.makeFileAccess) != 0) {
    return OutputOpenFailed;
  }
  return Ok;
}

}  // namespace

RunResult ResultForHeaderCheck(HeaderCheck check) {
  switch (check) {
    case HeaderOk:
      return Ok;
    case FormatNotPcm:
      return NotLinearPcm;
    case ChannelsNotOne:
      return TooManyChannels;
    case BitsNotEight:
      return Not8Bit;
    default:
      return NotWave;
  }
}

RunResult ConvertWaveToImage(const std::uint8_t* file, std::uint32_t length,
                             std::int32_t waitSetting, ByteBuffer& image) {
  image = ByteBuffer{};
  const HeaderCheck check = CheckWaveHeader(file, length);
  if (check != HeaderOk) {
    return ResultForHeaderCheck(check);
  }
  WaveSamples samples;
  const HeaderCheck located = LocateSamples(file, length, samples);
  if (located != HeaderOk) {
    return ResultForHeaderCheck(located);
  }
  // Without memory for the image no output can be made: reported like an
  // output that cannot be created.
  if (!AllocateBuffer(PcmImageSize(samples.count), image)) {
    return OutputOpenFailed;
  }
  BuildPcmImage(samples, EffectiveWait(waitSetting, file), image.bytes.get());
  return Ok;
}

RunResult RunConversion(const RunRequest& request, const RunContext& context) {
  // Both paths are composed before any file is touched, so that every message
  // can name them.
  const DerivedNames names = DeriveNames(request.inputArg.value_or(std::string()),
                                         request.outputArg, context.pathLeadBytes);
  const RunResult result = ConvertFile(request, names, context);
  if (result == Ok) {
    std::fprintf(context.console.out, "Ok: %s -> %s\n", names.inputPath.c_str(),
                 names.outputPath.c_str());
  } else {
    ReportError(context.console, result, names.inputPath, names.outputPath);
  }
  return result;
}

RunResult RunProgram(const std::vector<std::string>& arguments, const RunContext& context) {
  PrintBanner(context.console);
  if (arguments.empty()) {
    ReportError(context.console, NoParameters);
    return NoParameters;
  }
  const ScannedArguments scanned = ScanArguments(arguments);
  for (int i = 0; i < scanned.helpRequests; ++i) {
    PrintUsage(context.console);
  }
  if (scanned.helpRequests > 0) {
    return Ok;
  }
  if (!scanned.request.inputArg) {
    ReportError(context.console, NoInputFile);
    return NoInputFile;
  }
  return RunConversion(scanned.request, context);
}

}  // namespace tonebake
