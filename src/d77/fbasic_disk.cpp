#include "d77/fbasic_disk.h"

#include <algorithm>
#include <cstring>

namespace tonebake::d77 {
namespace {

// Where the system data lies: the ID sector on cylinder 0, the FAT and the
// directory on cylinder 1.
constexpr std::uint32_t kIdSector = 3;  // cylinder 0, head 0
constexpr std::uint32_t kSystemCylinder = 1;
constexpr std::uint32_t kFatSector = 1;             // head 0
constexpr std::uint32_t kFatFirstEntry = 5;         // the entry of cluster 0
constexpr std::uint32_t kFirstDirectorySector = 4;  // head 0, then all of head 1
constexpr std::uint32_t kDirectorySectorsHead0 = kSectorsPerTrack - kFirstDirectorySector + 1;
constexpr std::uint32_t kEntrySize = 32;
constexpr std::uint32_t kEntriesPerSector = kSectorSize / kEntrySize;
constexpr std::uint32_t kFirstDataCylinder = 2;

// FAT values.
constexpr std::uint8_t kFree = 0xFF;
constexpr std::uint8_t kLastCluster = 0xC0;  // + the sectors used, less one
constexpr std::uint8_t kHighestCluster = kClusters - 1;

// Directory entry fields.
namespace entry_offset {
constexpr std::uint32_t kName = 0;
constexpr std::uint32_t kType = 11;
constexpr std::uint32_t kAscii = 12;
constexpr std::uint32_t kFirstCluster = 14;
constexpr std::uint32_t kReserved = 16;  // to the end: 0xFF
}  // namespace entry_offset
constexpr std::uint8_t kNeverUsed = 0xFF;
constexpr std::uint8_t kDeleted = 0x00;
constexpr std::uint8_t kAsciiMark = 0xFF;
constexpr std::uint8_t kEndOfFile = 0x1A;

std::uint8_t* Fat(const Disk& disk) {
  return disk.Sector(kSystemCylinder, 0, kFatSector) + kFatFirstEntry;
}

std::uint8_t* Entry(const Disk& disk, std::uint32_t index) {
  const std::uint32_t sector = index / kEntriesPerSector;
  std::uint8_t* data = sector < kDirectorySectorsHead0
                           ? disk.Sector(kSystemCylinder, 0, kFirstDirectorySector + sector)
                           : disk.Sector(kSystemCylinder, 1, 1 + sector - kDirectorySectorsHead0);
  return data + (index % kEntriesPerSector) * kEntrySize;
}

bool InUse(const std::uint8_t* entry) {
  return entry[0] != kNeverUsed && entry[0] != kDeleted;
}

std::string EntryName(const std::uint8_t* entry) {
  std::string name(reinterpret_cast<const char*>(entry + entry_offset::kName), kNameLength);
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

// Sector k (0 to 7) of a cluster.
std::uint8_t* ClusterSector(const Disk& disk, std::uint32_t cluster, std::uint32_t k) {
  return disk.Sector(kFirstDataCylinder + cluster / 4, (cluster / 2) % 2,
                     1 + kSectorsPerCluster * (cluster % 2) + k);
}

// The clusters of a chain, in order, and the sectors used in the last one.
// False when the chain loops, leaves the disk or ends in a free or unknown
// entry.
bool FollowChain(const std::uint8_t* fat, std::uint32_t first, std::vector<std::uint8_t>& chain,
                 std::uint32_t& lastSectors) {
  chain.clear();
  bool seen[kClusters] = {};
  for (std::uint32_t cluster = first;;) {
    if (cluster > kHighestCluster || seen[cluster]) {
      return false;
    }
    seen[cluster] = true;
    chain.push_back(static_cast<std::uint8_t>(cluster));
    const std::uint8_t next = fat[cluster];
    if (next >= kLastCluster && next < kLastCluster + kSectorsPerCluster) {
      lastSectors = next - kLastCluster + 1u;
      return true;
    }
    cluster = next;  // a free mark or any other value fails the test above
  }
}

// The entry named `name`, or kDirectoryEntries.
std::uint32_t FindEntry(const Disk& disk, const std::string& name) {
  for (std::uint32_t index = 0; index < kDirectoryEntries; ++index) {
    const std::uint8_t* entry = Entry(disk, index);
    if (InUse(entry) && EntryName(entry) == name) {
      return index;
    }
  }
  return kDirectoryEntries;
}

std::uint32_t FreeEntry(const Disk& disk) {
  for (std::uint32_t index = 0; index < kDirectoryEntries; ++index) {
    if (!InUse(Entry(disk, index))) {
      return index;
    }
  }
  return kDirectoryEntries;
}

// The length of an FM-7 PCM image at the start of `sectors` (whole sectors
// of a file), or 0. The image is followed by 0x1A and zeros, or fills its
// last sector exactly.
std::size_t PcmImageLength(const std::vector<std::uint8_t>& sectors) {
  std::size_t end = sectors.size();
  while (end > 0 && sectors[end - 1] == 0) {
    --end;
  }
  const std::size_t candidates[] = {end > 0 && sectors[end - 1] == kEndOfFile ? end - 1 : 0,
                                    sectors.size()};
  static const std::uint8_t kTrailer[] = {0xFF, 0x00, 0x00, 0x00, 0x00};
  for (const std::size_t length : candidates) {
    if (length < 11 || length + kSectorSize <= sectors.size()) {
      continue;  // too short, or not ending in the last sector
    }
    const std::uint32_t count = sectors[1] * 256u + sectors[2];
    if (sectors[0] == 0 && sectors[3] == 0 && sectors[4] == 0 &&
        ((length - 11) & 0xFFFF) == count &&
        std::memcmp(&sectors[length - sizeof kTrailer], kTrailer, sizeof kTrailer) == 0) {
      return length;
    }
  }
  return 0;
}

// Whether the disk may be changed: writable, and every file's clusters its
// own, so that a change to one file cannot reach another or the system data.
DiskResult CheckChangeable(const Disk& disk) {
  if (disk.writeProtected()) {
    return WriteProtectedDisk;
  }
  if (disk.repeatsRecords()) {
    return SectorRepeated;
  }
  bool owned[kClusters] = {};
  std::vector<std::uint8_t> chain;
  for (std::uint32_t index = 0; index < kDirectoryEntries; ++index) {
    const std::uint8_t* entry = Entry(disk, index);
    std::uint32_t last = 0;
    if (!InUse(entry)) {
      continue;
    }
    if (!FollowChain(Fat(disk), entry[entry_offset::kFirstCluster], chain, last)) {
      return ChainDamaged;
    }
    for (const std::uint8_t cluster : chain) {
      if (owned[cluster]) {
        return ClustersShared;
      }
      owned[cluster] = true;
    }
  }
  return DiskDone;
}

struct Form {
  std::uint8_t type;
  bool ascii;  // ASCII text always ends in 0x1A; binary data only short of a sector
};
constexpr Form kMachineLanguage = {fbasic::MachineLanguage, false};
constexpr Form kAsciiBasic = {fbasic::BasicProgram, true};

// The access byte after the ASCII mark stays 0x00: sequential.
void WriteEntry(std::uint8_t* entry, const std::string& name, std::uint8_t firstCluster,
                Form form) {
  std::memset(entry, 0, kEntrySize);
  std::memset(entry + entry_offset::kName, ' ', kNameLength);
  std::memcpy(entry + entry_offset::kName, name.data(), name.size());
  entry[entry_offset::kType] = form.type;
  entry[entry_offset::kAscii] = form.ascii ? kAsciiMark : 0x00;
  entry[entry_offset::kFirstCluster] = firstCluster;
  std::memset(entry + entry_offset::kReserved, 0xFF, kEntrySize - entry_offset::kReserved);
}

// Writes `content` into the clusters of `chain`: the bytes, then 0x1A and
// zeros to the end of the last sector used.
void WriteContent(const Disk& disk, const std::vector<std::uint8_t>& chain,
                  const std::vector<std::uint8_t>& content, std::uint32_t sectors) {
  for (std::uint32_t s = 0; s < sectors; ++s) {
    std::uint8_t* data = ClusterSector(disk, chain[s / kSectorsPerCluster], s % kSectorsPerCluster);
    const std::size_t start = std::size_t{s} * kSectorSize;
    const std::size_t take = std::min<std::size_t>(kSectorSize, content.size() - start);
    // std::copy, unlike memcpy, takes the null data of an empty file.
    std::copy(content.begin() + static_cast<std::ptrdiff_t>(start),
              content.begin() + static_cast<std::ptrdiff_t>(start + take), data);
    if (take < kSectorSize) {
      data[take] = kEndOfFile;
      std::memset(data + take + 1, 0, kSectorSize - take - 1);
    }
  }
}

DiskResult AddForm(const Disk& disk, const std::string& name,
                   const std::vector<std::uint8_t>& content, bool replace, Form form);

}  // namespace

std::vector<std::uint8_t> MakeBlankDataDisk() {
  std::vector<std::uint8_t> image = MakeBlank2D(0xFF);
  Disk disk;
  bool more = false;
  disk.Open(image, more);
  std::uint8_t* id = disk.Sector(0, 0, kIdSector);
  std::memset(id, 0, kSectorSize);
  id[0] = 'S';
  id[1] = ' ';
  id[2] = ' ';
  disk.Sector(kSystemCylinder, 0, kFatSector)[0] = 0x00;
  return image;
}

DiskResult ListFiles(const Disk& disk, std::vector<FileEntry>& files) {
  files.clear();
  std::vector<std::uint8_t> chain;
  for (std::uint32_t index = 0; index < kDirectoryEntries; ++index) {
    const std::uint8_t* entry = Entry(disk, index);
    if (!InUse(entry)) {
      continue;
    }
    std::uint32_t last = 0;
    if (!FollowChain(Fat(disk), entry[entry_offset::kFirstCluster], chain, last)) {
      return ChainDamaged;
    }
    FileEntry file;
    file.name = EntryName(entry);
    file.type = entry[entry_offset::kType];
    file.ascii = entry[entry_offset::kAscii] == kAsciiMark;
    file.sectors = static_cast<std::uint32_t>(chain.size() - 1) * kSectorsPerCluster + last;
    files.push_back(file);
  }
  return DiskDone;
}

std::uint32_t FreeClusters(const Disk& disk) {
  const std::uint8_t* fat = Fat(disk);
  return static_cast<std::uint32_t>(std::count(fat, fat + kClusters, kFree));
}

DiskResult AddFile(const Disk& disk, const std::string& name,
                   const std::vector<std::uint8_t>& content, bool replace) {
  return AddForm(disk, name, content, replace, kMachineLanguage);
}

DiskResult AddAsciiBasic(const Disk& disk, const std::string& name, const std::string& text,
                         bool replace) {
  return AddForm(disk, name, std::vector<std::uint8_t>(text.begin(), text.end()), replace,
                 kAsciiBasic);
}

namespace {

DiskResult AddForm(const Disk& disk, const std::string& name,
                   const std::vector<std::uint8_t>& content, bool replace, Form form) {
  if (disk.writeProtected()) {
    return WriteProtectedDisk;
  }
  if (!fbasic::IsValidName(name)) {
    return NameNotAllowed;
  }
  // Everything is planned on a copy of the FAT; the disk changes only once
  // nothing can refuse any more.
  std::uint8_t fat[kClusters];
  std::memcpy(fat, Fat(disk), kClusters);
  std::uint32_t index = FindEntry(disk, name);
  if (index < kDirectoryEntries) {
    if (!replace) {
      return NameTaken;
    }
    std::vector<std::uint8_t> old;
    std::uint32_t last = 0;
    if (!FollowChain(fat, Entry(disk, index)[entry_offset::kFirstCluster], old, last)) {
      return ChainDamaged;
    }
    for (const std::uint8_t cluster : old) {
      fat[cluster] = kFree;
    }
  } else if ((index = FreeEntry(disk)) == kDirectoryEntries) {
    return NoFreeEntry;
  }
  if (const DiskResult changeable = CheckChangeable(disk); changeable != DiskDone) {
    return changeable;
  }
  // Whole sectors for the bytes, and room for the end mark when they do not
  // fill the last one (always, for text); an empty file still takes a
  // sector for its mark.
  const std::size_t marked = content.size() + (form.ascii ? 1 : 0);
  const auto sectors = static_cast<std::uint32_t>(
      std::max<std::size_t>((marked + kSectorSize - 1) / kSectorSize, content.empty() ? 1 : 0));
  const std::uint32_t clustersNeeded = (sectors + kSectorsPerCluster - 1) / kSectorsPerCluster;
  std::vector<std::uint8_t> chain;
  for (std::uint32_t cluster = 0; cluster < kClusters && chain.size() < clustersNeeded; ++cluster) {
    if (fat[cluster] == kFree) {
      chain.push_back(static_cast<std::uint8_t>(cluster));
    }
  }
  if (chain.size() < clustersNeeded) {
    return NoFreeClusters;
  }
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
    fat[chain[i]] = chain[i + 1];
  }
  fat[chain.back()] = static_cast<std::uint8_t>(kLastCluster + (sectors - 1) % kSectorsPerCluster);
  WriteContent(disk, chain, content, sectors);
  std::memcpy(Fat(disk), fat, kClusters);
  WriteEntry(Entry(disk, index), name, chain.front(), form);
  return DiskDone;
}

}  // namespace

DiskResult RemoveFile(const Disk& disk, const std::string& name) {
  if (disk.writeProtected()) {
    return WriteProtectedDisk;
  }
  const std::uint32_t index = FindEntry(disk, name);
  if (index == kDirectoryEntries) {
    return NameNotFound;
  }
  if (const DiskResult changeable = CheckChangeable(disk); changeable != DiskDone) {
    return changeable;
  }
  std::uint8_t* entry = Entry(disk, index);
  std::vector<std::uint8_t> chain;
  std::uint32_t last = 0;
  if (!FollowChain(Fat(disk), entry[entry_offset::kFirstCluster], chain, last)) {
    return ChainDamaged;
  }
  for (const std::uint8_t cluster : chain) {
    Fat(disk)[cluster] = kFree;
  }
  entry[0] = kDeleted;
  return DiskDone;
}

DiskResult ReadFile(const Disk& disk, const std::string& name, std::vector<std::uint8_t>& content) {
  content.clear();
  const std::uint32_t index = FindEntry(disk, name);
  if (index == kDirectoryEntries) {
    return NameNotFound;
  }
  std::vector<std::uint8_t> chain;
  std::uint32_t last = 0;
  if (!FollowChain(Fat(disk), Entry(disk, index)[entry_offset::kFirstCluster], chain, last)) {
    return ChainDamaged;
  }
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const std::uint32_t used = i + 1 < chain.size() ? kSectorsPerCluster : last;
    for (std::uint32_t k = 0; k < used; ++k) {
      const std::uint8_t* data = ClusterSector(disk, chain[i], k);
      content.insert(content.end(), data, data + kSectorSize);
    }
  }
  if (const std::size_t length = PcmImageLength(content); length > 0) {
    content.resize(length);
  }
  return DiskDone;
}

DiskResult WriteTrackZero(const Disk& disk, std::uint32_t head, std::uint32_t first,
                          const std::vector<std::uint8_t>& bytes) {
  const auto count = static_cast<std::uint32_t>(bytes.size() / kSectorSize);
  const bool holdsId = head == 0 && first <= kIdSector && kIdSector < first + count;
  if (head >= kHeads || first == 0 || first + count > kSectorsPerTrack + 1 ||
      bytes.size() % kSectorSize != 0 || holdsId) {
    return NotOutsideFiles;
  }
  if (const DiskResult changeable = CheckChangeable(disk); changeable != DiskDone) {
    return changeable;
  }
  for (std::uint32_t k = 0; k < count; ++k) {
    std::memcpy(disk.Sector(0, head, first + k), &bytes[k * kSectorSize], kSectorSize);
  }
  return DiskDone;
}

}  // namespace tonebake::d77
