#ifndef TONEBAKE_PREP_OUTPUTS_H
#define TONEBAKE_PREP_OUTPUTS_H

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "fileio/replacing_file.h"
#include "prep/byte_search.h"
#include "prep/signal.h"

namespace tonebake::prep {

// Quantizes samples as they come and writes them to the WAVE file, and to
// the FM-7 image when one is asked for. Files are written block by block
// through ReplacingFile, so memory does not grow with the recording, and
// are put in place only at the end, all together, so that an existing file
// is replaced only by a whole new one and only when every output is whole.
// Standard output ("-") cannot be patched once written: its header gives
// the planned length and the samples stream behind it (made up to that
// length with silence); when no length is known, they wait in an anonymous
// temporary file.
//
// Every output ends on a short fade to silence (0x80): it removes the click
// at the end, and an image whose last sample were 00 would not load cleanly
// (LOADM reads that sample as the start of another block). The last samples
// are held back until the end for it.
class SampleWriter {
 public:
  // Bytes rounded (with dither or not), or, with `search`, chosen for the
  // player.
  SampleWriter(bool dither, std::uint32_t rate, std::uint8_t wait,
               const std::optional<SearchSetup>& search = std::nullopt);
  SampleWriter(const SampleWriter&) = delete;
  SampleWriter& operator=(const SampleWriter&) = delete;
  ~SampleWriter();

  // Opens the outputs; `plannedCount` is the length for standard output,
  // when known. False with the failing path and reason.
  bool Open(const std::string& wavePath, const std::optional<std::string>& imagePath,
            std::optional<std::uint64_t> plannedCount, std::string& failedPath, std::string& error);
  // False when writing failed; Complete then reports it.
  bool Add(const float* samples, std::size_t count);
  // Completes the headers; standard output is written out.
  bool Complete(std::string& failedPath, std::string& error);
  // Another file written for the same run (a changed disk, a preview), and
  // its name as the user gave it.
  struct OtherFile {
    ReplacingFile* file;
    std::string path;
  };
  // Puts the files in place, together with `others`: all of them, or none.
  bool Commit(const std::vector<OtherFile>& others, std::string& failedPath, std::string& error);

  // Keeps the samples, up to `limit`, for an image in memory as well.
  void KeepSamples(std::size_t limit) { keepLimit_ = limit; }
  // The image of the kept samples; false when there were more than the limit.
  bool KeptImage(std::vector<std::uint8_t>& image) const;
  // The first samples, up to the limit.
  const std::vector<std::uint8_t>& kept() const { return kept_; }
  std::uint8_t wait() const { return wait_; }

  std::uint64_t count() const { return count_; }
  const Quantizer& quantizer() const { return quantizer_; }

 private:
  bool Flush();
  bool Quantize(float sample);
  void FadeOutTheEnd();
  void PadWithSilence(std::uint64_t missing);
  bool WriteStandardOutput(const std::uint8_t* bytes, std::size_t length);
  bool FinishStandardOutput();
  bool Fail(const std::string& path, std::int32_t code);
  bool Report(std::string& failedPath, std::string& error) const;

  Quantizer quantizer_;  // the bytes, or only their statistics when searched
  std::optional<ByteSearch> search_;
  std::uint32_t rate_;
  std::uint8_t wait_;
  std::uint64_t count_ = 0;
  std::vector<std::uint8_t> pending_;
  std::vector<float> tail_;  // the last samples, held back for the fade
  std::size_t fadeLength_;
  bool toStandardOutput_ = false;
  std::optional<std::uint64_t> planned_;  // the length standard output's header gives
  std::FILE* spool_ = nullptr;            // standard output's samples, when none is planned
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
