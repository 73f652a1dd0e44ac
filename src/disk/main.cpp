// tonebake-disk: puts FM-7 PCM images on F-BASIC data disks in D77 images,
// the disk format of FM-7 emulators and disk-copy tools.
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "d77/fbasic_disk.h"
#include "fileio/os_file.h"
#include "fileio/whole_file.h"
#include "fm7pcm/pcm_image.h"
#include "fm7pcm/wait_table.h"
#include "media/disk_medium.h"
#include "media/media_command.h"

namespace tonebake::disk {
namespace {

using namespace media;  // the verbs are thin: the work is the medium's

constexpr const char* kProgram = "tonebake-disk";
constexpr media::Reporter kReport{kProgram};

const char* const kUsage =
    "Usage: tonebake-disk COMMAND DISK.d77 ...\n"
    "Puts FM-7 PCM images on F-BASIC data disks (2D) in D77 disk images.\n"
    "\n"
    "  new DISK.d77                     make a blank F-BASIC data disk\n"
    "  add DISK.d77 FILE [NAME]         store FILE as a machine-language file;\n"
    "                                   the disk is made when missing. NAME is\n"
    "                                   FILE's base name, upper-cased, 8 at most\n"
    "      --replace                    replace a file of the same name\n"
    "      --raw                        store a file that is not an FM-7 PCM image\n"
    "  list DISK.d77                    the files and the free space\n"
    "  extract DISK.d77 NAME OUT        write a file's content to OUT ('-' for\n"
    "                                   standard output)\n"
    "  remove DISK.d77 NAME             delete a file\n"
    "  player DISK.d77                  put the player PLAYER and the menu PLAY on\n"
    "      --psg fm7|fm77av             the disk; the volume curve of the sound\n"
    "                                   chip (default fm7). While they are there,\n"
    "                                   add and remove keep PLAY's list current\n"
    "      --replace                    replace files of yours named PLAYER or PLAY\n"
    "  boot DISK.d77                    make the disk play its sounds in turn when the\n"
    "                                   FM-7 starts with it in drive 0, without\n"
    "                                   F-BASIC; PLAYER and PLAY go on too if missing\n"
    "      --psg fm7|fm77av             (then with this volume curve)\n"
    "      --replace                    write over another boot program in track 0\n"
    "      --remove                     take tonebake's boot program away again\n"
    "  --help, --version\n"
    "\n"
    "On the FM-7, with the disk in drive 1: RUN \"1:PLAY\" (see the manual).\n"
    "Exit status: 0 success, 1 bad usage, 2 a file cannot be read or the disk is\n"
    "damaged or not 2D, 3 the disk refuses the change, 4 a file cannot be written.\n";

int New(const MediaCommand& command) {
  DiskFile file;
  file.path = command.operands[0];
  if (const DiskExit locked = LockDisk(kReport, file); locked != Success) {
    return locked;
  }
  const std::unique_ptr<FileAccess> access = MakeFileAccess();
  const FileKind kind = access ? access->Inspect(file.path.c_str()) : FileKind::Unreachable;
  // What cannot be looked at is tried, so that the reason it fails is told.
  if (kind != FileKind::Missing && kind != FileKind::Unreachable) {
    kReport.Say("%s: already exists; it is left as it is\n", file.path.c_str());
    return Refused;
  }
  file.created = true;
  file.bytes = d77::MakeBlankDataDisk();
  return SaveDisk(kReport, file);
}

int Add(const MediaCommand& command) {
  if (const int mistaken = CheckAddOperands(kReport, command, "disk"); mistaken >= 0) {
    return mistaken;
  }
  constexpr std::uint32_t kDiskCapacity = d77::kClusters * d77::kClusterSize;
  const std::string& source = command.operands[1];
  std::vector<std::uint8_t> content;
  if (const DiskExit read = ReadSource(
          kReport, source, kDiskCapacity,
          "it is larger than a whole disk holds (" + std::to_string(kDiskCapacity) + " bytes)",
          content);
      read != Success) {
    return read;
  }
  if (const DiskExit image = CheckIsImage(kReport, source, content, command.raw);
      image != Success) {
    return image;
  }
  const std::string name =
      NameFor(kReport, source, command.operands.size() > 2 ? &command.operands[2] : nullptr);
  DiskFile file;
  if (const DiskExit loaded = LoadDiskToChange(kReport, command.operands[0], file);
      loaded != Success) {
    return loaded;
  }
  DiskExit exit = AddContent(kReport, file, name, content, command.replace);
  if (exit == Success) {
    exit = RefreshPlayMenu(kReport, file, name);
  }
  if (exit == Success) {
    exit = SaveDisk(kReport, file);
  }
  if (exit == Success && file.created) {
    NoteNoExtension(kReport, file.path, ".d77");
  }
  if (exit == Success) {
    WarnIfLoadmMisreads(kReport, source, content);
    TellAboutMenuFile(kReport, file.path, name, false);
  }
  return exit;
}

int Boot(const MediaCommand& command) {
  DiskFile file;
  DiskExit exit = LoadDiskToChange(kReport, command.operands[0], file);
  if (exit == Success) {
    exit = command.remove
               ? RemoveBoot(kReport, file)
               : AddBoot(kReport, file, command.profile.value_or(player::PsgProfile::Fm7),
                         command.replace);
  }
  return exit == Success ? SaveDisk(kReport, file) : exit;
}

int Player(const MediaCommand& command) {
  DiskFile file;
  DiskExit exit = LoadDiskToChange(kReport, command.operands[0], file);
  if (exit == Success) {
    exit = AddPlayer(kReport, file, command.profile.value_or(player::PsgProfile::Fm7),
                     command.replace);
  }
  return exit == Success ? SaveDisk(kReport, file) : exit;
}

const char* TypeName(std::uint8_t type) {
  switch (type) {
    case fbasic::BasicProgram:
      return "BASIC";
    case fbasic::DataFile:
      return "data";
    case fbasic::MachineLanguage:
      return "machine";
    default:
      return "?";
  }
}

int List(const MediaCommand& command) {
  DiskFile file;
  if (const DiskExit loaded = LoadDisk(kReport, command.operands[0], file); loaded != Success) {
    return loaded;
  }
  std::vector<d77::FileEntry> files;
  if (const d77::DiskResult listed = d77::ListFiles(file.disk, files); listed != d77::DiskDone) {
    kReport.Say("%s: %s\n", file.path.c_str(), DescribeRefusal(listed).c_str());
    return CannotRead;
  }
  std::printf("%-8s  %-7s  %-6s  %7s  %7s\n", "NAME", "TYPE", "FORM", "SECTORS", "BYTES");
  for (const d77::FileEntry& entry : files) {
    std::vector<std::uint8_t> content;
    d77::ReadFile(file.disk, entry.name, content);
    std::printf("%-8s  %-7s  %-6s  %7u  %7u", fbasic::ShowName(entry.name).c_str(),
                TypeName(entry.type), entry.ascii ? "ASCII" : "binary", entry.sectors,
                static_cast<unsigned>(content.size()));
    PcmImageInfo info;
    if (entry.type == fbasic::MachineLanguage &&
        ParsePcmImage(content.data(), content.size(), info)) {
      // The rate of the wait: the wait table's, or the player's loop beyond it.
      const double rate =
          info.wait < kWaitRateCount ? WaitRateTable[info.wait] : 1798660.0 / (144 + 5 * info.wait);
      std::printf("  %u samples, wait %u, %.0f Hz, %.2f s", static_cast<unsigned>(info.samples),
                  static_cast<unsigned>(info.wait), rate, info.samples / rate);
    }
    std::printf("\n");
  }
  const std::uint32_t free = d77::FreeClusters(file.disk);
  std::printf("%u file%s; %u clusters free (%u sectors, %u bytes)\n",
              static_cast<unsigned>(files.size()), files.size() == 1 ? "" : "s", free,
              free * d77::kSectorsPerCluster, free * d77::kClusterSize);
  switch (BootProgramOn(file.disk)) {
    case BootProgram::Tonebakes:
      std::printf("Boots: tonebake's boot program plays the sounds in turn\n");
      break;
    case BootProgram::Other:
      std::printf("Boots: track 0 holds a boot program or data that is not tonebake's\n");
      break;
    case BootProgram::None:
      break;
  }
  return Success;
}

// A name that is not on the disk but is there in another case.
std::string OtherCase(const DiskFile& file, const std::string& name) {
  std::vector<d77::FileEntry> files;
  d77::ListFiles(file.disk, files);
  const auto folded = [](std::string text) {
    for (char& c : text) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
  };
  for (const d77::FileEntry& entry : files) {
    if (entry.name != name && folded(entry.name) == folded(name)) {
      return entry.name;
    }
  }
  return std::string();
}

int Refuse(const DiskFile& file, const char* action, const std::string& name,
           d77::DiskResult result) {
  const std::string other = result == d77::NameNotFound ? OtherCase(file, name) : "";
  if (other.empty()) {
    return ReportRefusal(kReport, file.path, action, name, result);
  }
  kReport.Say("%s: cannot %s %s: %s; did you mean %s?\n", file.path.c_str(), action,
              fbasic::ShowName(name).c_str(), DescribeRefusal(result).c_str(),
              fbasic::ShowName(other).c_str());
  return Refused;
}

int Extract(const MediaCommand& command) {
  const std::string& out = command.operands[2];
  const bool toStandardOutput = out == "-";
  if (!toStandardOutput &&
      AnyTwoAreOneFile(kReport, {{"DISK", command.operands[0]}, {"OUT", out}})) {
    return BadUsage;
  }
  DiskFile file;
  if (const DiskExit loaded = LoadDisk(kReport, command.operands[0], file); loaded != Success) {
    return loaded;
  }
  std::vector<std::uint8_t> content;
  const d77::DiskResult read = d77::ReadFile(file.disk, command.operands[1], content);
  if (read != d77::DiskDone) {
    return Refuse(file, "extract", command.operands[1], read);
  }
  if (toStandardOutput) {
    // Checked with the final flush, as every write to standard output is.
    os_file::SetStandardOutputBinary();
    std::fwrite(content.data(), 1, content.size(), stdout);
    return Success;
  }
  const std::int32_t code =
      SaveFile(out, content.data(), static_cast<std::uint32_t>(content.size()));
  return code == 0 ? Success : ReportWriteFailure(kReport, out, code, false);
}

int Remove(const MediaCommand& command) {
  DiskFile file;
  if (const DiskExit loaded = LoadDiskToChange(kReport, command.operands[0], file);
      loaded != Success) {
    return loaded;
  }
  const d77::DiskResult removed = d77::RemoveFile(file.disk, command.operands[1]);
  if (removed != d77::DiskDone) {
    return Refuse(file, "remove", command.operands[1], removed);
  }
  DiskExit exit = RefreshPlayMenu(kReport, file, std::string());
  if (exit == Success) {
    exit = SaveDisk(kReport, file);
  }
  if (exit == Success) {
    TellAboutMenuFile(kReport, file.path, command.operands[1], true);
  }
  return exit;
}

const MediaVerb kVerbs[] = {
    {"new", 1, 1, New},         {"add", 2, 3, Add},       {"list", 1, 1, List},
    {"extract", 3, 3, Extract}, {"remove", 2, 2, Remove}, {"player", 1, 1, Player},
    {"boot", 1, 1, Boot},
};

int Run(const std::vector<std::string>& arguments) {
  return RunMediaCommand(kReport, kUsage, arguments, kVerbs, sizeof kVerbs / sizeof kVerbs[0]);
}

}  // namespace
}  // namespace tonebake::disk

int main(int argc, char** argv) {
  tonebake::os_file::InstallSignalHandling();
  const int exit = tonebake::disk::Run(std::vector<std::string>(argv + 1, argv + argc));
  return tonebake::media::FinishStandardOutput(tonebake::disk::kReport, exit,
                                               tonebake::media::CannotWrite);
}
