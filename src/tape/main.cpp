// tonebake-tape: puts FM-7 PCM images on F-BASIC cassette tapes, as T77
// images for emulators and as sound for a real machine's cassette port.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fileio/os_file.h"
#include "fileio/replacing_file.h"
#include "fileio/whole_file.h"
#include "fm7pcm/pcm_image.h"
#include "media/disk_medium.h"
#include "media/media_command.h"
#include "media/tape_medium.h"
#include "path/path_names.h"
#include "wave/wave_writer.h"

namespace tonebake::tape {
namespace {

using namespace media;  // the verbs are thin: the work is the medium's

constexpr const char* kProgram = "tonebake-tape";
constexpr media::Reporter kReport{kProgram};
constexpr std::uint32_t kDefaultRate = 44100;
constexpr std::uint32_t kLowestRate = 22050;
constexpr std::uint32_t kWaveHeaderBytes = 44;

const char* const kUsage =
    "Usage: tonebake-tape COMMAND TAPE.t77 ...\n"
    "Puts FM-7 PCM images on F-BASIC cassette tapes in T77 tape images, and turns\n"
    "tapes into sound for a real FM-7's cassette port.\n"
    "\n"
    "  new TAPE.t77                     make an empty tape\n"
    "  add TAPE.t77 FILE [NAME]         append FILE as a machine-language file; the\n"
    "                                   tape is made when missing. NAME is FILE's\n"
    "                                   base name, upper-cased, 8 at most\n"
    "      --replace                    replace a file of the same name in place\n"
    "      --raw                        store a file that is not an FM-7 PCM image\n"
    "  list TAPE.t77                    the files, and what is no F-BASIC file\n"
    "  extract TAPE.t77 NAME OUT        write a file's content to OUT\n"
    "  remove TAPE.t77 NAME             remove a file, keeping the rest as it is\n"
    "  wav TAPE.t77 OUT.wav             the tape as sound, 8-bit mono ('-' for\n"
    "      --rate HZ                    standard output), at HZ (44100; 22050 at least)\n"
    "  player TAPE.t77                  put PLAY and PLAYER first on the tape\n"
    "      --psg fm7|fm77av             the sound chip's volume curve (default fm7)\n"
    "      --replace                    replace files of yours named PLAYER or PLAY\n"
    "  --help, --version\n"
    "\n"
    "On the FM-7: RUN \"CAS0:PLAY\" (see the manual). Play the sound at full\n"
    "volume, with every audio effect off.\n"
    "Exit status: 0 success, 1 bad usage, 2 a file cannot be read or the tape is\n"
    "damaged or not a T77, 3 the tape refuses the change, 4 a file cannot be\n"
    "written.\n";

int New(const MediaCommand& command) {
  TapeImage tape;
  if (const DiskExit loaded = LoadTapeToChange(kReport, command.operands[0], tape);
      loaded != media::Success) {
    return loaded;
  }
  if (!tape.created) {
    kReport.Say("%s: already exists; it is left as it is\n", tape.path.c_str());
    return media::Refused;
  }
  return SaveTape(kReport, tape);
}

int Add(const MediaCommand& command) {
  if (const int mistaken = CheckAddOperands(kReport, command, "tape"); mistaken >= 0) {
    return mistaken;
  }
  const std::string& source = command.operands[1];
  std::vector<std::uint8_t> content;
  if (const DiskExit read = media::ReadSource(kReport, source, kLargestTapeImage,
                                              "it is larger than any FM-7 PCM image", content);
      read != media::Success) {
    return read;
  }
  if (const DiskExit image = media::CheckIsImage(kReport, source, content, command.raw);
      image != media::Success) {
    return image;
  }
  const std::string name =
      media::NameFor(kReport, source, command.operands.size() > 2 ? &command.operands[2] : nullptr);
  TapeImage tape;
  DiskExit exit = LoadTapeToChange(kReport, command.operands[0], tape);
  if (exit == media::Success) {
    exit = AddImage(kReport, tape, name, content, command.replace);
  }
  if (exit == media::Success) {
    exit = SaveTape(kReport, tape);
  }
  if (exit == media::Success && tape.created) {
    media::NoteNoExtension(kReport, tape.path, ".t77");
  }
  if (exit == media::Success) {
    media::WarnIfLoadmMisreads(kReport, source, content);
    media::TellAboutMenuFile(kReport, tape.path, name, false);
  }
  return exit;
}

int List(const MediaCommand& command) {
  TapeImage tape;
  if (const DiskExit loaded = LoadTape(kReport, command.operands[0], tape);
      loaded != media::Success) {
    return loaded;
  }
  const t77::Tape& contents = tape.contents;
  std::printf("%-8s  %-7s  %7s\n", "NAME", "TYPE", "BYTES");
  for (const t77::TapeFile& file : contents.files) {
    const char* type = t77::IsMachineLanguage(file)                ? "machine"
                       : file.type[0] == 0 && file.type[1] == 0xFF ? "BASIC"
                                                                   : "?";
    std::printf("%-8s  %-7s  %7u\n", fbasic::ShowName(file.name).c_str(), type,
                static_cast<unsigned>(file.body.size()));
  }
  std::printf("%u file%s\n", static_cast<unsigned>(contents.files.size()),
              contents.files.size() == 1 ? "" : "s");
  // What is kept but cannot be read, and where.
  for (const t77::Unread& unread : contents.unread) {
    const double minutes = std::floor(unread.seconds / 60);
    std::printf("not read, at %.0f:%04.1f (byte %zu): %s%s%s; kept as it is\n", minutes,
                unread.seconds - minutes * 60, unread.begin,
                unread.name.empty() ? "" : fbasic::ShowName(unread.name).c_str(),
                unread.name.empty() ? "" : " is damaged: ", unread.why.c_str());
  }
  return media::Success;
}

int Extract(const MediaCommand& command) {
  const std::string& out = command.operands[2];
  const bool toStandardOutput = out == kStandardStream;
  if (!toStandardOutput &&
      media::AnyTwoAreOneFile(kReport, {{"TAPE", command.operands[0]}, {"OUT", out}})) {
    return media::BadUsage;
  }
  TapeImage tape;
  if (const DiskExit loaded = LoadTape(kReport, command.operands[0], tape);
      loaded != media::Success) {
    return loaded;
  }
  const std::string& name = command.operands[1];
  for (const t77::TapeFile& file : tape.contents.files) {
    if (file.name == name && toStandardOutput) {
      // Checked with the final flush, as every write to standard output is.
      os_file::SetStandardOutputBinary();
      std::fwrite(file.body.data(), 1, file.body.size(), stdout);
      return media::Success;
    }
    if (file.name == name) {
      const std::int32_t code =
          SaveFile(out, file.body.data(), static_cast<std::uint32_t>(file.body.size()));
      return code == 0 ? media::Success : media::ReportWriteFailure(kReport, out, code, false);
    }
  }
  for (const t77::Unread& unread : tape.contents.unread) {
    if (unread.name == name) {
      kReport.Say("%s: cannot extract %s: it is damaged: %s\n", tape.path.c_str(),
                  fbasic::ShowName(name).c_str(), unread.why.c_str());
      return media::CannotRead;
    }
  }
  kReport.Say("%s: cannot extract %s: no file of that name is on the tape\n", tape.path.c_str(),
              fbasic::ShowName(name).c_str());
  return media::Refused;
}

int Remove(const MediaCommand& command) {
  TapeImage tape;
  DiskExit exit = LoadTapeToChange(kReport, command.operands[0], tape);
  if (exit == media::Success && tape.created) {
    kReport.Say("%s: cannot read: no such file\n", tape.path.c_str());
    return media::CannotRead;
  }
  if (exit == media::Success) {
    exit = RemoveImage(kReport, tape, command.operands[1]);
  }
  if (exit == media::Success) {
    exit = SaveTape(kReport, tape);
  }
  if (exit == media::Success) {
    media::TellAboutMenuFile(kReport, tape.path, command.operands[1], true);
  }
  return exit;
}

// The sound, streamed: its length is known from a first pass that keeps
// nothing, so the header goes first.
int Wav(const MediaCommand& command) {
  std::uint32_t rate = kDefaultRate;
  if (command.rate) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(command.rate->c_str(), &end, 10);
    if (command.rate->empty() || *end != '\0' || value < kLowestRate || value > 192000) {
      return media::ReportUsage(
          kReport, "--rate takes a rate in Hz from 22050 to 192000, not '" + *command.rate + "'");
    }
    rate = static_cast<std::uint32_t>(value);
  }
  const std::string& out = command.operands[1];
  if (out != kStandardStream &&
      media::AnyTwoAreOneFile(kReport, {{"TAPE", command.operands[0]}, {"OUT", out}})) {
    return media::BadUsage;
  }
  TapeImage tape;
  if (const DiskExit loaded = LoadTape(kReport, command.operands[0], tape);
      loaded != media::Success) {
    return loaded;
  }
  const std::uint64_t count = t77::RenderedLength(tape.bytes, rate);
  if (count > 0xFFFFFFFFull - kWaveHeaderBytes) {
    kReport.Say("%s: the tape is longer than a WAVE file can hold\n", tape.path.c_str());
    return media::CannotWrite;
  }
  std::uint8_t header[kWaveHeaderBytes];
  WritePcmWaveHeader(rate, 8, static_cast<std::uint32_t>(count), header);
  ReplacingFile file;
  std::int32_t code = 0;
  const bool toStandardOutput = out == kStandardStream;
  const auto write = [&](const std::uint8_t* bytes, std::size_t length) {
    if (toStandardOutput) {
      errno = 0;
      if (std::fwrite(bytes, 1, length, stdout) != length) {
        code = errno != 0 ? errno : WriteFailed;
      }
    } else if (code == 0) {
      code = file.Write(bytes, static_cast<std::uint32_t>(length));
    }
    return code == 0;
  };
  if (!toStandardOutput) {
    code = file.Open(out);
  } else {
    os_file::SetStandardOutputBinary();
  }
  if (code == 0 && write(header, sizeof header)) {
    t77::RenderTape(tape.bytes, rate, write);
  }
  if (code == 0) {
    code = toStandardOutput ? (std::fflush(stdout) == 0 ? 0 : (errno != 0 ? errno : WriteFailed))
                            : file.Commit();
  }
  if (code != 0) {
    return media::ReportWriteFailure(kReport, toStandardOutput ? "standard output" : out, code,
                                     false);
  }
  const double seconds = static_cast<double>(count) / rate;
  const double minutes = std::floor(seconds / 60);
  std::fprintf(stderr, "%s -> %s: the tape as sound, 8-bit at %u Hz, %.0f:%04.1f long\n",
               ShowPath(tape.path).c_str(),
               toStandardOutput ? "standard output" : ShowPath(out).c_str(),
               static_cast<unsigned>(rate), minutes, seconds - minutes * 60);
  return media::Success;
}

int Player(const MediaCommand& command) {
  TapeImage tape;
  DiskExit exit = LoadTapeToChange(kReport, command.operands[0], tape);
  if (exit == media::Success) {
    exit = AddPlayer(kReport, tape, command.profile.value_or(player::PsgProfile::Fm7),
                     command.replace);
  }
  return exit == media::Success ? SaveTape(kReport, tape) : exit;
}

const media::MediaVerb kVerbs[] = {
    {"new", 1, 1, New},         {"add", 2, 3, Add}, {"list", 1, 1, List},
    {"extract", 3, 3, Extract}, {"wav", 2, 2, Wav}, {"player", 1, 1, Player},
    {"remove", 2, 2, Remove},
};

}  // namespace
}  // namespace tonebake::tape

int main(int argc, char** argv) {
  using namespace tonebake;
  os_file::InstallSignalHandling();
  const int exit = media::RunMediaCommand(
      tape::kReport, tape::kUsage, std::vector<std::string>(argv + 1, argv + argc), tape::kVerbs,
      sizeof tape::kVerbs / sizeof tape::kVerbs[0]);
  return media::FinishStandardOutput(tape::kReport, exit, media::CannotWrite);
}
