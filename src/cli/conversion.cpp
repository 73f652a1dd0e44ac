#include "cli/conversion.h"

#include <cstdio>

#include "cli/wave_to_image.h"
#include "fileio/byte_buffer.h"
#include "fileio/file_names.h"
#include "fileio/whole_file.h"

namespace tonebake {
namespace {

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
  if (SameFile(names.inputPath, names.outputPath)) {
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
  if (!scanned.request.inputArg) {
    ReportError(context.console, NoInputFile);
    return NoInputFile;
  }
  return RunConversion(scanned.request, context);
}

}  // namespace tonebake
