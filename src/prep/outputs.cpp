#include "prep/outputs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fm7pcm/pcm_image.h"
#include "prep/prep_options.h"
#include "wave/wave_header.h"
#include "wave/wave_writer.h"

namespace tonebake::prep {
namespace {

constexpr std::size_t kBlockBytes = 1 << 16;

}  // namespace

SampleWriter::SampleWriter(bool dither, std::uint32_t rate, std::uint8_t wait)
    : quantizer_(dither), rate_(rate), wait_(wait) {
  pending_.reserve(kBlockBytes);
}

bool SampleWriter::Open(const std::string& wavePath, const std::optional<std::string>& imagePath,
                        std::string& failedPath, std::string& error) {
  wavePath_ = wavePath;
  toStandardOutput_ = wavePath == kStandardStream;
  // Placeholders: the sizes are written once every sample is known.
  const std::vector<std::uint8_t> waveHeader(kWaveHeaderSize, 0);
  std::int32_t code = 0;
  if (toStandardOutput_) {
    standardOutput_ = waveHeader;
  } else if ((code = wave_.Open(wavePath)) != 0 ||
             (code = wave_.Write(waveHeader.data(), kWaveHeaderSize)) != 0) {
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
  if (failure_ != 0) {
    failedPath = failedPath_;
    error = DescribeFileError(failure_);
  }
  return failure_ == 0;
}

bool SampleWriter::Add(const float* samples, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    pending_.push_back(quantizer_.Quantize(samples[i]));
    if (pending_.size() == kBlockBytes && !Flush()) {
      return false;
    }
  }
  count_ += count;
  return failure_ == 0;
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
    standardOutput_.insert(standardOutput_.end(), pending_.begin(), pending_.end());
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

bool SampleWriter::Fail(const std::string& path, std::int32_t code) {
  failure_ = code;
  failedPath_ = path;
  pending_.clear();
  return false;
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

// Completes both files before putting either in place, so that a failure
// in writing one leaves both old files as they were.
bool SampleWriter::Finish(std::string& failedPath, std::string& error) {
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
  if (failure_ == 0) {
    std::uint8_t waveHeader[kWaveHeaderSize];
    WriteCanonicalWaveHeader(rate_, count, waveHeader);
    FinishWave(waveHeader);
  }
  if (failure_ == 0 && image_) {
    if (const std::int32_t code = image_->Commit(); code != 0) {
      Fail(imagePath_, code);
    }
  }
  if (failure_ != 0) {
    failedPath = failedPath_;
    error = DescribeFileError(failure_);
  }
  return failure_ == 0;
}

void SampleWriter::FinishWave(const std::uint8_t* header) {
  if (toStandardOutput_) {
    std::memcpy(standardOutput_.data(), header, kWaveHeaderSize);
    if (std::fwrite(standardOutput_.data(), 1, standardOutput_.size(), stdout) !=
            standardOutput_.size() ||
        std::fflush(stdout) != 0) {
      Fail("standard output", WriteFailed);
    }
    return;
  }
  std::int32_t code = wave_.WriteAt(0, header, kWaveHeaderSize);
  if (code == 0) {
    code = wave_.Commit();
  }
  if (code != 0) {
    Fail(wavePath_, code);
  }
}

}  // namespace tonebake::prep
