#include "media/tape_medium.h"

#include <algorithm>
#include <cstdio>

#include "fbasic/file_names.h"
#include "fbasic/play_program.h"
#include "fm7pcm/pcm_image.h"
#include "player/player_code.h"

namespace tonebake::media {
namespace {

constexpr int kMissing = -1;

DiskExit ReadImage(const Reporter& report, TapeImage& tape) {
  if (const DiskExit read = ReadMedium(report, tape.path, kLargestTape, tape.bytes);
      read != Success) {
    return read;
  }
  std::string why;
  if (t77::ReadWholeTape(tape.bytes, tape.contents, why) != t77::TapeRead) {
    report.Say("%s: %s\n", tape.path.c_str(), why.c_str());
    return CannotRead;
  }
  return Success;
}

int IndexOf(const TapeImage& tape, const std::string& name) {
  const auto& files = tape.contents.files;
  const auto found = std::find_if(files.begin(), files.end(),
                                  [&name](const t77::TapeFile& file) { return file.name == name; });
  return found == files.end() ? kMissing : static_cast<int>(found - files.begin());
}

bool IsTonebakes(const TapeImage& tape, int index, const char* name) {
  const t77::TapeFile& file = tape.contents.files[static_cast<std::size_t>(index)];
  return name == std::string(kPlayerName)
             ? t77::IsMachineLanguage(file) && player::IsTonebakePlayer(file.body)
             : !t77::IsMachineLanguage(file) &&
                   fbasic::IsTonebakePlay(file.body, player::PlayLayoutOfThePlayer());
}

// The index in `unread` of a damaged file of that name, or kMissing.
int DamagedIndexOf(const TapeImage& tape, const std::string& name) {
  const auto& unread = tape.contents.unread;
  const auto found =
      std::find_if(unread.begin(), unread.end(),
                   [&name](const t77::Unread& stretch) { return stretch.name == name; });
  return found == unread.end() ? kMissing : static_cast<int>(found - unread.begin());
}

// The index of tonebake's own file of that name, or kMissing.
int TonebakesFile(const TapeImage& tape, const char* name) {
  const int index = IndexOf(tape, name);
  return index != kMissing && IsTonebakes(tape, index, name) ? index : kMissing;
}

DiskExit RefuseShared(const Reporter& report, const TapeImage& tape, const char* action,
                      const std::string& name) {
  report.Say(
      "%s: cannot %s %s: its sound on the tape runs into a stretch this tool cannot "
      "read, which it keeps as it is; the tape is unchanged\n",
      tape.path.c_str(), action, fbasic::ShowName(name).c_str());
  return Refused;
}

// Puts `file` in the place of the one at `index`, or adds it at `insertAt`
// when there is none.
DiskExit Put(const Reporter& report, TapeImage& tape, int index, std::size_t insertAt,
             const t77::TapeFile& file) {
  if (index == kMissing) {
    t77::InsertFile(tape.contents, insertAt, file);
  } else if (!t77::ReplaceFile(tape.contents, static_cast<std::size_t>(index), file)) {
    return RefuseShared(report, tape, "replace", file.name);
  }
  tape.changed = true;
  return Success;
}

// PLAY's list: the sounds after PLAYER, in order, that PLAY can load.
// A sound left out is told of when it was just added, when PLAY listed it
// until now (a room made smaller by a later version), or when `tellAll`.
std::vector<fbasic::MenuSound> MenuSounds(const Reporter& report, const TapeImage& tape,
                                          int playerIndex, const std::string& added, bool tellAll) {
  std::vector<fbasic::MenuSound> sounds;
  const auto& files = tape.contents.files;
  const int menu = IndexOf(tape, kMenuName);
  const std::vector<std::string> listed =
      menu == kMissing ? std::vector<std::string>()
                       : fbasic::ListedSounds(files[static_cast<std::size_t>(menu)].body);
  for (std::size_t i = static_cast<std::size_t>(playerIndex) + 1; i < files.size(); ++i) {
    const t77::TapeFile& file = files[i];
    PcmImageInfo info;
    if (IsMenuFileName(file.name) || !t77::IsMachineLanguage(file) ||
        !ParsePcmImage(file.body.data(), file.body.size(), info) ||
        !InPlaysList(report, tape.path, file.name, info.samples,
                     tellAll || file.name == added ||
                         std::find(listed.begin(), listed.end(), file.name) != listed.end())) {
      continue;
    }
    sounds.push_back({file.name, info.samples, info.wait});
  }
  return sounds;
}

t77::TapeFile Menu(const std::vector<fbasic::MenuSound>& sounds) {
  return t77::AsciiBasicFile(kMenuName,
                             fbasic::TapePlayProgram(sounds, player::PlayLayoutOfThePlayer()));
}

DiskExit RefreshPlayMenu(const Reporter& report, TapeImage& tape, const std::string& added) {
  const int playerIndex = TonebakesFile(tape, kPlayerName);
  const int menuIndex = TonebakesFile(tape, kMenuName);
  if (playerIndex == kMissing || menuIndex == kMissing) {
    // Only tonebake's own menu, as tonebake wrote it, beside tonebake's own
    // player, is kept current; the user hears when theirs is left alone.
    const int anyMenu = IndexOf(tape, kMenuName);
    const bool edited =
        anyMenu != kMissing && menuIndex == kMissing &&
        fbasic::LooksLikeTonebakePlay(tape.contents.files[static_cast<std::size_t>(anyMenu)].body);
    if (!IsMenuFileName(added) &&
        (edited || (menuIndex != kMissing && IndexOf(tape, kPlayerName) != kMissing))) {
      TellPlayNotUpdated(report, tape.path, edited);
    }
    return Success;
  }
  // PLAY is written for this version's PLAYER: an earlier one is brought up
  // to date first.
  const std::vector<std::uint8_t>& old =
      tape.contents.files[static_cast<std::size_t>(playerIndex)].body;
  std::vector<std::uint8_t> current;
  if (!player::CurrentPlayerFor(old, current)) {
    return Success;  // not reached: tonebake's PLAYER has known tables
  }
  if (current != old) {
    if (const DiskExit put =
            Put(report, tape, playerIndex, 0, t77::MachineLanguageFile(kPlayerName, current));
        put != Success) {
      return put;
    }
  }
  return Put(report, tape, menuIndex, 0, Menu(MenuSounds(report, tape, playerIndex, added, false)));
}

}  // namespace

DiskExit LoadTape(const Reporter& report, const std::string& path, TapeImage& tape) {
  tape.path = path;
  return ReadImage(report, tape);
}

DiskExit LoadTapeToChange(const Reporter& report, const std::string& path, TapeImage& tape) {
  tape.path = path;
  if (const DiskExit locked = LockMedium(report, path, "tape", tape.lock); locked != Success) {
    return locked;
  }
  tape.created = !MediumExists(path);
  if (tape.created) {
    tape.bytes = t77::NewTape();
    std::string ignored;
    t77::ReadWholeTape(tape.bytes, tape.contents, ignored);
    return Success;
  }
  return ReadImage(report, tape);
}

DiskExit CheckAdd(const Reporter& report, const TapeImage& tape, const std::string& name,
                  bool replace) {
  if (!fbasic::IsValidName(name)) {
    return ReportRefusal(report, tape.path, "add", name, d77::NameNotAllowed);
  }
  if (IndexOf(tape, name) != kMissing && !replace) {
    report.Say(
        "%s: cannot add %s: a file of that name is on the tape already "
        "(--replace replaces it)\n",
        tape.path.c_str(), fbasic::ShowName(name).c_str());
    return Refused;
  }
  // The FM-7 would find the damaged one first and fail on it.
  if (DamagedIndexOf(tape, name) != kMissing && !replace) {
    report.Say(
        "%s: cannot add %s: a damaged file of that name is on the tape, which the FM-7 "
        "would find first (--replace replaces it)\n",
        tape.path.c_str(), fbasic::ShowName(name).c_str());
    return Refused;
  }
  return Success;
}

DiskExit AddImage(const Reporter& report, TapeImage& tape, const std::string& name,
                  const std::vector<std::uint8_t>& image, bool replace) {
  if (const DiskExit checked = CheckAdd(report, tape, name, replace); checked != Success) {
    return checked;
  }
  if (image.empty() || image.size() > kLargestTapeImage) {
    report.Say("%s: cannot add %s: a tape file holds 1 to %u bytes, not %zu\n", tape.path.c_str(),
               fbasic::ShowName(name).c_str(), kLargestTapeImage, image.size());
    return Refused;
  }
  const t77::TapeFile file = t77::MachineLanguageFile(name, image);
  const int index = IndexOf(tape, name);
  const int damaged = DamagedIndexOf(tape, name);
  if (index == kMissing && damaged != kMissing) {
    if (!t77::ReplaceDamaged(tape.contents, static_cast<std::size_t>(damaged), file)) {
      return RefuseShared(report, tape, "replace", name);
    }
    tape.changed = true;
  } else if (index == kMissing) {
    t77::AddFileAtEnd(tape.contents, file);
    tape.changed = true;
  } else if (const DiskExit put = Put(report, tape, index, 0, file); put != Success) {
    return put;
  }
  return RefreshPlayMenu(report, tape, name);
}

DiskExit RemoveImage(const Reporter& report, TapeImage& tape, const std::string& name) {
  const int index = IndexOf(tape, name);
  if (const int damaged = DamagedIndexOf(tape, name); index == kMissing && damaged != kMissing) {
    if (!t77::RemoveDamaged(tape.contents, static_cast<std::size_t>(damaged))) {
      return RefuseShared(report, tape, "remove the damaged file", name);
    }
    tape.changed = true;
    return RefreshPlayMenu(report, tape, std::string());
  }
  if (index == kMissing) {
    report.Say("%s: cannot remove %s: no file of that name is on the tape\n", tape.path.c_str(),
               fbasic::ShowName(name).c_str());
    return Refused;
  }
  if (!t77::RemoveFile(tape.contents, static_cast<std::size_t>(index))) {
    return RefuseShared(report, tape, "remove", name);
  }
  tape.changed = true;
  return RefreshPlayMenu(report, tape, std::string());
}

DiskExit CheckPlayerMayGo(const Reporter& report, const TapeImage& tape, bool replace) {
  for (const char* name : {kPlayerName, kMenuName}) {
    const int index = IndexOf(tape, name);
    if (index != kMissing && !IsTonebakes(tape, index, name) && !replace) {
      return RefuseUsersMenuFile(report, tape.path, "tape", name);
    }
  }
  return Success;
}

bool PlayerTablesOn(const TapeImage& tape, player::KnownTables& known) {
  const int index = TonebakesFile(tape, kPlayerName);
  return index != kMissing &&
         player::PlayerTables(tape.contents.files[static_cast<std::size_t>(index)].body, known);
}

DiskExit AddPlayer(const Reporter& report, TapeImage& tape, player::PsgProfile profile,
                   bool replace) {
  if (const DiskExit checked = CheckPlayerMayGo(report, tape, replace); checked != Success) {
    return checked;
  }
  player::KnownTables had;
  const bool hadTables = PlayerTablesOn(tape, had);
  const t77::TapeFile code = t77::MachineLanguageFile(kPlayerName, player::PlayerFile(profile));
  if (const DiskExit put = Put(report, tape, IndexOf(tape, kPlayerName), 0, code); put != Success) {
    return put;
  }
  TellTablesChange(report, tape.path, hadTables, had, profile);
  // PLAY must come before PLAYER, which it loads as the tape runs on.
  const int playerIndex = IndexOf(tape, kPlayerName);
  int menuIndex = IndexOf(tape, kMenuName);
  if (menuIndex > playerIndex) {
    if (!t77::RemoveFile(tape.contents, static_cast<std::size_t>(menuIndex))) {
      return RefuseShared(report, tape, "move", kMenuName);
    }
    menuIndex = kMissing;
  }
  const std::vector<fbasic::MenuSound> sounds =
      MenuSounds(report, tape, IndexOf(tape, kPlayerName), std::string(), true);
  return Put(report, tape, menuIndex, 0, Menu(sounds));
}

DiskExit WriteTape(const Reporter& report, const TapeImage& tape, ReplacingFile& out) {
  const std::vector<std::uint8_t> bytes =
      tape.changed || tape.created ? t77::TapeBytes(tape.contents) : tape.bytes;
  // Never more than a tape this tool reads back.
  if (bytes.size() > kLargestTape) {
    report.Say(
        "%s: cannot write: the tape would be %zu bytes, more than the %u this tool reads; the "
        "tape is unchanged\n",
        tape.path.c_str(), bytes.size(), kLargestTape);
    return Refused;
  }
  const auto placement =
      tape.created ? ReplacingFile::Placement::CreateOnly : ReplacingFile::Placement::Replace;
  std::int32_t code = out.Open(tape.path, placement);
  if (code == 0) {
    code = out.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  }
  if (code != 0) {
    report.Say("%s: cannot write: %s; the tape is unchanged\n", tape.path.c_str(),
               DescribeFileError(code).c_str());
    return CannotWrite;
  }
  return Success;
}

DiskExit SaveTape(const Reporter& report, const TapeImage& tape) {
  ReplacingFile out;
  if (const DiskExit written = WriteTape(report, tape, out); written != Success) {
    return written;
  }
  if (const std::int32_t code = out.Commit(); code != 0) {
    report.Say("%s: cannot write: %s; the tape is unchanged\n", tape.path.c_str(),
               DescribeFileError(code).c_str());
    return CannotWrite;
  }
  return Success;
}

}  // namespace tonebake::media
