#include "prep/prep_options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>

#include "fm7pcm/wait_table.h"

namespace tonebake::prep {
namespace {

enum OptionCode : int {
  kWait = 'w',
  kRate = 'r',
  kImage = 'i',
  kNormalize = 'n',
  kHelp = 'h',
  kNoDither = 1000,
  kVersion,
};

// clang-format off
const option kLongOptions[] = {
    {"wait", required_argument, nullptr, kWait},
    {"rate", required_argument, nullptr, kRate},
    {"image", required_argument, nullptr, kImage},
    {"normalize", no_argument, nullptr, kNormalize},
    {"no-dither", no_argument, nullptr, kNoDither},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};
// clang-format on

// A whole decimal number within [low, high], or nothing.
std::optional<long> ParseNumber(const char* text, long low, long high) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

std::string TakeOption(int code, const char* argument, PrepOptions& options) {
  switch (code) {
    case kWait: {
      const auto wait = ParseNumber(argument, 0, static_cast<long>(kWaitRateCount) - 1);
      if (!wait) {
        return std::string("--wait takes a whole number from 0 to 63, not '") + argument + "'";
      }
      options.wait = static_cast<int>(*wait);
      return std::string();
    }
    case kRate:
      options.rate = ParseNumber(argument, 1, 1000000);
      return options.rate ? std::string()
                          : std::string("--rate takes a rate in Hz from 1 to 1000000, not '") +
                                argument + "'";
    case kImage:
      options.image = argument;
      return std::string();
    case kNormalize:
      options.normalize = true;
      return std::string();
    case kNoDither:
      options.dither = false;
      return std::string();
    case kHelp:
      options.help = true;
      return std::string();
    case kVersion:
      options.version = true;
      return std::string();
    default:
      return "unknown option or missing value";
  }
}

std::string CheckFileNames(const std::vector<std::string>& names, PrepOptions& options) {
  if (names.size() != 2) {
    return "needs exactly two file names, INPUT and OUTPUT.wav";
  }
  if (options.wait && options.rate) {
    return "--wait and --rate cannot be used together";
  }
  options.input = names[0];
  options.output = names[1];
  return std::string();
}

}  // namespace

ParsedOptions ParsePrepOptions(const std::vector<std::string>& arguments) {
  std::vector<std::string> storage = arguments;
  std::vector<char*> argv;
  for (std::string& argument : storage) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);

  ParsedOptions parsed;
  opterr = 0;  // every message is our own
  optind = 0;  // restart the scan (glibc: also resets its internal state)
  const int argc = static_cast<int>(storage.size());
  int code = 0;
  while (parsed.error.empty() &&
         (code = getopt_long(argc, argv.data(), "w:r:i:nh", kLongOptions, nullptr)) != -1) {
    parsed.error = TakeOption(code, optarg, parsed.options);
  }
  if (!parsed.error.empty() || parsed.options.help || parsed.options.version) {
    return parsed;
  }
  const std::vector<std::string> names(storage.begin() + optind, storage.end());
  parsed.error = CheckFileNames(names, parsed.options);
  return parsed;
}

std::string PrepUsage() {
  return "Usage: tonebake-prep [OPTIONS] INPUT OUTPUT.wav\n"
         "Turns any recording that libsndfile reads (WAVE of any layout, AIFF, FLAC,\n"
         "Ogg Vorbis...) into the 8-bit mono WAVE file that tonebake converts, at\n"
         "exactly the FM-7 playback rate of a PCM wait.\n"
         "\n"
         "  -w, --wait N      resample to the rate of PCM wait N (0-63); by default the\n"
         "                    wait that tonebake picks for the input's own rate\n"
         "  -r, --rate HZ     use the wait whose playback rate is closest to HZ\n"
         "  -n, --normalize   scale the peak to full scale\n"
         "      --no-dither   quantize to 8 bits without dither\n"
         "  -i, --image FILE  also write the FM-7 PCM image to FILE\n"
         "  -h, --help        show this help and exit\n"
         "      --version     show the version and exit\n"
         "\n"
         "Channels are averaged to mono; 8-bit quantization uses TPDF dither from a\n"
         "fixed seed, so the same input always gives the same bytes.\n"
         "\n"
         "Exit status: 0 success, 1 bad usage, 2 unreadable input, 3 output failure.\n";
}

}  // namespace tonebake::prep
