// The outputs made from the finished samples: a disk, a tape, a preview.
#include "prep/medium_outputs.h"

#include <algorithm>

#include "d77/fbasic_disk.h"
#include "fm7pcm/pcm_image.h"
#include "media/disk_medium.h"
#include "media/tape_medium.h"
#include "player/psg_preview.h"
#include "prep/pipeline.h"
#include "prep/prepare.h"
#include "wave/byte_order.h"
#include "wave/wave_header.h"
#include "wave/wave_writer.h"

namespace tonebake::prep {
namespace {

constexpr std::uint32_t kDiskCapacity = d77::kClusters * d77::kClusterSize;

constexpr std::uint64_t PcmImageSize64(std::uint64_t count) {
  return count + kPcmImageOverhead;
}

int FromDiskExit(media::DiskExit exit) {
  return exit == media::Success ? Success : exit == media::BadUsage ? BadUsage : OutputFailure;
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
  if (exit == media::Success && options.boot) {
    exit = media::CheckBootMayGo(kReport, file, false);
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
  if (exit == media::Success && options.boot) {
    exit = media::AddBoot(kReport, file, options.profile, false);
  }
  if (exit == media::Success) {
    exit = media::WriteDisk(kReport, file, out);
  }
  return FromDiskExit(exit);
}

// What the FM-7 plays from the image, rendered and written to `out` for
// the final commit.
int WritePreview(const PrepOptions& options, const player::KnownTables& played,
                 const SampleWriter& writer, ReplacingFile& out) {
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
  if (!player::RunPlayer(played.table, loaded, static_cast<std::uint16_t>(loadedBytes - 1), cpu,
                         error)) {
    kReport.Say("%s: cannot make the preview: %s\n", options.preview->c_str(), error.c_str());
    return OutputFailure;
  }
  const std::vector<std::int16_t> rendered = player::RenderPsg(
      player::DecodePsgWrites(cpu.writes), cpu.cycles, played.profile, player::kFm7ClockHz);
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

class DiskOutput : public AfterPassOutput {
 public:
  DiskOutput(const PrepOptions& options, std::string name)
      : AfterPassOutput(*options.disk), options_(options), name_(std::move(name)) {}
  int Prepare() override { return PrepareDisk(options_, disk_, name_); }
  bool PlayerTables(player::KnownTables& known) const override {
    return !options_.player && media::PlayerTablesOn(disk_, known);
  }
  int CheckCount(std::uint64_t count) override {
    return PcmImageSize64(count) > kDiskCapacity ? ReportTooLargeForDisk(options_) : Success;
  }
  int Write(const SampleWriter& writer) override {
    return WriteChangedDisk(options_, writer, disk_, name_, file_);
  }

 private:
  const PrepOptions& options_;
  std::string name_;
  media::DiskFile disk_;
};

class TapeOutput : public AfterPassOutput {
 public:
  TapeOutput(const PrepOptions& options, std::string name)
      : AfterPassOutput(*options.tape), options_(options), name_(std::move(name)) {}
  int Prepare() override { return PrepareTape(options_, tape_, name_); }
  bool PlayerTables(player::KnownTables& known) const override {
    return !options_.player && media::PlayerTablesOn(tape_, known);
  }
  int CheckCount(std::uint64_t count) override {
    return PcmImageSize64(count) > media::kLargestTapeImage ? ReportTooLargeForTape(options_, count)
                                                            : Success;
  }
  int Write(const SampleWriter& writer) override {
    return WriteChangedTape(options_, writer, tape_, name_, file_);
  }

 private:
  const PrepOptions& options_;
  std::string name_;
  media::TapeImage tape_;
};

class PreviewOutput : public AfterPassOutput {
 public:
  explicit PreviewOutput(const PrepOptions& options)
      : AfterPassOutput(*options.preview), options_(options) {}
  void PlayWith(const player::KnownTables& played) override { played_ = played; }
  int Write(const SampleWriter& writer) override {
    return WritePreview(options_, played_, writer, file_);
  }

 private:
  const PrepOptions& options_;
  player::KnownTables played_;
};

}  // namespace

std::vector<std::unique_ptr<AfterPassOutput>> MakeAfterPassOutputs(const PrepOptions& options,
                                                                   const std::string& name) {
  std::vector<std::unique_ptr<AfterPassOutput>> outputs;
  if (options.disk) {
    outputs.push_back(std::make_unique<DiskOutput>(options, name));
  }
  if (options.tape) {
    outputs.push_back(std::make_unique<TapeOutput>(options, name));
  }
  if (options.preview) {
    outputs.push_back(std::make_unique<PreviewOutput>(options));
  }
  return outputs;
}

std::uint32_t KeptForOutputs() {
  return kDiskCapacity;  // no more fits on a disk
}

}  // namespace tonebake::prep
