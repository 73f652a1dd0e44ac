#ifndef TONEBAKE_MEDIA_DISK_MEDIUM_H
#define TONEBAKE_MEDIA_DISK_MEDIUM_H

#include <cstdint>
#include <string>
#include <vector>
#include "media/reporter.h"

#include "d77/d77_image.h"
#include "d77/fbasic_disk.h"
#include "fbasic/file_names.h"
#include "fileio/file_lock.h"
#include "fileio/replacing_file.h"
#include "player/boot_code.h"
#include "player/player_code.h"

namespace tonebake::media {

enum DiskExit : int {
  Success = 0,
  BadUsage = 1,
  CannotRead = 2,   // a file cannot be read, or the disk is damaged or not 2D
  Refused = 3,      // the disk cannot take the change, or has no such file
  CannotWrite = 4,  // the disk or an extracted file cannot be written
};

// A disk image file in memory. A file that does not exist can stand for a
// new blank disk. While it is to be changed, its lock is held, from before
// it is read until its new bytes are in place.
struct DiskFile {
  std::string path;
  std::vector<std::uint8_t> bytes;
  d77::Disk disk;
  FileLock lock;
  bool created = false;  // blank, for a file that did not exist
};

// Stops the run when two of its files are one: `what` names each as the
// usage does ("OUTPUT", "--disk"). Reports it as bad usage.
struct NamedFile {
  const char* what;
  std::string path;
};
bool AnyTwoAreOneFile(const Reporter& report, const std::vector<NamedFile>& files);

// Checks the final flush of standard output, as a run that printed to a
// full disk or a closed pipe has failed. Returns `exit`, or `failure` with
// a message when a run that succeeded could not write its output.
int FinishStandardOutput(const Reporter& report, int exit, int failure);

// Reads and checks the disk at `path`, to be looked at. Messages name the
// report, the disk and the reason.
DiskExit LoadDisk(const Reporter& report, const std::string& path, DiskFile& file);

// What disks and tapes share. MediumExists: whether anything is at `path`.
// ReadMedium: the whole file, or a report that it cannot be read; one of
// more than `maxBytes` (when not 0) is not read at all.
// LockMedium: the lock of the `kind` ("disk", "tape") at `path`, waiting for
// another run and saying so; a lock that cannot be had is reported.
bool MediumExists(const std::string& path);
DiskExit ReadMedium(const Reporter& report, const std::string& path, std::uint32_t maxBytes,
                    std::vector<std::uint8_t>& bytes);
DiskExit LockMedium(const Reporter& report, const std::string& path, const char* kind,
                    FileLock& lock);

// '-': standard input, for a file to add or one extracted.
constexpr const char* kStandardStream = "-";

// A file to add ('-': standard input), of at most `maxBytes` (a larger one
// is refused as `tooLarge` says before it is read), and the name it goes
// by: `given`, or the default from its base name, said when changed.
DiskExit ReadSource(const Reporter& report, const std::string& source, std::uint32_t maxBytes,
                    const std::string& tooLarge, std::vector<std::uint8_t>& content);
std::string NameFor(const Reporter& report, const std::string& source, const std::string* given);

// Takes the lock of the disk at file.path (LockMedium).
DiskExit LockDisk(const Reporter& report, DiskFile& file);

// Takes the disk's lock (waiting for another run, and saying so), then reads
// and checks it; a missing disk starts as a blank F-BASIC data disk.
DiskExit LoadDiskToChange(const Reporter& report, const std::string& path, DiskFile& file);

// Writes the disk's new bytes to `out`, to be committed alone or with other
// files. A disk that was missing is only ever made, never put over one that
// has appeared meanwhile.
DiskExit WriteDisk(const Reporter& report, const DiskFile& file, ReplacingFile& out);

// WriteDisk and commit: the disk is replaced whole, or left as it was.
DiskExit SaveDisk(const Reporter& report, const DiskFile& file);

// Reports a file that cannot be written: "cannot write" and why, and, for
// the disk itself, that it is unchanged.
DiskExit ReportWriteFailure(const Reporter& report, const std::string& path, std::int32_t code,
                            bool isDisk);

// Why a change was refused, in words.
std::string DescribeRefusal(d77::DiskResult result);

// Reports that `action` ("add", "remove"...) of NAME on the disk at `path`
// was refused, and why; returns the exit code for it.
DiskExit ReportRefusal(const Reporter& report, const std::string& path, const char* action,
                       const std::string& name, d77::DiskResult result);

// Whether NAME could be added to the loaded disk, before its content is
// known: a valid name, free or to be replaced, on a disk that may be
// changed. Reports a refusal.
DiskExit CheckAdd(const Reporter& report, const DiskFile& file, const std::string& name,
                  bool replace);

// Stores `content` as NAME on the loaded disk, in memory; reports a refusal.
DiskExit AddContent(const Reporter& report, DiskFile& file, const std::string& name,
                    const std::vector<std::uint8_t>& content, bool replace);

// After a disk or tape was made: says so when its name has no extension,
// which emulators look for (`extension`: ".d77", ".t77"). The name is kept.
void NoteNoExtension(const Reporter& report, const std::string& path, const char* extension);

// Whether the file at `path` is an FM-7 PCM image: one given where a disk
// or tape was expected (the names swapped).
bool IsImageFile(const std::string& path);

// What a file that is not an FM-7 PCM image looks like, for a message:
// "a WAVE file", "a D77 disk image"... or "something else".
std::string WhatItLooksLike(const std::vector<std::uint8_t>& bytes);

// Refuses `content` of `source` unless it is an FM-7 PCM image or `raw` is
// given: a WAVE file added by mistake would only waste the disk.
DiskExit CheckIsImage(const Reporter& report, const std::string& source,
                      const std::vector<std::uint8_t>& content, bool raw);

// The player's files on a disk.
constexpr const char* kPlayerName = "PLAYER";
constexpr const char* kMenuName = "PLAY";

// Whether a sound of `count` samples (its true count) goes in PLAY's list.
// One that PLAY cannot load (none, or more than its room holds) stays on
// the disk or tape but out of the list; with `tell`, a message says so.
bool InPlaysList(const Reporter& report, const std::string& path, const std::string& name,
                 std::uint32_t count, bool tell);

// Warns when LOADM would read the last sample of the image `content` (from
// `source`) as the start of another block: a sample of 00.
void WarnIfLoadmMisreads(const Reporter& report, const std::string& source,
                         const std::vector<std::uint8_t>& content);

// Makes PLAY's list again from the sounds on the loaded disk, when
// tonebake's own PLAYER and PLAY are on it (known by their content, not
// their names). A sound PLAY cannot load stays on the disk but out of the
// list; that is said of the sound just `added` (none when empty), or of
// every such sound with `tellAll`.
DiskExit RefreshPlayMenu(const Reporter& report, DiskFile& file, const std::string& added,
                         bool tellAll = false);

// Whether PLAYER and PLAY may be put on the loaded disk: a file of either
// name that is not tonebake's own is replaced only with `replace`.
DiskExit CheckPlayerMayGo(const Reporter& report, const DiskFile& file, bool replace);

// Puts PLAYER, with the profile's volume tables, and PLAY on the loaded
// disk, in place of tonebake's own (or, with `replace`, of any) there.
// The volume tables of tonebake's PLAYER on the disk, when it has one
// whose tables this or an earlier version made.
bool PlayerTablesOn(const DiskFile& file, player::KnownTables& known);

// When a PLAYER that had tables `had` (hadTables) gets the profile's: the
// sounds chosen for the old tables are best made again.
void TellTablesChange(const Reporter& report, const std::string& path, bool hadTables,
                      const player::KnownTables& had, player::PsgProfile profile);

DiskExit AddPlayer(const Reporter& report, DiskFile& file, player::PsgProfile profile,
                   bool replace);

// What track 0 holds where tonebake's boot program goes: nothing (every
// sector blank, one byte throughout), tonebake's boot program, or something
// else (a system disk's boot program, say).
enum class BootProgram { None, Tonebakes, Other };
BootProgram BootProgramOn(const d77::Disk& disk);

// Whether tonebake's boot program may go on the loaded disk: over nothing
// or its own, over anything else only with `replace`; and PLAYER is
// tonebake's (this version's, or an earlier one beside tonebake's PLAY, to
// be brought up to date with it), or missing with no PLAY of the user's in
// the way. Reports a refusal.
DiskExit CheckBootMayGo(const Reporter& report, const DiskFile& file, bool replace);

// Puts the boot program on the loaded disk, and PLAYER and PLAY, with the
// profile's tables, when PLAYER is missing; an earlier PLAYER is brought up
// to date with PLAY.
DiskExit AddBoot(const Reporter& report, DiskFile& file, player::PsgProfile profile, bool replace);

// Takes tonebake's boot program off the loaded disk, its sectors blank
// (0xFF) again; anything else there is left and the change refused.
DiskExit RemoveBoot(const Reporter& report, DiskFile& file);

// The names of the player and of the menu, never sounds of PLAY's list.
bool IsMenuFileName(const std::string& name);

// The refusal of 'player' where a file of the user's own bears NAME (PLAY
// or PLAYER) on the `medium` ("disk", "tape") at `path`; returns Refused.
DiskExit RefuseUsersMenuFile(const Reporter& report, const std::string& path, const char* medium,
                             const char* name);
// Says that PLAY's list was left as it was: PLAY was edited since tonebake
// wrote it, or PLAYER beside it is not tonebake's.
void TellPlayNotUpdated(const Reporter& report, const std::string& path, bool playEdited);

// Says what adding (or removing) a file of PLAYER's or PLAY's name by hand
// does to the menu; nothing for other names.
void TellAboutMenuFile(const Reporter& report, const std::string& path, const std::string& name,
                       bool removed);

}  // namespace tonebake::media

#endif  // TONEBAKE_MEDIA_DISK_MEDIUM_H
