#include "fileio/whole_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "support/wave_bytes.h"

namespace tonebake {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

Bytes Contents(const LoadedFile& file) {
  return Bytes(file.bytes.get(), file.bytes.get() + file.length);
}

TEST(LoadFile, ReadsTheWholeFile) {
  TempDir dir;
  const Bytes bytes = test::RampSamples(70000);
  WriteBytes(dir.File("in.wav"), bytes);
  LoadedFile file;
  ASSERT_EQ(LoadFile(dir.File("in.wav"), file), 0);
  EXPECT_EQ(Contents(file), bytes);
}

TEST(LoadFile, EmptyFileLoadsWithLengthZero) {
  TempDir dir;
  WriteBytes(dir.File("empty"), Bytes());
  LoadedFile file;
  ASSERT_EQ(LoadFile(dir.File("empty"), file), 0);
  EXPECT_EQ(file.length, 0u);
}

TEST(LoadFile, MissingFileOrDirectoryFailsAndLeavesNoBuffer) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("sub"));
  for (const std::string name : {"missing.wav", "sub"}) {
    LoadedFile file;
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

TEST(SaveFile, MissingDirectoryFails) {
  TempDir dir;
  const Bytes image{1};
  EXPECT_NE(SaveFile(dir.File("no/such/dir/out.bin"), image.data(), 1), 0);
}

// ---- Failures injected through the FileAccess interface ----

enum class Fault { None, Open, Size, SizeOver4GiB, Read, ShortRead, Write, ShortWrite, Close };

// A factory is a plain function, so the fault to inject is kept here.
Fault g_fault = Fault::None;
bool g_systemLeftNoCode = false;

class FaultyFileAccess : public FileAccess {
 public:
  FileHandle Open(const char* name, std::uint32_t access, std::uint32_t attributes,
                  std::uint32_t disposition) override {
    return Fails(Fault::Open) ? kNoFileHandle
                              : FileAccess::Open(name, access, attributes, disposition);
  }
  std::uint32_t GetSize(FileHandle handle, std::uint32_t* sizeHigh) override {
    if (Fails(Fault::Size)) {
      return 0xFFFFFFFFu;
    }
    const std::uint32_t size = FileAccess::GetSize(handle, sizeHigh);
    if (g_fault == Fault::SizeOver4GiB) {
      *sizeHigh = 1;
    }
    return size;
  }
  std::uint32_t Read(FileHandle handle, void* buffer, std::uint32_t count) override {
    if (Fails(Fault::Read)) {
      return 0;
    }
    const bool shortRead = g_fault == Fault::ShortRead && count > 0;
    return FileAccess::Read(handle, buffer, shortRead ? count - 1 : count);
  }
  std::uint32_t Write(FileHandle handle, const void* buffer, std::uint32_t count) override {
    if (Fails(Fault::Write)) {
      return 0;
    }
    const bool shortWrite = g_fault == Fault::ShortWrite && count > 0;
    return FileAccess::Write(handle, buffer, shortWrite ? count - 1 : count);
  }
  int Close(FileHandle handle) override {
    const int closed = FileAccess::Close(handle);
    return Fails(Fault::Close) ? 0 : closed;
  }

 private:
  // Records a failure as the system would, or leaves no code at all to check
  // that a failure without a system code still counts as one.
  bool Fails(Fault fault) {
    if (g_fault != fault) {
      return false;
    }
    SetErrorCode(g_systemLeftNoCode ? 0 : 5);
    return true;
  }
};

std::unique_ptr<FileAccess> MakeFaulty() {
  return std::make_unique<FaultyFileAccess>();
}
std::unique_ptr<FileAccess> MakeNothing() {
  return nullptr;
}

class InjectedFault : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { g_systemLeftNoCode = GetParam(); }
  void TearDown() override { g_fault = Fault::None; }
  TempDir dir;
};

TEST_P(InjectedFault, EveryLoadFailureIsReportedWithNoBuffer) {
  WriteBytes(dir.File("in.wav"), test::RampSamples(100));
  for (const Fault fault :
       {Fault::Open, Fault::Size, Fault::SizeOver4GiB, Fault::Read, Fault::ShortRead}) {
    g_fault = fault;
    LoadedFile file;
    EXPECT_NE(LoadFile(dir.File("in.wav"), file, &MakeFaulty), 0) << static_cast<int>(fault);
    EXPECT_EQ(file.bytes, nullptr) << static_cast<int>(fault);
  }
}

TEST_P(InjectedFault, FailedCloseAfterReadingLosesNothing) {
  WriteBytes(dir.File("in.wav"), test::RampSamples(100));
  g_fault = Fault::Close;
  LoadedFile file;
  EXPECT_EQ(LoadFile(dir.File("in.wav"), file, &MakeFaulty), 0);
  EXPECT_EQ(Contents(file), test::RampSamples(100));
}

TEST_P(InjectedFault, EverySaveFailureIsReportedAndLeavesNoOutput) {
  const Bytes image = test::RampSamples(100);
  for (const Fault fault : {Fault::Write, Fault::ShortWrite, Fault::Close}) {
    g_fault = fault;
    WriteBytes(dir.File("out.bin"), Bytes{9, 9, 9});  // an older output
    EXPECT_NE(SaveFile(dir.File("out.bin"), image.data(), 100, &MakeFaulty), 0)
        << static_cast<int>(fault);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.bin"))) << static_cast<int>(fault);
  }
}

TEST_P(InjectedFault, FailedCreateLeavesAnExistingFileAlone) {
  g_fault = Fault::Open;
  WriteBytes(dir.File("out.bin"), Bytes{9, 9, 9});
  const Bytes image{1};
  EXPECT_NE(SaveFile(dir.File("out.bin"), image.data(), 1, &MakeFaulty), 0);
  EXPECT_EQ(ReadBytes(dir.File("out.bin")), (Bytes{9, 9, 9}));
}

INSTANTIATE_TEST_SUITE_P(SystemCode, InjectedFault, ::testing::Values(false, true));

TEST(WholeFile, FileAccessThatCannotBeMadeIsAFailure) {
  TempDir dir;
  WriteBytes(dir.File("in.wav"), Bytes{1});
  LoadedFile file;
  EXPECT_NE(LoadFile(dir.File("in.wav"), file, &MakeNothing), 0);
  const Bytes image{1};
  EXPECT_NE(SaveFile(dir.File("out.bin"), image.data(), 1, &MakeNothing), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.bin")));
}

}  // namespace
}  // namespace tonebake
