#include "media/disk_medium.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "fbasic/play_program.h"
#include "fileio/file_names.h"
#include "fileio/whole_file.h"
#include "fm7pcm/pcm_image.h"
#include "player/player_code.h"
#include "wave/byte_order.h"

namespace tonebake::media {
namespace {

DiskExit ReportDiskCheck(const Reporter& report, const std::string& path, d77::DiskCheck check) {
  switch (check) {
    case d77::DiskOk:
      return Success;
    case d77::DiskNot2D:
      report.Say("%s: the media type is not 2D (F-BASIC data disks are 2D)\n", path.c_str());
      return CannotRead;
    default:
      report.Say(
          "%s: damaged disk image: a size or an offset lies outside the file, "
          "sectors overlap, or a sector is missing or on the wrong track\n",
          path.c_str());
      return CannotRead;
  }
}

// The header first: a file that is no disk is refused before it is read
// whole, whatever its size.
DiskExit ReadDisk(const Reporter& report, DiskFile& file) {
  std::uint8_t header[d77::kHeaderSize];
  std::uint64_t size = 0;
  if (ReadFileStart(file.path, header, sizeof header, &size) == sizeof header) {
    if (const DiskExit checked = ReportDiskCheck(report, file.path, d77::CheckHeader(header, size));
        checked != Success) {
      return checked;
    }
  }
  return ReadMedium(report, file.path, 0, file.bytes);
}

DiskExit CheckDisk(const Reporter& report, DiskFile& file) {
  bool more = false;
  if (const DiskExit checked = ReportDiskCheck(report, file.path, file.disk.Open(file.bytes, more));
      checked != Success) {
    return checked;
  }
  if (more) {
    report.Say("%s: holds more than one disk; the first is used\n", file.path.c_str());
  }
  return Success;
}

}  // namespace

DiskExit LoadDisk(const Reporter& report, const std::string& path, DiskFile& file) {
  file.path = path;
  const DiskExit read = ReadDisk(report, file);
  return read != Success ? read : CheckDisk(report, file);
}

bool MediumExists(const std::string& path) {
  const std::unique_ptr<FileAccess> access = MakeFileAccess();
  return !access || access->Inspect(path.c_str()) != FileKind::Missing;
}

DiskExit ReadMedium(const Reporter& report, const std::string& path, std::uint32_t maxBytes,
                    std::vector<std::uint8_t>& bytes) {
  ByteBuffer loaded;
  const std::int32_t code =
      maxBytes == 0 ? LoadFile(path, loaded) : LoadFileAtMost(path, maxBytes, loaded);
  if (code == TooLargeForUse) {
    report.Say("%s: cannot read: larger than any medium of its kind (%u bytes)\n", path.c_str(),
               static_cast<unsigned>(maxBytes));
    return CannotRead;
  }
  if (code != 0) {
    report.Say("%s: cannot read: %s\n", path.c_str(), DescribeFileError(code).c_str());
    return CannotRead;
  }
  bytes.assign(loaded.bytes.get(), loaded.bytes.get() + loaded.length);
  return Success;
}

DiskExit LockMedium(const Reporter& report, const std::string& path, const char* kind,
                    FileLock& lock) {
  const std::int32_t locked = lock.Acquire(path, kLockTimeoutMilliseconds, [&] {
    report.Say("%s: waiting for another run to finish with it\n", path.c_str());
  });
  if (locked == LockTimedOut) {
    report.Say("%s: cannot lock it: %s; the %s is unchanged\n", path.c_str(),
               DescribeFileError(locked).c_str(), kind);
    return CannotWrite;
  }
  if (locked == LockNameTaken) {
    report.Say(
        "%s: cannot lock it: the name of its lock file, %s, is taken by something that is "
        "not a plain file (a link, a pipe or a folder); the %s is unchanged\n",
        path.c_str(), lock.name().c_str(), kind);
    return CannotWrite;
  }
  if (locked != 0) {
    // It is the folder that cannot take the lock file, not the file itself.
    const std::size_t slash = lock.name().find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : lock.name().substr(0, slash + 1);
    report.Say(
        "%s: cannot lock it: the folder %s cannot take its lock file (%s): %s; the %s is "
        "unchanged\n",
        path.c_str(), folder.c_str(), lock.name().c_str(), DescribeFileError(locked).c_str(), kind);
    return CannotWrite;
  }
  return Success;
}

namespace {

// Standard input, up to one byte more than `maxBytes`; false when it fails.
bool ReadStandardInput(std::uint32_t maxBytes, std::vector<std::uint8_t>& content) {
  os_file::SetStandardInputBinary();
  content.clear();
  std::uint8_t block[1 << 16];
  std::size_t got = 0;
  while (content.size() <= maxBytes && (got = std::fread(block, 1, sizeof block, stdin)) > 0) {
    content.insert(content.end(), block, block + got);
  }
  return !std::ferror(stdin);
}

}  // namespace

DiskExit ReadSource(const Reporter& report, const std::string& source, std::uint32_t maxBytes,
                    const std::string& tooLarge, std::vector<std::uint8_t>& content) {
  if (source == kStandardStream) {
    if (!ReadStandardInput(maxBytes, content)) {
      report.Say("standard input: cannot read: %s\n", DescribeFileError(ReadFailed).c_str());
      return CannotRead;
    }
    if (content.size() > maxBytes) {
      report.Say("standard input: cannot add it: %s\n", tooLarge.c_str());
      return Refused;
    }
    return Success;
  }
  ByteBuffer loaded;
  const std::int32_t code = LoadFileAtMost(source, maxBytes, loaded);
  if (code == TooLargeForUse) {
    report.Say("%s: cannot add it: %s\n", source.c_str(), tooLarge.c_str());
    return Refused;
  }
  if (code != 0) {
    report.Say("%s: cannot read: %s\n", source.c_str(), DescribeFileError(code).c_str());
    return CannotRead;
  }
  content.assign(loaded.bytes.get(), loaded.bytes.get() + loaded.length);
  return Success;
}

std::string NameFor(const Reporter& report, const std::string& source, const std::string* given) {
  if (given != nullptr) {
    return *given;
  }
  const fbasic::DefaultNameResult chosen = fbasic::DefaultName(source);
  if (chosen.dropped) {
    report.Say("%s: F-BASIC cannot hold every character of the name; it is stored as %s\n",
               source.c_str(), chosen.name.c_str());
  } else if (chosen.cut) {
    report.Say("%s: the name is cut to 8 characters: %s\n", source.c_str(), chosen.name.c_str());
  }
  return chosen.name;
}

DiskExit LockDisk(const Reporter& report, DiskFile& file) {
  return LockMedium(report, file.path, "disk", file.lock);
}

DiskExit LoadDiskToChange(const Reporter& report, const std::string& path, DiskFile& file) {
  file.path = path;
  if (const DiskExit locked = LockDisk(report, file); locked != Success) {
    return locked;
  }
  file.created = !MediumExists(path);
  if (file.created) {
    file.bytes = d77::MakeBlankDataDisk();
  } else if (const DiskExit read = ReadDisk(report, file); read != Success) {
    return read;
  }
  return CheckDisk(report, file);
}

DiskExit WriteDisk(const Reporter& report, const DiskFile& file, ReplacingFile& out) {
  const auto placement =
      file.created ? ReplacingFile::Placement::CreateOnly : ReplacingFile::Placement::Replace;
  std::int32_t code = out.Open(file.path, placement);
  if (code == 0) {
    code = out.Write(file.bytes.data(), static_cast<std::uint32_t>(file.bytes.size()));
  }
  return code == 0 ? Success : ReportWriteFailure(report, file.path, code, true);
}

DiskExit SaveDisk(const Reporter& report, const DiskFile& file) {
  ReplacingFile out;
  if (const DiskExit written = WriteDisk(report, file, out); written != Success) {
    return written;
  }
  const std::int32_t code = out.Commit();
  return code == 0 ? Success : ReportWriteFailure(report, file.path, code, true);
}

DiskExit ReportWriteFailure(const Reporter& report, const std::string& path, std::int32_t code,
                            bool isDisk) {
  report.Say("%s: cannot write: %s%s\n", path.c_str(), DescribeFileError(code).c_str(),
             isDisk ? "; the disk is unchanged" : "");
  return CannotWrite;
}

bool AnyTwoAreOneFile(const Reporter& report, const std::vector<NamedFile>& files) {
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = i + 1; j < files.size(); ++j) {
      if (SameFile(files[i].path, files[j].path)) {
        report.Say("%s %s and %s %s are the same file (see '%s --help')\n", files[i].what,
                   files[i].path.c_str(), files[j].what, files[j].path.c_str(), report.program());
        return true;
      }
    }
  }
  return false;
}

int FinishStandardOutput(const Reporter& report, int exit, int failure) {
  // A run that failed has said why already.
  if ((std::fflush(stdout) == 0 && !std::ferror(stdout)) || exit != 0) {
    return exit;
  }
  const std::int32_t code = os_file::LastError();
  report.Say("standard output: cannot write: %s\n",
             DescribeFileError(code != 0 ? code : WriteFailed).c_str());
  return failure;
}

std::string DescribeRefusal(d77::DiskResult result) {
  switch (result) {
    case d77::NameNotAllowed:
      return "F-BASIC cannot take that name (1 to 8 printable characters, no space, '\"' "
             "or ':')";
    case d77::NameTaken:
      return "a file of that name is on the disk already (--replace replaces it)";
    case d77::NameNotFound:
      return "no file of that name is on the disk";
    case d77::NoFreeClusters:
      return "not enough free space on the disk";
    case d77::NoFreeEntry:
      return "the directory is full";
    case d77::ChainDamaged:
      return "damaged disk image: a FAT chain loops or points past cluster 151";
    case d77::WriteProtectedDisk:
      return "the disk is write-protected";
    case d77::ClustersShared:
      return "damaged disk image: two files share a cluster";
    case d77::SectorRepeated:
      return "damaged disk image: a track holds two sectors of one number";
    default:
      return "refused";
  }
}

namespace {

DiskExit RefusalExit(d77::DiskResult result) {
  switch (result) {
    case d77::NameNotAllowed:
      return BadUsage;
    case d77::ChainDamaged:
    case d77::ClustersShared:
    case d77::SectorRepeated:
      return CannotRead;
    default:
      return Refused;
  }
}

}  // namespace

DiskExit ReportRefusal(const Reporter& report, const std::string& path, const char* action,
                       const std::string& name, d77::DiskResult result) {
  // A name F-BASIC cannot take was typed by the user: shown as typed.
  const std::string shown = result == d77::NameNotAllowed ? name : fbasic::ShowName(name);
  report.Say("%s: cannot %s %s: %s\n", path.c_str(), action, shown.c_str(),
             DescribeRefusal(result).c_str());
  return RefusalExit(result);
}

DiskExit CheckAdd(const Reporter& report, const DiskFile& file, const std::string& name,
                  bool replace) {
  // A trial on a copy: the same checks, in the same order, as the real add.
  std::vector<std::uint8_t> copy = file.bytes;
  d77::Disk trial;
  bool more = false;
  trial.Open(copy, more);
  const d77::DiskResult added = d77::AddFile(trial, name, {}, replace);
  return added == d77::DiskDone ? Success : ReportRefusal(report, file.path, "add", name, added);
}

DiskExit AddContent(const Reporter& report, DiskFile& file, const std::string& name,
                    const std::vector<std::uint8_t>& content, bool replace) {
  const d77::DiskResult added = d77::AddFile(file.disk, name, content, replace);
  return added == d77::DiskDone ? Success : ReportRefusal(report, file.path, "add", name, added);
}

std::string WhatItLooksLike(const std::vector<std::uint8_t>& bytes) {
  const auto startsWith = [&bytes](const char* text, std::size_t at = 0) {
    const std::string prefix(text);
    return bytes.size() >= at + prefix.size() &&
           std::equal(prefix.begin(), prefix.end(),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at));
  };
  if (startsWith("RIFF") && startsWith("WAVE", 8)) {
    return "a WAVE file";
  }
  if (startsWith("XM7 TAPE IMAGE")) {
    return "a T77 tape image";
  }
  if (bytes.size() >= d77::kHeaderSize &&
      ReadLittleEndian32(&bytes[d77::header_offset::kDiskSize]) == bytes.size()) {
    return "a D77 disk image";
  }
  if (startsWith("FORM") || startsWith("fLaC") || startsWith("OggS") || startsWith("ID3")) {
    return "a recording";
  }
  if (!bytes.empty() && bytes[0] == 0x00 && bytes.size() >= 10 && bytes[bytes.size() - 5] == 0xFF) {
    return "a machine-language file of another load address";
  }
  return "something else";
}

void NoteNoExtension(const Reporter& report, const std::string& path, const char* extension) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    report.Say("%s: made, with no %s extension; emulators look for one\n", path.c_str(), extension);
  }
}

bool IsImageFile(const std::string& path) {
  ByteBuffer loaded;
  PcmImageInfo info;
  return LoadFileAtMost(path, 0xFFFF + kPcmImageOverhead, loaded) == 0 &&
         ParsePcmImage(loaded.bytes.get(), loaded.length, info);
}

DiskExit CheckIsImage(const Reporter& report, const std::string& source,
                      const std::vector<std::uint8_t>& content, bool raw) {
  PcmImageInfo info;
  if (raw || ParsePcmImage(content.data(), content.size(), info)) {
    return Success;
  }
  const std::string looks = WhatItLooksLike(content);
  // The likely mistakes get their remedy.
  const char* advice = looks == "a WAVE file" ? ": convert it with tonebake first"
                       : looks == "a D77 disk image" || looks == "a T77 tape image"
                           ? ": the disk or tape comes first, then the file to add"
                           : "";
  report.Say("%s: not an FM-7 PCM image (it looks like %s%s); --raw stores it as it is\n",
             source.c_str(), looks.c_str(), advice);
  return Refused;
}

bool InPlaysList(const Reporter& report, const std::string& path, const std::string& name,
                 std::uint32_t count, bool tell) {
  // A name F-BASIC would not take from a user could break PLAY's text
  // (a quote, a line end) if it went into a DATA line.
  const bool nameFits = fbasic::IsValidName(name);
  if (player::FitsPlay(count) && nameFits) {
    return true;
  }
  if (tell && !nameFits) {
    report.Say(
        "%s: %s is not in PLAY's list: F-BASIC cannot take that name in a program; "
        "it is stored all the same\n",
        path.c_str(), fbasic::ShowName(name).c_str());
  } else if (tell && count == 0) {
    report.Say("%s: %s is not in PLAY's list: it has no samples; it is stored all the same\n",
               path.c_str(), fbasic::ShowName(name).c_str());
  } else if (tell) {
    report.Say(
        "%s: %s is not in PLAY's list: its count of %u is more than PLAY loads "
        "(%u); it is stored all the same\n",
        path.c_str(), fbasic::ShowName(name).c_str(), static_cast<unsigned>(count),
        static_cast<unsigned>(player::kLargestMenuCount));
  }
  return false;
}

void WarnIfLoadmMisreads(const Reporter& report, const std::string& source,
                         const std::vector<std::uint8_t>& content) {
  PcmImageInfo info;
  if (!ParsePcmImage(content.data(), content.size(), info)) {
    return;
  }
  // LOADM stores the count field's bytes from the wait byte on, then reads
  // the next byte as the mark of another block: 0x00 starts one.
  const std::size_t mark = pcm_image_offset::kWait + info.count;
  if (mark < content.size() && content[mark] == 0x00) {
    report.Say(
        "%s: warning: its last sample is 00, which LOADM reads as the start of "
        "another block: loading it on the FM-7 damages the start of the sound "
        "(tonebake-prep makes images that load cleanly); it is stored all the same\n",
        source.c_str());
  }
}

namespace {

// What a file of PLAYER's or PLAY's name on a disk is.
enum class MenuFile { Missing, Tonebakes, Users };

MenuFile ExaminePlayer(const d77::Disk& disk) {
  std::vector<std::uint8_t> content;
  if (d77::ReadFile(disk, kPlayerName, content) != d77::DiskDone) {
    return MenuFile::Missing;
  }
  return player::IsTonebakePlayer(content) ? MenuFile::Tonebakes : MenuFile::Users;
}

MenuFile ExamineMenu(const d77::Disk& disk, bool* edited = nullptr) {
  std::vector<std::uint8_t> content;
  if (d77::ReadFile(disk, kMenuName, content) != d77::DiskDone) {
    return MenuFile::Missing;
  }
  if (fbasic::IsTonebakePlay(content, player::PlayLayoutOfThePlayer())) {
    return MenuFile::Tonebakes;
  }
  if (edited != nullptr) {
    *edited = fbasic::LooksLikeTonebakePlay(content);
  }
  return MenuFile::Users;
}

// PLAY written anew from the sounds on the disk. A sound left out is told
// of when it was just added, when PLAY listed it until now (a room made
// smaller by a later version), or when `tellAll`.
DiskExit WritePlayMenu(const Reporter& report, DiskFile& file, const std::string& added,
                       bool tellAll) {
  std::vector<std::uint8_t> play;
  d77::ReadFile(file.disk, kMenuName, play);
  const std::vector<std::string> inPlay = fbasic::ListedSounds(play);
  std::vector<d77::FileEntry> files;
  if (const d77::DiskResult listed = d77::ListFiles(file.disk, files); listed != d77::DiskDone) {
    return ReportRefusal(report, file.path, "add", kMenuName, listed);
  }
  std::vector<fbasic::MenuSound> sounds;
  for (const d77::FileEntry& entry : files) {
    std::vector<std::uint8_t> content;
    PcmImageInfo info;
    if (IsMenuFileName(entry.name) || entry.type != fbasic::MachineLanguage || entry.ascii ||
        d77::ReadFile(file.disk, entry.name, content) != d77::DiskDone ||
        !ParsePcmImage(content.data(), content.size(), info)) {
      continue;  // not a sound
    }
    const bool tell = tellAll || added == entry.name ||
                      std::find(inPlay.begin(), inPlay.end(), entry.name) != inPlay.end();
    if (!InPlaysList(report, file.path, entry.name, info.samples, tell)) {
      continue;
    }
    sounds.push_back({entry.name, info.samples, info.wait});
  }
  const d77::DiskResult written =
      d77::AddAsciiBasic(file.disk, kMenuName,
                         fbasic::PlayProgram(sounds, "1:", player::PlayLayoutOfThePlayer()), true);
  if (written == d77::DiskDone || added.empty()) {
    return written == d77::DiskDone ? Success
                                    : ReportRefusal(report, file.path, "add", kMenuName, written);
  }
  // What the user asked for is the sound; PLAY only grows with it.
  report.Say("%s: cannot add %s with PLAY's list made longer: %s\n", file.path.c_str(),
             fbasic::ShowName(added).c_str(), DescribeRefusal(written).c_str());
  return Refused;
}

}  // namespace

DiskExit RefuseUsersMenuFile(const Reporter& report, const std::string& path, const char* medium,
                             const char* name) {
  report.Say(
      "%s: cannot put the player on it: %s on the %s is a file of yours, not tonebake's "
      "(--replace replaces it)\n",
      path.c_str(), name, medium);
  return Refused;
}

void TellPlayNotUpdated(const Reporter& report, const std::string& path, bool playEdited) {
  report.Say(playEdited ? "%s: PLAY has been changed since tonebake wrote it: its list was not "
                          "brought up to date ('player --replace' writes it anew)\n"
                        : "%s: PLAYER is not tonebake's (its code or volume tables differ): "
                          "PLAY's list was not brought up to date ('player --replace' puts "
                          "tonebake's on)\n",
             path.c_str());
}

bool IsMenuFileName(const std::string& name) {
  return name == kPlayerName || name == kMenuName;
}

void TellAboutMenuFile(const Reporter& report, const std::string& path, const std::string& name,
                       bool removed) {
  const char* what = nullptr;
  if (name == kMenuName) {
    what = removed ? "PLAY, the menu, is gone; 'player' puts it back"
                   : "PLAY is now this file, not tonebake's menu; 'player --replace' makes the "
                     "menu again in its place";
  } else if (name == kPlayerName) {
    what = removed ? "PLAY cannot play without PLAYER; 'player' puts it back"
                   : "PLAYER is now this file, not tonebake's player, and PLAY runs it as its "
                     "player; 'player --replace' puts tonebake's back";
  }
  if (what != nullptr) {
    report.Say("%s: %s\n", path.c_str(), what);
  }
}

namespace {

bool StartsWith(const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& start) {
  return bytes.size() >= start.size() && std::equal(start.begin(), start.end(), bytes.begin());
}

// Whether tonebake's PLAYER on the disk is this version's, loaded where this
// version loads it.
bool PlayerIsCurrent(const d77::Disk& disk) {
  std::vector<std::uint8_t> found;
  std::vector<std::uint8_t> current;
  d77::ReadFile(disk, kPlayerName, found);
  return player::CurrentPlayerFor(found, current) && StartsWith(found, current);
}

}  // namespace

DiskExit RefreshPlayMenu(const Reporter& report, DiskFile& file, const std::string& added,
                         bool tellAll) {
  // Only tonebake's own menu, as tonebake wrote it, beside tonebake's own
  // player, is kept current; the user hears when theirs is left alone.
  bool edited = false;
  const MenuFile menu = ExamineMenu(file.disk, &edited);
  const MenuFile playerFile = ExaminePlayer(file.disk);
  if (menu != MenuFile::Tonebakes || playerFile != MenuFile::Tonebakes) {
    if (!IsMenuFileName(added) &&
        (edited || (menu == MenuFile::Tonebakes && playerFile == MenuFile::Users))) {
      TellPlayNotUpdated(report, file.path, edited);
    }
    return Success;
  }
  // PLAY is written for this version's PLAYER: an earlier one is brought up
  // to date first.
  std::vector<std::uint8_t> old;
  std::vector<std::uint8_t> current;
  d77::ReadFile(file.disk, kPlayerName, old);
  if (!player::CurrentPlayerFor(old, current)) {
    return Success;  // not reached: tonebake's PLAYER has known tables
  }
  if (!StartsWith(old, current)) {
    if (const d77::DiskResult updated = d77::AddFile(file.disk, kPlayerName, current, true);
        updated != d77::DiskDone) {
      return ReportRefusal(report, file.path, "add", kPlayerName, updated);
    }
  }
  return WritePlayMenu(report, file, added, tellAll);
}

DiskExit CheckPlayerMayGo(const Reporter& report, const DiskFile& file, bool replace) {
  for (const auto& [name, found] : {std::pair{kPlayerName, ExaminePlayer(file.disk)},
                                    std::pair{kMenuName, ExamineMenu(file.disk)}}) {
    if (found == MenuFile::Users && !replace) {
      return RefuseUsersMenuFile(report, file.path, "disk", name);
    }
  }
  return Success;
}

bool PlayerTablesOn(const DiskFile& file, player::KnownTables& known) {
  std::vector<std::uint8_t> content;
  return ExaminePlayer(file.disk) == MenuFile::Tonebakes &&
         d77::ReadFile(file.disk, kPlayerName, content) == d77::DiskDone &&
         player::PlayerTables(content, known);
}

void TellTablesChange(const Reporter& report, const std::string& path, bool hadTables,
                      const player::KnownTables& had, player::PsgProfile profile) {
  if (hadTables && had.table != player::BuildVolumeTable(profile)) {
    report.Say(
        "%s: PLAYER now has this version's %s tables; sounds tonebake-prep made for the "
        "ones it had sound best made again\n",
        path.c_str(), player::PsgProfileName(profile));
  }
}

DiskExit AddPlayer(const Reporter& report, DiskFile& file, player::PsgProfile profile,
                   bool replace) {
  if (const DiskExit checked = CheckPlayerMayGo(report, file, replace); checked != Success) {
    return checked;
  }
  player::KnownTables had;
  const bool hadTables = PlayerTablesOn(file, had);
  const d77::DiskResult added =
      d77::AddFile(file.disk, kPlayerName, player::PlayerFile(profile), true);
  if (added != d77::DiskDone) {
    return ReportRefusal(report, file.path, "add", kPlayerName, added);
  }
  TellTablesChange(report, file.path, hadTables, had, profile);
  return WritePlayMenu(report, file, std::string(), true);
}

namespace {

// The sectors of track 0 the boot program takes, as the disk has them.
struct BootArea {
  std::vector<std::uint8_t> bootSector;
  std::vector<std::uint8_t> secondPart;
};

BootArea ReadBootArea(const d77::Disk& disk) {
  BootArea area;
  const std::uint8_t* boot = disk.Sector(0, 0, 1);
  area.bootSector.assign(boot, boot + d77::kSectorSize);
  for (std::uint32_t k = 1; k <= player::kSecondPartSectors; ++k) {
    const std::uint8_t* sector = disk.Sector(0, player::kSecondPartHead, k);
    area.secondPart.insert(area.secondPart.end(), sector, sector + d77::kSectorSize);
  }
  return area;
}

// Every sector of `bytes` one byte throughout, as a format leaves it.
bool Blank(const std::vector<std::uint8_t>& bytes) {
  for (std::size_t at = 0; at < bytes.size(); at += d77::kSectorSize) {
    const auto sector = bytes.begin() + static_cast<std::ptrdiff_t>(at);
    if (std::find_if(sector, sector + d77::kSectorSize,
                     [&](std::uint8_t b) { return b != *sector; }) != sector + d77::kSectorSize) {
      return false;
    }
  }
  return true;
}

DiskExit WriteBootArea(const Reporter& report, DiskFile& file, const BootArea& area,
                       const char* action) {
  d77::DiskResult result = d77::WriteTrackZero(file.disk, 0, 1, area.bootSector);
  if (result == d77::DiskDone) {
    result = d77::WriteTrackZero(file.disk, player::kSecondPartHead, 1, area.secondPart);
  }
  if (result != d77::DiskDone) {
    report.Say("%s: cannot %s: %s\n", file.path.c_str(), action, DescribeRefusal(result).c_str());
  }
  return result == d77::DiskDone ? Success : RefusalExit(result);
}

}  // namespace

BootProgram BootProgramOn(const d77::Disk& disk) {
  const BootArea area = ReadBootArea(disk);
  if (area.bootSector == player::BootSectorBytes() &&
      area.secondPart == player::BootSecondPartBytes()) {
    return BootProgram::Tonebakes;
  }
  return Blank(area.bootSector) && Blank(area.secondPart) ? BootProgram::None : BootProgram::Other;
}

DiskExit CheckBootMayGo(const Reporter& report, const DiskFile& file, bool replace) {
  if (BootProgramOn(file.disk) == BootProgram::Other && !replace) {
    report.Say(
        "%s: cannot put the boot program on it: track 0 holds another boot program or data "
        "(a system disk's, say); --replace writes over it\n",
        file.path.c_str());
    return Refused;
  }
  const MenuFile player = ExaminePlayer(file.disk);
  const MenuFile menu = ExamineMenu(file.disk);
  const char* users = player == MenuFile::Users                                ? kPlayerName
                      : player == MenuFile::Missing && menu == MenuFile::Users ? kMenuName
                                                                               : nullptr;
  if (users != nullptr) {
    report.Say(
        "%s: cannot put the boot program on it: %s on the disk is a file of yours, not "
        "tonebake's ('player --replace' puts tonebake's on)\n",
        file.path.c_str(), users);
    return Refused;
  }
  // The boot program runs PLAYER at &H2000, as this version's PLAY does: an
  // earlier PLAYER, loaded elsewhere, is brought up to date only with
  // tonebake's PLAY, which it must match.
  if (player == MenuFile::Tonebakes && menu != MenuFile::Tonebakes && !PlayerIsCurrent(file.disk)) {
    report.Say(
        "%s: cannot put the boot program on it: PLAYER is an earlier version's and PLAY beside "
        "it is not tonebake's ('player' brings both up to date)\n",
        file.path.c_str());
    return Refused;
  }
  return Success;
}

DiskExit AddBoot(const Reporter& report, DiskFile& file, player::PsgProfile profile, bool replace) {
  DiskExit exit = CheckBootMayGo(report, file, replace);
  if (exit == Success) {
    // A missing PLAYER is put on with PLAY; an earlier one is brought up to
    // date with PLAY.
    exit = ExaminePlayer(file.disk) == MenuFile::Missing
               ? AddPlayer(report, file, profile, false)
               : RefreshPlayMenu(report, file, std::string());
  }
  if (exit == Success) {
    exit = WriteBootArea(report, file, {player::BootSectorBytes(), player::BootSecondPartBytes()},
                         "put the boot program on it");
  }
  return exit;
}

DiskExit RemoveBoot(const Reporter& report, DiskFile& file) {
  const BootProgram found = BootProgramOn(file.disk);
  if (found != BootProgram::Tonebakes) {
    report.Say(found == BootProgram::None
                   ? "%s: has no boot program to remove\n"
                   : "%s: the boot program on it is not tonebake's; it is left as it is\n",
               file.path.c_str());
    return Refused;
  }
  const BootArea blank{
      std::vector<std::uint8_t>(d77::kSectorSize, 0xFF),
      std::vector<std::uint8_t>(player::kSecondPartSectors * d77::kSectorSize, 0xFF)};
  return WriteBootArea(report, file, blank, "remove the boot program");
}

}  // namespace tonebake::media
