#include "d77/d77_image.h"

#include <algorithm>

#include "wave/byte_order.h"

namespace tonebake::d77 {
namespace {

void PutLittleEndian16(std::uint8_t* at, std::uint32_t value) {
  WriteLittleEndian16(at, static_cast<std::uint16_t>(value));
}

}  // namespace

std::vector<std::uint8_t> MakeBlank2D(std::uint8_t fill) {
  std::vector<std::uint8_t> image(kBlankDiskSize, 0);
  image[header_offset::kMediaType] = kMedia2D;
  WriteLittleEndian32(&image[header_offset::kDiskSize], kBlankDiskSize);
  for (std::uint32_t track = 0; track < kTracks; ++track) {
    const std::uint32_t trackStart = kHeaderSize + track * kTrackSize;
    WriteLittleEndian32(&image[header_offset::kTrackTable + 4 * track], trackStart);
    for (std::uint32_t index = 0; index < kSectorsPerTrack; ++index) {
      std::uint8_t* sector = &image[trackStart + index * (kSectorHeaderSize + kSectorSize)];
      sector[sector_offset::kCylinder] = static_cast<std::uint8_t>(track / kHeads);
      sector[sector_offset::kHead] = static_cast<std::uint8_t>(track % kHeads);
      sector[sector_offset::kRecord] = static_cast<std::uint8_t>(index + 1);
      sector[sector_offset::kSizeCode] = 1;
      PutLittleEndian16(sector + sector_offset::kSectorCount, kSectorsPerTrack);
      PutLittleEndian16(sector + sector_offset::kDataLength, kSectorSize);
      std::fill(sector + kSectorHeaderSize, sector + kSectorHeaderSize + kSectorSize, fill);
    }
  }
  return image;
}

DiskCheck CheckHeader(const std::uint8_t* header, std::uint64_t fileSize) {
  const std::uint32_t diskSize = ReadLittleEndian32(header + header_offset::kDiskSize);
  if (diskSize < kHeaderSize || diskSize > fileSize) {
    return DiskDamaged;
  }
  if (header[header_offset::kMediaType] != kMedia2D) {
    return DiskNot2D;
  }
  for (std::uint32_t track = 0; track < kTracks; ++track) {
    const std::uint32_t offset =
        ReadLittleEndian32(header + header_offset::kTrackTable + 4 * track);
    if (offset < kHeaderSize || offset >= diskSize) {
      return DiskDamaged;
    }
  }
  return DiskOk;
}

DiskCheck Disk::Open(std::vector<std::uint8_t>& image, bool& more) {
  image_ = &image;
  dataOffsets_.assign(kTracks * kSectorsPerTrack, 0);
  more = false;
  if (image.size() < kHeaderSize) {
    return DiskDamaged;
  }
  if (const DiskCheck header = CheckHeader(image.data(), image.size()); header != DiskOk) {
    return header;
  }
  const std::uint32_t diskSize = ReadLittleEndian32(&image[header_offset::kDiskSize]);
  more = diskSize < image.size();
  repeatsRecords_ = false;
  extents_.clear();
  for (std::uint32_t track = 0; track < kTracks; ++track) {
    const std::uint32_t offset = ReadLittleEndian32(&image[header_offset::kTrackTable + 4 * track]);
    if (!FindSectors(track, offset, diskSize)) {
      return DiskDamaged;
    }
  }
  // Two sectors on the same bytes would make a change to one a change to
  // the other: a file written over the FAT, say.
  return NoSectorsOverlap() ? DiskOk : DiskDamaged;
}

bool Disk::NoSectorsOverlap() {
  std::sort(extents_.begin(), extents_.end());
  for (std::size_t i = 1; i < extents_.size(); ++i) {
    if (extents_[i].first < extents_[i - 1].second) {
      return false;
    }
  }
  return true;
}

// Walks the sectors of one track as their headers chain them, each checked
// to lie inside the disk, and notes where each R's data is. Every R from 1
// to 16 must be there with 256 bytes.
bool Disk::FindSectors(std::uint32_t track, std::uint32_t offset, std::uint32_t diskSize) {
  if (offset < kHeaderSize || offset >= diskSize) {
    return false;  // no track, or one outside the disk
  }
  const std::vector<std::uint8_t>& image = *image_;
  std::uint64_t position = offset;
  std::uint32_t count = kSectorsPerTrack;
  for (std::uint32_t index = 0; index < count; ++index) {
    if (position + kSectorHeaderSize > diskSize) {
      return false;
    }
    const std::uint8_t* header = &image[position];
    if (index == 0) {
      count = ReadLittleEndian16(header + sector_offset::kSectorCount);
      if (count == 0 || count > 64) {
        return false;
      }
    }
    const std::uint32_t length = ReadLittleEndian16(header + sector_offset::kDataLength);
    const std::uint32_t r = header[sector_offset::kRecord];
    if (position + kSectorHeaderSize + length > diskSize ||
        header[sector_offset::kCylinder] != track / kHeads ||
        header[sector_offset::kHead] != track % kHeads) {
      return false;
    }
    const auto end = static_cast<std::uint32_t>(position + kSectorHeaderSize + length);
    extents_.emplace_back(static_cast<std::uint32_t>(position), end);
    if (r >= 1 && r <= kSectorsPerTrack && length == kSectorSize) {
      std::uint32_t& data = dataOffsets_[track * kSectorsPerTrack + r - 1];
      repeatsRecords_ = repeatsRecords_ || data != 0;
      data = static_cast<std::uint32_t>(position + kSectorHeaderSize);
    }
    position = end;
  }
  for (std::uint32_t r = 0; r < kSectorsPerTrack; ++r) {
    if (dataOffsets_[track * kSectorsPerTrack + r] == 0) {
      return false;
    }
  }
  return true;
}

bool Disk::writeProtected() const {
  // 0x10 is the mark; any other nonzero value is read as protected too, to
  // be safe.
  return (*image_)[header_offset::kWriteProtect] != 0;
}

std::uint8_t* Disk::Sector(std::uint32_t cylinder, std::uint32_t head, std::uint32_t r) const {
  const std::uint32_t track = cylinder * kHeads + head;
  return image_->data() + dataOffsets_[track * kSectorsPerTrack + r - 1];
}

}  // namespace tonebake::d77
