#include "fileio/whole_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "fileio/replacing_file.h"
#include "support/faulty_file_access.h"
#include "support/temp_dir.h"
#include "support/wave_bytes.h"

namespace tonebake {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// The names in a directory, sorted: shows any temporary file left behind.
std::vector<std::string> Names(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

Bytes Contents(const ByteBuffer& file) {
  return Bytes(file.bytes.get(), file.bytes.get() + file.length);
}

TEST(LoadFile, ReadsTheWholeFile) {
  TempDir dir;
  const Bytes bytes = test::RampSamples(70000);
  WriteBytes(dir.File("in.wav"), bytes);
  ByteBuffer file;
  ASSERT_EQ(LoadFile(dir.File("in.wav"), file), 0);
  EXPECT_EQ(Contents(file), bytes);
}

// Opens and closes seen by every FileAccess made, to show that no handle is
// left open, whether the load succeeds or not.
int g_openHandles = 0;
class CountingFileAccess : public FileAccess {
 public:
  FileHandle Open(const char* name, std::uint32_t access, std::uint32_t attributes,
                  std::uint32_t disposition) override {
    const FileHandle handle = FileAccess::Open(name, access, attributes, disposition);
    g_openHandles += handle != kNoFileHandle ? 1 : 0;
    return handle;
  }
  int Close(FileHandle handle) override {
    --g_openHandles;
    return FileAccess::Close(handle);
  }
};

TEST(LoadFile, ClosesWhatItOpens) {
  TempDir dir;
  WriteBytes(dir.File("in.wav"), Bytes(100, 1));
  const FileAccessFactory counting = [] {
    return std::unique_ptr<FileAccess>(std::make_unique<CountingFileAccess>());
  };
  ByteBuffer file;
  EXPECT_EQ(LoadFile(dir.File("in.wav"), file, counting), 0);
  EXPECT_EQ(g_openHandles, 0);
  EXPECT_EQ(LoadFileAtMost(dir.File("in.wav"), 99, file, counting), TooLargeForUse);
  EXPECT_EQ(g_openHandles, 0);
}

TEST(LoadFile, EmptyFileLoadsWithLengthZero) {
  TempDir dir;
  WriteBytes(dir.File("empty"), Bytes());
  ByteBuffer file;
  ASSERT_EQ(LoadFile(dir.File("empty"), file), 0);
  EXPECT_EQ(file.length, 0u);
}

TEST(LoadFile, MissingFileOrDirectoryFailsAndLeavesNoBuffer) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("sub"));
  for (const std::string name : {"missing.wav", "sub"}) {
    ByteBuffer file;
    file.length = 99;
    EXPECT_NE(LoadFile(dir.File(name), file), 0) << name;
    EXPECT_EQ(file.bytes, nullptr) << name;
    EXPECT_EQ(file.length, 0u) << name;
  }
}

TEST(SaveFile, ReplacesALongerFileWithExactlyTheNewBytes) {
  TempDir dir;
  WriteBytes(dir.File("out.bin"), test::RampSamples(500));
  const Bytes image{1, 2, 3};
  ASSERT_EQ(SaveFile(dir.File("out.bin"), image.data(), 3), 0);
  EXPECT_EQ(ReadBytes(dir.File("out.bin")), image);
}

#ifndef _WIN32
TEST(SaveFile, ReplacesTheFileALinkPointsToAndKeepsItsModeAndTheLink) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("real"));
  WriteBytes(dir.File("real/out.bin"), test::RampSamples(500));
  std::filesystem::permissions(dir.File("real/out.bin"), std::filesystem::perms(0640));
  std::filesystem::create_symlink("real/out.bin", dir.File("link.bin"));
  // A file with the output's hidden name: the temporary name must be more
  // than that.
  WriteBytes(dir.File("real/.out.bin"), Bytes{7});
  const Bytes image{1, 2, 3};
  ASSERT_EQ(SaveFile(dir.File("link.bin"), image.data(), 3), 0);
  EXPECT_EQ(ReadBytes(dir.File("real/.out.bin")), Bytes{7});
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.bin")));
  EXPECT_EQ(ReadBytes(dir.File("real/out.bin")), image);
  EXPECT_EQ(std::filesystem::status(dir.File("real/out.bin")).permissions(),
            std::filesystem::perms(0640));
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"link.bin", "real"}));
  // A loop of links is not replaced: the save fails and both stay links.
  std::filesystem::create_symlink("b", dir.File("a"));
  std::filesystem::create_symlink("a", dir.File("b"));
  EXPECT_NE(SaveFile(dir.File("a"), image.data(), 3), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("a")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("b")));
}
#endif

TEST(FileAccess, SizeOfAllOnesIsARealSizeWhenNoErrorIsRecorded) {
  TempDir dir;
  WriteBytes(dir.File("big"), Bytes());
  std::filesystem::resize_file(dir.File("big"), 0xFFFFFFFFu);  // sparse: no space used
  FileAccess access;
  const FileHandle handle = access.Open(dir.File("big").c_str(), os_file::kGenericRead,
                                        os_file::kFileAttributeNormal, os_file::kOpenExisting);
  ASSERT_NE(handle, kNoFileHandle);
  std::uint32_t high = 7;
  EXPECT_EQ(access.GetSize(handle, &high), 0xFFFFFFFFu);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(access.GetErrorCode(), 0);
  access.Close(handle);
}

FileHandle OpenForReading(FileAccess& access, const std::string& path) {
  return access.Open(path.c_str(), os_file::kGenericRead, os_file::kFileAttributeNormal,
                     os_file::kOpenExisting);
}

// Every operation that fails returns its failure value and records the
// system's code, or the class's own one when it is asked for that: 0x8107
// open, 0x8108 close and size, 0x8103 read, 0x8104 write, and the codes of
// the operations a safe save adds.
TEST(FileAccess, EveryFailureRecordsTheSystemsCodeOrItsOwn) {
  TempDir dir;
  WriteBytes(dir.File("ten"), test::RampSamples(10));
  FileAccess opener;
  const FileHandle stale = OpenForReading(opener, dir.File("ten"));
  ASSERT_EQ(opener.Close(stale), 1);  // a handle that is no longer open
  const std::string missing = dir.File("missing");
  std::uint8_t buffer[4] = {};
  std::uint32_t high = 0;
  struct Case {
    const char* name;
    std::int32_t ownCode;
    std::function<bool(FileAccess&)> fails;
  };
  std::vector<Case> cases = {
      {"open", 0x8107,
       [&](FileAccess& a) { return OpenForReading(a, missing) == kNoFileHandle; }},  // system: 2
      {"close", 0x8108, [&](FileAccess& a) { return a.Close(stale) == 0; }},
      {"size", 0x8108, [&](FileAccess& a) { return a.GetSize(stale, &high) == 0xFFFFFFFFu; }},
      {"read", 0x8103, [&](FileAccess& a) { return a.Read(stale, buffer, 4) == 0; }},
      {"write", 0x8104, [&](FileAccess& a) { return a.Write(stale, buffer, 4) == 0; }},
      {"seek", 0x810B, [&](FileAccess& a) { return a.SetPosition(stale, 0) == 0; }},
      {"rename", 0x8109,
       [&](FileAccess& a) { return a.Rename(missing.c_str(), dir.File("x").c_str()) == 0; }},
      {"remove", 0x810C, [&](FileAccess& a) { return a.Remove(missing.c_str()) == 0; }},
  };
#ifndef _WIN32  // Windows files take their permissions from their folder
  cases.push_back({"permissions", 0x810A, [&](FileAccess& a) {
                     return a.CopyPermissions(stale, dir.File("ten").c_str()) == 0;
                   }});
#endif
  for (const std::int32_t useSystem : {1, 0}) {
    for (const auto& c : cases) {
      FileAccess access;
      EXPECT_EQ(access.SetUseSystemError(useSystem), 1);
      EXPECT_EQ(access.GetUseSystemError(), useSystem);
      EXPECT_TRUE(c.fails(access)) << c.name;
      const std::int32_t code = access.GetErrorCode();
      if (useSystem != 0) {
        EXPECT_TRUE(code > 0 && code < 0x8100) << c.name << ": " << code;
        // "No such file": 2, as ENOENT and as ERROR_FILE_NOT_FOUND.
        EXPECT_TRUE(std::string(c.name) != "open" || code == 2) << code;
      } else {
        EXPECT_EQ(code, c.ownCode) << c.name;
      }
      EXPECT_EQ(access.SetErrorCode(0), code) << c.name;
    }
  }
}

// The values the Win32 calls take, which the POSIX layer reads the same way.
TEST(FileAccess, UsesTheWin32ValuesForAccessAndDisposition) {
  EXPECT_EQ(os_file::kGenericRead, 0x80000000u);
  EXPECT_EQ(os_file::kGenericWrite, 0x40000000u);
  EXPECT_EQ(os_file::kFileAttributeNormal, 0x80u);
  EXPECT_EQ(os_file::kCreateNew, 1u);
  EXPECT_EQ(os_file::kCreateAlways, 2u);
  EXPECT_EQ(os_file::kOpenExisting, 3u);
}

// Reading past the end moves what there is and is no failure; every
// operation that succeeds answers 1.
TEST(FileAccess, SuccessfulOperationsAnswerOne) {
  TempDir dir;
  WriteBytes(dir.File("ten"), test::RampSamples(10));
  FileAccess access;
  const FileHandle in = OpenForReading(access, dir.File("ten"));
  ASSERT_NE(in, kNoFileHandle);
  std::uint8_t buffer[20];
  EXPECT_EQ(access.Read(in, buffer, 20), 10u);
  EXPECT_EQ(Bytes(buffer, buffer + 10), test::RampSamples(10));
  EXPECT_EQ(access.Read(in, buffer, 20), 0u);
  EXPECT_EQ(access.SetPosition(in, 0), 1);
  EXPECT_EQ(access.CopyPermissions(in, dir.File("ten").c_str()), 1);
  EXPECT_EQ(access.Close(in), 1);
  EXPECT_EQ(access.Rename(dir.File("ten").c_str(), dir.File("moved").c_str()), 1);
  EXPECT_EQ(access.Remove(dir.File("moved").c_str()), 1);
  EXPECT_EQ(access.GetErrorCode(), 0);
}

#ifndef _WIN32
TEST(LoadFile, RefusesAPipeWithoutWaitingForAWriter) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.File("pipe.wav").c_str(), 0600), 0);
  ByteBuffer file;
  EXPECT_NE(LoadFile(dir.File("pipe.wav"), file), 0);
  EXPECT_EQ(file.bytes, nullptr);
}
#endif

// Written in pieces, with a header patched at the end, as tonebake-prep does.
TEST(ReplacingFile, WritesPiecesAndPatchesEarlierBytes) {
  TempDir dir;
  WriteBytes(dir.File("out"), Bytes{9});
  ReplacingFile file;
  ASSERT_EQ(file.Open(dir.File("out")), 0);
  const Bytes first{1, 2, 3, 4}, patch{7, 8}, last{5};
  ASSERT_EQ(file.Write(first.data(), 4), 0);
  ASSERT_EQ(file.WriteAt(0, patch.data(), 2), 0);
  ASSERT_EQ(file.Write(last.data(), 1), 0);
  EXPECT_EQ(ReadBytes(dir.File("out")), Bytes{9});  // nothing shows before the commit
  ASSERT_EQ(file.Commit(), 0);
  EXPECT_EQ(ReadBytes(dir.File("out")), (Bytes{7, 8, 3, 4, 5}));
  EXPECT_EQ(Names(dir), std::vector<std::string>{"out"});
}

TEST(ReplacingFile, AbandonedOrFailedFilesLeaveNothingAndKeepFailing) {
  TempDir dir;
  WriteBytes(dir.File("out"), Bytes{9});
  const Bytes bytes{1, 2, 3};
  {
    ReplacingFile dropped;  // opened and written, but never committed
    ASSERT_EQ(dropped.Open(dir.File("out")), 0);
    ASSERT_EQ(dropped.Write(bytes.data(), 3), 0);
  }
  EXPECT_EQ(Names(dir), std::vector<std::string>{"out"});
  ReplacingFile unopened;
  EXPECT_NE(unopened.Write(bytes.data(), 3), 0);
  EXPECT_NE(unopened.WriteAt(0, bytes.data(), 3), 0);
  EXPECT_NE(unopened.Commit(), 0);
  ReplacingFile failed;
  const std::int32_t code = failed.Open(dir.File("no/such/out"));
  EXPECT_NE(code, 0);
  EXPECT_EQ(failed.Write(bytes.data(), 3), code);
  EXPECT_EQ(failed.WriteAt(0, bytes.data(), 3), code);
  EXPECT_EQ(failed.Commit(), code);
  // A failing patch: the seek, or the write.
  for (const test::Fault fault : {test::Fault::Seek, test::Fault::Write}) {
    const test::ScopedFault injected(fault);
    ReplacingFile patched(&test::MakeFaultyFileAccess);
    ASSERT_EQ(patched.Open(dir.File("out")), 0);
    EXPECT_NE(patched.WriteAt(0, bytes.data(), 3), 0) << static_cast<int>(fault);
    EXPECT_NE(patched.Commit(), 0) << static_cast<int>(fault);
    EXPECT_EQ(ReadBytes(dir.File("out")), Bytes{9});
    EXPECT_EQ(Names(dir), std::vector<std::string>{"out"});
  }
}

// Names already taken are stepped over, and never removed: they may be
// another run's. Guards are given back, so saves can go on without end.
TEST(ReplacingFile, TakenTemporaryNamesAreLeftAloneAndGuardsComeBack) {
  TempDir dir;
  const std::string pid = std::to_string(os_file::ProcessId());
  const auto taken = [&](int attempt) {
    return dir.File(".out.tonebake-" + pid + "-" + std::to_string(attempt) + ".tmp");
  };
  WriteBytes(taken(0), Bytes{7});
  const Bytes image{1, 2, 3};
  ASSERT_EQ(SaveFile(dir.File("out"), image.data(), 3), 0);
  EXPECT_EQ(ReadBytes(dir.File("out")), image);
  EXPECT_EQ(ReadBytes(taken(0)), Bytes{7});
  for (int attempt = 1; attempt < 7; ++attempt) {
    WriteBytes(taken(attempt), Bytes{7});
  }
  ASSERT_EQ(SaveFile(dir.File("out"), image.data(), 3), 0);  // the eighth name is free
  WriteBytes(taken(7), Bytes{7});
  EXPECT_NE(SaveFile(dir.File("out"), image.data(), 3), 0);  // every name taken
  for (int attempt = 0; attempt < 8; ++attempt) {
    EXPECT_EQ(ReadBytes(taken(attempt)), Bytes{7}) << attempt;
  }
  // Many saves, failed ones included, in one process.
  for (int i = 0; i < 10; ++i) {
    EXPECT_NE(SaveFile(dir.File("no/such/out"), image.data(), 3), 0);
    const test::ScopedFault injected(test::Fault::Write);
    EXPECT_NE(SaveFile(dir.File("other"), image.data(), 3, &test::MakeFaultyFileAccess), 0);
  }
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(SaveFile(dir.File("other"), image.data(), 3), 0) << i;
  }
}

#ifndef _WIN32
TEST(SaveFile, ReadOnlyFileIsNotReplaced) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "root may write any file";
  }
  TempDir dir;
  WriteBytes(dir.File("out.bin"), Bytes{9});
  std::filesystem::permissions(dir.File("out.bin"), std::filesystem::perms(0444));
  const Bytes image{1};
  EXPECT_NE(SaveFile(dir.File("out.bin"), image.data(), 1), 0);
  EXPECT_EQ(ReadBytes(dir.File("out.bin")), Bytes{9});
}

TEST(SaveFile, NewFilesGetTheUsualModeAndPipesAreWrittenInPlace) {
  TempDir dir;
  const mode_t previous = umask(022);
  const Bytes image{1, 2, 3};
  EXPECT_EQ(SaveFile(dir.File("new.bin"), image.data(), 3), 0);
  umask(previous);
  EXPECT_EQ(std::filesystem::status(dir.File("new.bin")).permissions(),
            std::filesystem::perms(0644));
  // A pipe with a reader: the image goes through it, and it stays a pipe.
  ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
  const int reader = open(dir.File("pipe").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(SaveFile(dir.File("pipe"), image.data(), 3), 0);
  std::uint8_t received[4] = {};
  EXPECT_EQ(read(reader, received, sizeof received), 3);
  close(reader);
  EXPECT_EQ(Bytes(received, received + 3), image);
  EXPECT_TRUE(std::filesystem::is_fifo(dir.File("pipe")));
}
#endif

TEST(SaveFile, MissingDirectoryFails) {
  TempDir dir;
  const Bytes image{1};
  EXPECT_NE(SaveFile(dir.File("no/such/dir/out.bin"), image.data(), 1), 0);
}

// ---- Failures injected through the FileAccess interface ----

using test::Fault;
using test::MakeFaultyFileAccess;
using test::ScopedFault;

std::unique_ptr<FileAccess> MakeNothing() {
  return nullptr;
}

// Run once with a system error code recorded, once with none.
class InjectedFault : public ::testing::TestWithParam<bool> {
 protected:
  TempDir dir;
};

TEST_P(InjectedFault, EveryLoadFailureIsReportedWithNoBuffer) {
  WriteBytes(dir.File("in.wav"), test::RampSamples(100));
  for (const Fault fault :
       {Fault::OpenInput, Fault::Size, Fault::SizeOver4GiB, Fault::Read, Fault::ShortRead}) {
    const ScopedFault injected(fault, GetParam());
    ByteBuffer file;
    EXPECT_NE(LoadFile(dir.File("in.wav"), file, &MakeFaultyFileAccess), 0)
        << static_cast<int>(fault);
    EXPECT_EQ(file.bytes, nullptr) << static_cast<int>(fault);
  }
}

TEST_P(InjectedFault, EverySaveFailureKeepsTheOldFileAndLeavesNoTemporaryFile) {
  const Bytes image = test::RampSamples(100);
  for (const Fault fault : {Fault::Write, Fault::ShortWrite, Fault::CloseOutput, Fault::Rename}) {
    const ScopedFault injected(fault, GetParam());
    WriteBytes(dir.File("out.bin"), Bytes{9, 9, 9});  // an older output
    EXPECT_NE(SaveFile(dir.File("out.bin"), image.data(), 100, &MakeFaultyFileAccess), 0)
        << static_cast<int>(fault);
    EXPECT_EQ(ReadBytes(dir.File("out.bin")), (Bytes{9, 9, 9})) << static_cast<int>(fault);
    EXPECT_EQ(Names(dir), std::vector<std::string>{"out.bin"}) << static_cast<int>(fault);
  }
}

TEST_P(InjectedFault, FailedCreateLeavesAnExistingFileAlone) {
  const ScopedFault injected(Fault::OpenOutput, GetParam());
  WriteBytes(dir.File("out.bin"), Bytes{9, 9, 9});
  const Bytes image{1};
  EXPECT_NE(SaveFile(dir.File("out.bin"), image.data(), 1, &MakeFaultyFileAccess), 0);
  EXPECT_EQ(ReadBytes(dir.File("out.bin")), (Bytes{9, 9, 9}));
}

INSTANTIATE_TEST_SUITE_P(SystemCode, InjectedFault, ::testing::Values(false, true));

TEST(WholeFile, FileAccessThatCannotBeMadeIsAFailure) {
  TempDir dir;
  WriteBytes(dir.File("in.wav"), Bytes{1});
  ByteBuffer file;
  EXPECT_NE(LoadFile(dir.File("in.wav"), file, &MakeNothing), 0);
  const Bytes image{1};
  EXPECT_NE(SaveFile(dir.File("out.bin"), image.data(), 1, &MakeNothing), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.bin")));
}

}  // namespace
}  // namespace tonebake
