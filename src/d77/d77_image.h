#ifndef TONEBAKE_D77_D77_IMAGE_H
#define TONEBAKE_D77_D77_IMAGE_H

#include <cstdint>
#include <utility>
#include <vector>

// The D77 disk-image container that FM-7 emulators and disk-copy tools use:
// a 0x2B0-byte header, then tracks of sectors, each sector a 16-byte header
// and its data. Numbers are little-endian. Works on bytes in memory only.
namespace tonebake::d77 {

// The header: a disk name of 16 bytes and a NUL, 9 reserved bytes, then:
namespace header_offset {
constexpr std::uint32_t kWriteProtect = 0x1A;
constexpr std::uint32_t kMediaType = 0x1B;
constexpr std::uint32_t kDiskSize = 0x1C;
constexpr std::uint32_t kTrackTable = 0x20;  // 164 offsets of 32 bits; 0: no track
}  // namespace header_offset

namespace sector_offset {
constexpr std::uint32_t kCylinder = 0;
constexpr std::uint32_t kHead = 1;
constexpr std::uint32_t kRecord = 2;       // R, 1 to 16
constexpr std::uint32_t kSizeCode = 3;     // N: 1 for 256 bytes
constexpr std::uint32_t kSectorCount = 4;  // 16 bits: sectors in the track
// Density, deleted mark and status follow, all 0 here, and 5 reserved bytes.
constexpr std::uint32_t kDataLength = 14;  // 16 bits
}  // namespace sector_offset

constexpr std::uint32_t kHeaderSize = 0x2B0;
constexpr std::uint8_t kMedia2D = 0x00;

// A 2D disk: 40 cylinders, 2 heads, 16 sectors of 256 bytes a track.
constexpr std::uint32_t kCylinders = 40;
constexpr std::uint32_t kHeads = 2;
constexpr std::uint32_t kTracks = kCylinders * kHeads;
constexpr std::uint32_t kSectorsPerTrack = 16;
constexpr std::uint32_t kSectorSize = 256;
constexpr std::uint32_t kSectorHeaderSize = 16;
constexpr std::uint32_t kTrackSize = kSectorsPerTrack * (kSectorHeaderSize + kSectorSize);
constexpr std::uint32_t kBlankDiskSize = kHeaderSize + kTracks * kTrackSize;  // 348,848

enum DiskCheck : int {
  DiskOk,
  DiskDamaged,  // sizes or offsets outside the file, sectors that overlap, a
                // sector missing or on the wrong track
  DiskNot2D,    // a media type other than 2D
};

// What the header (kHeaderSize bytes) of a file of `fileSize` bytes says
// of the first disk in it, before the rest is read: its size within the
// file, a 2D disk, every track inside it.
DiskCheck CheckHeader(const std::uint8_t* header, std::uint64_t fileSize);

// An empty 2D disk in which every sector holds `fill`.
std::vector<std::uint8_t> MakeBlank2D(std::uint8_t fill);

// A checked 2D disk: where each sector's data lies, by cylinder, head and
// R (never by position in the track, which need not follow R).
class Disk {
 public:
  // Checks `image` (which must outlive the Disk) and finds every sector.
  // Only the first disk of a file holding several is used; `more` tells
  // whether bytes follow it.
  DiskCheck Open(std::vector<std::uint8_t>& image, bool& more);

  bool writeProtected() const;
  // A track holds two sectors with one R: which of them F-BASIC reads is
  // not known, so the disk can be read but is not to be changed.
  bool repeatsRecords() const { return repeatsRecords_; }
  // The 256 bytes of a sector; r from 1 to 16.
  std::uint8_t* Sector(std::uint32_t cylinder, std::uint32_t head, std::uint32_t r) const;

 private:
  bool FindSectors(std::uint32_t track, std::uint32_t offset, std::uint32_t diskSize);
  bool NoSectorsOverlap();

  std::vector<std::uint8_t>* image_ = nullptr;
  bool repeatsRecords_ = false;
  // Where every sector lies, header included: [start, end) pairs.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> extents_;
  std::vector<std::uint32_t> dataOffsets_;  // [track * 16 + r - 1]
};

}  // namespace tonebake::d77

#endif  // TONEBAKE_D77_D77_IMAGE_H
