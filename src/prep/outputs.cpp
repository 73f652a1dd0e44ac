#include "prep/outputs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "fileio/os_file.h"
#include "fm7pcm/pcm_image.h"
#include "prep/prep_options.h"
#include "wave/wave_header.h"
#include "wave/wave_writer.h"

namespace tonebake::prep {
namespace {

constexpr std::size_t kBlockBytes = 1 << 16;
constexpr double kEndFadeSeconds = 0.010;
constexpr const char* kStandardOutputName = "standard output";

// The system's reason for a failed standard-library call, or a plain one.
std::int32_t SystemCodeOr(std::int32_t fallback) {
  return errno != 0 ? errno : fallback;
}

}  // namespace

SampleWriter::SampleWriter(bool dither, std::uint32_t rate, std::uint8_t wait,
                           const std::optional<SearchSetup>& search)
    : quantizer_(dither),
      rate_(rate),
      wait_(wait),
      fadeLength_(std::max<std::size_t>(1, static_cast<std::size_t>(rate * kEndFadeSeconds))) {
  pending_.reserve(kBlockBytes);
  if (search) {
    search_.emplace(*search);
  }
}

SampleWriter::~SampleWriter() {
  if (spool_ != nullptr) {
    std::fclose(spool_);
  }
}

bool SampleWriter::Open(const std::string& wavePath, const std::optional<std::string>& imagePath,
                        std::optional<std::uint64_t> plannedCount, std::string& failedPath,
                        std::string& error) {
  wavePath_ = wavePath;
  toStandardOutput_ = wavePath == kStandardStream;
  // Placeholders: the sizes are written once every sample is known.
  std::uint8_t waveHeader[kWaveHeaderSize] = {};
  std::int32_t code = 0;
  if (toStandardOutput_ && plannedCount) {
    planned_ = plannedCount;
    WriteCanonicalWaveHeader(rate_, static_cast<std::uint32_t>(*planned_), waveHeader);
    WriteStandardOutput(waveHeader, kWaveHeaderSize);
  } else if (toStandardOutput_) {
    spool_ = os_file::OpenTemporaryFile();
    if (spool_ == nullptr) {
      const std::int32_t reason = os_file::LastError();
      Fail("a temporary file for standard output", reason != 0 ? reason : OpenFailed);
    }
  } else if ((code = wave_.Open(wavePath)) != 0 ||
             (code = wave_.Write(waveHeader, kWaveHeaderSize)) != 0) {
    Fail(wavePath_, code);
  }
  if (failure_ == 0 && imagePath) {
    imagePath_ = *imagePath;
    image_.emplace();
    const std::uint8_t imageHeader[kPcmImageHeaderSize] = {};
    if ((code = image_->Open(imagePath_)) != 0 ||
        (code = image_->Write(imageHeader, kPcmImageHeaderSize)) != 0) {
      Fail(imagePath_, code);
    }
  }
  return Report(failedPath, error);
}

bool SampleWriter::Add(const float* samples, std::size_t count) {
  tail_.insert(tail_.end(), samples, samples + count);
  count_ += count;
  if (tail_.size() >= 2 * fadeLength_) {
    const std::size_t ready = tail_.size() - fadeLength_;
    for (std::size_t i = 0; i < ready; ++i) {
      if (!Quantize(tail_[i])) {
        return false;
      }
    }
    tail_.erase(tail_.begin(), tail_.begin() + static_cast<std::ptrdiff_t>(ready));
  }
  return failure_ == 0;
}

bool SampleWriter::Quantize(float sample) {
  const std::uint8_t rounded = quantizer_.Quantize(sample);
  if (search_) {
    search_->Push(sample, pending_);
  } else {
    pending_.push_back(rounded);
  }
  return pending_.size() < kBlockBytes || Flush();
}

// The header promised more than the input held (its length lied): the rest
// is silence, after the fade, a block at a time, with nothing to choose.
void SampleWriter::PadWithSilence(std::uint64_t missing) {
  constexpr std::uint8_t kSilence = 0x80;
  while (missing > 0 && Flush()) {
    const auto block = static_cast<std::size_t>(std::min<std::uint64_t>(missing, kBlockBytes));
    pending_.assign(block, kSilence);
    count_ += block;
    missing -= block;
  }
}

// The held samples, faded to exactly silence at the last.
void SampleWriter::FadeOutTheEnd() {
  const auto length = static_cast<double>(tail_.size());
  for (std::size_t i = 0; i < tail_.size(); ++i) {
    const auto gain = static_cast<float>((length - 1 - static_cast<double>(i)) / length);
    if (!Quantize(tail_[i] * gain)) {
      break;
    }
  }
  tail_.clear();
  if (search_) {
    search_->Finish(pending_);
  }
}

bool SampleWriter::Flush() {
  if (failure_ != 0) {
    pending_.clear();
    return false;
  }
  const auto length = static_cast<std::uint32_t>(pending_.size());
  if (keepLimit_ > 0 && kept_.size() <= keepLimit_) {
    kept_.insert(kept_.end(), pending_.begin(),
                 pending_.begin() + static_cast<std::ptrdiff_t>(
                                        std::min(pending_.size(), keepLimit_ + 1 - kept_.size())));
  }
  if (toStandardOutput_) {
    if (!WriteStandardOutput(pending_.data(), length)) {
      return false;
    }
  } else if (const std::int32_t code = wave_.Write(pending_.data(), length); code != 0) {
    return Fail(wavePath_, code);
  }
  if (image_) {
    if (const std::int32_t code = image_->Write(pending_.data(), length); code != 0) {
      return Fail(imagePath_, code);
    }
  }
  pending_.clear();
  return true;
}

// To standard output itself, or to the spool that waits for the length.
bool SampleWriter::WriteStandardOutput(const std::uint8_t* bytes, std::size_t length) {
  std::FILE* const stream = spool_ != nullptr ? spool_ : stdout;
  errno = 0;
  if (std::fwrite(bytes, 1, length, stream) != length) {
    return Fail(spool_ != nullptr ? "a temporary file for standard output" : kStandardOutputName,
                SystemCodeOr(WriteFailed));
  }
  return true;
}

bool SampleWriter::Fail(const std::string& path, std::int32_t code) {
  if (failure_ == 0) {
    failure_ = code;
    failedPath_ = path;
  }
  pending_.clear();
  return false;
}

bool SampleWriter::Report(std::string& failedPath, std::string& error) const {
  if (failure_ != 0) {
    failedPath = failedPath_;
    error = DescribeFileError(failure_);
  }
  return failure_ == 0;
}

bool SampleWriter::KeptImage(std::vector<std::uint8_t>& image) const {
  if (kept_.size() > keepLimit_) {
    return false;
  }
  const auto count = static_cast<std::uint32_t>(kept_.size());
  image.resize(PcmImageSize(count));
  BuildPcmImage(kept_.data(), count, wait_, image.data());
  return true;
}

bool SampleWriter::Complete(std::string& failedPath, std::string& error) {
  FadeOutTheEnd();
  if (toStandardOutput_ && planned_ && count_ < *planned_ && failure_ == 0) {
    PadWithSilence(*planned_ - count_);
  }
  const auto count = static_cast<std::uint32_t>(count_);
  if (Flush() && image_) {
    std::uint8_t imageHeader[kPcmImageHeaderSize];
    WritePcmImageHeader(count, wait_, imageHeader);
    std::int32_t code = image_->Write(kPcmImageTrailer, kPcmImageTrailerSize);
    if (code == 0) {
      code = image_->WriteAt(0, imageHeader, kPcmImageHeaderSize);
    }
    if (code != 0) {
      Fail(imagePath_, code);
    }
  }
  if (failure_ == 0 && toStandardOutput_) {
    FinishStandardOutput();
  } else if (failure_ == 0) {
    std::uint8_t waveHeader[kWaveHeaderSize];
    WriteCanonicalWaveHeader(rate_, count, waveHeader);
    if (const std::int32_t code = wave_.WriteAt(0, waveHeader, kWaveHeaderSize); code != 0) {
      Fail(wavePath_, code);
    }
  }
  return Report(failedPath, error);
}

// With no planned length, the header now, then the spooled samples.
bool SampleWriter::FinishStandardOutput() {
  if (spool_ != nullptr) {
    std::uint8_t header[kWaveHeaderSize];
    WriteCanonicalWaveHeader(rate_, static_cast<std::uint32_t>(count_), header);
    std::FILE* const spool = spool_;
    spool_ = nullptr;  // what follows goes to standard output itself
    std::rewind(spool);
    std::vector<std::uint8_t> block(kBlockBytes);
    bool written = WriteStandardOutput(header, kWaveHeaderSize);
    std::size_t got = 0;
    while (written && (got = std::fread(block.data(), 1, block.size(), spool)) > 0) {
      written = WriteStandardOutput(block.data(), got);
    }
    std::fclose(spool);
    if (!written) {
      return false;
    }
  }
  errno = 0;
  if (std::fflush(stdout) != 0) {
    return Fail(kStandardOutputName, SystemCodeOr(WriteFailed));
  }
  return true;
}

bool SampleWriter::Commit(const std::vector<OtherFile>& others, std::string& failedPath,
                          std::string& error) {
  if (failure_ != 0) {
    return Report(failedPath, error);
  }
  std::vector<ReplacingFile*> files;
  std::vector<std::string> paths;
  if (!toStandardOutput_) {
    files.push_back(&wave_);
    paths.push_back(wavePath_);
  }
  if (image_) {
    files.push_back(&*image_);
    paths.push_back(imagePath_);
  }
  for (const OtherFile& other : others) {
    files.push_back(other.file);
    paths.push_back(other.path);
  }
  std::size_t failed = 0;
  if (const std::int32_t code = ReplacingFile::CommitAll(files.data(), files.size(), &failed);
      code != 0) {
    Fail(paths[failed], code);
  }
  return Report(failedPath, error);
}

}  // namespace tonebake::prep
