#include "tape/tape_file.h"

#include <algorithm>
#include <cstdio>

#include "d77/fbasic_disk.h"
#include "fm7pcm/pcm_image.h"
#include "player/play_program.h"
#include "player/player_code.h"

namespace tonebake::tape {
namespace {

DiskExit ReadImage(const char* program, TapeImage& tape) {
  if (const DiskExit read = disk::ReadMedium(program, tape.path, tape.bytes);
      read != disk::Success) {
    return read;
  }
  std::string why;
  if (t77::ReadTape(tape.bytes, tape.files, why) != t77::TapeRead) {
    std::fprintf(stderr, "%s: %s: %s\n", program, tape.path.c_str(), why.c_str());
    return disk::CannotRead;
  }
  return disk::Success;
}

std::vector<t77::TapeFile>::iterator Find(TapeImage& tape, const std::string& name) {
  return std::find_if(tape.files.begin(), tape.files.end(),
                      [&name](const t77::TapeFile& file) { return file.name == name; });
}

bool HasPlayer(const TapeImage& tape) {
  return std::any_of(tape.files.begin(), tape.files.end(),
                     [](const t77::TapeFile& file) { return file.name == disk::kPlayerName; });
}

// PLAY's list made again, in front of PLAYER: the sounds after them, in
// order, that PLAY can load.
DiskExit RefreshPlayMenu(const char* program, TapeImage& tape, const std::string& added,
                         bool tellAll) {
  std::vector<player::MenuSound> sounds;
  for (const t77::TapeFile& file : tape.files) {
    PcmImageInfo info;
    if (!t77::IsMachineLanguage(file) || !ParsePcmImage(file.body.data(), file.body.size(), info)) {
      continue;
    }
    if (!disk::InPlaysList(program, tape.path, file.name, info.samples,
                           tellAll || file.name == added)) {
      continue;
    }
    sounds.push_back({file.name, info.samples, info.wait});
  }
  const auto menu = Find(tape, disk::kMenuName);
  if (menu != tape.files.end()) {
    tape.files.erase(menu);
  }
  tape.files.insert(tape.files.begin(),
                    t77::AsciiBasicFile(disk::kMenuName, player::TapePlayProgram(sounds)));
  tape.rewritten = true;
  return disk::Success;
}

}  // namespace

DiskExit LoadTape(const char* program, const std::string& path, TapeImage& tape) {
  tape.path = path;
  return ReadImage(program, tape);
}

DiskExit LoadTapeToChange(const char* program, const std::string& path, TapeImage& tape) {
  tape.path = path;
  if (const DiskExit locked = disk::LockMedium(program, path, "tape", tape.lock);
      locked != disk::Success) {
    return locked;
  }
  tape.created = !disk::MediumExists(path);
  if (tape.created) {
    tape.bytes = t77::NewTape();
    return disk::Success;
  }
  return ReadImage(program, tape);
}

DiskExit CheckAdd(const char* program, const TapeImage& tape, const std::string& name,
                  bool replace) {
  if (!d77::IsValidName(name)) {
    return disk::ReportRefusal(program, tape.path, "add", name, d77::NameNotAllowed);
  }
  const bool taken = std::any_of(tape.files.begin(), tape.files.end(),
                                 [&name](const t77::TapeFile& file) { return file.name == name; });
  if (taken && !replace) {
    std::fprintf(stderr,
                 "%s: %s: cannot add %s: a file of that name is on the tape already "
                 "(--replace replaces it)\n",
                 program, tape.path.c_str(), name.c_str());
    return disk::Refused;
  }
  return disk::Success;
}

DiskExit AddImage(const char* program, TapeImage& tape, const std::string& name,
                  const std::vector<std::uint8_t>& image, bool replace) {
  if (const DiskExit checked = CheckAdd(program, tape, name, replace); checked != disk::Success) {
    return checked;
  }
  if (image.empty() || image.size() > kLargestTapeImage) {
    std::fprintf(stderr, "%s: %s: cannot add %s: a tape file holds 1 to %u bytes, not %zu\n",
                 program, tape.path.c_str(), disk::ShowName(name).c_str(), kLargestTapeImage,
                 image.size());
    return disk::Refused;
  }
  const t77::TapeFile file = t77::MachineLanguageFile(name, image);
  const auto old = Find(tape, name);
  if (old != tape.files.end()) {
    *old = file;
    tape.rewritten = true;
  } else {
    tape.files.push_back(file);
    t77::AppendFile(tape.bytes, file);  // what is there stays as it is
  }
  return HasPlayer(tape) ? RefreshPlayMenu(program, tape, name, false) : disk::Success;
}

DiskExit AddPlayer(const char* program, TapeImage& tape, player::PsgProfile profile) {
  const auto old = Find(tape, disk::kPlayerName);
  if (old != tape.files.end()) {
    tape.files.erase(old);
  }
  tape.files.insert(tape.files.begin(),
                    t77::MachineLanguageFile(disk::kPlayerName, player::MachineLanguageFile(
                                                                    player::PlayerBytes(profile),
                                                                    player::kPlayerLoadAddress,
                                                                    player::kPlayerLoadAddress)));
  return RefreshPlayMenu(program, tape, std::string(), true);
}

DiskExit WriteTape(const char* program, const TapeImage& tape, ReplacingFile& out) {
  std::vector<std::uint8_t> bytes = tape.bytes;
  if (tape.rewritten) {
    bytes = t77::NewTape();
    for (const t77::TapeFile& file : tape.files) {
      t77::AppendFile(bytes, file);
    }
  }
  const auto placement =
      tape.created ? ReplacingFile::Placement::CreateOnly : ReplacingFile::Placement::Replace;
  std::int32_t code = out.Open(tape.path, placement);
  if (code == 0) {
    code = out.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  }
  if (code != 0) {
    std::fprintf(stderr, "%s: %s: cannot write: %s; the tape is unchanged\n", program,
                 tape.path.c_str(), DescribeFileError(code).c_str());
    return disk::CannotWrite;
  }
  return disk::Success;
}

DiskExit SaveTape(const char* program, const TapeImage& tape) {
  ReplacingFile out;
  if (const DiskExit written = WriteTape(program, tape, out); written != disk::Success) {
    return written;
  }
  if (const std::int32_t code = out.Commit(); code != 0) {
    std::fprintf(stderr, "%s: %s: cannot write: %s; the tape is unchanged\n", program,
                 tape.path.c_str(), DescribeFileError(code).c_str());
    return disk::CannotWrite;
  }
  return disk::Success;
}

}  // namespace tonebake::tape
