// Runs the built tonebake-tape on tapes it makes, with images tonebake makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "fileio/file_lock.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"
#include "support/wave_bytes.h"
#include "wave/byte_order.h"

namespace tonebake {
namespace {

using test::Bytes;

class TapeRun : public ::testing::Test {
 protected:
  test::ToolRun Tape(const std::vector<std::string>& arguments) {
    options.workDir = dir.path().string();
    return test::RunTool(TONEBAKE_TAPE_EXE, arguments, options);
  }
  std::string Console(const std::string& text) const { return test::ConsoleText(text, options); }
  Bytes Read(const std::string& name) const { return test::ReadBytes(dir.File(name)); }
  Bytes MakeImage(const std::string& name, std::size_t count) {
    test::WriteBytes(dir.File(name + ".wav"), test::MakeWave(test::RampSamples(count)));
    options.workDir = dir.path().string();
    EXPECT_EQ(test::RunTool(TONEBAKE_EXE, {name}, options).exitCode, 0);
    return Read(name + ".bin");
  }

  test::TempDir dir;
  test::ToolOptions options;
};

TEST_F(TapeRun, ImagesGoOnTheTapeAndComeBackWithThePlayerFirst) {
  const Bytes voice = MakeImage("voice", 3000);
  const Bytes beep = MakeImage("beep", 10);
  ASSERT_EQ(Tape({"add", "t.t77", "voice.bin"}).exitCode, 0);
  ASSERT_EQ(Tape({"add", "t.t77", "beep.bin"}).exitCode, 0);
  ASSERT_EQ(Tape({"player", "t.t77"}).exitCode, 0);
  const Bytes other = MakeImage("other", 20);
  ASSERT_EQ(Tape({"add", "--replace", "t.t77", "other.bin", "VOICE"}).exitCode, 0);
  const test::ToolRun listed = Tape({"list", "t.t77"});
  // PLAYER is its 975 bytes and the 10 of a machine-language file; PLAY's
  // size is its text's (below).
  ASSERT_EQ(Tape({"extract", "t.t77", "PLAY", "play.txt"}).exitCode, 0);
  const std::string play = test::ReadText(dir.File("play.txt"));
  EXPECT_EQ(listed.out, Console("NAME      TYPE       BYTES\n"
                                "PLAY      BASIC        " +
                                std::to_string(play.size()) +
                                "\n"
                                "PLAYER    machine      985\n"
                                "VOICE     machine       31\n"
                                "BEEP      machine       21\n"
                                "4 files\n"));
  ASSERT_EQ(Tape({"extract", "t.t77", "BEEP", "b.bin"}).exitCode, 0);
  EXPECT_EQ(Read("b.bin"), beep);
  ASSERT_EQ(Tape({"extract", "t.t77", "VOICE", "v.bin"}).exitCode, 0);
  EXPECT_EQ(Read("v.bin"), other);
  // F-BASIC's tape form of an ASCII program: CR first, CR after each line,
  // no LF and no end mark. PLAYER at &H2000, each sound right above its
  // 975 bytes, at &H23CF.
  EXPECT_EQ(play,
            "\r10 CLEAR ,&H1FFF\r"
            "20 LOADM \"CAS0:PLAYER\"\r"
            "30 ON ERROR GOTO 200:PRINT \"tonebake PLAY (BREAK does not stop a sound)\"\r"
            "40 READ N$,C,W,S:IF N$=\"\" THEN END\r"
            "50 PRINT N$;S;\"s\":LOADM \"CAS0:\"+N$,&H23CF\r"
            "60 POKE &H2002,&H23:POKE &H2003,&HCF:POKE &H2004,INT((C-1)/256):POKE &H2005,(C-1) "
            "MOD 256\r"
            "70 EXEC &H2000\r"
            "80 GOTO 40\r"
            "200 IF ERL=50 THEN POKE &H23CF,W:RESUME 60\r"
            "210 PRINT \"Error\";ERR;\"in line\";ERL:END\r"
            "1000 DATA \"VOICE\",20,16,0.00\r"
            "1010 DATA \"BEEP\",10,16,0.00\r"
            "1020 DATA \"\",0,0,0\r");
  // The sound: 8-bit mono at the rate asked for, the same through a pipe.
  ASSERT_EQ(Tape({"wav", "t.t77", "t.wav", "--rate", "22050"}).exitCode, 0);
  const Bytes wave = Read("t.wav");
  ASSERT_GT(wave.size(), 44u);
  EXPECT_EQ(ReadLittleEndian32(&wave[24]), 22050u);
  EXPECT_EQ(ReadLittleEndian32(&wave[40]), wave.size() - 44);
  const test::ToolRun piped = Tape({"wav", "t.t77", "-", "--rate", "22050"});
  EXPECT_EQ(Bytes(piped.out.begin(), piped.out.end()), wave);
}

// A tape is a recording: what is no F-BASIC file, and a file damaged on
// it, are kept byte for byte by every change, and the files around them
// still read.
TEST_F(TapeRun, EveryChangeKeepsWhatItCannotRead) {
  constexpr std::size_t kHeader = 16;  // "XM7 TAPE IMAGE 0"
  const auto recordsOf = [this](const std::string& name, std::size_t count) {
    test::WriteBytes(dir.File(name + ".bin"), MakeImage(name, count));
    EXPECT_EQ(Tape({"add", name + ".t77", name + ".bin"}).exitCode, 0);
    const Bytes tape = Read(name + ".t77");
    return Bytes(tape.begin() + kHeader, tape.end());
  };
  const Bytes a = recordsOf("a", 300);
  const Bytes c = recordsOf("c", 200);
  Bytes damaged = recordsOf("b", 300);
  // One 0 bit of B's data (26 units high, 26 low) made a 1 (48 and 48).
  const Bytes zero = {0x80, 0x1A, 0x00, 0x1A};
  const auto bit =
      std::search(damaged.begin() + static_cast<std::ptrdiff_t>(damaged.size() * 6 / 10),
                  damaged.end(), zero.begin(), zero.end());
  ASSERT_NE(bit, damaged.end());
  bit[1] = bit[3] = 0x30;
  // A stretch of another format: short half-cycles alone frame no byte.
  Bytes foreign = {0x00, 0x00, 0x7F, 0xFF};
  for (int i = 0; i < 500; ++i) {
    foreign.insert(foreign.end(), {0x80, 0x1A, 0x00, 0x1A});
  }
  const Bytes kept = [&] {
    Bytes both = foreign;
    both.insert(both.end(), damaged.begin(), damaged.end());
    return both;
  }();
  Bytes tape = Read("a.t77");
  tape.resize(kHeader);
  for (const Bytes* part : {&a, &kept, &c}) {
    tape.insert(tape.end(), part->begin(), part->end());
  }
  const auto contains = [](const Bytes& whole, const Bytes& part) {
    return std::search(whole.begin(), whole.end(), part.begin(), part.end()) != whole.end();
  };
  const std::vector<std::vector<std::string>> changes = {
      {"player", "t.t77"},
      {"add", "t.t77", "c.bin", "D"},
      {"add", "--replace", "t.t77", "c.bin", "A"},
      {"remove", "t.t77", "A"},
  };
  for (const auto& change : changes) {
    test::WriteBytes(dir.File("t.t77"), tape);
    const test::ToolRun listed = Tape({"list", "t.t77"});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_NE(listed.out.find(Console("A         machine      311\nC         machine      211\n"
                                      "2 files\nnot read, at 0:")),
              std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find(Console(": not an F-BASIC file; kept as it is\n")),
              std::string::npos);
    EXPECT_NE(listed.out.find(": B is damaged: "), std::string::npos);
    EXPECT_EQ(Tape({"extract", "t.t77", "B", "b2.bin"}).exitCode, 2);
    const test::ToolRun changed = Tape(change);
    ASSERT_EQ(changed.exitCode, 0) << change[0] << ": " << changed.err;
    const Bytes after = Read("t.t77");
    EXPECT_TRUE(contains(after, kept)) << change[0];
    EXPECT_TRUE(contains(after, c)) << change[0];
    EXPECT_EQ(contains(after, a), change.back() != "A") << change[0];
    ASSERT_EQ(Tape({"extract", "t.t77", "C", "c2.bin"}).exitCode, 0);
    EXPECT_EQ(Read("c2.bin"), Read("c.bin"));
  }
  // Replaced in place, not moved: A's new bytes come before what is kept,
  // and are what comes back.
  test::WriteBytes(dir.File("t.t77"), tape);
  ASSERT_EQ(Tape({"add", "--replace", "t.t77", "c.bin", "A"}).exitCode, 0);
  ASSERT_EQ(Tape({"extract", "t.t77", "A", "a2.bin"}).exitCode, 0);
  EXPECT_EQ(Read("a2.bin"), Read("c.bin"));
  const test::ToolRun listed = Tape({"list", "t.t77"});
  EXPECT_NE(listed.out.find(Console("A         machine      211\nC")), std::string::npos)
      << listed.out;
}

// A file that lost a data block is named as damaged, never extracted as
// whole, and a new file of its name never goes in behind it unasked.
TEST_F(TapeRun, AFileThatLostABlockIsDamagedNotWhole) {
  test::WriteBytes(dir.File("x.bin"), MakeImage("x", 600));  // blocks of 255, 255, 101
  test::WriteBytes(dir.File("y.bin"), MakeImage("y", 20));
  ASSERT_EQ(Tape({"add", "t.t77", "x.bin"}).exitCode, 0);
  Bytes tape = Read("t.t77");
  // The second data block's mark 01 made 00: its first data bit, 48 units
  // high and low, becomes 26 and 26. Every byte is 11 bits of 4 record
  // bytes; the file's leader starts at 24, after the tape's and the file's
  // marker and silence (the file's stretch takes in both); before the block: 256 FF, the header
  // block (25 bytes), 259 FF, the first data block (260) and 20 FF.
  const std::size_t mark = 24 + (256 + 25 + 259 + 260 + 20) * 44 + 4;
  ASSERT_EQ(Bytes(tape.begin() + mark, tape.begin() + mark + 4), Bytes({0x80, 0x30, 0x00, 0x30}));
  tape[mark + 1] = tape[mark + 3] = 0x1A;
  test::WriteBytes(dir.File("t.t77"), tape);
  const std::string why =
      "X is damaged: its header counts 600 samples but it holds 345 (a data block is missing or "
      "foreign)";
  const test::ToolRun listed = Tape({"list", "t.t77"});
  EXPECT_EQ(listed.out, Console("NAME      TYPE       BYTES\n0 files\nnot read, at 0:00.0 (byte "
                                "16): " +
                                why + "; kept as it is\n"));
  const test::ToolRun extracted = Tape({"extract", "t.t77", "X", "o.bin"});
  EXPECT_EQ(extracted.exitCode, 2);
  EXPECT_NE(extracted.err.find(why.substr(6)), std::string::npos) << extracted.err;
  EXPECT_EQ(Tape({"add", "t.t77", "y.bin", "X"}).exitCode, 3);
  EXPECT_EQ(Read("t.t77"), tape);
  // Put right in its place, or taken away.
  ASSERT_EQ(Tape({"add", "--replace", "t.t77", "y.bin", "X"}).exitCode, 0);
  ASSERT_EQ(Tape({"extract", "t.t77", "X", "o.bin"}).exitCode, 0);
  EXPECT_EQ(Read("o.bin"), Read("y.bin"));
  test::WriteBytes(dir.File("t.t77"), tape);
  ASSERT_EQ(Tape({"remove", "t.t77", "X"}).exitCode, 0);
  EXPECT_EQ(Tape({"list", "t.t77"}).out, Console("NAME      TYPE       BYTES\n0 files\n"));
}

// A tape of another format alone: a new file goes after it, as on any
// tape; and no change makes a tape larger than the largest one read.
TEST_F(TapeRun, AddingKeepsWhatIsThereFirstAndTheTapeReadable) {
  test::WriteBytes(dir.File("y.bin"), MakeImage("y", 20));
  const std::string header = "XM7 TAPE IMAGE 0";
  Bytes foreign(header.begin(), header.end());
  for (int i = 0; i < 500; ++i) {  // short half-cycles alone frame no byte
    foreign.insert(foreign.end(), {0x80, 0x1A, 0x00, 0x1A});
  }
  test::WriteBytes(dir.File("f.t77"), foreign);
  ASSERT_EQ(Tape({"add", "f.t77", "y.bin"}).exitCode, 0);
  const Bytes after = Read("f.t77");
  EXPECT_EQ(Bytes(after.begin(), after.begin() + static_cast<std::ptrdiff_t>(foreign.size())),
            foreign);
  // Silence up to 16 bytes short of the 64 MiB read: one more file is too many.
  Bytes full(header.begin(), header.end());
  full.resize((64u << 20) - 16);
  for (std::size_t at = header.size(); at < full.size(); at += 2) {
    full[at] = 0x7F;
    full[at + 1] = 0xFF;
  }
  test::WriteBytes(dir.File("full.t77"), full);
  const test::ToolRun added = Tape({"add", "full.t77", "y.bin"});
  EXPECT_EQ(added.exitCode, 3);
  EXPECT_NE(added.err.find("more than the 67108864 this tool reads; the tape is unchanged"),
            std::string::npos)
      << added.err;
  EXPECT_EQ(std::filesystem::file_size(dir.File("full.t77")), full.size());
}

#ifndef _WIN32
// A run stopped by a signal while it holds the tape's lock leaves neither
// the lock file nor a changed tape behind.
TEST_F(TapeRun, AStoppedRunLeavesNoLockBehind) {
  Bytes image = {0x00, 0xFF, 0xFF, 0x00, 0x00, 16};
  image.resize(6 + 0xFFFF, 0x80);
  image.insert(image.end(), {0xFF, 0x00, 0x00, 0x00, 0x00});
  test::WriteBytes(dir.File("big.bin"), image);
  ASSERT_EQ(Tape({"add", "t.t77", "big.bin", "A"}).exitCode, 0);
  const Bytes before = Read("t.t77");
  options.workDir = dir.path().string();
  const auto locked = [](const std::string& folder) {
    return std::filesystem::exists(folder + "/.t.t77.tonebake-lock");
  };
  test::InterruptedRun run;
  for (int attempt = 0; attempt < 5 && !run.sent; ++attempt) {
    run = test::RunAndInterrupt(TONEBAKE_TAPE_EXE, {"add", "t.t77", "big.bin", "B"}, options,
                                locked, SIGTERM);
  }
  ASSERT_TRUE(run.sent) << "the run never held the lock long enough to interrupt";
  EXPECT_FALSE(std::filesystem::exists(dir.File(".t.t77.tonebake-lock")));
  if (run.endSignal == SIGTERM) {
    const Bytes after = Read("t.t77");
    EXPECT_TRUE(after == before || after.size() > before.size());  // old, or whole with B
  }
}

// Runs started together while the tape's lock is held all wait, then take
// turns: nothing any of them adds or removes is lost.
TEST_F(TapeRun, RunsOnOneTapeTakeTurnsAndLoseNothing) {
  test::WriteBytes(dir.File("x.bin"), MakeImage("x", 300));
  options.workDir = dir.path().string();
  const struct {
    std::vector<std::vector<std::string>> runs;
    std::vector<std::string> listed;  // the names on the tape afterwards, sorted
  } cases[] = {
      {{{"add", "t.t77", "x.bin", "A"}, {"add", "t.t77", "x.bin", "B"}}, {"A", "B", "OLD"}},
      {{{"remove", "t.t77", "OLD"}, {"add", "t.t77", "x.bin", "A"}}, {"A"}},
      {{{"add", "new.t77", "x.bin", "A"}, {"new", "new.t77"}, {"add", "new.t77", "x.bin", "B"}},
       {"A", "B"}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(dir.File("new.t77"));
    std::filesystem::remove(dir.File("t.t77"));
    ASSERT_EQ(Tape({"add", "t.t77", "x.bin", "OLD"}).exitCode, 0);
    FileLock held;
    ASSERT_EQ(held.Acquire(dir.File(c.runs.front()[1]), 1000, nullptr), 0);
    std::vector<test::BackgroundRun> started;
    for (const auto& arguments : c.runs) {
      started.push_back(
          test::StartTool(TONEBAKE_TAPE_EXE, arguments, options, std::to_string(started.size())));
    }
    for (const test::BackgroundRun& run : started) {  // every run is waiting
      for (int wait = 0; test::ReadText(run.errPath).find("waiting") == std::string::npos; ++wait) {
        ASSERT_LT(wait, 500) << "a run did not wait for the lock";
        usleep(10000);
      }
    }
    held.Release();
    for (const test::BackgroundRun& run : started) {
      const test::ToolRun finished = test::FinishTool(run);
      EXPECT_TRUE(
          finished.exitCode == 0 ||
          (finished.exitCode == 3 && finished.err.find("already exists") != std::string::npos))
          << finished.err;
    }
    const test::ToolRun listed = Tape({"list", c.runs.front()[1]});
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

#endif

// Hostile tapes cost what they hold: one larger than a cassette is not
// read, and a sound too long for a WAVE file is refused before rendering.
TEST_F(TapeRun, HostileTapesAreRefusedBeforeTheyCostMuch) {
  const std::string header = "XM7 TAPE IMAGE 0";
  const auto tapeOf = [&](const std::string& name, std::size_t records, std::uint16_t record) {
    Bytes tape(header.begin(), header.end());
    for (std::size_t i = 0; i < records; ++i) {
      tape.insert(tape.end(),
                  {static_cast<std::uint8_t>(record >> 8), static_cast<std::uint8_t>(record)});
    }
    test::WriteBytes(dir.File(name), tape);
  };
  tapeOf("big.t77", 0, 0);
  std::filesystem::resize_file(dir.File("big.t77"), (64u << 20) + 2);
  tapeOf("silent.t77", 100000, 0x7FFF);  // 200,000 s of silence
  tapeOf("markers.t77", 1000000, 0x0000);
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string err;
  } cases[] = {
      {{"list", "big.t77"},
       2,
       "tonebake-tape: big.t77: cannot read: larger than any medium of its kind (67108864 "
       "bytes)\n"},
      {{"wav", "silent.t77", "o.wav"},
       4,
       "tonebake-tape: silent.t77: the tape is longer than a WAVE file can hold\n"},
      {{"list", "markers.t77"}, 0, ""},
  };
  for (const auto& c : cases) {
    const test::ToolRun run = Tape(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments[1];
    EXPECT_EQ(run.err, Console(c.err));
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("o.wav")));
}

TEST_F(TapeRun, RefusalsLeaveTheTapeAsItWas) {
  test::WriteBytes(dir.File("x.bin"), MakeImage("x", 10));
  ASSERT_EQ(Tape({"add", "t.t77", "x.bin", "X"}).exitCode, 0);
  // The largest image a tape takes, 65,535 samples, and one byte more.
  Bytes largest = {0x00, 0xFF, 0xFF, 0x00, 0x00, 16};
  largest.resize(6 + 0xFFFF, 0x80);
  largest.insert(largest.end(), {0xFF, 0x00, 0x00, 0x00, 0x00});
  test::WriteBytes(dir.File("largest.bin"), largest);
  ASSERT_EQ(Tape({"add", "largest.t77", "largest.bin"}).exitCode, 0);
  ASSERT_EQ(Tape({"extract", "largest.t77", "LARGEST", "back.bin"}).exitCode, 0);
  EXPECT_EQ(Read("back.bin"), largest);
  largest.push_back(0x00);
  test::WriteBytes(dir.File("big.bin"), largest);
  const Bytes tape = Read("t.t77");
  Bytes odd = tape;
  odd.pop_back();
  test::WriteBytes(dir.File("odd.t77"), odd);
  Bytes other = tape;
  other[0] = 'Y';
  test::WriteBytes(dir.File("other.t77"), other);
  Bytes cut = tape;
  cut.resize(tape.size() - 400);  // inside the end of the file
  test::WriteBytes(dir.File("cut.t77"), cut);
  std::filesystem::create_directory(dir.File("folder"));
  const std::string usage = " (see 'tonebake-tape --help')\n";
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string err;
  } cases[] = {
      {{"add", "t.t77", "x.bin", "X"},
       3,
       "tonebake-tape: t.t77: cannot add X: a file of that name is on the tape already "
       "(--replace replaces it)\n"},
      {{"add", "t.t77", "x.bin", "A:B"},
       1,
       "tonebake-tape: t.t77: cannot add A:B: F-BASIC cannot take that name (1 to 8 printable "
       "characters, no space, '\"' or ':')\n"},
      {{"list", "odd.t77"},
       2,
       "tonebake-tape: odd.t77: not a T77 tape image (another header, or an odd length)\n"},
      {{"add", "other.t77", "x.bin", "Y"},
       2,
       "tonebake-tape: other.t77: not a T77 tape image (another header, or an odd length)\n"},
      {{"new", "t.t77"}, 3, "tonebake-tape: t.t77: already exists; it is left as it is\n"},
      {{"extract", "t.t77", "X", "./t.t77"},
       1,
       "tonebake-tape: TAPE t.t77 and OUT ./t.t77 are the same file" + usage},
      {{"wav", "t.t77", "./t.t77"},
       1,
       "tonebake-tape: TAPE t.t77 and OUT ./t.t77 are the same file" + usage},
      {{"add", "t.t77", "big.bin", "BIG"},
       3,
       "tonebake-tape: big.bin: cannot add it: it is larger than any FM-7 PCM image\n"},
      {{"extract", "t.t77", "NOSUCH", "o.bin"},
       3,
       "tonebake-tape: t.t77: cannot extract NOSUCH: no file of that name is on the tape\n"},
      {{"wav", "t.t77", "o.wav", "--rate", "8000"},
       1,
       "tonebake-tape: --rate takes a rate in Hz from 22050 to 192000, not '8000'" + usage},
      {{"list", "t.t77", "--rate", "44100"}, 1, "tonebake-tape: --rate goes with 'wav'" + usage},
      {{"add", "t.t77"}, 1, "tonebake-tape: wrong number of names for 'add'" + usage},
      {{"add", "t.t77", "x.wav", "W"},
       3,
       "tonebake-tape: x.wav: not an FM-7 PCM image (it looks like a WAVE file: convert it with "
       "tonebake first); --raw stores "
       "it as it is\n"},
  };
  for (const auto& c : cases) {
    const test::ToolRun run = Tape(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments[0] << " " << c.arguments[1];
    EXPECT_EQ(run.err, Console(c.err));
    EXPECT_EQ(Read("t.t77"), tape);
  }
  EXPECT_EQ(Read("odd.t77"), odd);
  EXPECT_EQ(Tape({"list", "folder"}).exitCode, 2);
  EXPECT_FALSE(std::filesystem::exists(dir.File("o.bin")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("o.wav")));
}

}  // namespace
}  // namespace tonebake
