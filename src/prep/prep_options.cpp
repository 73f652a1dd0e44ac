#include "prep/prep_options.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "fm7pcm/wait_table.h"

namespace tonebake::prep {
namespace {

enum OptionCode : int {
  WaitOption = 'w',
  RateOption = 'r',
  ImageOption = 'i',
  NormalizeOption = 'n',
  HelpOption = 'h',
  GainOption = 'g',
  NoDitherOption = 1000,
  VersionOption,
  StartOption,
  LengthOption,
  FitOption,
  ChannelOption,
  HighpassOption,
  DiskOption,
  DiskNameOption,
  ReplaceOption,
  PlayerOption,
  BootOption,
  PreviewOption,
  PsgOption,
  TapeOption,
  PlainOption,
};

// clang-format off
const option kLongOptions[] = {
    {"wait", required_argument, nullptr, WaitOption},
    {"rate", required_argument, nullptr, RateOption},
    {"image", required_argument, nullptr, ImageOption},
    {"normalize", no_argument, nullptr, NormalizeOption},
    {"no-dither", no_argument, nullptr, NoDitherOption},
    {"plain", no_argument, nullptr, PlainOption},
    {"start", required_argument, nullptr, StartOption},
    {"length", required_argument, nullptr, LengthOption},
    {"fit", no_argument, nullptr, FitOption},
    {"gain", required_argument, nullptr, GainOption},
    {"channel", required_argument, nullptr, ChannelOption},
    {"highpass", required_argument, nullptr, HighpassOption},
    {"disk", required_argument, nullptr, DiskOption},
    {"disk-name", required_argument, nullptr, DiskNameOption},
    {"replace", no_argument, nullptr, ReplaceOption},
    {"player", no_argument, nullptr, PlayerOption},
    {"boot", no_argument, nullptr, BootOption},
    {"preview", required_argument, nullptr, PreviewOption},
    {"psg", required_argument, nullptr, PsgOption},
    {"tape", required_argument, nullptr, TapeOption},
    {"help", no_argument, nullptr, HelpOption},
    {"version", no_argument, nullptr, VersionOption},
    {nullptr, 0, nullptr, 0},
};
// clang-format on
constexpr const char* kShortOptions = ":w:r:i:nhg:";

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

// A finite decimal number followed by exactly `suffix` (may be empty).
std::optional<double> ParseDecimal(const std::string& text, const char* suffix) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) {
    return std::nullopt;
  }
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || std::strcmp(end, suffix) != 0 || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::string Refusal(const char* option, const char* takes, const char* argument) {
  return std::string(option) + " takes " + takes + ", not '" + argument + "'";
}

std::string TakeSignalOption(int code, const char* argument, PrepOptions& options) {
  switch (code) {
    case GainOption: {
      // Beyond +-200 dB every sample is silence or clipped; far beyond it the
      // factor itself is no longer a finite number.
      auto gain = ParseDecimal(argument, "");
      if (gain && std::fabs(*gain) > kMaxGainDb) {
        gain.reset();
      }
      options.gainDb = gain.value_or(0);
      return gain ? std::string()
                  : Refusal("--gain", "a level from -200 to 200 dB such as -3 or 6", argument);
    }
    case ChannelOption:
      if (std::strcmp(argument, "left") == 0) {
        options.channel = ChannelChoice::Left;
      } else if (std::strcmp(argument, "right") == 0) {
        options.channel = ChannelChoice::Right;
      } else if (std::strcmp(argument, "mix") == 0) {
        options.channel = ChannelChoice::Mix;
      } else {
        return Refusal("--channel", "left, right or mix", argument);
      }
      return std::string();
    case HighpassOption:
      options.highpassHz = ParseRate(argument);
      return options.highpassHz ? std::string()
                                : Refusal("--highpass", "a frequency in Hz", argument);
    default:
      return std::string();
  }
}

std::string TakeCutOption(int code, const char* argument, PrepOptions& options) {
  if (code == FitOption) {
    options.fit = true;
    return std::string();
  }
  const auto time = ParseTime(argument);
  if (!time) {
    return Refusal(code == StartOption ? "--start" : "--length", "a time such as 12.5 or 1:02.5",
                   argument);
  }
  if (code == StartOption) {
    options.startSeconds = *time;
  } else {
    options.lengthSeconds = time;
  }
  return std::string();
}

std::string TakeOption(int code, const char* argument, PrepOptions& options) {
  switch (code) {
    case WaitOption: {
      const auto wait = ParseNumber(argument, 0, static_cast<long>(kWaitRateCount) - 1);
      options.wait = wait ? std::optional<int>(static_cast<int>(*wait)) : std::nullopt;
      return wait ? std::string() : Refusal("--wait", "a whole number from 0 to 63", argument);
    }
    case RateOption:
      options.rate = ParseRate(argument);
      return options.rate ? std::string()
                          : Refusal("--rate", "a rate in Hz such as 8000 or 7.855k", argument);
    case ImageOption:
      options.image = argument;
      return std::string();
    case DiskOption:
      options.disk = argument;
      return std::string();
    case DiskNameOption:
      options.diskName = argument;
      return std::string();
    case ReplaceOption:
      options.replace = true;
      return std::string();
    case PlayerOption:
      options.player = true;
      return std::string();
    case BootOption:
      options.boot = true;
      return std::string();
    case PreviewOption:
      options.preview = argument;
      return std::string();
    case TapeOption:
      options.tape = argument;
      return std::string();
    case PsgOption:
      options.profileGiven = true;
      return player::ParsePsgProfile(argument, options.profile)
                 ? std::string()
                 : Refusal("--psg", "fm7 or fm77av", argument);
    case NormalizeOption:
      options.normalize = true;
      return std::string();
    case NoDitherOption:
      options.dither = false;
      options.plain = true;
      return std::string();
    case PlainOption:
      options.plain = true;
      return std::string();
    case HelpOption:
      options.help = true;
      return std::string();
    case VersionOption:
      options.version = true;
      return std::string();
    case StartOption:
    case LengthOption:
    case FitOption:
      return TakeCutOption(code, argument, options);
    default:
      return TakeSignalOption(code, argument, options);
  }
}

// What getopt could not take: the option named as the user wrote it.
std::string UnknownOrIncomplete(int code, char* const* argv) {
  const std::string written = argv[optind - 1];
  if (code == ':') {
    return "option '" + written + "' needs a value";
  }
  if (optopt != 0 && written.rfind("--", 0) != 0) {
    return std::string("unknown option '-") + static_cast<char>(optopt) + "'";
  }
  return "unknown option '" + written.substr(0, written.find('=')) + "'";
}

// A file an option names is a file: not empty, and standard output only for
// OUTPUT.
std::string CheckOptionFiles(const PrepOptions& options) {
  const std::pair<const char*, const std::optional<std::string>*> named[] = {
      {"--image", &options.image},
      {"--disk", &options.disk},
      {"--tape", &options.tape},
      {"--preview", &options.preview},
  };
  for (const auto& [option, value] : named) {
    if (*value && (*value)->empty()) {
      return std::string(option) + " needs a file name, not an empty one";
    }
    if (*value && **value == kStandardStream) {
      return std::string(option) + " needs a file name; only OUTPUT can be standard output";
    }
  }
  return std::string();
}

std::string CheckFileNames(const std::vector<std::string>& names, PrepOptions& options) {
  if (names.size() != 2) {
    return "needs exactly two file names, INPUT and OUTPUT.wav";
  }
  if (names[0].empty() || names[1].empty()) {
    return std::string(names[0].empty() ? "INPUT" : "OUTPUT") +
           " needs a file name, not an empty one";
  }
  if (const std::string refused = CheckOptionFiles(options); !refused.empty()) {
    return refused;
  }
  if (options.wait && options.rate) {
    return "--wait and --rate cannot be used together";
  }
  options.input = names[0];
  options.output = names[1];
  if (options.image && *options.image == options.output && options.output != kStandardStream) {
    return "--image names the same file as OUTPUT";
  }
  const bool medium = options.disk || options.tape;
  if (options.diskName && !medium) {
    return "--disk-name goes with --disk or --tape";
  }
  if (options.replace && !medium) {
    return "--replace goes with --disk or --tape";
  }
  if (options.player && !medium) {
    return "--player goes with --disk or --tape";
  }
  if (options.boot && !options.disk) {
    return "--boot goes with --disk";
  }
  if (medium && !options.diskName && options.output == kStandardStream) {
    return "--disk or --tape with OUTPUT '-' needs --disk-name";
  }
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
         (code = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, nullptr)) != -1) {
    parsed.error = code == '?' || code == ':' ? UnknownOrIncomplete(code, argv.data())
                                              : TakeOption(code, optarg, parsed.options);
  }
  if (!parsed.error.empty() || parsed.options.help || parsed.options.version) {
    return parsed;
  }
  // getopt has moved every name behind the options, in their order: read
  // them from its permuted vector, not from the original one.
  std::vector<std::string> names;
  for (int i = optind; i < argc; ++i) {
    names.emplace_back(argv[static_cast<std::size_t>(i)]);
  }
  parsed.error = CheckFileNames(names, parsed.options);
  return parsed;
}

std::optional<double> ParseTime(const std::string& text) {
  constexpr double kLongestTime = 1e7;  // about 116 days: far beyond any recording
  double total = 0;
  std::size_t begin = 0;
  for (int part = 0; part < 3; ++part) {
    const std::size_t colon = text.find(':', begin);
    if (colon == std::string::npos) {
      const auto seconds = ParseDecimal(text.substr(begin), "");
      if (!seconds || *seconds < 0 || (part > 0 && *seconds >= 60) ||
          total * 60 + *seconds > kLongestTime) {
        return std::nullopt;
      }
      return total * 60 + *seconds;
    }
    const auto whole =
        ParseNumber(text.substr(begin, colon - begin).c_str(), 0, part == 0 ? 1000000 : 59);
    if (!whole) {
      return std::nullopt;
    }
    total = total * 60 + static_cast<double>(*whole);
    begin = colon + 1;
  }
  return std::nullopt;
}

std::optional<double> ParseRate(const std::string& text) {
  std::optional<double> rate = ParseDecimal(text, "");
  if (!rate) {
    rate = ParseDecimal(text, "k");
    if (rate) {
      *rate *= 1000;
    }
  }
  // "1e308k" is finite as written but not once multiplied.
  if (!rate || *rate <= 0 || !std::isfinite(*rate)) {
    return std::nullopt;
  }
  return rate;
}

std::string PrepUsage() {
  return "Usage: tonebake-prep [OPTIONS] INPUT OUTPUT.wav\n"
         "Turns any recording that libsndfile reads (WAVE of any layout, AIFF, FLAC,\n"
         "Ogg Vorbis, MP3...) into the 8-bit mono WAVE file that tonebake converts, at\n"
         "exactly the FM-7 playback rate of a PCM wait. INPUT or OUTPUT may be '-' for\n"
         "standard input or output. Options may come anywhere; '--' ends them.\n"
         "\n"
         "  -w, --wait N        resample to the rate of PCM wait N (0-63); by default\n"
         "                      the wait that tonebake picks for the input's own rate\n"
         "  -r, --rate HZ       use the wait whose playback rate is closest to HZ\n"
         "                      (decimals and a k suffix allowed: 8000, 7.855k)\n"
         "      --channel CH    left, right or mix (the average; the default)\n"
         "      --start TIME    skip TIME of the input first (seconds, or m:ss.s)\n"
         "      --length TIME   keep at most TIME of the input\n"
         "      --fit           make it fit what PLAY loads (18993 samples): without\n"
         "                      --wait or --rate, the highest rate at which all of it\n"
         "                      fits; else cut, ending in a 10 ms fade-out\n"
         "      --highpass HZ   remove DC offset and rumble below HZ (two-pole)\n"
         "  -g, --gain DB       change the level by DB decibels\n"
         "  -n, --normalize     scale the peak to full scale (before --gain)\n"
         "      --plain         round to 8 bits with dither, for a WAVE file meant for\n"
         "                      something else than the FM-7's player\n"
         "      --no-dither     round to 8 bits without dither (implies --plain)\n"
         "  -i, --image FILE    also write the FM-7 PCM image to FILE\n"
         "      --disk DISK     also store the image on the F-BASIC disk DISK.d77\n"
         "                      (made when missing), as OUTPUT's base name\n"
         "      --tape TAPE     also add the image to the cassette tape TAPE.t77\n"
         "      --disk-name N   the name on the disk or tape instead (8 at most)\n"
         "      --replace       replace a file of that name on the disk\n"
         "      --player        also put the player PLAYER and the menu PLAY on the disk\n"
         "      --boot          also make the disk play its sounds when the FM-7 starts\n"
         "                      with it (tonebake-disk boot)\n"
         "      --preview FILE  also write what the FM-7 plays, as a 16-bit WAVE file\n"
         "      --psg CURVE     the sound chip's volume curve the bytes are chosen for,\n"
         "                      and of --player and --preview: fm7 (the default) or\n"
         "                      fm77av (most emulators)\n"
         "  -h, --help          show this help and exit\n"
         "      --version       show the version and exit\n"
         "\n"
         "Each byte is chosen for what the FM-7's player puts out, its three volume\n"
         "writes one after another included, to sound closest to the recording; with\n"
         "--plain, bytes are rounded with TPDF dither from a fixed seed. Either way the\n"
         "same input always gives the same bytes, and digital silence stays exact. A\n"
         "disk or tape that keeps its PLAYER gets bytes (and --preview) for that\n"
         "PLAYER's tables, on their own curve unless --psg is given.\n"
         "Messages and the summary go to standard error.\n"
         "\n"
         "Exit status: 0 success, 1 bad usage, 2 unreadable input, 3 output failure.\n";
}

}  // namespace tonebake::prep
