// The player's own bytes on the 6809 model: its timing, its bus protocol,
// what it touches; the model against the data sheet; the volume tables and
// the preview against independent computations.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <set>
#include <string>

#include "fbasic/play_program.h"
#include "m6809/m6809.h"
#include "player/boot_code.h"
#include "player/player_code.h"
#include "player/psg_preview.h"
#include "player/volume_table.h"

namespace tonebake::player {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr double kPi = 3.14159265358979323846;

// From the MC6809 data sheet (Table 9, Table 2 and the programming aid):
// every instruction form the player uses, by its first bytes, and its
// cycles with the indexed and stacking extras added.
const struct {
  Bytes start;
  int cycles;
  int length;
} kDataSheet[] = {
    {{0x12}, 2, 1},                  // NOP
    {{0x17}, 9, 3},                  // LBSR
    {{0x1A}, 3, 2},                  // ORCC #
    {{0x1F, 0x8B}, 6, 2},            // TFR A,DP
    {{0x20}, 3, 2},                  // BRA
    {{0x21}, 3, 2},                  // BRN
    {{0x26}, 3, 2},                  // BNE
    {{0x2A}, 3, 2},                  // BPL
    {{0x31, 0x8B}, 4 + 4, 2},        // LEAY D,X
    {{0x31, 0x21}, 4 + 1, 2},        // LEAY 1,Y
    {{0x31, 0x8D}, 4 + 5, 4},        // LEAY n,PCR (16-bit)
    {{0x32, 0x8D}, 4 + 5, 4},        // LEAS n,PCR (16-bit)
    {{0x33, 0x8D}, 4 + 5, 4},        // LEAU n,PCR (16-bit)
    {{0x34, 0x7F}, 5 + 10, 2},       // PSHS U,Y,X,DP,B,A,CC
    {{0x34, 0x02}, 5 + 1, 2},        // PSHS A
    {{0x35, 0x02}, 5 + 1, 2},        // PULS A
    {{0x35, 0xFF}, 5 + 12, 2},       // PULS all, PC
    {{0x39}, 5, 1},                  // RTS
    {{0x4A}, 2, 1},                  // DECA
    {{0x4F}, 2, 1},                  // CLRA
    {{0x5A}, 2, 1},                  // DECB
    {{0x5C}, 2, 1},                  // INCB
    {{0x5F}, 2, 1},                  // CLRB
    {{0x86}, 2, 2},                  // LDA #
    {{0x97}, 4, 2},                  // STA direct
    {{0xA6, 0x84}, 4 + 0, 2},        // LDA ,X
    {{0xA6, 0x80}, 4 + 2, 2},        // LDA ,X+
    {{0xA6, 0xA6}, 4 + 1, 2},        // LDA A,Y
    {{0xA6, 0xC6}, 4 + 1, 2},        // LDA A,U
    {{0xA6, 0xE6}, 4 + 1, 2},        // LDA A,S
    {{0xAC, 0x8C}, 6 + 1, 3},        // CMPX n,PCR (8-bit)
    {{0xAE, 0x8C}, 5 + 1, 3},        // LDX n,PCR (8-bit)
    {{0xC6}, 2, 2},                  // LDB #
    {{0xD7}, 4, 2},                  // STB direct
    {{0xE6, 0x80}, 4 + 2, 2},        // LDB ,X+
    {{0xE6, 0x8C}, 4 + 1, 3},        // LDB n,PCR (8-bit)
    {{0xE7, 0x8D}, 4 + 5, 4},        // STB n,PCR (16-bit)
    {{0xEC, 0x8C}, 5 + 1, 3},        // LDD n,PCR (8-bit)
    {{0x10, 0xAF, 0x8D}, 6 + 5, 5},  // STY n,PCR (16-bit)
    {{0x10, 0xEE, 0x8C}, 6 + 1, 4},  // LDS n,PCR (8-bit)
    {{0x10, 0xEF, 0x8D}, 6 + 5, 5},  // STS n,PCR (16-bit)
};

// One instruction alone in a fresh model.
M6809 RunAlone(const Bytes& bytes) {
  M6809 cpu;
  std::copy(bytes.begin(), bytes.end(), cpu.memory.begin() + 0x1000);
  cpu.pc = 0x1000;
  cpu.s = 0x0800;
  EXPECT_TRUE(cpu.Step()) << cpu.error;
  return cpu;
}

TEST(M6809, CyclesAndLengthsAreTheDataSheetsAndTheListingAgrees) {
  for (const auto& row : kDataSheet) {
    Bytes bytes = row.start;
    bytes.resize(5, 0x00);
    const M6809 cpu = RunAlone(bytes);
    EXPECT_EQ(cpu.cycles, static_cast<std::uint64_t>(row.cycles)) << int{row.start[0]};
    const bool jumps = row.start[0] == 0x17 || row.start[0] == 0x20 || row.start[0] == 0x39 ||
                       (row.start[0] == 0x35 && row.start[1] == 0xFF);
    if (!jumps) {
      EXPECT_EQ(cpu.pc, 0x1000 + row.length) << int{row.start[0]};
    }
  }
  // Every instruction of the listing has the data sheet's cycles.
  int instructions = 0;
  for (std::size_t i = 0; i < kPlayerListingLines; ++i) {
    const ListingLine& line = kPlayerListing[i];
    if (line.cycles == 0) {
      continue;  // data
    }
    ++instructions;
    const Bytes bytes(line.bytes, line.bytes + line.length);
    bool found = false;
    for (const auto& row : kDataSheet) {
      if (row.length == line.length && row.start.size() <= bytes.size() &&
          std::equal(row.start.begin(), row.start.end(), bytes.begin())) {
        EXPECT_EQ(line.cycles, row.cycles) << line.text;
        found = true;
      }
    }
    EXPECT_TRUE(found) << line.text;
  }
  EXPECT_GT(instructions, 60);
  // A byte the model does not know stops it.
  M6809 cpu;
  cpu.memory[0] = 0x3D;  // MUL
  EXPECT_FALSE(cpu.Step());
  EXPECT_EQ(cpu.error, "unknown opcode $3D at $0000");
}

// The boot program runs on MAME in the mame test; here, what it must agree
// with: each line where the one before ends, each part within its
// sectors, and the boot sector reading all of the second part from where
// it lies into where it runs.
TEST(BootProgram, EachPartFitsAndTheBootSectorReadsAllOfTheSecondPart) {
  const struct {
    const player::BootLine* lines;
    std::size_t count;
    std::size_t room;
  } parts[] = {{player::kBootSectorListing, player::kBootSectorLines, player::kBootSectorBytes},
               {player::kBootSecondPartListing, player::kBootSecondPartLines,
                player::kSecondPartSectors * player::kBootSectorBytes}};
  for (const auto& part : parts) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < part.count; ++i) {
      EXPECT_EQ(part.lines[i].offset, at) << part.lines[i].text;
      at += part.lines[i].length;
    }
    EXPECT_LE(at, part.room);
  }
  const auto line = [](const char* starts) {
    for (std::size_t i = 0; i < player::kBootSectorLines; ++i) {
      const std::string text = player::kBootSectorListing[i].text;
      if (text.find(starts) != std::string::npos) {
        return Bytes(player::kBootSectorListing[i].bytes,
                     player::kBootSectorListing[i].bytes + player::kBootSectorListing[i].length);
      }
    }
    return Bytes();
  };
  const Bytes address = {player::kSecondPartAddress >> 8, player::kSecondPartAddress & 0xFF};
  EXPECT_EQ(line("CMPB #"), (Bytes{0xC1, player::kSecondPartSectors + 1}));  // sectors 1 to n
  EXPECT_EQ(line("FCB 0,1,"), (Bytes{0x00, 0x01, player::kSecondPartHead, 0x00}));  // track 0, side
  EXPECT_EQ(line("FDB STAGE2"), address);
  EXPECT_EQ(line("JMP STAGE2"), (Bytes{0x7E, address[0], address[1]}));
}

struct Played {
  M6809 cpu;
  std::vector<PsgWrite> psg;
};

Played Play(PsgProfile profile, std::uint8_t wait, const Bytes& samples) {
  Played played;
  Bytes loaded(samples.size() + 1, wait);
  std::copy(samples.begin(), samples.end(), loaded.begin() + 1);
  std::string error;
  EXPECT_TRUE(
      RunPlayer(profile, loaded, static_cast<std::uint16_t>(samples.size()), played.cpu, error))
      << error;
  played.psg = DecodePsgWrites(played.cpu.writes);
  return played;
}

// Samples that could upset a loop whose time depended on data.
Bytes Adversarial() {
  Bytes samples;
  for (const int run : {0x00, 0x7F, 0x80, 0xFF}) {
    samples.insert(samples.end(), 3, static_cast<std::uint8_t>(run));
  }
  for (int i = 0; i < 6; ++i) {
    samples.push_back(i % 2 == 0 ? 0x00 : 0xFF);
  }
  return samples;
}

TEST(Player, EveryVolumeRegisterIsWrittenEvery144Plus5WCyclesForEveryWait) {
  const Bytes samples = Adversarial();
  const VolumeTable table = BuildVolumeTable(PsgProfile::Fm7);
  for (int wait = 0; wait < 256; ++wait) {
    const Played played = Play(PsgProfile::Fm7, static_cast<std::uint8_t>(wait), samples);
    for (std::uint8_t reg = 8; reg <= 10; ++reg) {
      std::vector<PsgWrite> mine;
      for (const PsgWrite& write : played.psg) {
        if (write.reg == reg) {
          mine.push_back(write);
        }
      }
      // One write a sample, then the silence at the end.
      ASSERT_EQ(mine.size(), samples.size() + 1) << wait;
      for (std::size_t k = 0; k < samples.size(); ++k) {
        EXPECT_EQ(mine[k].value, LevelFor(table, reg - 8u, samples[k])) << wait;
        if (k > 0) {
          EXPECT_EQ(mine[k].cycle - mine[k - 1].cycle, 144u + 5u * wait) << wait << " " << k;
        }
      }
      EXPECT_EQ(mine.back().value, 0);
    }
    // Within each sample's period, B 39 cycles after A and C 41 after B:
    // the mixed states the byte search counts on.
    std::vector<std::uint64_t> at[3];
    for (const PsgWrite& write : played.psg) {
      if (write.reg >= 8 && write.reg <= 10) {
        at[write.reg - 8].push_back(write.cycle);
      }
    }
    for (std::size_t k = 0; k < samples.size(); ++k) {
      EXPECT_EQ(at[1][k] - at[0][k], 39u) << wait;
      EXPECT_EQ(at[2][k] - at[1][k], 41u) << wait;
    }
  }
}

TEST(Player, WritesEachRegisterInSixStoresAndTouchesNothingElse) {
  const Bytes samples = {0x80, 0xFF};
  const Played played = Play(PsgProfile::Fm77av, 16, samples);
  const VolumeTable table = BuildVolumeTable(PsgProfile::Fm77av);
  // R7, the tone periods R5 down to R0, the samples, the silence.
  std::vector<std::pair<int, int>> expected = {{7, 0xBF}};
  for (int reg = 5; reg >= 0; --reg) {
    expected.push_back({reg, 0x0F});
  }
  for (const std::uint8_t sample : samples) {
    for (std::size_t channel = 0; channel < 3; ++channel) {
      expected.push_back({8 + static_cast<int>(channel), LevelFor(table, channel, sample)});
    }
  }
  expected.insert(expected.end(), {{8, 0}, {9, 0}, {10, 0}});
  std::vector<std::pair<int, int>> written;
  for (const PsgWrite& write : played.psg) {
    written.push_back({write.reg, write.value});
  }
  EXPECT_EQ(written, expected);
  // The bus: number, 3, 0, value, 2, 0 for every register, nothing between.
  std::vector<BusWrite> ports;
  std::set<std::uint16_t> elsewhere;
  const std::uint16_t stack = kStartStack - 2;
  for (const BusWrite& write : played.cpu.writes) {
    if (write.address == 0xFD0D || write.address == 0xFD0E) {
      ports.push_back(write);
    } else if (!(write.address >= kPlayerLoadAddress &&
                 write.address < kPlayerLoadAddress + kPlayerSize) &&
               !(write.address < stack && write.address >= stack - 256)) {
      elsewhere.insert(write.address);
    }
  }
  EXPECT_TRUE(elsewhere.empty()) << *elsewhere.begin();
  ASSERT_EQ(ports.size(), expected.size() * 6);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const BusWrite* six = &ports[i * 6];
    const int reg = expected[i].first;
    const int value = expected[i].second;
    EXPECT_EQ(
        (std::vector<int>{six[0].address, six[0].value, six[1].address, six[1].value,
                          six[2].address, six[2].value, six[3].address, six[3].value,
                          six[4].address, six[4].value, six[5].address, six[5].value}),
        (std::vector<int>{0xFD0E, reg, 0xFD0D, 3, 0xFD0D, 0, 0xFD0E, value, 0xFD0D, 2, 0xFD0D, 0}))
        << i;
  }
  EXPECT_EQ(played.cpu.portReads, 0u);
  EXPECT_EQ(played.cpu.unmaskedPortWrites, 0u);
}

TEST(Player, ReturnsWithEveryRegisterAsItWasAndNoSamplesMeansNoSound) {
  for (const int count : {0, 1}) {
    M6809 cpu;
    cpu.a = 0x12;
    cpu.b = 0x34;
    cpu.x = 0x5678;
    cpu.y = 0x9ABC;
    cpu.u = 0xDEF0;
    cpu.dp = 0x21;
    cpu.cc = 0x80 | M6809::kCarry;  // E and C set, interrupts enabled
    std::string error;
    ASSERT_TRUE(
        RunPlayer(PsgProfile::Fm7, {16, 0xC0}, static_cast<std::uint16_t>(count), cpu, error))
        << error;
    EXPECT_EQ(cpu.a, 0x12);
    EXPECT_EQ(cpu.b, 0x34);
    EXPECT_EQ(cpu.x, 0x5678);
    EXPECT_EQ(cpu.y, 0x9ABC);
    EXPECT_EQ(cpu.u, 0xDEF0);
    EXPECT_EQ(cpu.dp, 0x21);
    EXPECT_EQ(cpu.cc, 0x80 | M6809::kCarry);
    EXPECT_EQ(cpu.s, kStartStack);  // the return address taken
    const std::vector<PsgWrite> psg = DecodePsgWrites(cpu.writes);
    if (count == 0) {
      EXPECT_TRUE(psg.empty());
      EXPECT_LT(cpu.cycles, 2000u);
    } else {
      EXPECT_EQ(psg.size(), 7u + 3u + 3u);
    }
  }
}

// The levels of the issue's curves, computed here.
double Output(PsgProfile profile, int level) {
  static const int kFm7[16] = {0, 3, 4, 6, 9, 13, 18, 29, 34, 55, 77, 98, 130, 166, 208, 255};
  if (level == 0) {
    return 0;
  }
  return profile == PsgProfile::Fm7 ? kFm7[level] / 255.0 : std::pow(2.0, (level - 15) / 2.0);
}

double Sum(PsgProfile profile, const VolumeTable& table, std::uint8_t sample) {
  double sum = 0;
  for (std::size_t channel = 0; channel < 3; ++channel) {
    sum += Output(profile, LevelFor(table, channel, sample));
  }
  return sum;
}

TEST(VolumeTable, RisesWithTheSampleAndKeepsTheStaticFigureOfTheDocs) {
  for (const PsgProfile profile : {PsgProfile::Fm7, PsgProfile::Fm77av}) {
    const VolumeTable table = BuildVolumeTable(profile);
    for (int sample = 1; sample < 256; ++sample) {
      EXPECT_GE(Sum(profile, table, static_cast<std::uint8_t>(sample)),
                Sum(profile, table, static_cast<std::uint8_t>(sample - 1)))
          << sample;
    }
    // A 1 kHz sine at 8031 Hz, quantized to 8 bits, against its best fit.
    double sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
    const int n = 80310;
    for (int k = 0; k < n; ++k) {
      const double x = std::sin(2 * kPi * 1000.0 * static_cast<double>(k) / 8031.0);
      const double y =
          Sum(profile, table, static_cast<std::uint8_t>(std::lround(127.5 + 127.5 * x)));
      sx += x, sy += y, sxx += x * x, sxy += x * y, syy += y * y;
    }
    const double signal = (sxy - sx * sy / n) * (sxy - sx * sy / n) / (sxx - sx * sx / n);
    const double noise = (syy - sy * sy / n) - signal;
    const double snr = 10 * std::log10(signal / noise);
    // The static figures doc/fm7.md gives.
    EXPECT_NEAR(snr, profile == PsgProfile::Fm7 ? 39.1 : 36.0, 0.5) << PsgProfileName(profile);
    // Sample 0x00 is silence on every channel.
    for (std::size_t channel = 0; channel < 3; ++channel) {
      EXPECT_EQ(LevelFor(table, channel, 0x00), 0) << channel;
    }
    RecordProperty(std::string("snr_") + PsgProfileName(profile), std::to_string(snr));
  }
}

// What the FM-7 puts out for a plainly rounded recording the tables were
// not tuned on: two tones (about 702 Hz and 1902 Hz, -8 dB each) at wait 16
// with TPDF dither, played by the player on the model. The output is
// summed from the writes as they land, a step function of the cycle, and
// its Fourier series over the whole sound (the tones fall on its lines) is
// taken box by box: the tones' lines are the signal, every other line up to
// 3.9 kHz the noise. The issue asked 24 dB of rounded bytes, on both curves.
TEST(VolumeTable, RoundedAudioTheTablesWereNotTunedOnKeeps24DbInBand) {
  constexpr int kCount = 2048;
  constexpr int kLines[2] = {179, 485};  // whole cycles in kCount samples
  Bytes samples(kCount);
  std::uint32_t seed = 1;
  const auto uniform = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / (1u << 24);
  };
  for (int n = 0; n < kCount; ++n) {
    double x = 0;
    for (const int line : kLines) {
      x += std::pow(10, -8.0 / 20) * std::sin(2 * kPi * line * n / kCount);
    }
    const double level = std::floor(128 + 128 * x + uniform() - uniform() + 0.5);
    samples[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(std::clamp(level, 0.0, 255.0));
  }
  for (const PsgProfile profile : {PsgProfile::Fm7, PsgProfile::Fm77av}) {
    const Played played = Play(profile, 16, samples);
    const std::array<double, kLevels> curve = LevelCurve(profile);
    // The steps: from each write of R8-R10 to the next, the sum of levels.
    struct Step {
      double from, to, value;
    };
    std::vector<Step> steps;
    int levels[3] = {0, 0, 0};
    const double start = static_cast<double>(played.psg.front().cycle);
    double at = 0;
    for (const PsgWrite& write : played.psg) {
      if (write.reg < 8 || write.reg > 10) {
        continue;
      }
      const double now = static_cast<double>(write.cycle) - start;
      double value = 0;
      for (const int level : levels) {
        value += curve[static_cast<std::size_t>(level)];
      }
      steps.push_back({at, now, value});
      at = now;
      levels[write.reg - 8] = write.value;
    }
    const double length = kCount * (144.0 + 5 * 16);  // cycles
    const int lastLine = static_cast<int>(3900.0 * length / kFm7ClockHz);
    double signal = 0;
    double noise = 0;
    for (int k = 1; k <= lastLine; ++k) {
      const double w = 2 * kPi * k / length;
      std::complex<double> c = 0;
      for (const Step& step : steps) {
        c += step.value * (std::polar(1.0, -w * step.from) - std::polar(1.0, -w * step.to));
      }
      const double power = std::norm(c / std::complex<double>(0, w * length));
      (k == kLines[0] || k == kLines[1] ? signal : noise) += power;
    }
    const double snr = 10 * std::log10(signal / noise);
    EXPECT_GE(snr, 24.0) << PsgProfileName(profile);
    RecordProperty(std::string("rounded_snr_") + PsgProfileName(profile), std::to_string(snr));
  }
}

// Each preview sample is the mean level over its span, less the mean of
// the whole, scaled so that three full channels fit, rounded to the nearest:
// fm77av level 14 (2^-0.5) for one span and 0 for the next is +-0.3536 of
// full scale, 32767 / 3 * 0.35355 = 3861.6.
TEST(Preview, TheRenderingIsTheMeanOfEachSpanRoundedToTheNearest) {
  const double clock = 44100.0 * 40;  // 40 cycles a preview sample
  const std::vector<PsgWrite> writes = {{0, 8, 14}, {40, 8, 0}};
  EXPECT_EQ(RenderPsg(writes, 80, PsgProfile::Fm77av, clock),
            (std::vector<std::int16_t>{3862, -3862}));
}

TEST(Preview, AToneImageRendersThatToneForItsLength) {
  // 1 kHz at wait 16 (8031 Hz), 0.5 s.
  Bytes samples(4016);
  for (std::size_t k = 0; k < samples.size(); ++k) {
    samples[k] = static_cast<std::uint8_t>(
        std::lround(127.5 + 120 * std::sin(2 * kPi * 1000.0 * static_cast<double>(k) / 8031.0)));
  }
  const Played played = Play(PsgProfile::Fm7, 16, samples);
  const std::vector<std::int16_t> rendered =
      RenderPsg(played.psg, played.cpu.cycles, PsgProfile::Fm7, kFm7ClockHz);
  EXPECT_NEAR(static_cast<double>(rendered.size()),
              static_cast<double>(played.cpu.cycles) / kFm7ClockHz * 44100, 1.0);
  EXPECT_NEAR(static_cast<double>(played.cpu.cycles) / kFm7ClockHz, 4016 * 224 / kFm7ClockHz,
              0.001);
  // The tone's strength at 1 kHz against its neighbours.
  const auto magnitude = [&rendered](double hz) {
    double re = 0, im = 0;
    for (std::size_t k = 0; k < rendered.size(); ++k) {
      re += rendered[k] * std::cos(2 * kPi * hz * static_cast<double>(k) / 44100);
      im += rendered[k] * std::sin(2 * kPi * hz * static_cast<double>(k) / 44100);
    }
    return std::hypot(re, im);
  };
  EXPECT_GT(magnitude(1000), 20 * magnitude(900));
  EXPECT_GT(magnitude(1000), 20 * magnitude(1100));
  // An independent renderer: the levels looked up per cycle-accurate step,
  // sampled 64 times in each output interval. Below 4 kHz the two agree
  // within 30 dB (here: over the whole band).
  const double cyclesPerSample = kFm7ClockHz / 44100;
  std::vector<double> independent(rendered.size());
  std::size_t next = 0;
  int levels[3] = {0, 0, 0};
  double mean = 0;
  for (std::size_t k = 0; k < independent.size(); ++k) {
    double area = 0;
    for (int part = 0; part < 64; ++part) {
      const double cycle = (static_cast<double>(k) + (part + 0.5) / 64) * cyclesPerSample;
      while (next < played.psg.size() && static_cast<double>(played.psg[next].cycle) <= cycle) {
        if (played.psg[next].reg >= 8 && played.psg[next].reg <= 10) {
          levels[played.psg[next].reg - 8] = played.psg[next].value;
        }
        ++next;
      }
      area += Output(PsgProfile::Fm7, levels[0]) + Output(PsgProfile::Fm7, levels[1]) +
              Output(PsgProfile::Fm7, levels[2]);
    }
    independent[k] = area / 64;
    mean += independent[k];
  }
  mean /= static_cast<double>(independent.size());
  double signal = 0, error = 0;
  for (std::size_t k = 0; k < independent.size(); ++k) {
    const double expected = (independent[k] - mean) * 32767.0 / 3.0;
    signal += expected * expected;
    error += (rendered[k] - expected) * (rendered[k] - expected);
  }
  EXPECT_GT(10 * std::log10(signal / error), 30.0);
}

// PLAY is written anew only when nothing but its DATA lines changed since
// a version of tonebake wrote it: the earlier versions' texts (as they
// wrote them, PLAYER at &H2800) and this version's, on disk and on tape.
TEST(Play, OnlyAPlayAsTonebakeWroteItIsWrittenAnew) {
  const std::string earlierDisk =
      "\r\n10 CLEAR ,&H27FF:D$=\"1:\"\r\n20 LOADM D$+\"PLAYER\"\r\n30 PRINT \"tonebake PLAY "
      "(BREAK does not stop a sound)\"\r\n40 RESTORE:N=0\r\n50 READ N$,C,S:IF N$=\"\" THEN "
      "80\r\n60 N=N+1:PRINT N;N$;S;\"s\"\r\n70 GOTO 50\r\n80 IF N=0 THEN PRINT \"No sounds on "
      "this disk\":END\r\n90 INPUT \"Sound (0 ends)\";K\r\n100 IF K<1 OR K>N THEN END\r\n110 "
      "RESTORE:FOR I=1 TO K:READ N$,C,S:NEXT\r\n120 LOADM D$+N$,&H3000\r\n130 POKE "
      "&H2802,&H30:POKE &H2803,&H0:POKE &H2804,INT((C-1)/256):POKE &H2805,(C-1) MOD "
      "256\r\n140 EXEC &H2800\r\n150 GOTO 90\r\n1000 DATA \"ONE\",20,16,0.01\r\n1010 DATA "
      "\"\",0,0\r\n\x1A\0\0";
  const std::string earlierTape =
      "\r\n10 CLEAR ,&H27FF\r\n20 LOADM \"CAS0:PLAYER\"\r\n30 PRINT \"tonebake PLAY (BREAK does "
      "not stop a sound)\"\r\n40 READ N$,C,S:IF N$=\"\" THEN END\r\n50 PRINT "
      "N$;S;\"s\":LOADM \"CAS0:\"+N$,&H3000\r\n60 POKE &H2802,&H30:POKE &H2803,&H0:POKE "
      "&H2804,INT((C-1)/256):POKE &H2805,(C-1) MOD 256\r\n70 EXEC &H2800\r\n80 GOTO "
      "40\r\n1000 DATA \"\",0,0\r\n\x1A";
  const fbasic::PlayLayout layout = PlayLayoutOfThePlayer();
  const std::vector<fbasic::MenuSound> sounds = {{"ONE", 100, 16}, {"TWO", 2000, 0}};
  const std::string disk = fbasic::PlayProgram(sounds, "1:", layout);
  const std::string tape = fbasic::TapePlayProgram({}, layout);
  const auto edited = [](std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    return at == std::string::npos ? std::string() : text.replace(at, from.size(), to);
  };
  const struct {
    std::string text;
    bool tonebakes;
  } cases[] = {
      {earlierDisk, true},
      {earlierTape, true},
      {disk, true},
      {tape, true},
      {fbasic::PlayProgram({}, "1:", layout), true},
      {edited(disk, "DATA \"TWO\"", "DATA \"THREE\""), true},
      {edited(disk, "D$=\"1:\"", "D$=\"0:\""), false},
      {edited(earlierDisk, "D$=\"1:\"", "D$=\"0:\""), false},
      {edited(tape, "GOTO 40", "GOTO 50"), false},
      {edited(earlierTape, "\r\n80 GOTO", "\r\n75 PRINT\r\n80 GOTO"), false},
  };
  for (const auto& c : cases) {
    ASSERT_FALSE(c.text.empty());
    const Bytes bytes(c.text.begin(), c.text.end());
    EXPECT_EQ(fbasic::IsTonebakePlay(bytes, layout), c.tonebakes) << c.text;
    EXPECT_TRUE(fbasic::LooksLikeTonebakePlay(bytes)) << c.text;
  }
}

}  // namespace
}  // namespace tonebake::player
