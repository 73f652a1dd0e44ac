#include "prep/audio_io.h"

#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "fileio/os_file.h"
#include "prep/prep_options.h"

namespace tonebake::prep {
namespace {

bool IsPlainFile(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// No recording read here is larger than a WAVE file can be: standard input
// is copied up to that, never without end (a pipe from /dev/zero).
constexpr std::uint64_t kLargestSpooledInput = 0xFFFFFFFFull;
constexpr std::size_t kSpoolBlock = 1 << 16;

// Whether what has been copied so far starts a recording libsndfile reads.
// MP3's ID3 tag, FLAC's metadata and Ogg's comments (album art and all) may
// be longer than the first block: the verdict waits for the whole input
// then.
bool StartsARecording(std::FILE* spool, const std::vector<char>& first, std::size_t length) {
  for (const std::string mark : {"ID3", "fLaC", "OggS"}) {
    if (length >= mark.size() && std::equal(mark.begin(), mark.end(), first.begin())) {
      return true;
    }
  }
  std::rewind(spool);
  SF_INFO info{};
  SNDFILE* const probe = sf_open_fd(fileno(spool), SFM_READ, &info, SF_FALSE);
  if (probe != nullptr) {
    sf_close(probe);
  }
  std::fseek(spool, 0, SEEK_END);
  return probe != nullptr;
}

// Copies standard input to an anonymous temporary file, which disappears
// when it is closed or the process ends. Gives up at once when the first
// bytes are no recording, and at the largest input it reads.
std::FILE* SpoolStandardInput(std::string& error) {
  std::FILE* spool = os_file::OpenTemporaryFile();
  if (spool == nullptr) {
    error = "cannot make a temporary copy of standard input";
    return nullptr;
  }
  std::vector<char> block(kSpoolBlock);
  std::uint64_t copied = 0;
  std::size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), stdin)) > 0) {
    if (std::fwrite(block.data(), 1, got, spool) != got || std::fflush(spool) != 0) {
      error = "cannot make a temporary copy of standard input";
    } else if (copied == 0 && !StartsARecording(spool, block, got)) {
      error = "standard input starts as no recording this tool reads";
    } else if ((copied += got) > kLargestSpooledInput) {
      error = "standard input is larger than any recording this tool reads (4 GiB)";
    }
    if (!error.empty()) {
      std::fclose(spool);
      return nullptr;
    }
  }
  if (std::fflush(spool) != 0 || std::ferror(stdin)) {
    error = "reading standard input failed";
    std::fclose(spool);
    return nullptr;
  }
  std::rewind(spool);
  return spool;
}

}  // namespace

AudioSource::AudioSource() = default;

AudioSource::~AudioSource() {
  CloseSoundFile();
  if (spool_ != nullptr) {
    std::fclose(spool_);
  }
}

bool AudioSource::Open(const std::string& path, std::string& error) {
  path_ = path;
  if (path == kStandardStream) {
    os_file::SetStandardInputBinary();
  }
  if (path == kStandardStream && !IsPlainFile(STDIN_FILENO)) {
    spool_ = SpoolStandardInput(error);
    if (spool_ == nullptr) {
      return false;
    }
  } else if (path != kStandardStream) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      error = "is a directory";
      return false;
    }
  }
  return OpenSoundFile(error);
}

bool AudioSource::OpenSoundFile(std::string& error) {
  SF_INFO info{};
  if (spool_ != nullptr) {
    file_ = sf_open_fd(fileno(spool_), SFM_READ, &info, SF_FALSE);
  } else if (path_ == kStandardStream) {
    file_ = sf_open_fd(STDIN_FILENO, SFM_READ, &info, SF_FALSE);
  } else {
#ifdef _WIN32
    // Names here are in the active code page (Shift-JIS under code page
    // 932), as for every tool; libsndfile gets the name in the form Windows
    // keeps it, UTF-16, so no convention of its own for narrow names counts.
    file_ = sf_wchar_open(os_file::WideName(path_).c_str(), SFM_READ, &info);
#else
    file_ = sf_open(path_.c_str(), SFM_READ, &info);
#endif
  }
  if (file_ == nullptr) {
    error = sf_strerror(nullptr);
    return false;
  }
  if (info.channels < 1 || info.samplerate < 1 || info.frames < 0) {
    error = "the file claims no channels, no sample rate or a negative length";
    CloseSoundFile();
    return false;
  }
  channels_ = info.channels;
  sampleRate_ = info.samplerate;
  frames_ = info.frames;
  return true;
}

void AudioSource::CloseSoundFile() {
  if (file_ != nullptr) {
    sf_close(file_);
    file_ = nullptr;
  }
}

bool AudioSource::Rewind(std::string& error) {
  if (sf_seek(file_, 0, SEEK_SET) == 0) {
    return true;
  }
  // Some decoders cannot seek: start again from the file itself.
  CloseSoundFile();
  if (spool_ != nullptr) {
    std::rewind(spool_);
  } else if (path_ == kStandardStream) {
    lseek(STDIN_FILENO, 0, SEEK_SET);
  }
  return OpenSoundFile(error);
}

bool AudioSource::Skip(std::int64_t frames) {
  if (frames <= 0) {
    return true;
  }
  if (frames <= frames_ && sf_seek(file_, frames, SEEK_SET) == frames) {
    return true;
  }
  std::vector<float> discard(4096 * static_cast<std::size_t>(channels_));
  while (frames > 0) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(frames, 4096));
    const std::size_t got = Read(discard.data(), want);
    if (got == 0) {
      return false;
    }
    frames -= static_cast<std::int64_t>(got);
  }
  return true;
}

std::size_t AudioSource::Read(float* interleaved, std::size_t frames) {
  const sf_count_t got = sf_readf_float(file_, interleaved, static_cast<sf_count_t>(frames));
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

bool AudioSource::lengthKnown() const {
  return frames_ != SF_COUNT_MAX;
}

Resampler::~Resampler() {
  soxr_delete(resampler_);
}

bool Resampler::Start(double inputRate, double outputRate, std::string& error) {
  ratio_ = outputRate / inputRate;
  if (inputRate == outputRate) {
    return true;
  }
  // 16-bit precision is far beyond what 8 bits keep; the pass band is flat
  // within 0.01 dB to 91.3% of the output's Nyquist frequency (0.456 times
  // the output rate), and the filter is linear-phase.
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_16_BITQ, 0);
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  soxr_error_t failure = nullptr;
  resampler_ = soxr_create(inputRate, outputRate, 1, &failure, &io, &quality, nullptr);
  if (failure != nullptr) {
    error = failure;
    return false;
  }
  return true;
}

void Resampler::Process(const float* input, std::size_t count, std::vector<float>& output) {
  if (resampler_ == nullptr) {
    output.insert(output.end(), input, input + count);
    return;
  }
  // Room for what this block gives, and the filter's tail when flushing.
  const std::size_t room =
      static_cast<std::size_t>(std::ceil(static_cast<double>(count) * ratio_)) + 4096;
  const std::size_t start = output.size();
  std::size_t used = 0;
  std::size_t consumed = 0;
  for (;;) {
    output.resize(start + used + room);
    std::size_t inputDone = 0;
    std::size_t outputDone = 0;
    soxr_process(resampler_, count == 0 ? nullptr : input + consumed, count - consumed, &inputDone,
                 output.data() + start + used, room, &outputDone);
    consumed += inputDone;
    used += outputDone;
    if (consumed >= count && outputDone < room) {
      break;
    }
  }
  output.resize(start + used);
}

}  // namespace tonebake::prep
