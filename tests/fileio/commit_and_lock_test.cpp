// Several files put in place together, files only ever made, long names,
// two names for one file, and the lock that runs on one file take turns
// with.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "fileio/file_lock.h"
#include "fileio/file_names.h"
#include "fileio/replacing_file.h"
#include "fileio/whole_file.h"
#include "support/faulty_file_access.h"
#include "support/temp_dir.h"
#include "support/wave_bytes.h"

namespace tonebake {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

std::vector<std::string> Names(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::int32_t Write(ReplacingFile& file, const std::string& path, const Bytes& bytes,
                   ReplacingFile::Placement placement = ReplacingFile::Placement::Replace) {
  const std::int32_t opened = file.Open(path, placement);
  return opened != 0 ? opened : file.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

TEST(CommitAll, ALaterFailureBringsBackEveryFileAsItWas) {
  TempDir dir;
  WriteBytes(dir.File("old"), Bytes{1});
  // The first file replaces one that exists, the second makes a new one, and
  // the third cannot be put in place.
  for (const bool systemLeavesNoCode : {false, true}) {
    ReplacingFile replacing;
    ReplacingFile making;
    ReplacingFile failing(&test::MakeFaultyFileAccess);
    ASSERT_EQ(Write(replacing, dir.File("old"), Bytes{2}), 0);
    ASSERT_EQ(Write(making, dir.File("new"), Bytes{3}), 0);
    ASSERT_EQ(Write(failing, dir.File("third"), Bytes{4}), 0);
    const test::ScopedFault injected(test::Fault::Rename, systemLeavesNoCode);
    ReplacingFile* const files[] = {&replacing, &making, &failing};
    std::size_t failed = 9;
    EXPECT_NE(ReplacingFile::CommitAll(files, 3, &failed), 0);
    EXPECT_EQ(failed, 2u);
    EXPECT_EQ(ReadBytes(dir.File("old")), Bytes{1});
    EXPECT_EQ(Names(dir), std::vector<std::string>{"old"});  // no new file, backup or temporary
  }
  // Without hard links (FAT, exFAT) the backup is a copy; where not even a
  // copy can be made, nothing is put in place at all.
#ifndef _WIN32
  std::filesystem::permissions(dir.File("old"), std::filesystem::perms(0600));
#endif
  for (const test::Fault copyFault : {test::Fault::None, test::Fault::OpenOutput}) {
    ReplacingFile replacing(&test::MakeFaultyFileAccess);
    ReplacingFile appearing;
    ASSERT_EQ(Write(replacing, dir.File("old"), Bytes{2}), 0);
    ASSERT_EQ(Write(appearing, dir.File("third"), Bytes{4}, ReplacingFile::Placement::CreateOnly),
              0);
    WriteBytes(dir.File("third"), Bytes{9});  // appears meanwhile: never replaced
    const test::ScopedFault noLinks(test::Fault::Link, false, copyFault);
    ReplacingFile* const files[] = {&replacing, &appearing};
    std::size_t failed = 9;
    EXPECT_NE(ReplacingFile::CommitAll(files, 2, &failed), 0);
    EXPECT_EQ(failed, copyFault == test::Fault::None ? 1u : 0u);
    EXPECT_EQ(ReadBytes(dir.File("old")), Bytes{1});
#ifndef _WIN32
    EXPECT_EQ(std::filesystem::status(dir.File("old")).permissions(),
              std::filesystem::perms(0600));  // called back with its mode
#endif
    EXPECT_EQ(ReadBytes(dir.File("third")), Bytes{9});
    std::filesystem::remove(dir.File("third"));
    EXPECT_EQ(Names(dir), std::vector<std::string>{"old"});
  }
  ReplacingFile first;
  ReplacingFile second;
  ASSERT_EQ(Write(first, dir.File("old"), Bytes{5}), 0);
  ASSERT_EQ(Write(second, dir.File("new"), Bytes{6}), 0);
  ReplacingFile* const both[] = {&first, &second};
  ASSERT_EQ(ReplacingFile::CommitAll(both, 2, nullptr), 0);
  EXPECT_EQ(ReadBytes(dir.File("old")), Bytes{5});
  EXPECT_EQ(ReadBytes(dir.File("new")), Bytes{6});
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"new", "old"}));
}

TEST(ReplacingFile, AFileOnlyToBeMadeNeverReplacesOneThatAppeared) {
  TempDir dir;
  ReplacingFile file;
  ASSERT_EQ(Write(file, dir.File("disk"), Bytes{1}, ReplacingFile::Placement::CreateOnly), 0);
  WriteBytes(dir.File("disk"), Bytes{9});  // another program made it meanwhile
  EXPECT_EQ(file.Commit(), TargetExists);
  EXPECT_EQ(ReadBytes(dir.File("disk")), Bytes{9});
  EXPECT_EQ(Names(dir), std::vector<std::string>{"disk"});
  ReplacingFile again;
  EXPECT_EQ(again.Open(dir.File("disk"), ReplacingFile::Placement::CreateOnly), TargetExists);
}

// The longest names a directory takes (255 bytes on the usual file systems;
// on Windows, what MAX_PATH leaves of it), in one-byte and, off Windows,
// three-byte characters: the temporary name beside each is cut to fit, on a
// whole character.
TEST(SaveFile, NamesUpToTheLimitCanBeSaved) {
  TempDir dir;
#ifdef _WIN32
  const std::size_t longest = 259 - dir.File("").size();
  const std::string threeByteCharacters = "short";
#else
  const std::size_t longest = 255;
  std::string threeByteCharacters;
  while (threeByteCharacters.size() + 3 <= 254) {
    threeByteCharacters += "\xE9\x9F\xB3";  // U+97F3, "sound"
  }
#endif
  const std::string names[] = {std::string(1, 'a'), std::string(longest - 55, 'b'),
                               std::string(longest - 1, 'c'), std::string(longest, 'd'),
                               threeByteCharacters};
  for (const std::string& name : names) {
    const Bytes bytes{1, 2, 3};
    ASSERT_EQ(SaveFile(dir.File(name), bytes.data(), 3), 0) << name.size();
    EXPECT_EQ(ReadBytes(dir.File(name)), bytes) << name.size();
    ASSERT_EQ(SaveFile(dir.File(name), bytes.data(), 2), 0) << name.size();  // and replaced
    EXPECT_EQ(Names(dir), std::vector<std::string>{name}) << name.size();
    std::filesystem::remove(dir.File(name));
  }
}

#ifndef _WIN32
// The real file layer, but a signal comes at a known point of a save in two
// writes: during the second, or while the file is being put in place.
enum class SignalPoint { Writing, PuttingInPlace };
SignalPoint g_signalPoint;
int g_signal;

class SignalledFileAccess : public FileAccess {
 public:
  std::uint32_t Write(FileHandle handle, const void* buffer, std::uint32_t count) override {
    if (g_signalPoint == SignalPoint::Writing && ++writes_ == 2) {
      std::raise(g_signal);
    }
    return FileAccess::Write(handle, buffer, count);
  }
  int Rename(const char* from, const char* to) override {
    if (g_signalPoint == SignalPoint::PuttingInPlace) {
      std::raise(g_signal);
    }
    return FileAccess::Rename(from, to);
  }

 private:
  int writes_ = 0;
};

// Every signal that ends a process and can be caught, at both points, in a
// process of its own: the signal ends it, and leaves the old file whole (it
// came while writing) or the new one whole (it waited for the rename), and
// never a temporary file.
TEST(ReplacingFile, AnInterruptionLeavesTheOldFileOrTheWholeNewOneAndNoTemporaryFile) {
  TempDir dir;
  const Bytes older{1, 2, 3};
  const Bytes newer(65536 + 5, 0x5A);
  for (const SignalPoint point : {SignalPoint::Writing, SignalPoint::PuttingInPlace}) {
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM}) {
      struct sigaction now {};
      sigaction(signalNumber, nullptr, &now);
      if (now.sa_handler == SIG_IGN) {
        continue;  // ignored from the start (nohup): it ends nothing
      }
      WriteBytes(dir.File("song.bin"), older);
      g_signalPoint = point;
      g_signal = signalNumber;
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        os_file::InstallSignalHandling();
        ReplacingFile file([] { return std::unique_ptr<FileAccess>(new SignalledFileAccess); });
        const auto half = static_cast<std::uint32_t>(newer.size() / 2);
        if (file.Open(dir.File("song.bin")) == 0 && file.Write(newer.data(), half) == 0 &&
            file.Write(newer.data() + half, static_cast<std::uint32_t>(newer.size()) - half) == 0) {
          file.Commit();
        }
        _exit(0);
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      const std::string what = std::to_string(signalNumber) +
                               (point == SignalPoint::Writing ? " writing" : " putting in place");
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << what;
      EXPECT_EQ(ReadBytes(dir.File("song.bin")), point == SignalPoint::Writing ? older : newer)
          << what;
      EXPECT_EQ(Names(dir), std::vector<std::string>{"song.bin"}) << what;
    }
  }
}
#endif

TEST(SameFile, NamesAreComparedByTheFileTheyStandFor) {
  TempDir dir;
  WriteBytes(dir.File("a.wav"), Bytes{1});
  WriteBytes(dir.File("b.wav"), Bytes{1});
  std::filesystem::create_directory(dir.File("sub"));
  std::error_code linksRefused;
  std::filesystem::create_symlink(dir.File("a.wav"), dir.File("soft.wav"), linksRefused);
  std::filesystem::create_hard_link(dir.File("a.wav"), dir.File("hard.wav"), linksRefused);
  const std::string sep(1, static_cast<char>(std::filesystem::path::preferred_separator));
  // Whether this folder takes A.WAV for a.wav (Windows, macOS, FAT), seen
  // from outside: new names differing only in case are then one file too.
  const bool foldsCase = std::filesystem::exists(dir.File("A.WAV"));
  const struct {
    std::string a;
    std::string b;
    bool same;
  } cases[] = {
      {"a.wav", "a.wav", true},
      {"a.wav", "sub" + sep + ".." + sep + "a.wav", true},
      {"a.wav", "hard.wav", true},
      {"a.wav", "soft.wav", true},
      {"a.wav", "b.wav", false},
      {"new.wav", "sub" + sep + ".." + sep + "new.wav", true},  // neither exists yet
      {"new.wav", "sub" + sep + "new.wav", false},
      {"new.wav", "other.wav", false},
      {"a.wav", "new.wav", false},
      {"new.wav", "NEW.wav", foldsCase},
      {"new.wav", "sub" + sep + "NEW.wav", false},
  };
  for (const auto& c : cases) {
    if ((linksRefused && (c.b == "hard.wav" || c.b == "soft.wav")) ||
        (kWindows && c.b == "soft.wav")) {
      continue;  // a file system without links; symbolic links need privileges on Windows
    }
    EXPECT_EQ(SameFile(dir.File(c.a), dir.File(c.b)), c.same) << c.a << " " << c.b;
  }
  for (const std::string& name : Names(dir)) {
    EXPECT_NE(name.rfind(".tonebake", 0), 0u) << name;  // no probe left behind
  }
}

TEST(FileLock, ASecondHolderWaitsAndTheLockFileGoesWithTheLock) {
  TempDir dir;
  const std::string disk = dir.File("fm7.d77");
  FileLock first;
  ASSERT_EQ(first.Acquire(disk, 1000, nullptr), 0);  // a file that does not exist yet
  EXPECT_EQ(Names(dir), std::vector<std::string>{".fm7.d77.tonebake-lock"});
  FileLock second;
  int told = 0;
  EXPECT_EQ(second.Acquire(disk, 700, [&told] { ++told; }), LockTimedOut);
  EXPECT_EQ(told, 1);
  first.Release();
  EXPECT_TRUE(Names(dir).empty());
  EXPECT_EQ(second.Acquire(disk, 1000, nullptr), 0);
  second.Release();
  // A folder that is not there: the system's reason at once, not a wait.
  const auto start = std::chrono::steady_clock::now();
  const std::int32_t missing = first.Acquire(dir.File("no/such/dir.d77"), 5000, nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_NE(missing, 0);
  EXPECT_NE(missing, LockTimedOut);
#ifndef _WIN32
  EXPECT_EQ(missing, ENOENT);
#endif
}

// Each file has a lock of its own: one reached through a link is the
// file's, two long names that start alike are two, and a name taken by a
// pipe or a link is refused at once, never waited on.
TEST(FileLock, EveryFileHasItsOwnLockAndNothingElseIsTakenForOne) {
  TempDir dir;
  const std::string longName(250, 'n');
  FileLock one;
  FileLock other;
  ASSERT_EQ(one.Acquire(dir.File(longName + "1.d77"), 1000, nullptr), 0);
  EXPECT_EQ(other.Acquire(dir.File(longName + "2.d77"), 1000, nullptr), 0);
#ifndef _WIN32
  other.Release();
  std::filesystem::create_symlink(longName + "1.d77", dir.File("link.d77"));
  EXPECT_EQ(other.Acquire(dir.File("link.d77"), 100, nullptr), LockTimedOut);
  one.Release();
  std::filesystem::create_symlink("elsewhere", dir.File(".linked.d77.tonebake-lock"));
  ASSERT_EQ(mkfifo(dir.File(".piped.d77.tonebake-lock").c_str(), 0600), 0);
  for (const char* name : {"linked.d77", "piped.d77"}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(one.Acquire(dir.File(name), 5000, nullptr), LockNameTaken) << name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << name;
  }
#endif
}

}  // namespace
}  // namespace tonebake
