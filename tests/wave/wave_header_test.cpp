#include "wave/wave_header.h"
#include "wave/wave_writer.h"

#include <gtest/gtest.h>

#include "support/wave_bytes.h"

namespace tonebake {
namespace {

using test::Bytes;
using test::MakeWave;
using test::WaveFields;

HeaderCheck Check(const Bytes& file) {
  return CheckWaveHeader(file.data(), static_cast<std::uint32_t>(file.size()));
}

WaveFields With(void (*change)(WaveFields&)) {
  WaveFields fields;
  change(fields);
  return fields;
}

struct HeaderCase {
  const char* name;
  WaveFields fields;
  HeaderCheck expected;
};

// Once the length matches, the last failing test in the order RIFF, WAVE,
// fmt, format, channels, bits decides.
const HeaderCase kHeaderCases[] = {
    {"valid", WaveFields(), HeaderOk},
    {"valid at any rate", With([](WaveFields& f) { f.sampleRate = 44100; }), HeaderOk},
    {"lower-case riff", With([](WaveFields& f) { f.riffId = "riff"; }), NoRiffId},
    {"no WAVE id", With([](WaveFields& f) { f.waveId = "AVI "; }), NoWaveId},
    {"no fmt id", With([](WaveFields& f) { f.fmtId = "fmt_"; }), NoFmtId},
    {"a LIST chunk first", With([](WaveFields& f) { f.dataId = "LIST"; }), NoDataId},
    {"bad fmt and data ids, 16-bit",
     With([](WaveFields& f) { f.fmtId = "junk", f.dataId = "JUNK", f.bitsPerSample = 16; }),
     BitsNotEight},
    {"not pcm", With([](WaveFields& f) { f.audioFormat = 3; }), FormatNotPcm},
    {"stereo 8-bit", With([](WaveFields& f) { f.channels = 2; }), ChannelsNotOne},
    {"stereo 16-bit", With([](WaveFields& f) { f.channels = 2, f.bitsPerSample = 16; }),
     BitsNotEight},
    {"mono 16-bit", With([](WaveFields& f) { f.bitsPerSample = 16; }), BitsNotEight},
    {"not pcm 16-bit", With([](WaveFields& f) { f.audioFormat = 3, f.bitsPerSample = 16; }),
     BitsNotEight},
    {"bad ids and bad format",
     With([](WaveFields& f) { f.riffId = "RIFX", f.fmtId = "junk", f.audioFormat = 2; }),
     FormatNotPcm},
    {"bad riff and wave ids", With([](WaveFields& f) { f.riffId = "RIFX", f.waveId = "WAVF"; }),
     NoWaveId},
    {"bad wave and fmt ids", With([](WaveFields& f) { f.waveId = "WAVF", f.fmtId = "data"; }),
     NoFmtId},
    {"not pcm, stereo", With([](WaveFields& f) { f.audioFormat = 0, f.channels = 2; }),
     ChannelsNotOne},
    {"bad riff id, stereo", With([](WaveFields& f) { f.riffId = "RIFX", f.channels = 2; }),
     ChannelsNotOne},
    {"no channels", With([](WaveFields& f) { f.channels = 0; }), ChannelsNotOne},
    {"4-bit", With([](WaveFields& f) { f.bitsPerSample = 4; }), BitsNotEight},
    {"format 0", With([](WaveFields& f) { f.audioFormat = 0; }), FormatNotPcm},
};

TEST(HeaderCheck, CodesHaveTheirDocumentedValues) {
  const int codes[] = {HeaderOk,     SizeMismatch,   NoRiffId,     NoWaveId,       NoFmtId,
                       FormatNotPcm, ChannelsNotOne, BitsNotEight, DataOutsideFile};
  const int documented[] = {0, 0x101, 0x102, 0x103, 0x104, 0x105, 0x106, 0x107, 0x108};
  for (std::size_t i = 0; i < std::size(codes); ++i) {
    EXPECT_EQ(codes[i], documented[i]) << i;
  }
}

TEST(CheckWaveHeader, LastFailingTestDecides) {
  for (const HeaderCase& c : kHeaderCases) {
    EXPECT_EQ(Check(MakeWave(test::RampSamples(4), c.fields)), c.expected) << c.name;
  }
}

TEST(CheckWaveHeader, FieldsItDoesNotExamineDoNotMatter) {
  Bytes file = MakeWave(test::RampSamples(4));
  test::PutLittleEndian(file, 16, 18, 4);  // fmtSize
  test::PutLittleEndian(file, 28, 1, 4);   // byteRate
  test::PutLittleEndian(file, 32, 9, 2);   // blockAlign
  EXPECT_EQ(Check(file), HeaderOk);
}

TEST(CheckWaveHeader, LengthMismatchWinsOverEverythingElse) {
  Bytes appended = MakeWave(test::RampSamples(4));
  appended.push_back(0);
  EXPECT_EQ(Check(appended), SizeMismatch);

  Bytes brokenAndShort = MakeWave(
      test::RampSamples(4), With([](WaveFields& f) { f.riffId = "XXXX", f.bitsPerSample = 16; }));
  brokenAndShort.pop_back();
  EXPECT_EQ(Check(brokenAndShort), SizeMismatch);
}

TEST(CheckWaveHeader, FilesShorterThanTheHeaderAreSizeMismatch) {
  // A 40-byte buffer whose riffSize says 32: the length test alone would
  // pass, but the header does not fit, so nothing beyond it may be read.
  Bytes file = MakeWave(Bytes());
  test::PutLittleEndian(file, 4, 32, 4);
  file.resize(40);
  EXPECT_EQ(Check(file), SizeMismatch);
  EXPECT_EQ(CheckWaveHeader(nullptr, 0), SizeMismatch);
  // Exactly a header, no samples: the smallest file that passes.
  EXPECT_EQ(Check(MakeWave(Bytes())), HeaderOk);
  Bytes oneShort = MakeWave(Bytes());
  test::PutLittleEndian(oneShort, 4, 35, 4);
  oneShort.pop_back();
  EXPECT_EQ(Check(oneShort), SizeMismatch);
}

TEST(CheckWaveHeader, RiffSizeSumWrapsIn32Bits) {
  Bytes file = MakeWave(test::RampSamples(4));
  test::PutLittleEndian(file, 4, 0xFFFFFFFFu, 4);  // + 8 wraps to 7
  EXPECT_EQ(Check(file), SizeMismatch);
}

struct DataCase {
  const char* name;
  std::uint32_t dataSize;
  std::size_t fileSamples;
  HeaderCheck expected;
};

TEST(LocateSamples, DataSizeMustLieInsideTheFile) {
  const DataCase cases[] = {
      {"exact", 10, 10, HeaderOk},
      {"shorter than the file", 6, 10, HeaderOk},
      {"empty", 0, 0, HeaderOk},
      {"one past the end", 11, 10, DataOutsideFile},
      {"negative", 0xFFFFFFFFu, 10, DataOutsideFile},
      {"most negative", 0x80000000u, 10, DataOutsideFile},
      {"huge positive", 0x7FFFFFFFu, 10, DataOutsideFile},
  };
  for (const DataCase& c : cases) {
    Bytes file = MakeWave(test::RampSamples(c.fileSamples));
    test::PutLittleEndian(file, 40, c.dataSize, 4);
    WaveSamples samples{file.data(), 99};  // what a refusal must clear
    EXPECT_EQ(LocateSamples(file.data(), static_cast<std::uint32_t>(file.size()), samples),
              c.expected)
        << c.name;
    if (c.expected == HeaderOk) {
      EXPECT_EQ(samples.bytes, file.data() + 44) << c.name;
      EXPECT_EQ(samples.count, c.dataSize) << c.name;
    } else {
      EXPECT_EQ(samples.count, 0u) << c.name;
    }
  }
}

// The field is signed: 2^31 and more is negative, however long the file (only
// the header is read, so the length can be claimed).
TEST(LocateSamples, ASizeOf2GiBOrMoreIsOutsideEvenAFileLongerThanThat) {
  Bytes file = MakeWave(Bytes());
  for (const std::uint32_t size : {0x80000000u, 0xC0000000u}) {
    test::PutLittleEndian(file, 40, size, 4);
    WaveSamples samples;
    EXPECT_EQ(LocateSamples(file.data(), 0xF0000000u, samples), DataOutsideFile) << size;
  }
}

TEST(LocateSamples, RefusesABufferShorterThanTheHeader) {
  const Bytes file = MakeWave(Bytes());
  WaveSamples samples;
  EXPECT_EQ(LocateSamples(file.data(), 43, samples), DataOutsideFile);
  EXPECT_EQ(samples.bytes, nullptr);
}

TEST(ReadSampleRate, ReadsTheSampleRateFieldNotTheByteRate) {
  // Stereo 16-bit: the byte rate, the next field, is four times the rate.
  const Bytes file = MakeWave(Bytes(), With([](WaveFields& f) {
                                f.sampleRate = 0x01234567, f.channels = 2, f.bitsPerSample = 16;
                              }));
  EXPECT_EQ(ReadSampleRate(file.data()), 0x01234567u);
}

// What tonebake-prep writes is exactly the canonical layout, and passes.
TEST(WriteCanonicalWaveHeader, WritesTheLayoutTheCheckAccepts) {
  const Bytes samples{1, 2, 3};
  // Every byte starts as garbage, and one byte past the header must stay so.
  Bytes file(kWaveHeaderSize + 1, 0xAA);
  WriteCanonicalWaveHeader(8031, 3, file.data());
  EXPECT_EQ(file.back(), 0xAA);
  file.pop_back();
  file.insert(file.end(), samples.begin(), samples.end());
  EXPECT_EQ(file, MakeWave(samples, With([](WaveFields& f) { f.sampleRate = 8031; })));
  EXPECT_EQ(CheckWaveHeader(file.data(), static_cast<std::uint32_t>(file.size())), HeaderOk);
}

}  // namespace
}  // namespace tonebake
