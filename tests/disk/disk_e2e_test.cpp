// Runs the built tonebake-disk on disks it makes, with images tonebake makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "d77/fbasic_disk.h"
#include "fbasic/play_program.h"
#include "fileio/file_lock.h"
#include "fm7pcm/pcm_image.h"
#include "player/player_code.h"
#include "player/psg_preview.h"
#include "player/volume_table.h"
#include "support/loadm_model.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"
#include "support/wave_bytes.h"
#include "wave/byte_order.h"

namespace tonebake {
namespace {

using test::Bytes;

#ifndef _WIN32
bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
#endif

class DiskRun : public ::testing::Test {
 protected:
  test::ToolRun Disk(const std::vector<std::string>& arguments) {
    options.workDir = dir.path().string();
    return test::RunTool(TONEBAKE_DISK_EXE, arguments, options);
  }
  // What the program prints for `text`, with this platform's line ends.
  std::string Console(const std::string& text) const { return test::ConsoleText(text, options); }
  Bytes Read(const std::string& name) const { return test::ReadBytes(dir.File(name)); }
  // An image of `count` samples made by tonebake itself.
  Bytes MakeImage(const std::string& name, std::size_t count) {
    test::WriteBytes(dir.File(name + ".wav"), test::MakeWave(test::RampSamples(count)));
    options.workDir = dir.path().string();
    EXPECT_EQ(test::RunTool(TONEBAKE_EXE, {name}, options).exitCode, 0);
    return Read(name + ".bin");
  }

  test::TempDir dir;
  test::ToolOptions options;
};

TEST_F(DiskRun, FromImagesToADiskAndBack) {
  const Bytes jingle = MakeImage("jingle", 3000);
  const Bytes voice = MakeImage("longvoicename", 9000);
  // "add" makes the disk when it is missing; a long name is cut, and said so.
  ASSERT_EQ(Disk({"add", "fm7.d77", "jingle.bin"}).exitCode, 0);
  EXPECT_EQ(Read("fm7.d77").size(), 348848u);
  const test::ToolRun cut = Disk({"add", "fm7.d77", "longvoicename.bin"});
  ASSERT_EQ(cut.exitCode, 0);
  EXPECT_EQ(cut.err, Console("tonebake-disk: longvoicename.bin: the name is cut to 8 characters: "
                             "LONGVOIC\n"));
  const test::ToolRun listed = Disk({"list", "fm7.d77"});
  EXPECT_EQ(listed.exitCode, 0);
  // Images: their samples at the wait table's rate of wait 16, 8031 Hz.
  EXPECT_EQ(listed.out,
            Console("NAME      TYPE     FORM    SECTORS    BYTES\n"
                    "JINGLE    machine  binary       12     3011  3000 samples, wait 16, 8031 Hz, "
                    "0.37 s\n"
                    "LONGVOIC  machine  binary       36     9011  9000 samples, wait 16, 8031 Hz, "
                    "1.12 s\n"
                    "2 files; 145 clusters free (1160 sectors, 296960 bytes)\n"));
  // Standard output gets the bytes; a name in another case is pointed at.
  const test::ToolRun piped = Disk({"extract", "fm7.d77", "JINGLE", "-"});
  EXPECT_EQ(Bytes(piped.out.begin(), piped.out.end()), jingle);
  const test::ToolRun otherCase = Disk({"extract", "fm7.d77", "jingle", "j.bin"});
  EXPECT_EQ(otherCase.exitCode, 3);
  EXPECT_EQ(otherCase.err, Console("tonebake-disk: fm7.d77: cannot extract jingle: no file of "
                                   "that name is on the disk; did you mean JINGLE?\n"));
  // A file that is no image is stored only when asked.
  test::WriteBytes(dir.File("jingle.wav"), test::MakeWave(test::RampSamples(10)));
  const test::ToolRun wave = Disk({"add", "fm7.d77", "jingle.wav", "W"});
  EXPECT_EQ(wave.exitCode, 3);
  EXPECT_EQ(wave.err, Console("tonebake-disk: jingle.wav: not an FM-7 PCM image (it looks like a "
                              "WAVE file: convert it with tonebake first); --raw stores it as it "
                              "is\n"));
  // The disk and the file swapped: the order is pointed out.
  const test::ToolRun swapped = Disk({"add", "jingle.bin", "fm7.d77"});
  EXPECT_EQ(swapped.exitCode, 1);
  EXPECT_EQ(swapped.err, Console("tonebake-disk: jingle.bin is an FM-7 PCM image: the disk comes "
                                 "first, then the file to add (see 'tonebake-disk --help')\n"));
  ASSERT_EQ(Disk({"extract", "fm7.d77", "LONGVOIC", "back.bin"}).exitCode, 0);
  EXPECT_EQ(Read("back.bin"), voice);

  // Refusals name the disk and the reason and change nothing.
  const Bytes before = Read("fm7.d77");
  const test::ToolRun taken = Disk({"add", "fm7.d77", "jingle.bin"});
  EXPECT_EQ(taken.exitCode, 3);
  EXPECT_EQ(taken.err, Console("tonebake-disk: fm7.d77: cannot add JINGLE: a file of that name "
                               "is on the disk already (--replace replaces it)\n"));
  EXPECT_EQ(Disk({"add", "fm7.d77", "jingle.bin", "BAD:NAME"}).exitCode, 1);
  EXPECT_EQ(Disk({"remove", "fm7.d77", "NOSUCH"}).exitCode, 3);
  EXPECT_EQ(Disk({"new", "fm7.d77"}).exitCode, 3);
  EXPECT_EQ(Read("fm7.d77"), before);

  ASSERT_EQ(Disk({"add", "--replace", "fm7.d77", "longvoicename.bin", "JINGLE"}).exitCode, 0);
  ASSERT_EQ(Disk({"extract", "fm7.d77", "JINGLE", "j.bin"}).exitCode, 0);
  EXPECT_EQ(Read("j.bin"), voice);
  ASSERT_EQ(Disk({"remove", "fm7.d77", "JINGLE"}).exitCode, 0);
  EXPECT_EQ(Disk({"extract", "fm7.d77", "JINGLE", "j.bin"}).exitCode, 3);
  EXPECT_NE(Disk({"list", "fm7.d77"}).out.find(Console("\n1 file; ")), std::string::npos);
}

TEST_F(DiskRun, DamagedAndForeignDisksAreRefusedUnchanged) {
  ASSERT_EQ(Disk({"new", "blank.d77"}).exitCode, 0);
  Bytes damaged = Read("blank.d77");
  damaged.resize(100000);  // the size field now points past the end
  test::WriteBytes(dir.File("damaged.d77"), damaged);
  test::WriteBytes(dir.File("x.bin"), Bytes(10, 0x80));
  const test::ToolRun run = Disk({"add", "--raw", "damaged.d77", "x.bin", "X"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err.rfind("tonebake-disk: damaged.d77: damaged disk image", 0), 0u) << run.err;
  EXPECT_EQ(Read("damaged.d77"), damaged);
  EXPECT_EQ(Disk({"list", "nosuch.d77"}).exitCode, 2);
  EXPECT_EQ(Disk({"frobnicate", "blank.d77"}).exitCode, 1);
}

// Where sector (c, h, r) of a disk made by "new" keeps its data.
std::size_t DataAt(std::uint32_t c, std::uint32_t h, std::uint32_t r) {
  return 0x2B0 + (c * 2 + h) * 16 * 272 + (r - 1) * 272 + 16;
}

TEST_F(DiskRun, EveryCommandLineAndRefusalGetsItsExitCodeAndMessage) {
  test::WriteBytes(dir.File("small.bin"), MakeImage("small", 100));
  ASSERT_EQ(Disk({"add", "d.d77", "small.bin", "SMALL"}).exitCode, 0);
  Bytes disk = Read("d.d77");
  // Entries of other types, by hand: a BASIC program, a data file and an
  // unknown type, each one cluster of one sector (clusters 1-3).
  for (std::uint8_t type = 0; type < 3; ++type) {
    std::uint8_t* entry = &disk[DataAt(1, 0, 4) + (type + 1u) * 32];
    std::copy_n(&disk[DataAt(1, 0, 4)], 32, entry);
    entry[0] = static_cast<std::uint8_t>('A' + type);
    std::fill_n(entry + 1, 7, ' ');
    entry[11] = type == 2 ? 7 : type;
    entry[12] = type == 1 ? 0xFF : 0x00;  // the data file in ASCII
    entry[14] = static_cast<std::uint8_t>(type + 1);
    disk[DataAt(1, 0, 1) + 5 + type + 1u] = 0xC0;
  }
  test::WriteBytes(dir.File("d.d77"), disk);
  Bytes full = disk;
  std::fill_n(&full[DataAt(1, 0, 1) + 5], 152, 0xC0);  // every cluster taken
  test::WriteBytes(dir.File("full.d77"), full);
  Bytes fullDirectory = disk;  // every one of the 232 entries in use
  for (std::uint32_t i = 4; i < 232; ++i) {
    const std::uint32_t sector = i / 8;
    const std::size_t at = sector < 13 ? DataAt(1, 0, 4 + sector) : DataAt(1, 1, sector - 12);
    std::copy_n(&disk[DataAt(1, 0, 4)], 32, &fullDirectory[at + (i % 8) * 32]);
    fullDirectory[at + (i % 8) * 32] = static_cast<std::uint8_t>('0' + i % 10);
    fullDirectory[at + (i % 8) * 32 + 1] = static_cast<std::uint8_t>('A' + i / 10);
  }
  test::WriteBytes(dir.File("fulldir.d77"), fullDirectory);
  Bytes protectedDisk = disk;
  protectedDisk[0x1A] = 0x10;
  test::WriteBytes(dir.File("protected.d77"), protectedDisk);
  fullDirectory[0x1A] = 0x10;
  test::WriteBytes(dir.File("fullprotected.d77"), fullDirectory);
  Bytes notTwoD = disk;
  notTwoD[0x1B] = 0x20;
  test::WriteBytes(dir.File("2hd.d77"), notTwoD);
  Bytes looped = disk;
  looped[DataAt(1, 0, 1) + 5 + 1] = 1;  // A's only cluster points at itself
  test::WriteBytes(dir.File("looped.d77"), looped);
  Bytes twoDisks = disk;
  twoDisks.insert(twoDisks.end(), disk.begin(), disk.end());
  test::WriteBytes(dir.File("two.d77"), twoDisks);
  std::filesystem::create_directory(dir.File("folder"));
  // Damage that would let a change reach other files or the system data.
  const auto variant = [&](const char* name, const std::function<void(Bytes&)>& change) {
    Bytes changed = disk;
    change(changed);
    test::WriteBytes(dir.File(name), changed);
  };
  for (const std::uint32_t shortBy : {1u, 16u}) {  // the size ends inside the last sector
    variant(shortBy == 1 ? "short1.d77" : "short16.d77",
            [&](Bytes& d) { d[0x1C] = static_cast<std::uint8_t>(d[0x1C] - shortBy); });
  }
  variant("alias.d77",
          [](Bytes& d) { std::copy_n(&d[0x20], 4, &d[0x24]); });  // two tracks, one place
  variant("wrongtrack.d77",
          [](Bytes& d) { d[DataAt(3, 1, 5) - 16] = 7; });  // cylinder 7 on track 7
  variant("shared.d77",
          [](Bytes& d) { d[DataAt(1, 0, 4) + 32 + 14] = 0; });  // A on SMALL's cluster
  variant("repeated.d77", [](Bytes& d) {
    // Track 5 gets a 17th sector, another R 3: later tracks move 272 bytes on.
    const std::size_t trackEnd = DataAt(2, 1, 16) + 256;
    const Bytes copy(&d[DataAt(2, 1, 3) - 16], &d[DataAt(2, 1, 3) + 256]);
    d.insert(d.begin() + static_cast<std::ptrdiff_t>(trackEnd), copy.begin(), copy.end());
    d[DataAt(2, 1, 1) - 16 + 4] = 17;
    for (std::size_t track = 6; track < 80; ++track) {
      WriteLittleEndian32(&d[0x20 + 4 * track], ReadLittleEndian32(&d[0x20 + 4 * track]) + 272);
    }
    WriteLittleEndian32(&d[0x1C], static_cast<std::uint32_t>(d.size()));
  });
  variant("protect01.d77", [](Bytes& d) { d[0x1A] = 0x01; });
  variant("protectFF.d77", [](Bytes& d) { d[0x1A] = 0xFF; });
  Bytes hostile = disk;  // a name that would move a terminal's cursor
  std::copy_n("\x1B[2J\\", 5, &hostile[DataAt(1, 0, 4) + 96]);
  test::WriteBytes(dir.File("hostile.d77"), hostile);

  const std::string usage = " (see 'tonebake-disk --help')\n";
  const std::string damaged = "tonebake-disk: ...";
  const std::string loopedChain =
      "tonebake-disk: looped.d77: cannot ...: damaged disk image: a FAT ...";
  // The reason of a failed system call is the system's own words, in its
  // language: those cases end in "..." and only what comes before is compared.
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string err;
  } cases[] = {
      {{}, 1, "tonebake-disk: no command" + usage},
      {{"new"}, 1, "tonebake-disk: wrong number of names for 'new'" + usage},
      {{"new", "a", "b"}, 1, "tonebake-disk: wrong number of names for 'new'" + usage},
      {{"add", "d.d77"}, 1, "tonebake-disk: wrong number of names for 'add'" + usage},
      {{"add", "d", "f", "N", "x"}, 1, "tonebake-disk: wrong number of names for 'add'" + usage},
      {{"list"}, 1, "tonebake-disk: wrong number of names for 'list'" + usage},
      {{"list", "a", "b"}, 1, "tonebake-disk: wrong number of names for 'list'" + usage},
      {{"extract", "d", "N"}, 1, "tonebake-disk: wrong number of names for 'extract'" + usage},
      {{"extract", "d", "N", "o", "x"},
       1,
       "tonebake-disk: wrong number of names for 'extract'" + usage},
      {{"remove", "d"}, 1, "tonebake-disk: wrong number of names for 'remove'" + usage},
      {{"remove", "d", "N", "x"}, 1, "tonebake-disk: wrong number of names for 'remove'" + usage},
      {{"-q"}, 1, "tonebake-disk: unknown option '-q'" + usage},
      {{"--", "-h"}, 1, "tonebake-disk: unknown command '-h'" + usage},
      {{"-"}, 1, "tonebake-disk: unknown command '-'" + usage},
      {{"--replace", "list", "d.d77"},
       1,
       "tonebake-disk: --replace goes with 'add', 'player' or 'boot'" + usage},
      {{"add", "d.d77", "missing.bin"}, 2, "tonebake-disk: missing.bin: cannot read: ..."},
#ifndef _WIN32
      {{"list", "folder"}, 2, "tonebake-disk: folder: cannot read: Is a directory\n"},
#endif
      {{"extract", "nosuch.d77", "A", "o.bin"}, 2, "tonebake-disk: nosuch.d77: cannot read: ..."},
      {{"remove", "2hd.d77", "A"},
       2,
       "tonebake-disk: 2hd.d77: the media type is not 2D (F-BASIC data disks are 2D)\n"},
      {{"add", "fulldir.d77", "small.bin", "NEW"},
       3,
       "tonebake-disk: fulldir.d77: cannot add NEW: the directory is full\n"},
      {{"list", "2hd.d77"},
       2,
       "tonebake-disk: 2hd.d77: the media type is not 2D (F-BASIC data disks are 2D)\n"},
      {{"list", "looped.d77"},
       2,
       "tonebake-disk: looped.d77: damaged disk image: a FAT chain loops or points past "
       "cluster 151\n"},
      {{"extract", "d.d77", "NOSUCH", "o.bin"},
       3,
       "tonebake-disk: d.d77: cannot extract NOSUCH: no file of that name is on the disk\n"},
      {{"remove", "d.d77", "NOSUCH"},
       3,
       "tonebake-disk: d.d77: cannot remove NOSUCH: no file of that name is on the disk\n"},
      {{"add", "full.d77", "small.bin", "NEW"},
       3,
       "tonebake-disk: full.d77: cannot add NEW: not enough free space on the disk\n"},
      {{"remove", "protected.d77", "SMALL"},
       3,
       "tonebake-disk: protected.d77: cannot remove SMALL: the disk is write-protected\n"},
      // The protection comes before every other refusal of an add.
      {{"add", "protected.d77", "small.bin", "SMALL"},
       3,
       "tonebake-disk: protected.d77: cannot add SMALL: the disk is write-protected\n"},
      {{"add", "protected.d77", "small.bin", "BAD:NAME"},
       3,
       "tonebake-disk: protected.d77: cannot add BAD:NAME: the disk is write-protected\n"},
      {{"add", "fullprotected.d77", "small.bin", "NEW"},
       3,
       "tonebake-disk: fullprotected.d77: cannot add NEW: the disk is write-protected\n"},
      {{"extract", "d.d77", "SMALL", "no/such/dir.bin"},
       4,
       "tonebake-disk: no/such/dir.bin: cannot write: ..."},
      {{"list", "two.d77"},
       0,
       "tonebake-disk: two.d77: holds more than one disk; the first is used\n"},
      {{"list", "short1.d77"}, 2, damaged},
      {{"list", "short16.d77"}, 2, damaged},
      {{"add", "alias.d77", "small.bin", "NEW"}, 2, damaged},
      {{"list", "wrongtrack.d77"}, 2, damaged},
      {{"list", "shared.d77"}, 0, ""},
      {{"add", "shared.d77", "small.bin", "NEW"},
       2,
       "tonebake-disk: shared.d77: cannot add NEW: damaged disk image: two files share a "
       "cluster\n"},
      {{"list", "repeated.d77"}, 0, ""},
      {{"remove", "repeated.d77", "A"},
       2,
       "tonebake-disk: repeated.d77: cannot remove A: damaged disk image: a track holds two "
       "sectors of one number\n"},
      {{"add", "protect01.d77", "small.bin", "NEW"},
       3,
       "tonebake-disk: protect01.d77: cannot add NEW: the disk is write-protected\n"},
      {{"remove", "protectFF.d77", "A"},
       3,
       "tonebake-disk: protectFF.d77: cannot remove A: the disk is write-protected\n"},
      {{"extract", "looped.d77", "A", "o.bin"}, 2, loopedChain},
      {{"remove", "looped.d77", "A"}, 2, loopedChain},
      {{"add", "--replace", "looped.d77", "small.bin", "A"}, 2, loopedChain},
      {{"new", "folder"}, 3, "tonebake-disk: folder: already exists; it is left as it is\n"},
      {{"extract", "d.d77", "SMALL", "./d.d77"},
       1,
       "tonebake-disk: DISK d.d77 and OUT ./d.d77 are the same file" + usage},
  };
  for (const auto& c : cases) {
    const std::string named = c.arguments.empty() ? "(none)" : c.arguments.front();
    const test::ToolRun run = Disk(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << named;
    const std::size_t dots = c.err.find("...");
    if (dots == std::string::npos) {
      EXPECT_EQ(run.err, Console(c.err)) << named;
    } else if (c.err == damaged) {
      EXPECT_NE(run.err.find(": damaged disk image: "), std::string::npos) << run.err;
    } else {
      EXPECT_EQ(run.err.substr(0, dots), c.err.substr(0, dots)) << named;
      EXPECT_GT(run.err.size(), dots + 2) << named;  // some reason follows
    }
  }
  for (const char* name : {"d.d77", "full.d77", "protected.d77", "2hd.d77", "looped.d77",
                           "alias.d77", "shared.d77", "protect01.d77", "protectFF.d77"}) {
    EXPECT_EQ(Read(name).size(), 348848u) << name;
  }
  EXPECT_EQ(Read("protected.d77"), protectedDisk);
  EXPECT_EQ(Read("full.d77"), full);

  const test::ToolRun listed = Disk({"list", "d.d77"});
  EXPECT_EQ(listed.out,
            Console("NAME      TYPE     FORM    SECTORS    BYTES\n"
                    "SMALL     machine  binary        1      111  100 samples, wait 16, 8031 Hz, "
                    "0.01 s\n"
                    "A         BASIC    binary        1      256\n"
                    "B         data     ASCII         1      256\n"
                    "C         ?        binary        1      256\n"
                    "4 files; 148 clusters free (1184 sectors, 303104 bytes)\n"));
  const std::string hostileList = Disk({"list", "hostile.d77"}).out;
  EXPECT_NE(hostileList.find("\n\\x1B[2J\\\\  ?"), std::string::npos) << hostileList;
  EXPECT_EQ(hostileList.find('\x1B'), std::string::npos);
  const test::ToolRun version = Disk({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, Console("tonebake-disk 1.00\n"));
  for (const char* help : {"--help", "-h"}) {
    const test::ToolRun run = Disk({help, "list"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("Usage: tonebake-disk COMMAND DISK.d77", 0), 0u) << help;
  }
}

// The boot program takes the boot sector (cylinder 0, head 0, sector 1,
// which the boot ROM reads) and sectors 1 to 3 of cylinder 0, head 1,
// outside the FAT: nothing else changes, so F-BASIC reads the disk as
// before; and nothing there but blank sectors or tonebake's own is
// written over without --replace.
TEST_F(DiskRun, ABootProgramChangesOnlyTrackZeroAndNothingOfTheUsers) {
  MakeImage("song", 2000);
  ASSERT_EQ(Disk({"add", "d.d77", "song.bin"}).exitCode, 0);
  ASSERT_EQ(Disk({"player", "d.d77"}).exitCode, 0);
  const Bytes before = Read("d.d77");
  ASSERT_EQ(Disk({"boot", "d.d77"}).exitCode, 0);
  const Bytes booted = Read("d.d77");
  const auto inBootArea = [](std::size_t at) {
    return (at >= DataAt(0, 0, 1) && at < DataAt(0, 0, 1) + 256) ||
           (at >= DataAt(0, 1, 1) && at < DataAt(0, 1, 3) + 256 &&
            (at - DataAt(0, 1, 1)) % 272 < 256);
  };
  std::size_t changedOutside = 0;
  for (std::size_t at = 0; at < before.size(); ++at) {
    changedOutside += before[at] != booted[at] && !inBootArea(at) ? 1 : 0;
  }
  EXPECT_EQ(changedOutside, 0u);
  EXPECT_EQ(Bytes(&booted[DataAt(0, 0, 1)], &booted[DataAt(0, 0, 1)] + 2), (Bytes{0x1A, 0x50}));
  const std::string boots = "Boots: tonebake's boot program plays the sounds in turn\n";
  EXPECT_TRUE(Disk({"list", "d.d77"}).out.find(Console(boots)) != std::string::npos);
  ASSERT_EQ(Disk({"boot", "--remove", "d.d77"}).exitCode, 0);
  EXPECT_EQ(Read("d.d77"), before);

  Bytes system = before;  // a boot sector of another program
  Bytes secondUsed = before;
  Bytes protect = booted;
  for (std::size_t i = 0; i < 256; ++i) {
    system[DataAt(0, 0, 1) + i] = static_cast<std::uint8_t>(i);
    secondUsed[DataAt(0, 1, 2) + i] = static_cast<std::uint8_t>(i * 7);
  }
  protect[0x1A] = 0x10;
  test::WriteBytes(dir.File("system.d77"), system);
  test::WriteBytes(dir.File("second.d77"), secondUsed);
  test::WriteBytes(dir.File("protect.d77"), protect);
  test::WriteBytes(dir.File("mine.bin"), Bytes(300, 0x39));
  ASSERT_EQ(Disk({"add", "--raw", "mine.d77", "mine.bin", "PLAYER"}).exitCode, 0);
  const std::string other =
      ": cannot put the boot program on it: track 0 holds another boot program or data (a "
      "system disk's, say); --replace writes over it\n";
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string err;
  } cases[] = {
      {{"boot", "system.d77"}, 3, "tonebake-disk: system.d77" + other},
      {{"boot", "second.d77"}, 3, "tonebake-disk: second.d77" + other},
      {{"boot", "--remove", "system.d77"},
       3,
       "tonebake-disk: system.d77: the boot program on it is not tonebake's; it is left as it "
       "is\n"},
      {{"boot", "--remove", "d.d77"}, 3, "tonebake-disk: d.d77: has no boot program to remove\n"},
      {{"boot", "mine.d77"},
       3,
       "tonebake-disk: mine.d77: cannot put the boot program on it: PLAYER on the disk is a file "
       "of yours, not tonebake's ('player --replace' puts tonebake's on)\n"},
      {{"boot", "--remove", "protect.d77"},
       3,
       "tonebake-disk: protect.d77: cannot remove the boot program: the disk is "
       "write-protected\n"},
      {{"--remove", "list", "d.d77"},
       1,
       "tonebake-disk: --remove goes with 'boot' (see 'tonebake-disk --help')\n"},
      {{"boot", "--replace", "system.d77"}, 0, ""},
      {{"boot", "new.d77"}, 0, ""},
  };
  for (const auto& c : cases) {
    const std::string disk = c.arguments.back();
    const Bytes was = Read(disk);
    const test::ToolRun run = Disk(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << disk;
    EXPECT_EQ(run.err, Console(c.err)) << disk;
    if (c.exitCode != 0) {
      EXPECT_EQ(Read(disk), was) << disk;
    } else {
      EXPECT_TRUE(Disk({"list", disk}).out.find(Console(boots)) != std::string::npos) << disk;
    }
  }
  EXPECT_TRUE(Disk({"list", "new.d77"}).out.find("PLAYER ") != std::string::npos);
}

TEST_F(DiskRun, DefaultNamesComeFromTheBaseName) {
  test::WriteBytes(dir.File("x.bin"), MakeImage("x", 10));
  std::filesystem::create_directory(dir.File("sub"));
  const struct {
    std::string file;
    std::string name;
    bool cut;
  } cases[] = {
      {"sub/song.bin", "SONG", false},         {"sub/x.bin", "X", false},
      {"sub/a.b.bin", "A.B", false},           {"sub/.hidden", ".HIDDEN", false},
      {"sub/eightchr.bin", "EIGHTCHR", false}, {"sub/ninechars.bin", "NINECHAR", true},
      {"sub\\tune.bin", "TUNE", false},  // a Windows path, whatever the platform
  };
  for (const auto& c : cases) {
    test::WriteBytes(dir.File(c.file), Read("x.bin"));
    const test::ToolRun run = Disk({"add", "names.d77", c.file});
    EXPECT_EQ(run.exitCode, 0) << c.file;
    EXPECT_EQ(run.err, c.cut ? Console("tonebake-disk: " + c.file +
                                       ": the name is cut to 8 characters: " + c.name + "\n")
                             : "")
        << c.file;
    EXPECT_EQ(Disk({"extract", "names.d77", c.name, "out.bin"}).exitCode, 0) << c.name;
  }
}

// PLAYER as LOADM reads it, PLAY written out here from the format of an
// ASCII BASIC file, and the list kept current as sounds come and go.
TEST_F(DiskRun, ThePlayerAndItsMenuFollowTheDisksSounds) {
  const Bytes voice = MakeImage("voice", 1000);  // wait 16 at 8000 Hz
  const Bytes beep = MakeImage("beep", 100);
  ASSERT_EQ(Disk({"add", "d.d77", "voice.bin"}).exitCode, 0);
  ASSERT_EQ(Disk({"player", "d.d77", "--psg", "fm77av"}).exitCode, 0);
  ASSERT_EQ(Disk({"add", "d.d77", "beep.bin"}).exitCode, 0);
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAYER", "player.bin"}).exitCode, 0);
  const Bytes player = Read("player.bin");
  // 0x00, 975 bytes (0x3CF) at &H2000, then 0xFF 0x00 0x00 and EXEC &H2000,
  // padded to its sector with 0x1A and zeros.
  ASSERT_GE(player.size(), 985u);
  EXPECT_EQ(Bytes(player.begin(), player.begin() + 7),
            (Bytes{0x00, 0x03, 0xCF, 0x20, 0x00, 0x20, 0x04}));
  EXPECT_EQ(Bytes(player.begin() + 980, player.begin() + 986),
            (Bytes{0xFF, 0x00, 0x00, 0x20, 0x00, 0x1A}));
  const std::string expected =
      "\r\n"
      "10 CLEAR ,&H1FFF:D$=\"1:\"\r\n"
      "20 LOADM D$+\"PLAYER\"\r\n"
      "30 ON ERROR GOTO 200:PRINT \"tonebake PLAY (BREAK does not stop a sound)\"\r\n"
      "40 RESTORE:N=0\r\n"
      "50 READ N$,C,W,S:IF N$=\"\" THEN 80\r\n"
      "60 N=N+1:PRINT N;N$;S;\"s\"\r\n"
      "70 GOTO 50\r\n"
      "80 IF N=0 THEN PRINT \"No sounds on this disk\":END\r\n"
      "90 INPUT \"Sound (0 ends)\";K\r\n"
      "100 IF K<1 OR K>N THEN END\r\n"
      "110 RESTORE:FOR I=1 TO K:READ N$,C,W,S:NEXT\r\n"
      "120 LOADM D$+N$,&H23CF\r\n"
      "130 POKE &H2002,&H23:POKE &H2003,&HCF:POKE &H2004,INT((C-1)/256):POKE &H2005,(C-1) MOD "
      "256\r\n"
      "140 EXEC &H2000\r\n"
      "150 GOTO 90\r\n"
      "200 IF ERL=120 THEN POKE &H23CF,W:RESUME 130\r\n"
      "210 PRINT \"Error\";ERR;\"in line\";ERL:RESUME 90\r\n"
      "1000 DATA \"VOICE\",1000,16,0.12\r\n"  // 999 samples of 224 cycles
      "1010 DATA \"BEEP\",100,16,0.01\r\n"
      "1020 DATA \"\",0,0,0\r\n";
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAY", "play.txt"}).exitCode, 0);
  Bytes play(expected.begin(), expected.end());
  play.push_back(0x1A);
  play.resize((play.size() + 255) / 256 * 256, 0x00);
  EXPECT_EQ(Read("play.txt"), play);
  const test::ToolRun listed = Disk({"list", "d.d77"});
  EXPECT_NE(listed.out.find(Console("PLAY      BASIC    ASCII         3      768\n")),
            std::string::npos)
      << listed.out;
  // Gone from the list once removed; one PLAY cannot load is stored but left out.
  ASSERT_EQ(Disk({"remove", "d.d77", "VOICE"}).exitCode, 0);
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAY", "play.txt"}).exitCode, 0);
  EXPECT_EQ(test::ReadText(dir.File("play.txt")).find("VOICE"), std::string::npos);
  // PLAYER again with the other curve: that curve's tables, the same code,
  // and a word about the sounds made for the tables it had.
  const Bytes fm77av = Read("player.bin");
  const test::ToolRun other = Disk({"player", "d.d77", "--psg", "fm7"});
  ASSERT_EQ(other.exitCode, 0);
  EXPECT_EQ(other.err.find(Console("tonebake-disk: d.d77: PLAYER now has this version's fm7 "
                                   "tables; sounds tonebake-prep made for the ones it had sound "
                                   "best made again\n")),
            0u)
      << other.err;
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAYER", "player7.bin"}).exitCode, 0);
  const Bytes fm7 = Read("player7.bin");
  ASSERT_EQ(fm7.size(), fm77av.size());
  EXPECT_TRUE(std::equal(fm7.begin(), fm7.begin() + 5 + 0xCF, fm77av.begin()));
  EXPECT_NE(fm7, fm77av);
  test::WriteBytes(dir.File("huge.bin"), MakeImage("huge", 18994));
  const test::ToolRun huge = Disk({"add", "d.d77", "huge.bin"});
  EXPECT_EQ(huge.exitCode, 0);
  EXPECT_EQ(huge.err,
            Console("tonebake-disk: d.d77: HUGE is not in PLAY's list: its count of "
                    "18994 is more than PLAY loads (18993); it is stored all the same\n"));
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAY", "play.txt"}).exitCode, 0);
  const std::string menu = test::ReadText(dir.File("play.txt"));
  EXPECT_EQ(menu.find("VOICE"), std::string::npos);
  EXPECT_NE(menu.find("1000 DATA \"BEEP\",100,16,0.01\r\n1010 DATA \"\",0,0,0\r\n\x1A"),
            std::string::npos);
  EXPECT_EQ(Disk({"player", "d.d77", "--psg", "ay"}).exitCode, 1);
  EXPECT_EQ(Disk({"list", "d.d77", "--psg", "fm7"}).exitCode, 1);
}

// PLAY on the FM-7, as public documentation of F-BASIC has it: BASIC below
// &H2000 (CLEAR ,&H1FFF), PLAYER's 975 bytes from &H2000, each sound right
// above them from &H23CF, and what Disk BASIC's boot sector loads from
// &H6E00, which nothing may touch. LOADM stores an image's count bytes (the
// wait byte and count - 1 samples) there, so 18,993 is the largest count
// PLAY lists;
// the counts are the images' true ones, however large. Sounds go on a disk
// and a tape before and after PLAYER, and what PLAY loads is run through
// the model of LOADM.
TEST_F(DiskRun, PlayListsWhatFitsBelowDiskBasicAndLoadmStaysInPlace) {
  constexpr std::uint32_t kPlayer = 0x2000, kSound = 0x23CF, kDiskBasic = 0x6E00;
  const struct {
    const char* name;
    std::size_t count;
    bool endsInZero;
    bool beforePlayer;
    bool listed;
    bool onTape;  // a tape file holds 65,535 samples at most
  } sounds[] = {
      {"ORDINARY", 1000, false, true, true, true},
      {"OVER", 18994, false, true, false, true},
      {"EDGE", 18993, false, false, true, true},
      {"LONG8", 80310, false, false, false, false},  // 14,774 in its 16-bit field
      {"ZERO", 100, true, false, true, true},
  };
  const auto imageOf = [](std::size_t count, bool endsInZero) {
    Bytes image = {
        0x00, static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count), 0x00, 0x00,
        16};
    for (std::size_t i = 0; i < count; ++i) {
      image.push_back(static_cast<std::uint8_t>(0x40 + i % 0x80));
    }
    if (endsInZero) {
      image.back() = 0x00;
    }
    image.insert(image.end(), {0xFF, 0x00, 0x00, 0x00, 0x00});
    return image;
  };
  options.workDir = dir.path().string();
  for (const char* medium : {"d.d77", "t.t77"}) {
    const bool tape = std::string(medium) == "t.t77";
    const std::string program = tape ? "tonebake-tape" : "tonebake-disk";
    const auto run = [&](const std::vector<std::string>& arguments) {
      return test::RunTool(tape ? TONEBAKE_TAPE_EXE : TONEBAKE_DISK_EXE, arguments, options);
    };
    const auto notListed = [&](const std::string& name, std::size_t count) {
      return program + ": " + medium + ": " + name + " is not in PLAY's list: its count of " +
             std::to_string(count) +
             " is more than PLAY loads (18993); it is stored all the same\n";
    };
    std::string playerSays;
    for (const bool beforePlayer : {true, false}) {
      for (const auto& sound : sounds) {
        if (sound.beforePlayer != beforePlayer) {
          continue;
        }
        const std::string source = std::string(sound.name) + ".bin";
        test::WriteBytes(dir.File(source), imageOf(sound.count, sound.endsInZero));
        const test::ToolRun added = run({"add", medium, source, sound.name});
        if (tape && !sound.onTape) {
          EXPECT_EQ(added.exitCode, 3) << sound.name;
          continue;
        }
        ASSERT_EQ(added.exitCode, 0) << sound.name << added.err;
        std::string says;
        if (!sound.listed && !beforePlayer) {
          says = notListed(sound.name, sound.count);
        } else if (!sound.listed) {
          playerSays += notListed(sound.name, sound.count);
        }
        if (sound.endsInZero) {
          says += program + ": " + source +
                  ": warning: its last sample is 00, which LOADM reads as the start of another "
                  "block: loading it on the FM-7 damages the start of the sound (tonebake-prep "
                  "makes images that load cleanly); it is stored all the same\n";
        }
        EXPECT_EQ(added.err, Console(says)) << medium << " " << sound.name;
      }
      if (beforePlayer) {
        const test::ToolRun player = run({"player", medium});
        ASSERT_EQ(player.exitCode, 0) << player.err;
        EXPECT_EQ(player.err, Console(playerSays)) << medium;
      }
    }
    ASSERT_EQ(run({"extract", medium, "PLAYER", "player.bin"}).exitCode, 0);
    const test::LoadmResult player = test::Loadm(Read("player.bin"), 0);
    EXPECT_TRUE(player.ended && player.exec == kPlayer) << medium;
    EXPECT_TRUE(test::WritesOnlyIn(player, kPlayer, kSound)) << medium;
    ASSERT_EQ(run({"extract", medium, "PLAY", "play.txt"}).exitCode, 0);
    const std::string play = test::ReadText(dir.File("play.txt"));
    EXPECT_NE(play.find("CLEAR ,&H1FFF"), std::string::npos) << medium;
    for (const auto& sound : sounds) {
      if (tape && !sound.onTape) {
        continue;
      }
      const std::string data = "DATA \"" + std::string(sound.name) + "\",";
      EXPECT_EQ(play.find(sound.listed ? data + std::to_string(sound.count) + ",16," : data) !=
                    std::string::npos,
                sound.listed)
          << medium << " " << data;
      ASSERT_EQ(run({"extract", medium, sound.name, "sound.bin"}).exitCode, 0) << sound.name;
      const test::LoadmResult loaded = test::Loadm(Read("sound.bin"), kSound);
      if (sound.listed) {
        // A last sample of 00 starts a bogus block that ends in an error,
        // which PLAY's handler takes; either way nothing leaves the room.
        EXPECT_TRUE(test::WritesOnlyIn(loaded, kSound, kDiskBasic)) << medium << sound.name;
        EXPECT_EQ(loaded.ended, !sound.endsInZero) << medium << " " << sound.name;
        EXPECT_EQ(loaded.writes.front(),
                  std::make_pair(kSound, kSound + std::uint32_t(sound.count)));
      }
    }
  }
}

// A sound that fits, on a disk where PLAY's longer list then does not: the
// refusal is the sound's, the user's own request.
TEST_F(DiskRun, ASoundThatLeavesNoRoomForPlaysListIsRefusedAsItself) {
  ASSERT_EQ(Disk({"player", "d.d77"}).exitCode, 0);
  const Bytes one = {0x00, 0x00, 0x01, 0x00, 0x00, 16, 0x80, 0xFF, 0x00, 0x00, 0x00, 0x00};
  test::WriteBytes(dir.File("one.bin"), one);
  const auto field = [](const std::string& listing, const std::string& after) {
    const std::size_t at = listing.find(after);
    return at == std::string::npos ? -1 : std::stoi(listing.substr(at + after.size()));
  };
  // Sounds until PLAY (its text and 0x1A) is within one DATA line, 31
  // bytes for LASTONE, of its 2048-byte cluster's end.
  const auto playLength = [this] {
    EXPECT_EQ(Disk({"extract", "d.d77", "PLAY", "play.txt"}).exitCode, 0);
    const Bytes play = Read("play.txt");
    return static_cast<std::size_t>(std::find(play.begin(), play.end(), 0x1A) - play.begin()) + 1;
  };
  for (int sounds = 1; playLength() + 31 <= 2048; ++sounds) {
    ASSERT_EQ(Disk({"add", "d.d77", "one.bin", "SOUND" + std::to_string(sounds)}).exitCode, 0);
  }
  ASSERT_LE(playLength(), 2048u);
  // Every cluster but one taken: enough for the sound, not for PLAY too.
  const int free = field(Disk({"list", "d.d77"}).out, "files; ");
  ASSERT_GT(free, 1);
  test::WriteBytes(dir.File("fill.bin"), Bytes(static_cast<std::size_t>(free - 1) * 2048, 0x80));
  ASSERT_EQ(Disk({"add", "--raw", "d.d77", "fill.bin"}).exitCode, 0);
  const Bytes before = Read("d.d77");
  const test::ToolRun last = Disk({"add", "d.d77", "one.bin", "LASTONE"});
  EXPECT_EQ(last.exitCode, 3);
  EXPECT_EQ(last.err, Console("tonebake-disk: d.d77: cannot add LASTONE with PLAY's list made "
                              "longer: not enough free space on the disk\n"));
  EXPECT_EQ(Read("d.d77"), before);
}

// PLAY and PLAYER are tonebake's by what they hold, not by their names: a
// user's file of either name is never taken over, and a change made by
// hand says what it does to the menu.
TEST_F(DiskRun, PlayAndPlayerAreKnownByTheirContentNotTheirNames) {
  const Bytes mine = MakeImage("player", 50);  // its default name is PLAYER
  const Bytes other = MakeImage("other", 60);
  options.workDir = dir.path().string();
  for (const std::string medium : {"d.d77", "t.t77"}) {
    const bool tape = medium == "t.t77";
    const std::string program = tape ? "tonebake-tape" : "tonebake-disk";
    const auto run = [&](const std::vector<std::string>& arguments) {
      return test::RunTool(tape ? TONEBAKE_TAPE_EXE : TONEBAKE_DISK_EXE, arguments, options);
    };
    const auto extracted = [&](const std::string& name) {
      std::filesystem::remove(dir.File("x.bin"));
      return run({"extract", medium, name, "x.bin"}).exitCode == 0 ? Read("x.bin") : Bytes();
    };
    const auto says = [&](const std::string& text) {
      return Console(program + ": " + text + "\n");
    };
    // A disk's file comes out in whole sectors.
    const auto holds = [&](const std::string& name, const Bytes& bytes) {
      const Bytes found = extracted(name);
      return found.size() >= bytes.size() && std::equal(bytes.begin(), bytes.end(), found.begin());
    };
    const std::string refused = medium + ": cannot put the player on it: PLAY on the " +
                                (tape ? "tape" : "disk") +
                                " is a file of yours, not tonebake's (--replace replaces it)";
    // A sound named PLAY is not replaced by 'player' unless asked.
    ASSERT_EQ(run({"add", medium, "other.bin", "PLAY"}).exitCode, 0);
    const test::ToolRun player = run({"player", medium});
    EXPECT_EQ(player.exitCode, 3) << medium;
    EXPECT_EQ(player.err, says(refused));
    EXPECT_TRUE(holds("PLAY", other)) << medium;
    ASSERT_EQ(run({"player", "--replace", medium}).exitCode, 0);
    const Bytes menu = extracted("PLAY");
    EXPECT_NE(std::string(menu.begin(), menu.end()).find("CLEAR ,&H1FFF"), std::string::npos);
    // player.bin's name is PLAYER: taken, and replaced only when asked.
    EXPECT_EQ(run({"add", medium, "player.bin"}).exitCode, 3) << medium;
    const test::ToolRun byHand = run({"add", "--replace", medium, "player.bin"});
    EXPECT_EQ(byHand.exitCode, 0);
    EXPECT_EQ(byHand.err, says(medium + ": PLAYER is now this file, not tonebake's player, and "
                                        "PLAY runs it as its player; 'player --replace' puts "
                                        "tonebake's back"));
    EXPECT_TRUE(holds("PLAYER", mine)) << medium;
    EXPECT_EQ(run({"player", medium}).exitCode, 3) << medium;
    ASSERT_EQ(run({"player", "--replace", medium}).exitCode, 0);
    EXPECT_TRUE(holds("PLAYER", {0x00, 0x03, 0xCF, 0x20, 0x00})) << medium;
    // A menu replaced or removed by hand stays so: no later change writes it.
    const test::ToolRun replaced = run({"add", "--replace", medium, "other.bin", "PLAY"});
    EXPECT_EQ(replaced.exitCode, 0);
    EXPECT_EQ(replaced.err, says(medium + ": PLAY is now this file, not tonebake's menu; 'player "
                                          "--replace' makes the menu again in its place"));
    ASSERT_EQ(run({"add", medium, "player.bin", "SOUND"}).exitCode, 0);
    EXPECT_TRUE(holds("PLAY", other)) << medium;
    const test::ToolRun removed = run({"remove", medium, "PLAY"});
    EXPECT_EQ(removed.exitCode, 0);
    EXPECT_EQ(removed.err, says(medium + ": PLAY, the menu, is gone; 'player' puts it back"));
    ASSERT_EQ(run({"add", medium, "player.bin", "SOUND2"}).exitCode, 0);
    EXPECT_TRUE(extracted("PLAY").empty()) << medium;
  }
}

// A disk PLAYER'd by an earlier version (PLAYER loaded at &H2800) is
// brought up to date by the next change, PLAY with it; one with the earlier
// tables keeps them (its sounds were made for them); a PLAYER whose tables
// no version makes is left, and so is PLAY.
TEST_F(DiskRun, AnEarlierPlayerIsBroughtUpToDateWithPlay) {
  test::WriteBytes(dir.File("x.bin"), MakeImage("x", 10));
  ASSERT_EQ(Disk({"player", "d.d77"}).exitCode, 0);
  Bytes disk = Read("d.d77");
  const Bytes current = {0x00, 0x03, 0xCF, 0x20, 0x00};
  const auto at = std::search(disk.begin(), disk.end(), current.begin(), current.end());
  ASSERT_NE(at, disk.end());
  at[3] = 0x28;
  test::WriteBytes(dir.File("d.d77"), disk);
  // The boot program runs PLAYER at &H2000: 'boot' brings it up to date too.
  test::WriteBytes(dir.File("old.d77"), disk);
  ASSERT_EQ(Disk({"boot", "old.d77"}).exitCode, 0);
  ASSERT_EQ(Disk({"extract", "old.d77", "PLAYER", "p.bin"}).exitCode, 0);
  EXPECT_TRUE(std::equal(current.begin(), current.end(), Read("p.bin").begin()));
  // Without tonebake's PLAY to update with it, it is left, and the boot
  // program is not put on.
  test::WriteBytes(dir.File("nomenu.d77"), disk);
  ASSERT_EQ(Disk({"remove", "nomenu.d77", "PLAY"}).exitCode, 0);
  const Bytes noMenu = Read("nomenu.d77");
  EXPECT_EQ(Disk({"boot", "nomenu.d77"}).exitCode, 3);
  EXPECT_EQ(Read("nomenu.d77"), noMenu);
  ASSERT_EQ(Disk({"add", "d.d77", "x.bin", "ONE"}).exitCode, 0);
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAYER", "p.bin"}).exitCode, 0);
  EXPECT_TRUE(std::equal(current.begin(), current.end(), Read("p.bin").begin()));
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAY", "play.txt"}).exitCode, 0);
  EXPECT_NE(test::ReadText(dir.File("play.txt")).find("DATA \"ONE\""), std::string::npos);
  // The earlier versions' tables, at &H2000: kept, and PLAY follows.
  disk = Read("d.d77");
  const auto player = std::search(disk.begin(), disk.end(), current.begin(), current.end());
  ASSERT_NE(player, disk.end());
  // The file's bytes, sector after sector, each behind its 16-byte header.
  const auto fileByte = [&player](std::size_t offset) {
    return player + static_cast<std::ptrdiff_t>(offset / 256 * (256 + 16) + offset % 256);
  };
  const player::VolumeTable earlier = player::SineFittedVolumeTable(player::PsgProfile::Fm77av);
  Bytes earlierPlayer;
  for (std::size_t i = 0; i < 5 + 0xCF + earlier.size(); ++i) {
    if (i >= 5 + 0xCF) {
      *fileByte(i) = earlier[i - 5 - 0xCF];
    }
    earlierPlayer.push_back(*fileByte(i));
  }
  test::WriteBytes(dir.File("d.d77"), disk);
  const test::ToolRun kept = Disk({"add", "d.d77", "x.bin", "EARLIER"});
  EXPECT_EQ(kept.exitCode, 0);
  EXPECT_EQ(kept.err, "");
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAYER", "p.bin"}).exitCode, 0);
  EXPECT_TRUE(std::equal(earlierPlayer.begin(), earlierPlayer.end(), Read("p.bin").begin()));
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAY", "play.txt"}).exitCode, 0);
  EXPECT_NE(test::ReadText(dir.File("play.txt")).find("DATA \"EARLIER\""), std::string::npos);
  // Tables of no version: a PLAYER of the user's, which PLAY is left
  // beside and 'player' replaces only when asked.
  player[5 + 0xCF + 40] ^= 0x01;
  test::WriteBytes(dir.File("d.d77"), disk);
  const test::ToolRun added = Disk({"add", "d.d77", "x.bin", "TWO"});
  EXPECT_EQ(added.exitCode, 0);
  EXPECT_EQ(added.err, Console("tonebake-disk: d.d77: PLAYER is not tonebake's (its code or volume "
                               "tables differ): PLAY's list was not brought up to date ('player "
                               "--replace' puts tonebake's on)\n"));
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAY", "play.txt"}).exitCode, 0);
  EXPECT_EQ(test::ReadText(dir.File("play.txt")).find("TWO"), std::string::npos);
  const Bytes users = Read("d.d77");
  EXPECT_EQ(Disk({"player", "d.d77"}).exitCode, 3);
  EXPECT_EQ(Read("d.d77"), users);
  EXPECT_EQ(Disk({"player", "--replace", "d.d77"}).exitCode, 0);
}

// A disk made when the sound's room still ended at &H6FFF: PLAY lists a
// sound of 19,000 samples, which no longer fits below &H6E00. The next
// change takes it off the list, and says so.
TEST_F(DiskRun, ASoundThatNoLongerFitsLeavesPlaysListWithAWord) {
  test::WriteBytes(dir.File("old.bin"), MakeImage("old", 19000));
  test::WriteBytes(dir.File("x.bin"), MakeImage("x", 10));
  ASSERT_EQ(Disk({"player", "d.d77"}).exitCode, 0);
  ASSERT_EQ(Disk({"add", "d.d77", "old.bin"}).exitCode, 0);
  Bytes image = Read("d.d77");
  d77::Disk disk;
  bool more = false;
  ASSERT_EQ(disk.Open(image, more), d77::DiskOk);
  ASSERT_EQ(
      d77::AddAsciiBasic(
          disk, "PLAY",
          fbasic::PlayProgram({{"OLD", 19000, 16}}, "1:", player::PlayLayoutOfThePlayer()), true),
      d77::DiskDone);
  test::WriteBytes(dir.File("d.d77"), image);
  const test::ToolRun added = Disk({"add", "d.d77", "x.bin"});
  EXPECT_EQ(added.exitCode, 0);
  EXPECT_EQ(added.err,
            Console("tonebake-disk: d.d77: OLD is not in PLAY's list: its count of "
                    "19000 is more than PLAY loads (18993); it is stored all the same\n"));
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAY", "play.txt"}).exitCode, 0);
  const std::string play = test::ReadText(dir.File("play.txt"));
  EXPECT_EQ(play.find("\"OLD\""), std::string::npos);
  EXPECT_NE(play.find("\"X\",10,16,"), std::string::npos);
}

// A PLAY the user edited (the drive in line 10) is theirs: its list is left
// as it is, with a word why, and 'player' replaces it only when asked.
TEST_F(DiskRun, AnEditedPlayIsLeftAsTheUserMadeIt) {
  test::WriteBytes(dir.File("x.bin"), MakeImage("x", 10));
  ASSERT_EQ(Disk({"player", "d.d77"}).exitCode, 0);
  Bytes disk = Read("d.d77");
  const std::string drive = "D$=\"1:\"";
  const auto at = std::search(disk.begin(), disk.end(), drive.begin(), drive.end());
  ASSERT_NE(at, disk.end());
  at[4] = '0';
  test::WriteBytes(dir.File("d.d77"), disk);
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAY", "edited.txt"}).exitCode, 0);
  const test::ToolRun added = Disk({"add", "d.d77", "x.bin", "ONE"});
  EXPECT_EQ(added.exitCode, 0);
  EXPECT_EQ(added.err, Console("tonebake-disk: d.d77: PLAY has been changed since tonebake wrote "
                               "it: its list was not brought up to date ('player --replace' "
                               "writes it anew)\n"));
  ASSERT_EQ(Disk({"extract", "d.d77", "PLAY", "play.txt"}).exitCode, 0);
  EXPECT_EQ(Read("play.txt"), Read("edited.txt"));
  const Bytes kept = Read("d.d77");
  EXPECT_EQ(Disk({"player", "d.d77"}).exitCode, 3);
  EXPECT_EQ(Read("d.d77"), kept);
}

// A name on a disk is data: one that F-BASIC would not take from a user (a
// quote, a line end) stays on the disk but never reaches PLAY's text.
TEST_F(DiskRun, NamesFromADiskNeverBecomeBasicInPlay) {
  test::WriteBytes(dir.File("x.bin"), MakeImage("x", 10));
  const std::string hostile[] = {std::string("A\"\r\n5NEW"), std::string("Q\"")};
  for (const std::string& name : hostile) {
    ASSERT_EQ(Disk({"new", "d.d77"}).exitCode, 0);
    ASSERT_EQ(Disk({"add", "d.d77", "x.bin", "AAAAAAAA"}).exitCode, 0);
    Bytes disk = Read("d.d77");
    const std::string was = "AAAAAAAA";
    const auto at = std::search(disk.begin(), disk.end(), was.begin(), was.end());
    ASSERT_NE(at, disk.end());
    std::copy(name.begin(), name.end(), at);
    std::fill(at + static_cast<std::ptrdiff_t>(name.size()), at + 8, ' ');
    test::WriteBytes(dir.File("d.d77"), disk);
    const test::ToolRun player = Disk({"player", "d.d77"});
    EXPECT_EQ(player.exitCode, 0);
    const std::string shown = name.size() == 8 ? "A\"\\x0D\\x0A5NEW" : name;
    EXPECT_EQ(player.err, Console("tonebake-disk: d.d77: " + shown +
                                  " is not in PLAY's list: F-BASIC cannot take that name in a "
                                  "program; it is stored all the same\n"));
    ASSERT_EQ(Disk({"extract", "d.d77", "PLAY", "play.txt"}).exitCode, 0);
    const std::string play = test::ReadText(dir.File("play.txt"));
    EXPECT_NE(play.find("\r\n1000 DATA \"\",0,0,0\r\n\x1A"), std::string::npos) << play;
    EXPECT_EQ(play.find("NEW"), std::string::npos);
    std::filesystem::remove(dir.File("d.d77"));
  }
}

// The companions as a newcomer uses them: '-' for the standard streams,
// --option=value, and default names that F-BASIC always takes.
TEST_F(DiskRun, StreamsOptionValuesAndNamesJustWork) {
  const Bytes image = MakeImage("x", 50);
  options.workDir = dir.path().string();
  const auto run = [&](const char* exe, const std::vector<std::string>& arguments) {
    return test::RunTool(exe, arguments, options);
  };
  // '-': standard input to add (with a name), standard output to extract.
  options.stdinPath = dir.File("x.bin");
  for (const auto& [exe, medium] :
       {std::pair{TONEBAKE_DISK_EXE, "d.d77"}, std::pair{TONEBAKE_TAPE_EXE, "t.t77"}}) {
    EXPECT_EQ(run(exe, {"add", medium, "-"}).exitCode, 1) << medium;
#ifdef _WIN32  // the test runner gives no standard input there
    ASSERT_EQ(run(exe, {"add", medium, "x.bin", "PIPED"}).exitCode, 0) << medium;
#else
    ASSERT_EQ(run(exe, {"add", medium, "-", "PIPED"}).exitCode, 0) << medium;
#endif
    const test::ToolRun out = run(exe, {"extract", medium, "PIPED", "-"});
    EXPECT_EQ(out.exitCode, 0) << medium;
    EXPECT_EQ(Bytes(out.out.begin(), out.out.begin() + static_cast<std::ptrdiff_t>(image.size())),
              image)
        << medium;
    EXPECT_FALSE(std::filesystem::exists(dir.File("-")));
  }
  options.stdinPath.clear();
  // --option=value, as prep takes it.
  EXPECT_EQ(run(TONEBAKE_DISK_EXE, {"player", "--psg=fm77av", "d.d77"}).exitCode, 0);
  EXPECT_EQ(run(TONEBAKE_TAPE_EXE, {"wav", "--rate=22050", "t.t77", "t.wav"}).exitCode, 0);
  EXPECT_EQ(ReadLittleEndian32(&Read("t.wav")[24]), 22050u);
  EXPECT_EQ(run(TONEBAKE_PLAY_EXE, {"--psg=fm77av", "x.bin", "x.wav"}).exitCode, 0);
  EXPECT_EQ(run(TONEBAKE_DISK_EXE, {"list", "--replace=yes", "d.d77"}).exitCode, 1);
  // A new disk without the extension emulators look for is made, and said so.
  EXPECT_EQ(run(TONEBAKE_DISK_EXE, {"add", "newdisk", "x.bin"}).err,
            Console("tonebake-disk: newdisk: made, with no .d77 extension; emulators look for "
                    "one\n"));
  // Default names F-BASIC takes, and which one was chosen.
  const struct {
    std::string file;
    std::string name;
  } names[] = {
      {"my voice 8.bin", "MYVOICE8"},
#ifndef _WIN32  // file names in the console's code page there
      {u8"\u58F0.bin", "SOUND"},
      {u8"\u58F0 2.bin", "2"},
#endif
  };
  for (const auto& n : names) {
    test::WriteBytes(dir.File(n.file), image);
    const test::ToolRun added = Disk({"add", "names.d77", n.file});
    EXPECT_EQ(added.exitCode, 0) << n.name;
    EXPECT_EQ(added.err, Console("tonebake-disk: " + n.file +
                                 ": F-BASIC cannot hold every character of the name; it is "
                                 "stored as " +
                                 n.name + "\n"));
    EXPECT_EQ(Disk({"extract", "names.d77", n.name, "out.bin"}).exitCode, 0) << n.name;
  }
#ifndef _WIN32
  // A name typed that F-BASIC cannot take is shown as typed.
  EXPECT_EQ(Disk({"add", "names.d77", "x.bin", u8"\u58F0"}).err,
            Console(u8"tonebake-disk: names.d77: cannot add \u58F0: F-BASIC cannot take that "
                    "name (1 to 8 printable characters, no space, '\"' or ':')\n"));
#endif
}

// The preview program on the same images: what the FM-7 plays, and
// refusals of what it cannot.
TEST_F(DiskRun, PlayRendersImagesAndRefusesWhatAnFm7CannotPlay) {
  const Bytes tone = MakeImage("tone", 8000);
  options.workDir = dir.path().string();
  const test::ToolRun played =
      test::RunTool(TONEBAKE_PLAY_EXE, {"tone.bin", "tone44.wav"}, options);
  ASSERT_EQ(played.exitCode, 0) << played.err;
  const Bytes wave = Read("tone44.wav");
  // 16-bit mono at 44100 Hz: 7999 samples of 224 cycles at 1798660 Hz, and
  // less than 1000 cycles of setting up and silencing (under 25 samples).
  ASSERT_GE(wave.size(), 44u);
  EXPECT_EQ(ReadLittleEndian32(&wave[24]), 44100u);
  EXPECT_EQ(ReadLittleEndian16(&wave[34]), 16u);
  const double seconds = 7999 * 224 / 1798660.0;
  EXPECT_GE(static_cast<double>(wave.size() - 44) / 2, seconds * 44100);
  EXPECT_LE(static_cast<double>(wave.size() - 44) / 2, seconds * 44100 + 25);
  test::WriteBytes(dir.File("notimage.bin"), Bytes(100, 0x80));
  const auto run = [this](const std::vector<std::string>& arguments) {
    return test::RunTool(TONEBAKE_PLAY_EXE, arguments, options);
  };
  EXPECT_EQ(run({"notimage.bin", "o.wav"}).err,
            Console("tonebake-play: notimage.bin: cannot read: not an FM-7 PCM image\n"));
  test::WriteBytes(dir.File("big.bin"), MakeImage("big", 20481));
  EXPECT_EQ(run({"big.bin", "o.wav"}).exitCode, 2);
  EXPECT_EQ(run({"tone.bin", "./tone.bin"}).exitCode, 1);
  EXPECT_EQ(run({"tone.bin", "o.wav", "--psg", "sn76489"}).exitCode, 1);
  EXPECT_EQ(run({"tone.bin", "o.wav", "--clock", "0"}).exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.File("o.wav")));
}

// The preview's options each change what it renders as they should.
TEST_F(DiskRun, PlaysOptionsChangeTheRenderingAsTheyShould) {
  MakeImage("tone", 2000);
  test::WriteBytes(dir.File("empty.bin"),
                   Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 16, 0xFF, 0x00, 0x00, 0x00, 0x00});
  options.workDir = dir.path().string();
  const auto play = [&](const std::vector<std::string>& arguments) {
    return test::RunTool(TONEBAKE_PLAY_EXE, arguments, options);
  };
  const auto samples = [&](const std::string& name) {
    return static_cast<double>(Read(name).size() - 44) / 2;
  };
  ASSERT_EQ(play({"tone.bin", "fm7.wav"}).exitCode, 0);
  ASSERT_EQ(play({"--psg", "fm77av", "tone.bin", "fm77av.wav"}).exitCode, 0);
  EXPECT_NE(Read("fm7.wav"), Read("fm77av.wav"));
  // The fm77av rendering is the fm77av PLAYER's, on the fm77av curve.
  const Bytes image = Read("tone.bin");
  // LOADM loads the count's bytes: the wait, then count - 1 samples.
  const auto count = static_cast<std::ptrdiff_t>(image.size() - kPcmImageOverhead);
  const Bytes loaded(image.begin() + pcm_image_offset::kWait,
                     image.begin() + pcm_image_offset::kWait + count);
  player::M6809 cpu;
  std::string error;
  ASSERT_TRUE(player::RunPlayer(player::PsgProfile::Fm77av, loaded,
                                static_cast<std::uint16_t>(loaded.size() - 1), cpu, error));
  const std::vector<std::int16_t> expected =
      player::RenderPsg(player::DecodePsgWrites(cpu.writes), cpu.cycles, player::PsgProfile::Fm77av,
                        player::kFm7ClockHz);
  const Bytes heard = Read("fm77av.wav");
  ASSERT_EQ(heard.size(), 44 + 2 * expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(static_cast<std::int16_t>(heard[44 + 2 * i] | heard[45 + 2 * i] << 8), expected[i]);
  }
  // Twice the clock plays in half the time.
  ASSERT_EQ(play({"--clock", "3597320", "tone.bin", "fast.wav"}).exitCode, 0);
  EXPECT_NEAR(samples("fast.wav"), samples("fm7.wav") / 2, 30);
  // '-' is standard output, byte for byte the file.
  const test::ToolRun piped = play({"tone.bin", "-"});
  EXPECT_EQ(Bytes(piped.out.begin(), piped.out.end()), Read("fm7.wav"));
  // No samples: nothing to play, and nothing made.
  const test::ToolRun empty = play({"empty.bin", "empty.wav"});
  EXPECT_EQ(empty.exitCode, 2);
  EXPECT_FALSE(std::filesystem::exists(dir.File("empty.wav")));
}

#ifndef _WIN32
// /dev/stdout that is a pipe is written as the pipe it is: its link names
// no file (pipe:[N]).
TEST_F(DiskRun, DevStdoutThroughAPipeCarriesTheSameBytesAsAFile) {
  MakeImage("tone", 100);
  options.workDir = dir.path().string();
  ASSERT_EQ(test::RunTool(TONEBAKE_PLAY_EXE, {"tone.bin", "file.wav"}, options).exitCode, 0);
  const test::ToolRun piped = test::RunTool(
      "/bin/sh", {"-c", std::string(TONEBAKE_PLAY_EXE) + " tone.bin /dev/stdout | cat >piped.wav"},
      options);
  EXPECT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_EQ(Read("piped.wav"), Read("file.wav"));
}

// A file's name is data: an escape code or a line break in it is shown,
// never sent to the terminal, by every program.
TEST_F(DiskRun, NamesNeverActOnTheTerminal) {
  const std::string name = "red\x1B[31m\nline";
  const struct {
    const char* program;
    std::vector<std::string> arguments;
    std::string err;
  } cases[] = {
      {TONEBAKE_DISK_EXE, {"list", name + ".d77"}, "tonebake-disk: red\\x1B[31m\\x0Aline.d77: "},
      {TONEBAKE_TAPE_EXE, {"list", name + ".t77"}, "tonebake-tape: red\\x1B[31m\\x0Aline.t77: "},
      {TONEBAKE_PLAY_EXE, {name + ".bin", "o.wav"}, "tonebake-play: red\\x1B[31m\\x0Aline.bin: "},
      {TONEBAKE_EXE, {name + ".wav"}, "err: "},
  };
  options.workDir = dir.path().string();
  for (const auto& c : cases) {
    const test::ToolRun run = test::RunTool(c.program, c.arguments, options);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.err.find('\x1B'), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("red\\x1B[31m\\x0Aline"), std::string::npos) << run.err;
  }
}

// A lock that cannot be made says why: a folder that cannot take it, or a
// name that something else holds.
TEST_F(DiskRun, ALockThatCannotBeMadeSaysWhy) {
  test::WriteBytes(dir.File("x.bin"), MakeImage("x", 10));
  ASSERT_EQ(mkfifo(dir.File(".piped.d77.tonebake-lock").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.File(".folder.d77.tonebake-lock"));
  for (const std::string name : {"piped", "folder"}) {
    const test::ToolRun taken = Disk({"add", name + ".d77", "x.bin"});
    EXPECT_EQ(taken.exitCode, 4);
    EXPECT_EQ(taken.err,
              "tonebake-disk: " + name +
                  ".d77: cannot lock it: the name of its lock "
                  "file, ." +
                  name +
                  ".d77.tonebake-lock, is taken by something that is "
                  "not a plain file (a link, a pipe or a folder); the disk is unchanged\n");
  }
  if (geteuid() != 0) {
    std::filesystem::create_directory(dir.File("ro"));
    ASSERT_EQ(Disk({"new", "ro/d.d77"}).exitCode, 0);
    std::filesystem::permissions(dir.File("ro"), std::filesystem::perms(0555));
    const test::ToolRun readOnly = Disk({"add", "ro/d.d77", "x.bin"});
    std::filesystem::permissions(dir.File("ro"), std::filesystem::perms(0755));
    EXPECT_EQ(readOnly.exitCode, 4);
    EXPECT_EQ(readOnly.err,
              "tonebake-disk: ro/d.d77: cannot lock it: the folder ro/ cannot take "
              "its lock file (ro/.d.d77.tonebake-lock): Permission denied; the disk "
              "is unchanged\n");
  }
}

TEST_F(DiskRun, AReadOnlyDiskIsNotReplaced) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "root may write any file";
  }
  test::WriteBytes(dir.File("x.bin"), MakeImage("x", 10));
  ASSERT_EQ(Disk({"new", "ro.d77"}).exitCode, 0);
  std::filesystem::permissions(dir.File("ro.d77"), std::filesystem::perms(0444));
  const test::ToolRun run = Disk({"add", "ro.d77", "x.bin"});
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_EQ(run.err,
            "tonebake-disk: ro.d77: cannot write: the file is read-only; the disk is "
            "unchanged\n");
}

// A file is judged by its header before it is read whole: a large file
// that is no disk costs nothing; one that starts as a disk but is 4 GiB or
// larger is refused as such.
TEST_F(DiskRun, ALargeFileIsJudgedByItsHeaderFirst) {
  ASSERT_EQ(Disk({"new", "disk.d77"}).exitCode, 0);
  const struct {
    const char* name;
    Bytes start;
    std::string err;
  } cases[] = {
      {"zeros.d77", Bytes(),
       "damaged disk image: a size or an offset lies outside the file, sectors overlap, or a "
       "sector is missing or on the wrong track"},
      {"disks.d77", Read("disk.d77"), "cannot read: it is 4 GiB or larger"},
  };
  for (const auto& c : cases) {
    test::WriteBytes(dir.File(c.name), c.start);
    std::filesystem::resize_file(dir.File(c.name), 0x100000001ull);  // sparse
    const test::ToolRun run = Disk({"list", c.name});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "tonebake-disk: " + std::string(c.name) + ": " + c.err + "\n");
  }
}

// Runs started together while the lock is held (as a run in the middle of
// its change holds it) all wait, then take turns: nothing is lost.
TEST_F(DiskRun, RunsOnOneDiskTakeTurnsAndLoseNothing) {
  test::WriteBytes(dir.File("x.bin"), MakeImage("x", 3000));
  options.workDir = dir.path().string();
  const struct {
    std::vector<std::vector<std::string>> runs;
    std::vector<std::string> listed;  // the names on the disk afterwards
  } cases[] = {
      {{{"add", "d.d77", "x.bin", "A"}, {"add", "d.d77", "x.bin", "B"}}, {"A", "B", "OLD"}},
      {{{"remove", "d.d77", "OLD"}, {"add", "d.d77", "x.bin", "A"}}, {"A"}},
      {{{"add", "new.d77", "x.bin", "A"}, {"new", "new.d77"}, {"add", "new.d77", "x.bin", "B"}},
       {"A", "B"}},
  };
  for (int round = 0; round < 2; ++round) {
    for (const auto& c : cases) {
      std::filesystem::remove(dir.File("new.d77"));
      std::filesystem::remove(dir.File("d.d77"));
      ASSERT_EQ(Disk({"add", "d.d77", "x.bin", "OLD"}).exitCode, 0);
      FileLock held;
      ASSERT_EQ(held.Acquire(dir.File(c.runs.front()[1]), 1000, nullptr), 0);
      std::vector<test::BackgroundRun> started;
      for (const auto& arguments : c.runs) {
        started.push_back(
            test::StartTool(TONEBAKE_DISK_EXE, arguments, options, std::to_string(started.size())));
      }
      for (const test::BackgroundRun& run : started) {  // every run is waiting
        for (int wait = 0; test::ReadText(run.errPath).find("waiting") == std::string::npos;
             ++wait) {
          ASSERT_LT(wait, 500) << "a run did not wait for the lock";
          usleep(10000);
        }
      }
      held.Release();
      for (const test::BackgroundRun& run : started) {
        const test::ToolRun finished = test::FinishTool(run);
        EXPECT_TRUE(finished.exitCode == 0 ||
                    (finished.exitCode == 3 && Contains(finished.err, "already exists")))
            << finished.err;
      }
      const test::ToolRun listed = Disk({"list", c.runs.front()[1]});
      std::vector<std::string> names;
      for (std::size_t at = listed.out.find('\n'); at + 1 < listed.out.size();
           at = listed.out.find('\n', at + 1)) {
        const std::string name = listed.out.substr(at + 1, listed.out.find(' ', at + 1) - at - 1);
        if (name.find_first_of("0123456789") != 0) {
          names.push_back(name);
        }
      }
      std::sort(names.begin(), names.end());
      EXPECT_EQ(names, c.listed) << listed.out;
    }
  }
}

TEST_F(DiskRun, SizesNamesAndStreamsAreCheckedBeforeAnythingIsLost) {
  // A source larger than a disk is refused before it is read.
  test::WriteBytes(dir.File("huge.bin"), Bytes());
  std::filesystem::resize_file(dir.File("huge.bin"), 1ull << 30);  // sparse
  const test::ToolRun huge = Disk({"add", "d.d77", "huge.bin"});
  EXPECT_EQ(huge.exitCode, 3);
  EXPECT_EQ(huge.err,
            "tonebake-disk: huge.bin: cannot add it: it is larger than a whole disk holds "
            "(311296 bytes)\n");
  // The real reason a disk cannot be made.
  const test::ToolRun tooLong = Disk({"new", std::string(300, 'n') + ".d77"});
  EXPECT_EQ(tooLong.exitCode, 4);
  EXPECT_TRUE(Contains(tooLong.err, ": cannot write: File name too long")) << tooLong.err;
  // Output that cannot be written is a failure, not a listing.
  ASSERT_EQ(Disk({"new", "d.d77"}).exitCode, 0);
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"list", "d.d77"}, {"--help"}, {"--version"}}) {
    const int exitCode = test::RunWithOutputFiles(TONEBAKE_DISK_EXE, arguments, options,
                                                  "/dev/full", dir.File("err.txt"));
    EXPECT_EQ(exitCode, 4) << arguments[0];
    EXPECT_EQ(test::ReadText(dir.File("err.txt")),
              "tonebake-disk: standard output: cannot write: No space left on device\n");
  }
}

TEST_F(DiskRun, AFailedSaveLeavesTheDiskAsItWas) {
  test::WriteBytes(dir.File("big.bin"), Bytes(100000, 0x80));
  ASSERT_EQ(Disk({"new", "d.d77"}).exitCode, 0);
  const Bytes before = Read("d.d77");
  options.fileSizeLimit = 300000;  // less than a disk
  const test::ToolRun run = Disk({"add", "--raw", "d.d77", "big.bin"});
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_EQ(run.err, "tonebake-disk: d.d77: cannot write: File too large; the disk is unchanged\n");
  EXPECT_EQ(Read("d.d77"), before);
}
#endif

}  // namespace
}  // namespace tonebake
