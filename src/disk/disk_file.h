#ifndef TONEBAKE_DISK_DISK_FILE_H
#define TONEBAKE_DISK_DISK_FILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "d77/d77_image.h"
#include "d77/fbasic_disk.h"

namespace tonebake::disk {

enum DiskExit : int {
  Success = 0,
  BadUsage = 1,
  CannotRead = 2,   // a file cannot be read, or the disk is damaged or not 2D
  Refused = 3,      // the disk cannot take the change, or has no such file
  CannotWrite = 4,  // the disk or an extracted file cannot be written
};

// A disk image file in memory. A file that does not exist can stand for a
// new blank disk.
struct DiskFile {
  std::string path;
  std::vector<std::uint8_t> bytes;
  d77::Disk disk;
};

// Reads and checks the disk at `path`; when it does not exist and
// `createMissing` is set, starts from a blank F-BASIC data disk. Messages
// name the program, the disk and the reason.
DiskExit LoadDisk(const char* program, const std::string& path, bool createMissing, DiskFile& file);

// Replaces the disk file with its new bytes, through a temporary file and a
// rename, so that a failure leaves the old disk whole.
DiskExit SaveDisk(const char* program, const DiskFile& file);

// Why a change was refused, in words.
std::string DescribeRefusal(d77::DiskResult result);

// Reports that `action` ("add", "remove"...) of NAME on the disk at `path`
// was refused, and why; returns the exit code for it.
DiskExit ReportRefusal(const char* program, const std::string& path, const char* action,
                       const std::string& name, d77::DiskResult result);

// Stores `content` as NAME on the disk at `path` (made blank when missing)
// and saves it: the one step tonebake-prep shares.
DiskExit AddToDisk(const char* program, const std::string& path, const std::string& name,
                   const std::vector<std::uint8_t>& content, bool replace);

// The default name of a file on the disk: the base name of `path` without
// its extension, upper-cased and cut to 8 characters (`cut` tells whether it
// was).
std::string DefaultDiskName(const std::string& path, bool& cut);

}  // namespace tonebake::disk

#endif  // TONEBAKE_DISK_DISK_FILE_H
