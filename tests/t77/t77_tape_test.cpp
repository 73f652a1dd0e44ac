// Tapes written out from the format's facts, tapes other tools could have
// written (uneven timing, a low start), their rendering as sound, and
// damage.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "t77/t77_tape.h"

namespace tonebake::t77 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A tape written here from the facts: records of two bytes, high first; a
// byte is a 0 start bit, 8 data bits from the least significant, two 1
// stop bits; a bit one cycle, high then low unless `lowFirst`, its halves
// `shortHalf` or `longHalf` units long.
struct Writer {
  Bytes tape;
  std::uint16_t shortHalf = 0x1A;
  std::uint16_t longHalf = 0x30;
  bool lowFirst = false;
  int jitter = 0;         // varies each half within the ranges tools use
  bool wrongSum = false;  // data blocks with a checksum one off
  bool split = false;     // each half-cycle as two records of one level

  Writer() {
    const std::string header = "XM7 TAPE IMAGE 0";
    tape.assign(header.begin(), header.end());
  }
  void Record(std::uint16_t record) {
    tape.push_back(static_cast<std::uint8_t>(record >> 8));
    tape.push_back(static_cast<std::uint8_t>(record));
  }
  void Bit(bool one) {
    for (int half = 0; half < 2; ++half) {
      std::uint16_t length = one ? longHalf : shortHalf;
      if (jitter != 0) {
        length = one ? static_cast<std::uint16_t>(0x2F + (jitter++ % 9))
                     : static_cast<std::uint16_t>(0x18 + (jitter++ % 3));
      }
      const bool high = (half == 0) != lowFirst;
      const auto level = static_cast<std::uint16_t>(high ? 0x8000 : 0);
      if (split) {
        Record(static_cast<std::uint16_t>(level | length / 2));
        Record(static_cast<std::uint16_t>(level | (length - length / 2)));
      } else {
        Record(static_cast<std::uint16_t>(level | length));
      }
    }
  }
  void Byte(std::uint8_t byte) {
    Bit(false);
    for (int i = 0; i < 8; ++i) {
      Bit((byte >> i & 1) != 0);
    }
    Bit(true);
    Bit(true);
  }
  void Bytes_(std::uint8_t byte, int count) {
    for (int i = 0; i < count; ++i) {
      Byte(byte);
    }
  }
  void Block(std::uint8_t type, const Bytes& bytes) {
    int sum = type + static_cast<int>(bytes.size());
    for (const std::uint8_t b :
         {std::uint8_t{0x01}, std::uint8_t{0x3C}, type, static_cast<std::uint8_t>(bytes.size())}) {
      Byte(b);
    }
    for (const std::uint8_t b : bytes) {
      Byte(b);
      sum += b;
    }
    Byte(static_cast<std::uint8_t>(sum + (wrongSum && type == 0x01 ? 1 : 0)));
  }
  // An F-BASIC file, as the facts lay it out: machine language, or an ASCII
  // BASIC program (type 0, ASCII FF FF, 259 bytes of FF after each data
  // block); without its end block when asked.
  void File(const std::string& name, const Bytes& body, bool ascii = false, bool ends = true) {
    Gap();
    Header(name, ascii);
    for (std::size_t at = 0; at < body.size(); at += 255) {
      Data(body, at, ascii);
    }
    if (ends) {
      End();
    }
  }
  void Gap() {
    Record(0x0000);
    Record(0x7FFF);
  }
  void Header(const std::string& name, bool ascii = false) {
    Bytes_(0xFF, 256);
    Bytes header(20, 0x00);
    std::fill_n(header.begin(), 8, ' ');
    std::copy(name.begin(), name.end(), header.begin());
    header[8] = ascii ? 0x00 : 0x02;
    header[9] = header[10] = ascii ? 0xFF : 0x00;
    Block(0x00, header);
    Bytes_(0xFF, 259);
  }
  // The data block of `body` that begins at `at`.
  void Data(const Bytes& body, std::size_t at, bool ascii = false) {
    Block(0x01, Bytes(body.begin() + static_cast<std::ptrdiff_t>(at),
                      body.begin() + static_cast<std::ptrdiff_t>(std::min(at + 255, body.size()))));
    Bytes_(0xFF, ascii ? 259 : 20);
  }
  void End() {
    Block(0xFF, {});
    Bytes_(0xFF, 4);
  }
};

Bytes Ramp(std::size_t length) {
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  }
  return bytes;
}

TEST(Tape, AFileIsFramedAsFBasicWritesIt) {
  Writer expected;
  expected.Record(0x0000);
  expected.Record(0x7FFF);
  expected.File("A", {0x42});
  Bytes tape = NewTape();
  AppendFile(tape, MachineLanguageFile("A", {0x42}));
  EXPECT_EQ(tape, expected.tape);
}

TEST(Tape, AnAsciiFileHasTheLongGapAfterEveryDataBlock) {
  Writer expected;
  expected.Record(0x0000);
  expected.Record(0x7FFF);
  const Bytes text = Ramp(300);  // two data blocks
  expected.File("PLAY", text, true);
  Bytes tape = NewTape();
  AppendFile(tape, AsciiBasicFile("PLAY", std::string(text.begin(), text.end())));
  EXPECT_EQ(tape, expected.tape);
}

// A half-cycle of 37 units or more is long, one of 36 short; a level held
// over several records is one half-cycle of their whole length.
TEST(Tape, HalfCyclesAreReadByTheirWholeLength) {
  for (const bool split : {false, true}) {
    Writer edge;
    edge.shortHalf = 36;
    edge.longHalf = 37;
    edge.split = split;
    edge.File("EDGE", Ramp(40));
    std::vector<TapeFile> files;
    std::string why;
    ASSERT_EQ(ReadTape(edge.tape, files, why), TapeRead) << why;
    ASSERT_EQ(files.size(), 1u) << split;
    EXPECT_EQ(files[0].body, Ramp(40)) << split;
  }
}

// A file cut off before its end block, another file after it: the first is
// named as damaged, the second still reads.
TEST(Tape, AFileWithoutItsEndBlockIsNamedAndTheNextStillReads) {
  Writer writer;
  writer.File("CUT", Ramp(30), false, false);
  writer.File("NEXT", Ramp(20));
  std::vector<TapeFile> files;
  std::string why;
  EXPECT_EQ(ReadTape(writer.tape, files, why), TapeDamaged);
  EXPECT_EQ(why, "CUT: it ends without its end block");
  Tape whole;
  ASSERT_EQ(ReadWholeTape(writer.tape, whole, why), TapeRead);
  ASSERT_EQ(whole.files.size(), 1u);
  EXPECT_EQ(whole.files[0].body, Ramp(20));
  ASSERT_EQ(whole.unread.size(), 1u);
  EXPECT_EQ(whole.unread[0].name, "CUT");
  EXPECT_EQ(TapeBytes(whole), writer.tape);
}

TEST(Tape, FilesReadBackWhateverWroteThem) {
  Bytes tape = NewTape();
  const std::size_t sizes[] = {1, 255, 256, 20 * 1024};
  for (const std::size_t size : sizes) {
    AppendFile(tape, MachineLanguageFile("S" + std::to_string(size), Ramp(size)));
  }
  AppendFile(tape, AsciiBasicFile("PLAY", "\r10 PRINT\r"));
  std::vector<TapeFile> files;
  std::string why;
  ASSERT_EQ(ReadTape(tape, files, why), TapeRead) << why;
  ASSERT_EQ(files.size(), 5u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(files[i].name, "S" + std::to_string(sizes[i]));
    EXPECT_TRUE(IsMachineLanguage(files[i]));
    EXPECT_EQ(files[i].body, Ramp(sizes[i]));
  }
  EXPECT_EQ(std::string(files[4].body.begin(), files[4].body.end()), "\r10 PRINT\r");
  EXPECT_EQ(files[4].type[1], 0xFF);
  // A tape made elsewhere: uneven half-cycles, a low start; we append.
  Writer other;
  other.Record(0x0000);
  other.Record(0x7FFF);
  other.lowFirst = true;
  other.jitter = 1;
  other.File("THEIRS", Ramp(600));
  Bytes theirs = other.tape;
  AppendFile(theirs, MachineLanguageFile("OURS", Ramp(10)));
  ASSERT_EQ(ReadTape(theirs, files, why), TapeRead) << why;
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].name, "THEIRS");
  EXPECT_EQ(files[0].body, Ramp(600));
  EXPECT_EQ(files[1].body, Ramp(10));
  EXPECT_EQ(Bytes(theirs.begin(), theirs.begin() + static_cast<std::ptrdiff_t>(other.tape.size())),
            other.tape);
}

TEST(Tape, TheSoundDecodesToTheSameFilesWithoutDrift) {
  Bytes tape = NewTape();
  AppendFile(tape, MachineLanguageFile("ONE", Ramp(3000)));
  AppendFile(tape, MachineLanguageFile("TWO", Ramp(100)));
  for (const std::uint32_t rate : {22050u, 44100u, 48000u}) {
    Bytes sound;
    const std::uint64_t count =
        RenderTape(tape, rate, [&sound](const std::uint8_t* s, std::size_t n) {
          sound.insert(sound.end(), s, s + n);
          return true;
        });
    ASSERT_EQ(count, sound.size());
    EXPECT_EQ(RenderedLength(tape, rate), count);
    // Back to records from the samples: each run of one sign a half-cycle
    // of its length in units; silence a gap.
    Writer decoded;
    std::size_t run = 0;
    for (std::size_t i = 0; i <= sound.size(); ++i) {
      if (i < sound.size() && i > 0 && sound[i] == sound[i - 1]) {
        ++run;
        continue;
      }
      if (i > 0 && sound[i - 1] == 0x80) {
        decoded.Record(0x7FFF);
      } else if (i > 0) {
        const auto units =
            static_cast<std::uint16_t>(std::lround(static_cast<double>(run + 1) / (rate * 9e-6)));
        decoded.Record(static_cast<std::uint16_t>((sound[i - 1] > 0x80 ? 0x8000 : 0) | units));
      }
      run = 0;
    }
    std::vector<TapeFile> files;
    std::string why;
    ASSERT_EQ(ReadTape(decoded.tape, files, why), TapeRead) << why << " at " << rate;
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].body, Ramp(3000));
    EXPECT_EQ(files[1].body, Ramp(100));
    // Two silences of 2 s, the units of every record, 0.5 s at the end.
    std::uint64_t units = 0;
    for (std::size_t at = 16; at < tape.size(); at += 2) {
      const int record = tape[at] << 8 | tape[at + 1];
      units += record == 0x7FFF ? 0 : record & 0x7FFF;
    }
    EXPECT_EQ(count, static_cast<std::uint64_t>(
                         std::llround((3 * 2.0 + static_cast<double>(units) * 9e-6 + 0.5) * rate)));
  }
}

TEST(Tape, DamageIsToldNeverTrusted) {
  Bytes tape = NewTape();
  AppendFile(tape, MachineLanguageFile("A", Ramp(300)));
  std::vector<TapeFile> files;
  std::string why;
  Bytes odd = tape;
  odd.push_back(0);
  EXPECT_EQ(ReadTape(odd, files, why), NotATape);
  Bytes other = tape;
  other[15] = '1';
  EXPECT_EQ(ReadTape(other, files, why), NotATape);
  Bytes cut = tape;
  cut.resize(tape.size() / 2);  // inside the first data block
  EXPECT_EQ(ReadTape(cut, files, why), TapeDamaged);
  Writer wrong;
  wrong.wrongSum = true;
  wrong.File("A", Ramp(300));
  EXPECT_EQ(ReadTape(wrong.tape, files, why), TapeDamaged);
  EXPECT_EQ(why, "A: a block's checksum does not add up");
  EXPECT_EQ(ReadTape(NewTape(), files, why), TapeRead);
  EXPECT_TRUE(files.empty());
}

// An FM-7 PCM image of `count` samples, laid out from the format: 00, the
// count, 00 00, the wait, the samples, FF 00 00 00 00.
Bytes Image(std::size_t count) {
  Bytes image = {
      0x00, static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count), 0x00, 0x00,
      16};
  const Bytes samples = Ramp(count);
  image.insert(image.end(), samples.begin(), samples.end());
  image.insert(image.end(), {0xFF, 0x00, 0x00, 0x00, 0x00});
  return image;
}

// LOADM's framing: one block of `length` bytes at &H3000, the end record.
Bytes Loadm(std::size_t length) {
  Bytes file = {0x00, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
                0x30, 0x00};
  const Bytes data = Ramp(length);
  file.insert(file.end(), data.begin(), data.end());
  file.insert(file.end(), {0xFF, 0x00, 0x00, 0x30, 0x00});
  return file;
}

// What a file's stretch holds beyond its own blocks is kept apart, and a
// file whose blocks do not add up is never read as whole.
TEST(Tape, AFileIsReadOnlyFromItsOwnBlocksInOrder) {
  const Bytes image = Image(600);  // blocks of 255, 255, 101
  const Bytes loadm = Loadm(400);  // blocks of 255, 155
  const auto foreign = [](Writer& w) { w.Bytes_(0x55, 3); };
  const auto imageAndEnd = [&image](Writer& w) {
    for (std::size_t at = 0; at < image.size(); at += 255) {
      w.Data(image, at);
    }
    w.End();
  };
  struct Case {
    const char* what;
    std::function<void(Writer&)> write;
    std::vector<std::string> files;  // read whole
    std::vector<std::string> damaged;
    bool shared;  // a stretch nobody owns overlaps A
  } cases[] = {
      {"another format before its header, in its run",
       [&](Writer& w) {
         w.Gap();
         foreign(w);
         w.Header("A");
         imageAndEnd(w);
       },
       {"A"},
       {},
       true},
      {"another format after its end block, in its run",
       [&](Writer& w) {
         w.File("A", image);
         foreign(w);
       },
       {"A"},
       {},
       true},
      {"another format in a run of its own between its blocks",
       [&](Writer& w) {
         w.Gap();
         w.Header("A");
         w.Gap();
         foreign(w);
         w.Gap();
         imageAndEnd(w);
       },
       {"A"},
       {},
       true},
      {"an image's middle block lost",
       [&](Writer& w) {
         w.Gap();
         w.Header("A");
         w.Data(image, 0);
         w.Data(image, 510);
         w.End();
       },
       {},
       {"A: its header counts 600 samples but it holds 345"},
       false},
      {"a machine-language file's last block lost",
       [&](Writer& w) {
         w.Gap();
         w.Header("A");
         w.Data(loadm, 0);
         w.End();
       },
       {},
       {"A: a block of its LOADM framing runs past its end"},
       false},
      {"two files interleaved",
       [&](Writer& w) {
         w.Gap();
         w.Header("A");
         w.Header("B");
         w.Data(image, 510);
         w.Data(loadm, 255);
         w.End();
         w.End();
       },
       {},
       {"A: it ends without its end block", "B: a block of no file follows it"},
       true},
  };
  for (const Case& c : cases) {
    Writer writer;
    writer.Gap();
    c.write(writer);
    writer.File("KEPT", Ramp(10));
    Tape tape;
    std::string why;
    ASSERT_EQ(ReadWholeTape(writer.tape, tape, why), TapeRead) << c.what;
    std::vector<std::string> files;
    for (const TapeFile& file : tape.files) {
      files.push_back(file.name);
    }
    std::vector<std::string> expectedFiles = c.files;
    expectedFiles.push_back("KEPT");
    EXPECT_EQ(files, expectedFiles) << c.what;
    std::vector<std::string> damaged;
    bool shared = false;
    for (const Unread& unread : tape.unread) {
      if (!unread.name.empty()) {
        damaged.push_back(unread.name + ": " + unread.why.substr(0, unread.why.find(" (")));
      }
      shared = shared || unread.name.empty();
    }
    EXPECT_EQ(damaged, c.damaged) << c.what;
    EXPECT_EQ(shared, c.shared) << c.what;
    EXPECT_EQ(TapeBytes(tape), writer.tape) << c.what;
    if (!c.files.empty()) {  // A cannot change without what shares its stretch
      Tape changed = tape;
      EXPECT_FALSE(RemoveFile(changed, 0)) << c.what;
      EXPECT_FALSE(ReplaceFile(changed, 0, MachineLanguageFile("A", {1}))) << c.what;
    }
  }
}

}  // namespace
}  // namespace tonebake::t77
