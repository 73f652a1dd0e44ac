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
}

TEST_F(DataDisk, OtherFilesGiveTheirWholeSectors) {
  const Bytes text{'1', '0', ' ', 'P', 'R', 'I', 'N', 'T'};
  ASSERT_EQ(AddFile(disk, "TEXT", text, false), DiskDone);
  Bytes whole = text;
  whole.push_back(0x1A);
  whole.resize(256, 0);
  EXPECT_EQ(Read("TEXT"), whole);
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
  refuses(NameNotAllowed, "", PcmImage(1), "empty");
  refuses(NoFreeClusters, "BIG", Bytes(151 * 2048 + 1, 0x80), "one byte more than is free");
  // The directory full: 232 entries.
  Bytes full = MakeBlankDataDisk();
  Disk fullDisk;
  bool more = false;
  ASSERT_EQ(fullDisk.Open(full, more), DiskOk);
  for (int i = 0; i < 232 && i < 152; ++i) {
    ASSERT_EQ(AddFile(fullDisk, "F" + std::to_string(i), Bytes{1}, false), DiskDone);
  }
  // More entries than clusters: fill the rest by hand as used entries.
  for (std::uint32_t i = 152; i < 232; ++i) {
    const std::uint32_t sector = i / 8;
    const std::size_t at = sector < 13 ? DataAt(1, 0, 4 + sector) : DataAt(1, 1, sector - 12);
    std::copy_n(&full[DataAt(1, 0, 4)], 32, &full[at + (i % 8) * 32]);  // a copy of F0
    full[at + (i % 8) * 32] = 'X';
  }
  const Bytes before = full;
  EXPECT_EQ(AddFile(fullDisk, "NEW", Bytes{1}, false), NoFreeEntry);
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
  fat[2] = 152;  // past cluster 151
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
  Bytes media2DD = blank;
  media2DD[0x1B] = 0x10;
  EXPECT_EQ(open(media2DD), DiskNot2D);
  // Two disks in one file: the first is used.
  Bytes two = blank;
  two.insert(two.end(), blank.begin(), blank.end());
  Disk disk;
  bool more = false;
  EXPECT_EQ(disk.Open(two, more), DiskOk);
  EXPECT_TRUE(more);
}

}  // namespace
}  // namespace tonebake::d77
