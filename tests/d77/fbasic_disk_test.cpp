// Disks are built here from the format's facts, never copied from elsewhere;
// expected bytes come from those facts, not from the code under test.
#include "d77/fbasic_disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace tonebake::d77 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Where sector (c, h, r) of a freshly made disk keeps its data: tracks in
// order after the 0x2B0-byte header, sectors in R order, each 16 + 256 bytes.
std::size_t DataAt(std::uint32_t c, std::uint32_t h, std::uint32_t r) {
  return 0x2B0 + (c * 2 + h) * 16 * 272 + (r - 1) * 272 + 16;
}

Bytes Sector(const Bytes& image, std::uint32_t c, std::uint32_t h, std::uint32_t r) {
  const std::size_t at = DataAt(c, h, r);
  return Bytes(image.begin() + static_cast<std::ptrdiff_t>(at),
               image.begin() + static_cast<std::ptrdiff_t>(at + 256));
}

std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// An FM-7 PCM image of `count` samples, as tonebake writes it.
Bytes PcmImage(std::size_t count) {
  Bytes image{0x00, static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count), 0, 0,
              16};
  for (std::size_t i = 0; i < count; ++i) {
    image.push_back(static_cast<std::uint8_t>(0x80 + i % 37));
  }
  image.insert(image.end(), {0xFF, 0, 0, 0, 0});
  return image;
}

class DataDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    image = MakeBlankDataDisk();
    bool more = true;
    ASSERT_EQ(disk.Open(image, more), DiskOk);
    EXPECT_FALSE(more);
  }
  Bytes Read(const std::string& name) {
    Bytes content;
    EXPECT_EQ(ReadFile(disk, name, content), DiskDone) << name;
    return content;
  }
  // FAT entry of a cluster: bytes 5.. of cylinder 1, head 0, sector 1.
  std::uint8_t FatEntry(std::uint32_t cluster) const {
    return image[DataAt(1, 0, 1) + 5 + cluster];
  }

  Bytes image;
  Disk disk;
};

TEST_F(DataDisk, BlankDiskHasTheFormatsBytes) {
  ASSERT_EQ(image.size(), 348848u);
  EXPECT_EQ(Le32(image, 0x1C), 348848u);  // total size
  EXPECT_EQ(image[0x1A], 0x00);           // not write-protected
  EXPECT_EQ(image[0x1B], 0x00);           // 2D
  EXPECT_EQ(Le32(image, 0x20), 0x2B0u);   // track 0 right after the header
  EXPECT_EQ(Le32(image, 0x20 + 4 * 79), 0x2B0u + 79 * 16 * 272);
  EXPECT_EQ(Le32(image, 0x20 + 4 * 80), 0u);  // no track 80
  Bytes id(256, 0);
  id[0] = 'S', id[1] = ' ', id[2] = ' ';
  EXPECT_EQ(Sector(image, 0, 0, 3), id);
  Bytes fat(256, 0xFF);
  fat[0] = 0x00;
  EXPECT_EQ(Sector(image, 1, 0, 1), fat);
  for (std::uint32_t r = 4; r <= 16; ++r) {
    EXPECT_EQ(Sector(image, 1, 0, r), Bytes(256, 0xFF)) << r;
  }
  EXPECT_EQ(Sector(image, 39, 1, 16), Bytes(256, 0xFF));
  // A sector's header: C, H, R, N, 16 sectors, then its data length.
  const std::size_t header = DataAt(39, 1, 16) - 16;
  EXPECT_EQ(Bytes(image.begin() + static_cast<std::ptrdiff_t>(header),
                  image.begin() + static_cast<std::ptrdiff_t>(header + 16)),
            (Bytes{39, 1, 16, 1, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x01}));
  EXPECT_EQ(FreeClusters(disk), 152u);
}

TEST_F(DataDisk, ImagesComeBackExactlyAsAdded) {
  // One sample; one that fills a cluster exactly (2048 bytes, no room for
  // the end mark); and one over several clusters.
  const struct {
    const char* name;
    Bytes content;
    std::uint32_t sectors;
  } cases[] = {
      {"ONE", PcmImage(1), 1},
      {"CLUSTER", PcmImage(2048 - 11), 8},
      {"LONG", PcmImage(5000), 20},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(AddFile(disk, c.name, c.content, false), DiskDone) << c.name;
  }
  std::vector<FileEntry> files;
  ASSERT_EQ(ListFiles(disk, files), DiskDone);
  ASSERT_EQ(files.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Read(cases[i].name), cases[i].content) << cases[i].name;
    EXPECT_EQ(files[i].name, cases[i].name);
    EXPECT_EQ(files[i].type, 2);  // machine language
    EXPECT_FALSE(files[i].ascii);
    EXPECT_EQ(files[i].sectors, cases[i].sectors) << cases[i].name;
  }
  // The first file: cluster 0 (cylinder 2, head 0, sectors 1-8); its one
  // sector is the image, 0x1A, then zeros; the FAT marks one sector used.
  Bytes first = PcmImage(1);
  first.push_back(0x1A);
  first.resize(256, 0);
  EXPECT_EQ(Sector(image, 2, 0, 1), first);
  EXPECT_EQ(image[DataAt(2, 0, 2) - 16], 2);  // the next sector's header is untouched
  EXPECT_EQ(FatEntry(0), 0xC0);
  // The exact cluster: cluster 1 (sectors 9-16), all 8 sectors, no mark.
  EXPECT_EQ(FatEntry(1), 0xC7);
  // The long one, 20 sectors: clusters 2 and 3 (cylinder 2, head 1), then
  // cluster 4 with 4 of its 8 sectors.
  EXPECT_EQ(FatEntry(2), 3);
  EXPECT_EQ(FatEntry(3), 4);
  EXPECT_EQ(FatEntry(4), 0xC3);
  // Directory entry 2: name, padding, type 2, binary, cluster 2, 0xFF.
  const Bytes directory = Sector(image, 1, 0, 4);
  const Bytes entry(directory.begin() + 64, directory.begin() + 96);
  Bytes expected{'L', 'O', 'N', 'G', ' ', ' ', ' ', ' ', 0, 0, 0, 2, 0, 0, 2, 0};
  expected.resize(32, 0xFF);
  EXPECT_EQ(entry, expected);
  EXPECT_EQ(FreeClusters(disk), 147u);
  // An ASCII file, marked so by hand, is listed as one.
  image[DataAt(1, 0, 4) + 12] = 0xFF;
  ASSERT_EQ(ListFiles(disk, files), DiskDone);
  EXPECT_TRUE(files[0].ascii);
}

// The data of a file that looks like a directory entry is never taken for
// one, even right after the directory's last sector.
TEST_F(DataDisk, DataIsNeverReadAsADirectoryEntry) {
  Bytes ghost{'G', 'H', 'O', 'S', 'T', ' ', ' ', ' ', 0, 0, 0, 2, 0, 0, 0, 0};
  ghost.resize(32, 0xFF);
  ASSERT_EQ(AddFile(disk, "DATA", ghost, false), DiskDone);  // cluster 0
  Bytes content;
  EXPECT_EQ(ReadFile(disk, "GHOST", content), NameNotFound);
  std::vector<FileEntry> files;
  ASSERT_EQ(ListFiles(disk, files), DiskDone);
  EXPECT_EQ(files.size(), 1u);
}

TEST_F(DataDisk, OtherFilesGiveTheirWholeSectors) {
  const Bytes text{'1', '0', ' ', 'P', 'R', 'I', 'N', 'T'};
  ASSERT_EQ(AddFile(disk, "TEXT", text, false), DiskDone);
  Bytes whole = text;
  whole.push_back(0x1A);
  whole.resize(256, 0);
  EXPECT_EQ(Read("TEXT"), whole);
}

// Only a whole, well-formed image is cut back to its bytes; anything that
// merely looks like one comes back as its whole sectors.
TEST_F(DataDisk, OnlyWholeImagesAreCutToTheirLength) {
  const auto changed = [](std::size_t at, std::uint8_t value) {
    Bytes near = PcmImage(20);
    near[at] = value;
    return near;
  };
  const struct {
    const char* name;
    Bytes content;
    bool isImage;
  } cases[] = {
      {"EMPTY", PcmImage(0), true},
      {"FIRST", changed(0, 1), false},
      {"THIRD", changed(3, 1), false},
      {"FOURTH", changed(4, 1), false},
      {"COUNT", changed(2, 21), false},
      {"TRAILER", changed(26, 0xFE), false},
      {"TEN", Bytes{0, 0xFF, 0xFF, 0, 0, 0xFF, 0, 0, 0, 0}, false},  // "count" -1, 10 bytes
      {"ZEROS", Bytes(256, 0), false},
      {"NOTHING", Bytes(), false},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(AddFile(disk, c.name, c.content, false), DiskDone) << c.name;
  }
  Bytes content{1, 2, 3};  // whatever was there before is replaced
  for (const auto& c : cases) {
    ASSERT_EQ(ReadFile(disk, c.name, content), DiskDone) << c.name;
    Bytes whole = c.content;
    if (whole.size() % 256 != 0 || whole.empty()) {
      whole.push_back(0x1A);
      whole.resize((whole.size() + 255) / 256 * 256, 0);
    }
    EXPECT_EQ(content, c.isImage ? c.content : whole) << c.name;
  }
  // An image whose end mark is not 0x1A is not cut either.
  ASSERT_EQ(AddFile(disk, "MARK", PcmImage(20), false), DiskDone);
  std::vector<FileEntry> files;
  ASSERT_EQ(ListFiles(disk, files), DiskDone);
  EXPECT_EQ(files.back().sectors, 1u);
  EXPECT_EQ(files[std::size(cases) - 1].sectors, 1u);  // an empty file takes one sector
  // The tenth file takes cluster 9: cylinder 4, head 0, sectors 9-16.
  const std::size_t markAt = DataAt(4, 0, 9) + 31;
  ASSERT_EQ(image[markAt], 0x1A);
  image[markAt] = 0x1B;
  EXPECT_EQ(ReadFile(disk, "MARK", content), DiskDone);
  EXPECT_EQ(content.size(), 256u);
}

// A well-formed image that ends a sector before an extra sector holding only
// the end mark is not cut: an image always ends in its last sector.
TEST_F(DataDisk, AnImageEndsInItsLastSector) {
  ASSERT_EQ(AddFile(disk, "ODD", Bytes(300, 0x55), false), DiskDone);  // two sectors
  const Bytes oneSector = PcmImage(256 - 11);
  std::copy(oneSector.begin(), oneSector.end(), &image[DataAt(2, 0, 1)]);
  std::fill_n(&image[DataAt(2, 0, 2)], 256, 0);
  image[DataAt(2, 0, 2)] = 0x1A;
  Bytes content;
  ASSERT_EQ(ReadFile(disk, "ODD", content), DiskDone);
  EXPECT_EQ(content.size(), 512u);
}

TEST_F(DataDisk, NewFilesTakeDeletedEntriesAndFreeClusters) {
  ASSERT_EQ(AddFile(disk, "A", PcmImage(3000), false), DiskDone);  // clusters 0, 1
  ASSERT_EQ(AddFile(disk, "B", PcmImage(10), false), DiskDone);    // cluster 2
  ASSERT_EQ(RemoveFile(disk, "A"), DiskDone);
  EXPECT_EQ(Sector(image, 1, 0, 4)[0], 0x00);  // entry 0 deleted
  EXPECT_EQ(FatEntry(0), 0xFF);
  EXPECT_EQ(FatEntry(1), 0xFF);
  ASSERT_EQ(AddFile(disk, "C", PcmImage(2500), false), DiskDone);
  EXPECT_EQ(Sector(image, 1, 0, 4)[0], 'C');  // the deleted entry again
  EXPECT_EQ(FatEntry(0), 1);
  EXPECT_EQ(Read("C"), PcmImage(2500));
  EXPECT_EQ(Read("B"), PcmImage(10));
}

TEST_F(DataDisk, ReplacingFreesTheOldChain) {
  ASSERT_EQ(AddFile(disk, "SONG", PcmImage(6000), false), DiskDone);  // 3 clusters
  ASSERT_EQ(AddFile(disk, "SONG", PcmImage(100), true), DiskDone);
  EXPECT_EQ(FreeClusters(disk), 151u);
  EXPECT_EQ(Read("SONG"), PcmImage(100));
  std::vector<FileEntry> files;
  ASSERT_EQ(ListFiles(disk, files), DiskDone);
  EXPECT_EQ(files.size(), 1u);
}

TEST_F(DataDisk, EveryRefusalLeavesTheDiskUnchanged) {
  ASSERT_EQ(AddFile(disk, "OLD", PcmImage(10), false), DiskDone);
  const auto refuses = [this](DiskResult expected, const std::string& name, const Bytes& content,
                              const char* why) {
    const Bytes before = image;
    EXPECT_EQ(AddFile(disk, name, content, false), expected) << why;
    EXPECT_TRUE(image == before) << why;
  };
  refuses(NameTaken, "OLD", PcmImage(1), "name taken");
  refuses(NameNotAllowed, "TOOLONGNAME", PcmImage(1), "9 characters");
  refuses(NameNotAllowed, "A:B", PcmImage(1), "colon");
  refuses(NameNotAllowed, "A B", PcmImage(1), "space");
  refuses(NameNotAllowed, "A\x7F", PcmImage(1), "delete");
  refuses(NameNotAllowed, "A\"", PcmImage(1), "quote");
  EXPECT_TRUE(fbasic::IsValidName("~!A.1_"));
  refuses(NameNotAllowed, "", PcmImage(1), "empty");
  refuses(NoFreeClusters, "BIG", Bytes(151 * 2048 + 1, 0x80), "one byte more than is free");
  // The directory full: 232 entries.
  Bytes full = MakeBlankDataDisk();
  Disk fullDisk;
  bool more = false;
  ASSERT_EQ(fullDisk.Open(full, more), DiskOk);
  // 151 files take clusters 0-150; entries 151-231 are filled by hand. Each
  // file begins with 0x00, which a directory entry read from the wrong
  // sector would take for a free one.
  for (int i = 0; i < 151; ++i) {
    ASSERT_EQ(AddFile(fullDisk, "F" + std::to_string(i), Bytes{0}, false), DiskDone);
  }
  // Entries 0-103 fill head 0's sectors 4-16; entry 104 starts head 1.
  EXPECT_EQ(full[DataAt(1, 0, 16) + 7 * 32], 'F');
  EXPECT_EQ(Bytes(&full[DataAt(1, 1, 1)], &full[DataAt(1, 1, 1) + 5]),
            (Bytes{'F', '1', '0', '4', ' '}));
  for (std::uint32_t i = 151; i < 232; ++i) {
    const std::uint32_t sector = i / 8;
    const std::size_t at = sector < 13 ? DataAt(1, 0, 4 + sector) : DataAt(1, 1, sector - 12);
    std::copy_n(&full[DataAt(1, 0, 4)], 32, &full[at + (i % 8) * 32]);  // a copy of F0
    full[at + (i % 8) * 32] = i == 231 ? 'L' : 'X';
  }
  std::vector<FileEntry> listed;
  ASSERT_EQ(ListFiles(fullDisk, listed), DiskDone);
  ASSERT_EQ(listed.size(), 232u);
  EXPECT_EQ(listed.back().name, "L0");  // entry 231, the last: head 1, sector 16
  const Bytes before = full;
  EXPECT_EQ(AddFile(fullDisk, "NEW", Bytes{}, false), NoFreeEntry);
  EXPECT_TRUE(full == before);
  // Write-protected.
  image[0x1A] = 0x10;
  refuses(WriteProtectedDisk, "NEW", PcmImage(1), "protected");
  EXPECT_EQ(RemoveFile(disk, "OLD"), WriteProtectedDisk);
}

TEST_F(DataDisk, DamagedChainsAreRefused) {
  ASSERT_EQ(AddFile(disk, "LOOP", PcmImage(5000), false), DiskDone);  // clusters 0, 1, 2
  std::uint8_t* fat = &image[DataAt(1, 0, 1) + 5];
  fat[2] = 0;  // back to the first cluster
  Bytes content;
  EXPECT_EQ(ReadFile(disk, "LOOP", content), ChainDamaged);
  fat[2] = 152;  // past cluster 151, even where a last-cluster mark follows
  fat[152] = 0xC0;
  EXPECT_EQ(ReadFile(disk, "LOOP", content), ChainDamaged);
  fat[2] = 151;  // the last cluster is a cluster like any other
  fat[151] = 0xC0;
  EXPECT_EQ(ReadFile(disk, "LOOP", content), DiskDone);
  fat[2] = 152;
  std::vector<FileEntry> files;
  EXPECT_EQ(ListFiles(disk, files), ChainDamaged);
  fat[2] = 0xC8;  // a last cluster of 9 sectors
  EXPECT_EQ(ReadFile(disk, "LOOP", content), ChainDamaged);
  const Bytes before = image;
  EXPECT_EQ(RemoveFile(disk, "LOOP"), ChainDamaged);
  EXPECT_EQ(AddFile(disk, "LOOP", PcmImage(1), true), ChainDamaged);
  EXPECT_TRUE(image == before);
}

TEST(Disk, ReadsSectorsByTheirRNotTheirPlace) {
  Bytes image = MakeBlankDataDisk();
  // Swap the records of R=1 and R=2 on cylinder 1 head 0, headers included.
  const std::size_t first = DataAt(1, 0, 1) - 16;
  std::swap_ranges(image.begin() + static_cast<std::ptrdiff_t>(first),
                   image.begin() + static_cast<std::ptrdiff_t>(first + 272),
                   image.begin() + static_cast<std::ptrdiff_t>(first + 272));
  Disk disk;
  bool more = false;
  ASSERT_EQ(disk.Open(image, more), DiskOk);
  EXPECT_EQ(disk.Sector(1, 0, 1)[0], 0x00);  // the FAT, found in the second place
  EXPECT_EQ(FreeClusters(disk), 152u);
}

TEST(Disk, DamagedOrForeignImagesAreRefused) {
  const auto open = [](Bytes image) {
    Disk disk;
    bool more = false;
    return disk.Open(image, more);
  };
  const Bytes blank = MakeBlankDataDisk();
  Bytes shortFile(blank.begin(), blank.begin() + 0x2AF);
  EXPECT_EQ(open(shortFile), DiskDamaged);
  Bytes sizePastEnd = blank;
  sizePastEnd[0x1C] += 1;
  EXPECT_EQ(open(sizePastEnd), DiskDamaged);
  Bytes trackOutside = blank;
  trackOutside[0x20 + 4 * 5 + 2] = 0x60;  // offset 0x60xxxx
  EXPECT_EQ(open(trackOutside), DiskDamaged);
  Bytes noTrack = blank;
  std::fill_n(&noTrack[0x20 + 4 * 79], 4, 0);
  EXPECT_EQ(open(noTrack), DiskDamaged);
  const auto damaged = [&blank, &open](void (*change)(Bytes&)) {
    Bytes image = blank;
    change(image);
    return open(image);
  };
  // Sector headers that a damaged image could hold: (0, 0, 1) starts at
  // 0x2B0, each sector 272 bytes on.
  EXPECT_EQ(damaged([](Bytes& b) { b[0x2B0 + 4] = 0, b[0x2B0 + 5] = 0; }), DiskDamaged);
  EXPECT_EQ(damaged([](Bytes& b) { b[0x2B0 + 4] = 65; }), DiskDamaged);             // 65 sectors
  EXPECT_EQ(damaged([](Bytes& b) { b[0x2B0 + 15 * 272 + 2] = 17; }), DiskDamaged);  // no R 16
  EXPECT_EQ(damaged([](Bytes& b) { b[0x2B0 + 4 * 272 + 2] = 0; }), DiskDamaged);    // no R 5
  EXPECT_EQ(damaged([](Bytes& b) { b[0x2B0 + 2] = 0; }), DiskDamaged);              // no R 1
  EXPECT_EQ(damaged([](Bytes& b) { b[0x2B0 + 4 * 272 + 14] = 0x80, b[0x2B0 + 4 * 272 + 15] = 0; }),
            DiskDamaged);  // 128 bytes
  EXPECT_EQ(damaged([](Bytes& b) { b[0x20 + 4 * 3] = 0x40, b[0x20 + 4 * 3 + 1] = 0; }),
            DiskDamaged);  // a track inside the header
  Bytes media2DD = blank;
  media2DD[0x1B] = 0x10;
  EXPECT_EQ(open(media2DD), DiskNot2D);
  // Two disks in one file: the first is used, and only its own bytes count.
  Bytes two = blank;
  two.insert(two.end(), blank.begin(), blank.end());
  Bytes cutShort = two;
  cutShort[0x1C] = static_cast<std::uint8_t>(cutShort[0x1C] - 100);  // the last sector overruns
  EXPECT_EQ(open(cutShort), DiskDamaged);
  Disk disk;
  bool more = false;
  EXPECT_EQ(disk.Open(two, more), DiskOk);
  EXPECT_TRUE(more);
}

}  // namespace
}  // namespace tonebake::d77
