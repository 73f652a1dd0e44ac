#ifndef TONEBAKE_MEDIA_TAPE_MEDIUM_H
#define TONEBAKE_MEDIA_TAPE_MEDIUM_H

#include <string>
#include <vector>
#include "media/reporter.h"

#include "fileio/file_lock.h"
#include "fileio/replacing_file.h"
#include "media/disk_medium.h"
#include "player/volume_table.h"
#include "t77/t77_tape.h"

// T77 tape files on top of the in-memory t77 library, shared by
// tonebake-tape and tonebake-prep: the same exit codes, locking and safe
// save as disks. A change keeps every record outside the files it touches
// byte for byte, what the reader could not read included.
namespace tonebake::media {

// The largest image a tape file takes: 65,535 samples, all that an image's
// 16-bit count holds, and its 11 bytes of header and trailer.
constexpr std::uint32_t kLargestTapeImage = 0xFFFF + 11;

// The largest T77 file read: more than a two-hour cassette holds at the
// shortest half-cycle F-BASIC writes (7200 s / 234 us, 2 bytes a record).
constexpr std::uint32_t kLargestTape = 64u << 20;

// A tape image in memory, read whole, and its lock while it changes.
struct TapeImage {
  std::string path;
  std::vector<std::uint8_t> bytes;  // as read
  t77::Tape contents;
  FileLock lock;
  bool created = false;  // a new tape, for a file that did not exist
  bool changed = false;  // written anew from `contents`
};

// Reads the tape at `path`, to be looked at.
DiskExit LoadTape(const Reporter& report, const std::string& path, TapeImage& tape);
// Takes the tape's lock, then reads it; a missing tape starts empty.
DiskExit LoadTapeToChange(const Reporter& report, const std::string& path, TapeImage& tape);

// Whether NAME can go on the loaded tape: a name F-BASIC takes, free or to
// be replaced. Reports a refusal.
DiskExit CheckAdd(const Reporter& report, const TapeImage& tape, const std::string& name,
                  bool replace);
// Adds `image` as the machine-language file NAME: after what is there, or,
// with `replace`, in the place of the file of that name. Keeps PLAY's list
// current while tonebake's PLAYER and PLAY are on the tape.
DiskExit AddImage(const Reporter& report, TapeImage& tape, const std::string& name,
                  const std::vector<std::uint8_t>& image, bool replace);
// Removes the file NAME, keeping PLAY's list current.
DiskExit RemoveImage(const Reporter& report, TapeImage& tape, const std::string& name);

// Whether PLAY and PLAYER may be put on the loaded tape: a file of either
// name that is not tonebake's own is replaced only with `replace`.
DiskExit CheckPlayerMayGo(const Reporter& report, const TapeImage& tape, bool replace);
// Puts PLAY and PLAYER first on the tape (or in the place of tonebake's
// own), every other file after them as it was.
// The volume tables of tonebake's PLAYER on the tape, as on a disk.
bool PlayerTablesOn(const TapeImage& tape, player::KnownTables& known);

DiskExit AddPlayer(const Reporter& report, TapeImage& tape, player::PsgProfile profile,
                   bool replace);

// Writes the tape's new bytes to `out`, to be committed alone or with
// others; SaveTape commits it alone.
DiskExit WriteTape(const Reporter& report, const TapeImage& tape, ReplacingFile& out);
DiskExit SaveTape(const Reporter& report, const TapeImage& tape);

}  // namespace tonebake::media

#endif  // TONEBAKE_MEDIA_TAPE_MEDIUM_H
