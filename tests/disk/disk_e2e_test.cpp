// Runs the built tonebake-disk on disks it makes, with images tonebake makes.
#include <gtest/gtest.h>

#include "support/run_tool.h"
#include "support/temp_dir.h"
#include "support/wave_bytes.h"

namespace tonebake {
namespace {

using test::Bytes;

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
  EXPECT_EQ(listed.out, Console("NAME      TYPE     FORM    SECTORS\n"
                                "JINGLE    machine  binary       12\n"
                                "LONGVOIC  machine  binary       36\n"
                                "2 files; 145 clusters free (1160 sectors, 296960 bytes)\n"));
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
}

TEST_F(DiskRun, DamagedAndForeignDisksAreRefusedUnchanged) {
  ASSERT_EQ(Disk({"new", "blank.d77"}).exitCode, 0);
  Bytes damaged = Read("blank.d77");
  damaged.resize(100000);  // the size field now points past the end
  test::WriteBytes(dir.File("damaged.d77"), damaged);
  const test::ToolRun run = Disk({"add", "damaged.d77", "blank.d77", "X"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err.rfind("tonebake-disk: damaged.d77: damaged disk image", 0), 0u) << run.err;
  EXPECT_EQ(Read("damaged.d77"), damaged);
  EXPECT_EQ(Disk({"list", "nosuch.d77"}).exitCode, 2);
  EXPECT_EQ(Disk({"frobnicate", "blank.d77"}).exitCode, 1);
}

}  // namespace
}  // namespace tonebake
