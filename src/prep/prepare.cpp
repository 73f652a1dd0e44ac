// tonebake-prep's run: from the options to every file it makes.
#include "prep/prepare.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fileio/file_names.h"
#include "fileio/replacing_file.h"
#include "fm7pcm/pcm_image.h"
#include "media/disk_medium.h"
#include "path/path_names.h"
#include "prep/audio_io.h"
#include "prep/medium_outputs.h"
#include "prep/outputs.h"
#include "prep/pipeline.h"
#include "prep/signal.h"

namespace tonebake::prep {
namespace {

constexpr std::uint32_t kMaxCountField = 0xFFFF;

std::string Named(const std::string& path) {
  return path == kStandardStream ? "standard input" : path;
}

std::string Clock(double seconds) {
  char text[32];
  const double minutes = std::floor(seconds / 60);
  std::snprintf(text, sizeof text, "%.0f:%06.3f", minutes, seconds - minutes * 60);
  return text;
}

// Warnings about what an FM-7 can play, each with the duration that fits.
void WarnAboutLength(const std::string& output, std::uint64_t count, std::uint32_t rate) {
  if (count > kMaxCountField) {
    kReport.Say(
        "warning: %s: %llu samples; the image's 16-bit sample count wraps above "
        "%u (%.2f s at %u Hz)\n",
        output.c_str(), static_cast<unsigned long long>(count), kMaxCountField,
        static_cast<double>(kMaxCountField) / rate, rate);
  }
  if (count > kFitSamples) {
    kReport.Say(
        "warning: %s: %llu samples, more than PLAY loads (%u bytes, from &H%X "
        "up to &H%X); %u samples (%.2f s at %u Hz) fit, and --fit makes it fit\n",
        output.c_str(), static_cast<unsigned long long>(count), kFitSamples,
        static_cast<unsigned>(player::kSoundAddress),
        static_cast<unsigned>(player::kSoundRoomEnd - 1), kFitSamples,
        static_cast<double>(kFitSamples) / rate, rate);
  }
}

// What --fit cut, when even wait 63 could not hold it all.
void WarnAboutCut(const PrepOptions& options, const Plan& plan, const SampleWriter& writer) {
  if (plan.expectedOutput > writer.count()) {
    kReport.Say(
        "warning: %s: cut to %.2f s of %.2f s at %u Hz to fit what PLAY loads, "
        "with a 10 ms fade-out\n",
        Named(options.input).c_str(), static_cast<double>(writer.count()) / plan.rate,
        static_cast<double>(plan.expectedOutput) / plan.rate, plan.rate);
  } else {
    kReport.Say(
        "warning: %s: cut to %.2f s at %u Hz to fit what PLAY loads, with a 10 ms "
        "fade-out\n",
        Named(options.input).c_str(), static_cast<double>(writer.count()) / plan.rate, plan.rate);
  }
}

void WarnAboutSound(const PrepOptions& options, const Plan& plan, const PassReport& report,
                    const SampleWriter& writer, double inputRate) {
  const std::uint64_t repaired = report.repaired + writer.quantizer().notNumbers();
  if (repaired > 0) {
    kReport.Say(
        "warning: %s: %llu samples were not numbers (NaN) or infinite; they were "
        "replaced by silence or full scale\n",
        Named(options.input).c_str(), static_cast<unsigned long long>(repaired));
  }
  if (report.stoppedEarly) {
    const double at = static_cast<double>(plan.startFrame + report.framesRead) / inputRate;
    kReport.Say("warning: %s: decoding stopped at %s; the part before it is kept\n",
                Named(options.input).c_str(), Clock(at).c_str());
  }
  const std::uint64_t clipped = writer.quantizer().clipped();
  if (clipped > 0) {
    const double avoiding = std::floor(GainToFullScaleDb(writer.quantizer().peak()) * 10) / 10;
    char advice[64];
    // Beyond what --gain takes, only --normalize can bring it back.
    if (avoiding < -kMaxGainDb) {
      std::snprintf(advice, sizeof advice, "--normalize");
    } else {
      std::snprintf(advice, sizeof advice, "a gain of %.1f dB", avoiding);
    }
    kReport.Say("warning: %s: %llu of %llu samples clipped; %s would avoid it\n",
                options.output.c_str(), static_cast<unsigned long long>(clipped),
                static_cast<unsigned long long>(writer.count()), advice);
  }
}

// The peak that --normalize scales to full scale: a first pass that writes
// nothing.
float MeasurePeak(AudioSource& source, const PrepOptions& options, const Plan& plan) {
  float peak = 0.0f;
  RunPass(source, options, plan, [&peak](const float* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      peak = std::max(peak, std::fabs(samples[i]));
    }
    return true;
  });
  return peak;
}

float ChooseGain(AudioSource& source, const PrepOptions& options, const Plan& plan,
                 std::string& error) {
  float gain = static_cast<float>(std::pow(10.0, options.gainDb / 20));
  if (options.normalize) {
    // Below digital silence there is nothing to scale up: only noise, and
    // an endless gain.
    const float peak = MeasurePeak(source, options, plan);
    if (peak >= kDigitalSilence) {
      gain = std::min(gain * kFullScale / peak, kMaxGain);
    }
    if (!source.Rewind(error)) {
      return -1.0f;
    }
  }
  return gain;
}

// How far the pass is, on standard error where it is a terminal, as sox
// and ffmpeg show it: a long recording never looks hung. One line, written
// over at most a few times a second, cleared at the end.
class Progress {
 public:
  Progress(std::uint64_t total, std::uint32_t rate)
      : shown_(isatty(STDERR_FILENO) != 0), total_(total), rate_(rate) {}
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress() {
    if (written_) {
      std::fprintf(stderr, "\r%*s\r", kWidth, "");
    }
  }

  void Advance(std::size_t samples) {
    done_ += samples;
    const auto now = std::chrono::steady_clock::now();
    if (!shown_ || now < next_) {
      return;
    }
    next_ = now + std::chrono::milliseconds(250);
    const double seconds = static_cast<double>(done_) / rate_;
    if (total_ > 0) {
      std::fprintf(
          stderr, "\r%s: %s of %s (%.0f %%)   ", kProgram, Clock(seconds).c_str(),
          Clock(static_cast<double>(total_) / rate_).c_str(),
          100.0 * static_cast<double>(std::min(done_, total_)) / static_cast<double>(total_));
    } else {
      std::fprintf(stderr, "\r%s: %s   ", kProgram, Clock(seconds).c_str());
    }
    written_ = true;
  }

 private:
  static constexpr int kWidth = 60;
  const bool shown_;
  const std::uint64_t total_;  // 0 when unknown
  const std::uint32_t rate_;
  std::uint64_t done_ = 0;
  bool written_ = false;
  std::chrono::steady_clock::time_point next_ = std::chrono::steady_clock::now();
};

// The pass that writes. With --fit the output is at most what PLAY loads: it
// is gathered first, so that a cut can end in a fade-out.
PassReport WritePass(AudioSource& source, const PrepOptions& options, const Plan& plan, float gain,
                     SampleWriter& writer) {
  std::vector<float> gathered;
  std::vector<float> scaled;
  Progress progress(source.lengthKnown() ? std::min(plan.expectedOutput, plan.maxOutput) : 0,
                    plan.rate);
  const PassReport report =
      RunPass(source, options, plan, [&](const float* samples, std::size_t count) {
        progress.Advance(count);
        if (options.fit) {
          gathered.insert(gathered.end(), samples, samples + count);
          return true;
        }
        scaled.assign(samples, samples + count);
        for (float& sample : scaled) {
          sample *= gain;
        }
        return writer.Add(scaled.data(), count);
      });
  if (options.fit) {
    if (report.cut) {
      FadeOut(gathered.data(), gathered.size(), plan.rate);
    }
    for (float& sample : gathered) {
      sample *= gain;
    }
    writer.Add(gathered.data(), gathered.size());
  }
  return report;
}

// The name on the disk or tape: --disk-name, or OUTPUT's base name.
std::string NameOnDisk(const PrepOptions& options) {
  if (options.diskName) {
    return *options.diskName;
  }
  const fbasic::DefaultNameResult chosen = fbasic::DefaultName(options.output);
  const char* medium = options.disk ? "disk" : "tape";
  const std::string& path = options.disk ? *options.disk : *options.tape;
  if (chosen.dropped) {
    kReport.Say(
        "%s: F-BASIC cannot hold every character of the name; it is stored on the %s as "
        "%s\n",
        path.c_str(), medium, chosen.name.c_str());
  } else if (chosen.cut) {
    kReport.Say("%s: the name on the %s is cut to 8 characters: %s\n", path.c_str(), medium,
                chosen.name.c_str());
  }
  return chosen.name;
}

// Any two of the files named that are one file: refused before anything is
// read or written.
bool NamesOneFileTwice(const PrepOptions& options) {
  std::vector<media::NamedFile> files;
  if (options.input != kStandardStream) {
    files.push_back({"INPUT", options.input});
  }
  if (options.output != kStandardStream) {
    files.push_back({"OUTPUT", options.output});
  }
  if (options.image) {
    files.push_back({"--image", *options.image});
  }
  if (options.disk) {
    files.push_back({"--disk", *options.disk});
  }
  if (options.preview) {
    files.push_back({"--preview", *options.preview});
  }
  if (options.tape) {
    files.push_back({"--tape", *options.tape});
  }
  // Standard output may be a file as well, under another name.
  for (const media::NamedFile& file : files) {
    if (options.output == kStandardStream && IsStandardOutput(file.path)) {
      kReport.Say(
          "OUTPUT - (standard output) and %s %s are the same file (see '%s "
          "--help')\n",
          file.what, file.path.c_str(), kProgram);
      return true;
    }
  }
  return media::AnyTwoAreOneFile(kReport, files);
}

int ReportNothingToWrite(const PrepOptions& options) {
  const bool edited = options.startSeconds != 0 || options.lengthSeconds;
  kReport.Say("%s: no samples to write: %s\n", Named(options.input).c_str(),
              edited ? "nothing is left of it after --start and --length"
                     : "it holds too little sound for a single sample at this rate");
  return UnreadableInput;
}

// Every other file the run wrote, after the summary.
void ReportAlsoWritten(const PrepOptions& options, const std::string& name) {
  std::string written;
  const auto add = [&written](const std::string& what) {
    written += (written.empty() ? "" : ", ") + what;
  };
  if (options.image) {
    add(*options.image + " (image)");
  }
  if (options.disk) {
    add(*options.disk + " (disk, as " + name + (options.player ? ", with PLAY and PLAYER" : "") +
        (options.boot ? ", booting)" : ")"));
  }
  if (options.tape) {
    add(*options.tape + " (tape, as " + name + (options.player ? ", with PLAY and PLAYER)" : ")"));
  }
  if (options.preview) {
    add(*options.preview + " (preview)");
  }
  if (!written.empty()) {
    std::fprintf(stderr, "also written: %s\n", ShowPath(written).c_str());
  }
}

// The tables and the curve the sound is made for: the profile's own, or
// those of the PLAYER a disk or tape keeps (an earlier version's, or the
// other curve's), on the chip --psg names or else the one they were made
// for.
player::KnownTables PlayedWith(const PrepOptions& options,
                               const std::vector<std::unique_ptr<AfterPassOutput>>& outputs) {
  player::KnownTables played{options.profile, player::BuildVolumeTable(options.profile)};
  for (const auto& output : outputs) {
    if (player::KnownTables known; output->PlayerTables(known)) {
      played = {options.profileGiven ? options.profile : known.profile, known.table};
    }
  }
  return played;
}

}  // namespace

int Prepare(const PrepOptions& options) {
  if (NamesOneFileTwice(options)) {
    return BadUsage;
  }
  const std::string diskName = options.disk || options.tape ? NameOnDisk(options) : "";
  if (options.player && media::IsMenuFileName(diskName)) {
    kReport.Say(
        "the sound cannot be called %s with --player, the name of the %s "
        "(--disk-name gives it another; see '%s --help')\n",
        diskName.c_str(), diskName == media::kMenuName ? "menu" : "player", kProgram);
    return BadUsage;
  }
  const std::vector<std::unique_ptr<AfterPassOutput>> outputs =
      MakeAfterPassOutputs(options, diskName);
  for (const auto& output : outputs) {
    if (const int prepared = output->Prepare(); prepared != Success) {
      return prepared;
    }
  }
  AudioSource source;
  std::string error;
  Plan plan;
  if (!source.Open(options.input, error) || !(error = MakePlan(options, source, plan)).empty()) {
    kReport.Say("%s: cannot read: %s\n", Named(options.input).c_str(), error.c_str());
    return UnreadableInput;
  }
  if (!(error = CheckHighpass(options, plan)).empty()) {
    kReport.Say("%s (see '%s --help')\n", error.c_str(), kProgram);
    return BadUsage;
  }
  // Standard output gets its header first, with the length the plan gives.
  std::optional<std::uint64_t> planned;
  if (options.output == kStandardStream && source.lengthKnown()) {
    planned = std::min(plan.expectedOutput, plan.maxOutput);
    plan.maxOutput = *planned;
  }
  if ((planned && *planned == 0) || (source.lengthKnown() && plan.expectedOutput == 0)) {
    return ReportNothingToWrite(options);
  }
  for (const auto& output : outputs) {
    const int held = source.lengthKnown()
                         ? output->CheckCount(std::min(plan.expectedOutput, plan.maxOutput))
                         : Success;
    if (held != Success) {
      return held;
    }
  }
  // What depends only on the length is said before the long part, when the
  // length is known; what the pass finds otherwise, after it.
  std::optional<std::uint64_t> warnedCount;
  if (source.lengthKnown()) {
    warnedCount = std::min(plan.expectedOutput, plan.maxOutput);
    WarnAboutLength(options.output, *warnedCount, plan.rate);
  }
  const float gain = ChooseGain(source, options, plan, error);
  if (gain < 0.0f) {
    kReport.Say("%s: cannot read it again: %s\n", Named(options.input).c_str(), error.c_str());
    return UnreadableInput;
  }
  const player::KnownTables played = PlayedWith(options, outputs);
  for (const auto& output : outputs) {
    output->PlayWith(played);
  }
  std::optional<SearchSetup> search;
  if (!options.plain) {
    search = SearchSetup{};
    search->profile = played.profile;
    search->table = played.table;
    search->wait = plan.wait;
  }
  SampleWriter writer(options.dither, plan.rate, plan.wait, search);
  if (!outputs.empty()) {
    writer.KeepSamples(KeptForOutputs());
  }
  std::string failedPath;
  const bool opened = writer.Open(options.output, options.image, planned, failedPath, error);
  const PassReport report = opened ? WritePass(source, options, plan, gain, writer) : PassReport{};
  if (report.cut && !options.fit && !planned) {
    kReport.Say("%s: cannot read: it decodes to more samples than a WAVE file can hold\n",
                Named(options.input).c_str());
    return UnreadableInput;  // the writer abandons its files
  }
  if (opened && writer.count() == 0) {
    return ReportNothingToWrite(options);
  }
  if (!opened || !writer.Complete(failedPath, error)) {
    kReport.Say("%s: cannot write: %s\n", failedPath.c_str(), error.c_str());
    return OutputFailure;
  }
  std::vector<SampleWriter::OtherFile> others;
  for (const auto& output : outputs) {
    if (const int written = output->Write(writer); written != Success) {
      return written;
    }
    others.push_back(output->ToCommit());
  }
  if (!writer.Commit(others, failedPath, error)) {
    kReport.Say("%s: cannot write: %s\n", failedPath.c_str(), error.c_str());
    return OutputFailure;
  }
  WarnAboutSound(options, plan, report, writer, source.sampleRate());
  if (report.cut && options.fit) {
    WarnAboutCut(options, plan, writer);
  }
  // Said again only when the length found changes what was said.
  const auto warnings = [](std::uint64_t count) {
    return std::pair(count > kMaxCountField, count > kFitSamples);
  };
  if (!warnedCount || warnings(*warnedCount) != warnings(writer.count())) {
    WarnAboutLength(options.output, writer.count(), plan.rate);
  }
  std::fprintf(
      stderr, "%s -> %s: %llu samples at %u Hz (PCM wait %u), %.2f s\n",
      ShowPath(Named(options.input)).c_str(),
      options.output == kStandardStream ? "standard output" : ShowPath(options.output).c_str(),
      static_cast<unsigned long long>(writer.count()), plan.rate, static_cast<unsigned>(plan.wait),
      static_cast<double>(writer.count()) / plan.rate);
  ReportAlsoWritten(options, diskName);
  return Success;
}

}  // namespace tonebake::prep
