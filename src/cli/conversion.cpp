#include "cli/conversion.h"

#include <cstdio>

#include "cli/wave_to_image.h"
#include "fileio/byte_buffer.h"
#include "fileio/file_names.h"
#include "fileio/whole_file.h"
#include "path/path_names.h"
#include "wave/wave_header.h"

namespace tonebake {
namespace {

// A WAVE file already at the output is a recording, never to be replaced by
// an image: `tonebake -w 20 song.wav out.bin` names song.wav as the output.
bool IsRecording(const std::string& path, FileAccessFactory makeAccess) {
  std::uint8_t start[wave_offset::kWaveId + wave_value::kIdLength] = {};
  return StartsAsRiffWave(start, ReadFileStart(path, start, sizeof start, nullptr, makeAccess));
}

// Load, convert and save; stops at the first failure. The buffers are owned
// here and released on every path out.
RunResult ConvertFile(const RunRequest& request, const DerivedNames& names,
                      const RunContext& context) {
  ByteBuffer input;
  if (LoadFile(names.inputPath, input, context.makeFileAccess) != 0) {
    return InputOpenFailed;
  }
  ImagePlan plan;
  const RunResult checked = PlanImage(input.bytes.get(), input.length, request.waitSetting, plan);
  if (checked != Ok) {
    return checked;
  }
  // An output that is the input by another name (or the same one) would
  // replace the recording with its image.
  if (SameFile(names.inputPath, names.outputPath) ||
      IsRecording(names.outputPath, context.makeFileAccess)) {
    return OutputOpenFailed;
  }
  // Without memory for the image no output can be made: reported like an
  // output that cannot be created.
  ByteBuffer image;
  if (!AllocateBuffer(plan.imageSize, image)) {
    return OutputOpenFailed;
  }
  ConvertWaveToImage(plan, image.bytes.get());
  input = ByteBuffer{};  // the image holds all that is still needed
  if (SaveFile(names.outputPath, image.bytes.get(), image.length, context.makeFileAccess) != 0) {
    return OutputOpenFailed;
  }
  return Ok;
}

}  // namespace

RunResult RunConversion(const RunRequest& request, const RunContext& context) {
  // Both paths are composed before any file is touched, so that every message
  // can name them.
  const DerivedNames names = DeriveNames(request.inputArg.value_or(std::string()),
                                         request.outputArg, context.pathLeadBytes);
  const RunResult result = ConvertFile(request, names, context);
  if (result != Ok) {
    ReportError(context.console, result, names.inputPath, names.outputPath);
    return result;
  }
  // The success line is a result too: one that cannot be written is no
  // success. It keeps out of an image written to standard output.
  std::FILE* const said =
      NamesStandardOutput(names.outputPath) ? context.console.err : context.console.out;
  std::fprintf(said, "Ok: %s -> %s\n", ShowPath(names.inputPath).c_str(),
               ShowPath(names.outputPath).c_str());
  if (std::fflush(said) != 0 || std::ferror(said)) {
    ReportError(context.console, OutputOpenFailed, std::string(), "standard output");
    return OutputOpenFailed;
  }
  return Ok;
}

RunResult RunProgram(const std::vector<std::string>& arguments, const RunContext& context) {
  PrintBanner(context.console);
  if (arguments.empty()) {
    ReportError(context.console, NoParameters);
    return NoParameters;
  }
  const ScannedArguments scanned = ScanArguments(arguments, context.slashStartsOption);
  if (scanned.longVersion) {
    std::fprintf(context.console.out, "tonebake %s\n", kVersion);
  }
  if (scanned.longHelp) {
    WriteUsage(context.console.out);
  }
  for (int i = 0; i < scanned.helpRequests; ++i) {
    PrintUsage(context.console);
  }
  if (scanned.helpRequests > 0 || scanned.longHelp || scanned.longVersion) {
    // --help and --version have standard output as their whole output: one
    // that could not be written is no success.
    const bool toOut = scanned.longHelp || scanned.longVersion;
    if (toOut && (std::fflush(context.console.out) != 0 || std::ferror(context.console.out))) {
      ReportError(context.console, OutputOpenFailed, std::string(), "standard output");
      return OutputOpenFailed;
    }
    return Ok;
  }
  if (scanned.waitNumberApart) {
    const std::string& option = *scanned.waitOption;
    const std::string& number = *scanned.waitNumberApart;
    PrintNote(context.console, option + " " + number + " is wait 0 and a file named " + number +
                                   "; for wait " + number + ", write " + option + number);
  }
  if (!scanned.request.inputArg) {
    ReportError(context.console, NoInputFile);
    return NoInputFile;
  }
  // An empty output name is no name: it would make a file named ".bin".
  if (scanned.request.outputArg && scanned.request.outputArg->empty()) {
    PrintNote(context.console, "the output name is empty: give one, or leave it out");
    ReportError(context.console, NoParameters);
    return NoParameters;
  }
  return RunConversion(scanned.request, context);
}

}  // namespace tonebake
