#ifndef TONEBAKE_PREP_OUTPUTS_H
#define TONEBAKE_PREP_OUTPUTS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fileio/replacing_file.h"
#include "prep/signal.h"

namespace tonebake::prep {

// Quantizes samples as they come and writes them to the WAVE file, and to
// the FM-7 image when one is asked for. Files are written block by block
// through ReplacingFile, so memory does not grow with the recording and an
// existing file is replaced only by a whole new one. Standard output ("-")
// cannot be patched once written, so its file is held in memory (8 bits at
// most 12.5 kHz: 45 MB an hour) and written at the end.
class SampleWriter {
 public:
  SampleWriter(bool dither, std::uint32_t rate, std::uint8_t wait);

  // Opens the outputs. False with the failing path and reason.
  bool Open(const std::string& wavePath, const std::optional<std::string>& imagePath,
            std::string& failedPath, std::string& error);
  // False when writing failed; Finish then reports it.
  bool Add(const float* samples, std::size_t count);
  // Completes the headers and puts the files in place.
  bool Finish(std::string& failedPath, std::string& error);

  // Keeps the samples, up to `limit`, for an image in memory as well.
  void KeepSamples(std::size_t limit) { keepLimit_ = limit; }
  // The image of the kept samples; false when there were more than the limit.
  bool KeptImage(std::vector<std::uint8_t>& image) const;

  std::uint64_t count() const { return count_; }
  const Quantizer& quantizer() const { return quantizer_; }

 private:
  bool Flush();
  void FinishWave(const std::uint8_t* header);
  bool Fail(const std::string& path, std::int32_t code);

  Quantizer quantizer_;
  std::uint32_t rate_;
  std::uint8_t wait_;
  std::uint64_t count_ = 0;
  std::vector<std::uint8_t> pending_;
  bool toStandardOutput_ = false;
  std::vector<std::uint8_t> standardOutput_;  // the whole file, for "-"
  ReplacingFile wave_;
  std::optional<ReplacingFile> image_;
  std::string wavePath_;
  std::string imagePath_;
  std::string failedPath_;
  std::int32_t failure_ = 0;
  std::size_t keepLimit_ = 0;
  std::vector<std::uint8_t> kept_;
};

}  // namespace tonebake::prep

#endif  // TONEBAKE_PREP_OUTPUTS_H
