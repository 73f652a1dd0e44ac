// tonebake-prep's run: from the options to every file it makes.
#include "prep/prepare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "d77/fbasic_disk.h"
#include "fileio/file_names.h"
#include "fileio/replacing_file.h"
#include "fm7pcm/pcm_image.h"
#include "media/disk_medium.h"
#include "media/tape_medium.h"
#include "player/psg_preview.h"
#include "prep/audio_io.h"
#include "prep/outputs.h"
#include "prep/pipeline.h"
#include "prep/signal.h"
#include "wave/byte_order.h"
#include "wave/wave_header.h"
#include "wave/wave_writer.h"

namespace tonebake::prep {
namespace {

constexpr std::uint32_t kMaxCountField = 0xFFFF;
constexpr std::uint32_t kDiskCapacity = d77::kClusters * d77::kClusterSize;

constexpr std::uint64_t PcmImageSize64(std::uint64_t count) {
  return count + kPcmImageOverhead;
}

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

// The pass that writes. With --fit the output is at most what PLAY loads: it
// is gathered first, so that a cut can end in a fade-out.
PassReport WritePass(AudioSource& source, const PrepOptions& options, const Plan& plan, float gain,
                     SampleWriter& writer) {
  std::vector<float> gathered;
  std::vector<float> scaled;
  const PassReport report =
      RunPass(source, options, plan, [&](const float* samples, std::size_t count) {
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

int FromDiskExit(media::DiskExit exit) {
  return exit == media::Success ? Success : exit == media::BadUsage ? BadUsage : OutputFailure;
}

// The name on the disk or tape: --disk-name, or OUTPUT's base name.
std::string NameOnDisk(const PrepOptions& options) {
  bool cut = false;
  const std::string name =
      options.diskName ? *options.diskName : fbasic::DefaultName(options.output, cut);
  if (cut) {
    kReport.Say("%s: the name on the %s is cut to 8 characters: %s\n",
                (options.disk ? *options.disk : *options.tape).c_str(),
                options.disk ? "disk" : "tape", name.c_str());
  }
  return name;
}

int ReportTooLargeForTape(const PrepOptions& options, std::uint64_t count) {
  kReport.Say(
      "%s: cannot add %llu samples: a tape file holds %u at most (--fit makes it "
      "fit what PLAY loads); nothing is written\n",
      options.tape->c_str(), static_cast<unsigned long long>(count),
      media::kLargestTapeImage - kPcmImageOverhead);
  return OutputFailure;
}

int ReportTooLargeForDisk(const PrepOptions& options) {
  kReport.Say(
      "%s: cannot add the image: it is larger than a whole disk; nothing is "
      "written\n",
      options.disk->c_str());
  return OutputFailure;
}

// Before any work, when the length is known: what the disk and the tape
// could never hold is refused.
int CheckMediaCanHold(const PrepOptions& options, std::uint64_t count) {
  if (options.tape && PcmImageSize64(count) > media::kLargestTapeImage) {
    return ReportTooLargeForTape(options, count);
  }
  if (options.disk && PcmImageSize64(count) > kDiskCapacity) {
    return ReportTooLargeForDisk(options);
  }
  return Success;
}

// Before any work: the tape is locked, read and able to take the name.
int PrepareTape(const PrepOptions& options, media::TapeImage& image, const std::string& name) {
  media::DiskExit exit = media::LoadTapeToChange(kReport, *options.tape, image);
  if (exit == media::Success) {
    exit = media::CheckAdd(kReport, image, name, options.replace);
  }
  if (exit == media::Success && options.player) {
    exit = media::CheckPlayerMayGo(kReport, image, false);
  }
  return FromDiskExit(exit);
}

// The tape with the image (and the player) on it, written to `out`.
int WriteChangedTape(const PrepOptions& options, const SampleWriter& writer,
                     media::TapeImage& image, const std::string& name, ReplacingFile& out) {
  std::vector<std::uint8_t> bytes;
  if (!writer.KeptImage(bytes) || bytes.size() > media::kLargestTapeImage) {
    return ReportTooLargeForTape(options, writer.count());
  }
  media::DiskExit exit = media::AddImage(kReport, image, name, bytes, options.replace);
  if (exit == media::Success && options.player) {
    exit = media::AddPlayer(kReport, image, options.profile, false);
  }
  if (exit == media::Success) {
    exit = media::WriteTape(kReport, image, out);
  }
  return FromDiskExit(exit);
}

// Before any work: the disk is locked, read and able to take the name, so
// that no output is made for a disk that refuses it.
int PrepareDisk(const PrepOptions& options, media::DiskFile& file, const std::string& name) {
  media::DiskExit exit = media::LoadDiskToChange(kReport, *options.disk, file);
  if (exit == media::Success) {
    exit = media::CheckAdd(kReport, file, name, options.replace);
  }
  if (exit == media::Success && options.player) {
    exit = media::CheckPlayerMayGo(kReport, file, false);
  }
  return FromDiskExit(exit);
}

// The disk with the image on it, written to `out` for the final commit.
int WriteChangedDisk(const PrepOptions& options, const SampleWriter& writer, media::DiskFile& file,
                     const std::string& name, ReplacingFile& out) {
  std::vector<std::uint8_t> image;
  if (!writer.KeptImage(image) || image.size() > kDiskCapacity) {
    return ReportTooLargeForDisk(options);
  }
  media::DiskExit exit = media::AddContent(kReport, file, name, image, options.replace);
  if (exit == media::Success) {
    exit = options.player ? media::AddPlayer(kReport, file, options.profile, false)
                          : media::RefreshPlayMenu(kReport, file, name);
  }
  if (exit == media::Success) {
    exit = media::WriteDisk(kReport, file, out);
  }
  return FromDiskExit(exit);
}

// What the FM-7 plays from the image, rendered and written to `out` for
// the final commit.
int WritePreview(const PrepOptions& options, const SampleWriter& writer, ReplacingFile& out) {
  // LOADM loads count bytes, the wait byte first, and PLAY plays count - 1
  // samples; a sound too large for PLAY plays as far as its room holds.
  std::uint64_t loadedBytes = writer.count();
  if (loadedBytes > kFitSamples) {
    kReport.Say(
        "warning: %s: PLAY does not list a sound of %llu samples; the preview "
        "plays the first %u\n",
        options.preview->c_str(), static_cast<unsigned long long>(writer.count()), kFitSamples - 1);
    loadedBytes = kFitSamples;
  }
  std::vector<std::uint8_t> loaded(static_cast<std::size_t>(loadedBytes));
  loaded[0] = writer.wait();
  std::copy_n(writer.kept().begin(), loaded.size() - 1, loaded.begin() + 1);
  player::M6809 cpu;
  std::string error;
  if (!player::RunPlayer(options.profile, loaded, static_cast<std::uint16_t>(loadedBytes - 1), cpu,
                         error)) {
    kReport.Say("%s: cannot make the preview: %s\n", options.preview->c_str(), error.c_str());
    return OutputFailure;
  }
  const std::vector<std::int16_t> rendered = player::RenderPsg(
      player::DecodePsgWrites(cpu.writes), cpu.cycles, options.profile, player::kFm7ClockHz);
  std::vector<std::uint8_t> bytes(kWaveHeaderSize + rendered.size() * 2);
  WritePcmWaveHeader(player::kPreviewRate, 16, static_cast<std::uint32_t>(rendered.size() * 2),
                     bytes.data());
  for (std::size_t i = 0; i < rendered.size(); ++i) {
    WriteLittleEndian16(&bytes[kWaveHeaderSize + 2 * i], static_cast<std::uint16_t>(rendered[i]));
  }
  std::int32_t code = out.Open(*options.preview);
  if (code == 0) {
    code = out.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  }
  if (code != 0) {
    kReport.Say("%s: cannot write: %s\n", options.preview->c_str(),
                DescribeFileError(code).c_str());
    return OutputFailure;
  }
  return Success;
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
  media::DiskFile diskFile;
  media::TapeImage tapeImage;
  if (options.disk) {
    if (const int prepared = PrepareDisk(options, diskFile, diskName); prepared != Success) {
      return prepared;
    }
  }
  if (options.tape) {
    if (const int prepared = PrepareTape(options, tapeImage, diskName); prepared != Success) {
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
  if (source.lengthKnown()) {
    if (const int held = CheckMediaCanHold(options, std::min(plan.expectedOutput, plan.maxOutput));
        held != Success) {
      return held;
    }
  }
  const float gain = ChooseGain(source, options, plan, error);
  if (gain < 0.0f) {
    kReport.Say("%s: cannot read it again: %s\n", Named(options.input).c_str(), error.c_str());
    return UnreadableInput;
  }
  SampleWriter writer(options.dither, plan.rate, plan.wait);
  if (options.disk || options.tape || options.preview) {
    writer.KeepSamples(kDiskCapacity);  // no more fits on a disk
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
  ReplacingFile diskOut;
  ReplacingFile tapeOut;
  ReplacingFile previewOut;
  std::vector<SampleWriter::OtherFile> others;
  if (options.disk) {
    if (const int written = WriteChangedDisk(options, writer, diskFile, diskName, diskOut);
        written != Success) {
      return written;
    }
    others.push_back({&diskOut, *options.disk});
  }
  if (options.tape) {
    if (const int written = WriteChangedTape(options, writer, tapeImage, diskName, tapeOut);
        written != Success) {
      return written;
    }
    others.push_back({&tapeOut, *options.tape});
  }
  if (options.preview) {
    if (const int written = WritePreview(options, writer, previewOut); written != Success) {
      return written;
    }
    others.push_back({&previewOut, *options.preview});
  }
  if (!writer.Commit(others, failedPath, error)) {
    kReport.Say("%s: cannot write: %s\n", failedPath.c_str(), error.c_str());
    return OutputFailure;
  }
  WarnAboutSound(options, plan, report, writer, source.sampleRate());
  if (report.cut && options.fit) {
    WarnAboutCut(options, plan, writer);
  }
  WarnAboutLength(options.output, writer.count(), plan.rate);
  std::fprintf(stderr, "%s -> %s: %llu samples at %u Hz (PCM wait %u), %.2f s\n",
               Named(options.input).c_str(),
               options.output == kStandardStream ? "standard output" : options.output.c_str(),
               static_cast<unsigned long long>(writer.count()), plan.rate,
               static_cast<unsigned>(plan.wait), static_cast<double>(writer.count()) / plan.rate);
  return Success;
}

}  // namespace tonebake::prep
