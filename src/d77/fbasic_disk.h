#ifndef TONEBAKE_D77_FBASIC_DISK_H
#define TONEBAKE_D77_FBASIC_DISK_H

#include <cstdint>
#include <string>
#include <vector>

#include "d77/d77_image.h"
#include "fbasic/file_names.h"
#include "fbasic/file_types.h"

// The file system of an F-BASIC data disk on a 2D D77 image: an ID sector,
// a FAT of 152 clusters of 8 sectors (2 KiB), and a directory of 232
// entries. Works on bytes in memory only.
namespace tonebake::d77 {

constexpr std::uint32_t kClusters = 152;
constexpr std::uint32_t kSectorsPerCluster = 8;
constexpr std::uint32_t kClusterSize = kSectorsPerCluster * kSectorSize;
constexpr std::uint32_t kDirectoryEntries = 232;
constexpr std::uint32_t kNameLength = fbasic::kNameLength;

enum DiskResult : int {
  DiskDone,
  NameNotAllowed,  // empty, longer than 8, or characters F-BASIC cannot take
  NameTaken,       // on the disk already (and no replacing asked for)
  NameNotFound,
  NoFreeClusters,  // the file does not fit in the free space
  NoFreeEntry,     // the directory is full
  ChainDamaged,    // a FAT chain loops, ends nowhere or leaves the disk
  WriteProtectedDisk,
  ClustersShared,   // two files' chains cross: a change to one would change the other
  SectorRepeated,   // a track holds two sectors with one R
  NotOutsideFiles,  // sectors of track 0 that are the ID sector or not on the disk
};

struct FileEntry {
  std::string name;  // without its padding
  std::uint8_t type = 0;
  bool ascii = false;
  std::uint32_t sectors = 0;  // what its FAT chain uses
};

// A blank F-BASIC data disk: every sector 0xFF but the ID sector and the
// FAT.
std::vector<std::uint8_t> MakeBlankDataDisk();

// Every file on the disk, in directory order.
DiskResult ListFiles(const Disk& disk, std::vector<FileEntry>& files);
std::uint32_t FreeClusters(const Disk& disk);

// Stores `content` as a binary machine-language file. With `replace`, a
// file of that name is removed first (its clusters freed). On any refusal
// the disk is unchanged. Neither it nor RemoveFile changes a disk that is
// write-protected or not whole: chains that are damaged or cross, or a
// sector number repeated in a track.
DiskResult AddFile(const Disk& disk, const std::string& name,
                   const std::vector<std::uint8_t>& content, bool replace);
// Stores `text` as an ASCII BASIC program (type 0, ASCII, sequential): the
// text, then 0x1A, then zeros to the end of the sector.
DiskResult AddAsciiBasic(const Disk& disk, const std::string& name, const std::string& text,
                         bool replace);
DiskResult RemoveFile(const Disk& disk, const std::string& name);

// Cylinder 0 is outside the FAT: the boot sector (head 0, sector 1), the
// ID sector (head 0, sector 3), and sectors no file uses, where a boot
// program may keep more of itself. Writes `bytes` (whole sectors) there from
// sector `first` of `head` on; never over the ID sector, and never on a
// disk AddFile would not change.
DiskResult WriteTrackZero(const Disk& disk, std::uint32_t head, std::uint32_t first,
                          const std::vector<std::uint8_t>& bytes);

// The content of a file: for an FM-7 PCM image stored by AddFile, exactly
// its bytes; for any other file, its whole sectors.
DiskResult ReadFile(const Disk& disk, const std::string& name, std::vector<std::uint8_t>& content);

}  // namespace tonebake::d77

#endif  // TONEBAKE_D77_FBASIC_DISK_H
