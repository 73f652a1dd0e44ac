#ifndef TONEBAKE_PREP_AUDIO_IO_H
#define TONEBAKE_PREP_AUDIO_IO_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct sf_private_tag;
struct soxr;

namespace tonebake::prep {

// A recording read block by block with libsndfile, from a file or from
// standard input ("-"). Standard input that is not a plain file is first
// copied to an anonymous temporary file, so that every format reads from it
// and it can be read twice.
class AudioSource {
 public:
  AudioSource();
  AudioSource(const AudioSource&) = delete;
  AudioSource& operator=(const AudioSource&) = delete;
  ~AudioSource();

  // False with the reason in `error`.
  bool Open(const std::string& path, std::string& error);
  // Back to the first frame, for a second pass.
  bool Rewind(std::string& error);
  // Skips `frames` frames; false when the recording ends first.
  bool Skip(std::int64_t frames);
  // Up to `frames` interleaved frames; fewer only at the end or where the
  // data is damaged.
  std::size_t Read(float* interleaved, std::size_t frames);

  int channels() const { return channels_; }
  double sampleRate() const { return sampleRate_; }
  // The length the header claims, in frames, when it claims one.
  std::int64_t frames() const { return frames_; }
  bool lengthKnown() const;

 private:
  bool OpenSoundFile(std::string& error);
  void CloseSoundFile();

  std::string path_;
  std::FILE* spool_ = nullptr;  // the copy of standard input, when one was made
  sf_private_tag* file_ = nullptr;
  int channels_ = 0;
  double sampleRate_ = 0;
  std::int64_t frames_ = 0;
};

// Converts one channel from one rate to another with libsoxr, block by
// block; at equal rates the samples pass unchanged.
class Resampler {
 public:
  Resampler() = default;
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;
  ~Resampler();

  // False with the reason in `error`.
  bool Start(double inputRate, double outputRate, std::string& error);
  // Appends what `count` more input samples give to `output`; a count of 0
  // flushes what the filter still holds, at the end of the input.
  void Process(const float* input, std::size_t count, std::vector<float>& output);

 private:
  soxr* resampler_ = nullptr;
  double ratio_ = 1;
};

}  // namespace tonebake::prep

#endif  // TONEBAKE_PREP_AUDIO_IO_H
