// The boot program and the player on an FM-7 emulated by MAME (Debian
// package mame), with its own disk controller, PSG and 6809, beside the
// rendering of tonebake-play. MAME needs ROM files: Fujitsu's are never
// used. The test makes stand-ins (filler for F-BASIC and the subsystem, and
// a boot ROM of our own that boots from drive 0 and reads sectors for the
// boot program), boots a disk tonebake-disk made, and records the PSG.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "player/boot_code.h"
#include "player/player_code.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace tonebake {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr double kPi = 3.14159265358979323846;
// MAME clocks the main 6809 at 2.016 MHz with no I/O wait states.
constexpr double kMameClockHz = 2016000.0;
constexpr std::uint16_t kBootRom = 0xFE00;

// The stand-in boot ROM, at &HFE00 in BASIC mode: it turns drive 0's motor
// on, waits for READY, steps to track 0, reads track 0, side 0, sector 1
// into &H0100 and runs it, as the FM-7's boot ROM does. Its DREAD (&HFE08)
// takes the request block X points at (command, error, buffer, track,
// sector, side, drive), drives the MB8877 by its status register, and sets
// carry on an error. Opcodes and lengths from the MC6809 data sheet.
struct BootLine {
  std::uint16_t address;
  Bytes bytes;
  const char* text;
};
const BootLine kBootListing[] = {
    {0xFE00, {0x20, 0x09}, "reset: BRA start"},
    {0xFE02, {0x7E, 0xFE, 0x0B}, "JMP start  ; $FE02 RESTORE: not in this stand-in"},
    {0xFE05, {0x7E, 0xFE, 0x0B}, "JMP start  ; $FE05 DWRITE: not in this stand-in"},
    {0xFE08, {0x7E, 0xFE, 0x3C}, "JMP dread  ; $FE08 DREAD"},
    {0xFE0B, {0x1A, 0x50}, "start: ORCC #$50"},
    {0xFE0D, {0x10, 0xCE, 0x01, 0x00}, "LDS #$0100"},
    {0xFE11, {0x86, 0x80}, "LDA #$80  ; drive 0, motor on"},
    {0xFE13, {0xB7, 0xFD, 0x1D}, "STA $FD1D"},
    {0xFE16, {0xB6, 0xFD, 0x18}, "ready: LDA $FD18"},
    {0xFE19, {0x2B, 0xFB}, "BMI ready  ; not ready yet"},
    {0xFE1B, {0x4F}, "CLRA"},
    {0xFE1C, {0xB7, 0xFD, 0x18}, "STA $FD18  ; RESTORE"},
    {0xFE1F, {0x8D, 0x6B}, "BSR finish"},
    {0xFE21, {0x8E, 0x00, 0x80}, "LDX #$0080"},
    {0xFE24, {0xCC, 0x01, 0x00}, "LDD #$0100"},
    {0xFE27, {0xED, 0x02}, "STD 2,X  ; to $0100"},
    {0xFE29, {0xCC, 0x00, 0x01}, "LDD #$0001"},
    {0xFE2C, {0xED, 0x04}, "STD 4,X  ; track 0, sector 1"},
    {0xFE2E, {0x4F}, "CLRA"},
    {0xFE2F, {0x5F}, "CLRB"},
    {0xFE30, {0xED, 0x06}, "STD 6,X  ; side 0, drive 0"},
    {0xFE32, {0xBD, 0xFE, 0x3C}, "JSR dread"},
    {0xFE35, {0x25, 0x03}, "BCS hang"},
    {0xFE37, {0x7E, 0x01, 0x00}, "JMP $0100"},
    {0xFE3A, {0x20, 0xFE}, "hang: BRA hang"},
    {0xFE3C, {0x34, 0x26}, "dread: PSHS A,B,Y"},
    {0xFE3E, {0xA6, 0x07}, "LDA 7,X"},
    {0xFE40, {0x8A, 0x80}, "ORA #$80"},
    {0xFE42, {0xB7, 0xFD, 0x1D}, "STA $FD1D"},
    {0xFE45, {0xA6, 0x06}, "LDA 6,X"},
    {0xFE47, {0xB7, 0xFD, 0x1C}, "STA $FD1C"},
    {0xFE4A, {0xA6, 0x04}, "LDA 4,X"},
    {0xFE4C, {0xB1, 0xFD, 0x19}, "CMPA $FD19"},
    {0xFE4F, {0x27, 0x0A}, "BEQ ontrack"},
    {0xFE51, {0xB7, 0xFD, 0x1B}, "STA $FD1B"},
    {0xFE54, {0x86, 0x10}, "LDA #$10  ; SEEK"},
    {0xFE56, {0xB7, 0xFD, 0x18}, "STA $FD18"},
    {0xFE59, {0x8D, 0x31}, "BSR finish"},
    {0xFE5B, {0xA6, 0x05}, "ontrack: LDA 5,X"},
    {0xFE5D, {0xB7, 0xFD, 0x1A}, "STA $FD1A"},
    {0xFE60, {0x10, 0xAE, 0x02}, "LDY 2,X"},
    {0xFE63, {0x86, 0x80}, "LDA #$80  ; READ SECTOR"},
    {0xFE65, {0xB7, 0xFD, 0x18}, "STA $FD18"},
    {0xFE68, {0x8D, 0x2C}, "BSR settle"},
    {0xFE6A, {0xB6, 0xFD, 0x18}, "poll: LDA $FD18"},
    {0xFE6D, {0x85, 0x02}, "BITA #2"},
    {0xFE6F, {0x26, 0x0F}, "BNE byte"},
    {0xFE71, {0x85, 0x01}, "BITA #1"},
    {0xFE73, {0x26, 0xF5}, "BNE poll"},
    {0xFE75, {0x84, 0x1C}, "ANDA #$1C  ; not found, CRC, lost data"},
    {0xFE77, {0xA7, 0x01}, "STA 1,X"},
    {0xFE79, {0x26, 0x0C}, "BNE fail"},
    {0xFE7B, {0x35, 0x26}, "PULS A,B,Y"},
    {0xFE7D, {0x1C, 0xFE}, "ANDCC #$FE"},
    {0xFE7F, {0x39}, "RTS"},
    {0xFE80, {0xB6, 0xFD, 0x1B}, "byte: LDA $FD1B"},
    {0xFE83, {0xA7, 0xA0}, "STA ,Y+"},
    {0xFE85, {0x20, 0xE3}, "BRA poll"},
    {0xFE87, {0x35, 0x26}, "fail: PULS A,B,Y"},
    {0xFE89, {0x1A, 0x01}, "ORCC #$01"},
    {0xFE8B, {0x39}, "RTS"},
    {0xFE8C, {0x8D, 0x08}, "finish: BSR settle"},
    {0xFE8E, {0xB6, 0xFD, 0x18}, "busy: LDA $FD18"},
    {0xFE91, {0x85, 0x01}, "BITA #1"},
    {0xFE93, {0x26, 0xF9}, "BNE busy"},
    {0xFE95, {0x39}, "RTS"},
    {0xFE96, {0xC6, 0x1E}, "settle: LDB #30"},
    {0xFE98, {0x5A}, "wait: DECB"},
    {0xFE99, {0x26, 0xFD}, "BNE wait"},
    {0xFE9B, {0x39}, "RTS"},
};

// 512 bytes: the listing, NOPs, and every vector at &HFE00.
Bytes BootRom() {
  Bytes rom(512, 0x12);
  for (const BootLine& line : kBootListing) {
    std::copy(line.bytes.begin(), line.bytes.end(), rom.begin() + (line.address - kBootRom));
  }
  for (std::size_t vector = 0x1F0; vector < rom.size(); vector += 2) {
    rom[vector] = kBootRom >> 8;
    rom[vector + 1] = kBootRom & 0xFF;
  }
  return rom;
}

// The subsystem waits in a loop at the start of its ROM (&HD800).
Bytes SubsystemRom() {
  Bytes rom(10240, 0x12);
  rom[0] = 0x20;  // BRA *
  rom[1] = 0xFE;
  rom[rom.size() - 2] = 0xD8;
  rom[rom.size() - 1] = 0x00;
  return rom;
}

std::string FindMame() {
  if (const char* given = std::getenv("TONEBAKE_MAME"); given != nullptr) {
    return given;
  }
  for (const char* path : {"/usr/games/mame", "/usr/bin/mame", "/usr/local/bin/mame"}) {
    if (access(path, X_OK) == 0) {
      return path;
    }
  }
  return std::string();
}

// The Lua script: at `seconds` of the machine's time, where the 6809 is
// goes to pc.txt, and MAME stops.
std::string Script(double seconds) {
  char text[512];
  std::snprintf(text, sizeof text,
                "local done = false\n"
                "emu.register_periodic(function()\n"
                "  if not done and manager.machine.time:as_double() > %.1f then\n"
                "    done = true\n"
                "    local f = io.open(\"pc.txt\", \"w\")\n"
                "    f:write(string.format(\"%%04X\", "
                "manager.machine.devices[\":maincpu\"].state[\"PC\"].value))\n"
                "    f:close()\n"
                "    manager.machine:exit()\n"
                "  end\n"
                "end)\n",
                seconds);
  return text;
}

// The first channel of a 16-bit PCM WAVE file, and its rate.
std::vector<double> ReadChannel(const Bytes& file, double& rate) {
  const auto u16 = [&file](std::size_t at) { return file[at] | file[at + 1] << 8; };
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(u16(at)) | static_cast<std::uint32_t>(u16(at + 2)) << 16;
  };
  std::vector<double> samples;
  std::size_t channels = 1;
  for (std::size_t at = 12; at + 8 <= file.size();) {
    const std::string id(file.begin() + static_cast<std::ptrdiff_t>(at),
                         file.begin() + static_cast<std::ptrdiff_t>(at + 4));
    const std::size_t size = u32(at + 4);
    if (id == "fmt ") {
      channels = u16(at + 10);
      rate = u32(at + 12);
    } else if (id == "data") {
      for (std::size_t s = at + 8; s + 2 * channels <= std::min(file.size(), at + 8 + size);
           s += 2 * channels) {
        samples.push_back(static_cast<std::int16_t>(u16(s)));
      }
    }
    at += 8 + size + size % 2;
  }
  return samples;
}

// Whether a WAVE file was finished: its RIFF size and its data size (the
// canonical layout MAME writes) agree with its length.
bool WholeWave(const Bytes& file) {
  const auto u32 = [&file](std::size_t at) {
    return static_cast<std::size_t>(file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
                                    static_cast<std::uint32_t>(file[at + 3]) << 24);
  };
  return file.size() > 44 && u32(4) + 8 == file.size() && u32(40) + 44 == file.size();
}

// Where sounds are: from `from` on, the stretches that leave the silent
// level `idle` by more than `threshold`, apart where it rests for 50 ms.
std::vector<std::pair<std::size_t, std::size_t>> Sounding(const std::vector<double>& samples,
                                                          std::size_t from, double idle,
                                                          double threshold, double rate) {
  std::vector<std::pair<std::size_t, std::size_t>> sounds;
  for (std::size_t i = from; i < samples.size(); ++i) {
    if (std::fabs(samples[i] - idle) <= threshold) {
      continue;
    }
    if (sounds.empty() || static_cast<double>(i - sounds.back().second) > rate / 20) {
      sounds.emplace_back(i, i);
    }
    sounds.back().second = i;
  }
  return sounds;
}

// Upward crossings of the mean, with hysteresis, per second.
double ToneFrequency(const std::vector<double>& samples, std::size_t first, std::size_t last,
                     double rate) {
  double mean = 0;
  double peak = 0;
  for (std::size_t i = first; i <= last; ++i) {
    mean += samples[i] / static_cast<double>(last - first + 1);
  }
  for (std::size_t i = first; i <= last; ++i) {
    peak = std::max(peak, std::fabs(samples[i] - mean));
  }
  std::vector<std::size_t> ups;
  int side = 0;
  for (std::size_t i = first; i <= last; ++i) {
    const double x = samples[i] - mean;
    if (x > 0.3 * peak && side != 1) {
      if (side == -1) {
        ups.push_back(i);
      }
      side = 1;
    } else if (x < -0.3 * peak) {
      side = -1;
    }
  }
  return ups.size() < 2 ? 0
                        : static_cast<double>(ups.size() - 1) /
                              (static_cast<double>(ups.back() - ups.front()) / rate);
}

// The sound's Fourier series over `seconds` from its start, at the lines
// k / seconds up to `band`: each recording on its own time axis.
std::vector<std::complex<double>> Lines(const std::vector<double>& samples, std::size_t first,
                                        double rate, double seconds, double band) {
  const auto length = static_cast<std::size_t>(seconds * rate);
  double mean = 0;
  for (std::size_t i = 0; i < length; ++i) {
    mean += samples[first + i] / static_cast<double>(length);
  }
  std::vector<std::complex<double>> lines;
  for (int k = 1; k / seconds <= band; ++k) {
    const std::complex<double> step = std::polar(1.0, -2 * kPi * k / seconds / rate);
    std::complex<double> turn = 1;
    std::complex<double> sum = 0;
    for (std::size_t i = 0; i < length; ++i) {
      sum += (samples[first + i] - mean) * turn;
      turn *= step;
    }
    lines.push_back(sum / static_cast<double>(length));
  }
  return lines;
}

// How closely `heard` follows `model` in band: a gain and a delay fitted
// (the two recordings start within a sample of each other), the rest error.
double AgreementDb(const std::vector<std::complex<double>>& heard,
                   const std::vector<std::complex<double>>& model, double seconds) {
  double best = -1e9;
  for (double delay = -40e-6; delay <= 40e-6; delay += 0.5e-6) {
    std::complex<double> cross = 0;
    double power = 0;
    double total = 0;
    std::vector<std::complex<double>> shifted(model.size());
    for (std::size_t k = 0; k < model.size(); ++k) {
      shifted[k] =
          model[k] * std::polar(1.0, -2 * kPi * static_cast<double>(k + 1) / seconds * delay);
      cross += heard[k] * std::conj(shifted[k]);
      power += std::norm(shifted[k]);
      total += std::norm(heard[k]);
    }
    const std::complex<double> gain = cross / power;
    double error = 0;
    for (std::size_t k = 0; k < model.size(); ++k) {
      error += std::norm(heard[k] - gain * shifted[k]);
    }
    best = std::max(best, 10 * std::log10(total / error));
  }
  return best;
}

// An image of `count` samples of a sine of `hertz` at wait 16 (8031 Hz).
Bytes ToneImage(double hertz, std::size_t count) {
  Bytes image = {
      0x00, static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count), 0x00, 0x00,
      16};
  for (std::size_t i = 0; i < count; ++i) {
    image.push_back(static_cast<std::uint8_t>(
        std::lround(128 + 100 * std::sin(2 * kPi * hertz * static_cast<double>(i) / 8031))));
  }
  image.insert(image.end(), {0xFF, 0x00, 0x00, 0x00, 0x00});
  return image;
}

// The D77 header of sector R of cylinder c, head h (the track table at
// &H20, 16-byte sector headers of C, H, R, N, ... and the data length at 14).
std::size_t SectorHeader(const Bytes& disk, std::size_t c, std::size_t h, std::size_t r) {
  const auto u32 = [&disk](std::size_t at) {
    return static_cast<std::size_t>(disk[at] | disk[at + 1] << 8 | disk[at + 2] << 16 |
                                    static_cast<std::uint32_t>(disk[at + 3]) << 24);
  };
  for (std::size_t at = u32(0x20 + 4 * (2 * c + h)); at + 16 < disk.size();
       at += 16 + static_cast<std::size_t>(disk[at + 14] | disk[at + 15] << 8)) {
    if (disk[at] == c && disk[at + 1] == h && disk[at + 2] == r) {
      return at;
    }
  }
  return 0;
}

// Where the second part's halt loop is.
std::uint16_t HaltAddress() {
  for (std::size_t i = 0; i < player::kBootSecondPartLines; ++i) {
    if (std::string(player::kBootSecondPartListing[i].text).rfind("halt:", 0) == 0) {
      return static_cast<std::uint16_t>(player::kSecondPartAddress +
                                        player::kBootSecondPartListing[i].offset);
    }
  }
  return 0;
}

class Mame : public ::testing::Test {
 protected:
  void SetUp() override {
    mame_ = FindMame();
    if (mame_.empty()) {
      if (std::getenv("TONEBAKE_REQUIRE_MAME") != nullptr) {
        FAIL() << "MAME is required here but not found (Debian package mame)";
      }
      GTEST_SKIP() << "MAME not found: install the Debian package mame to run this test";
    }
    std::filesystem::create_directories(dir.File("roms/fm7"));
    test::WriteBytes(dir.File("roms/fm7/fbasic300.rom"), Bytes(31744, 0x12));
    test::WriteBytes(dir.File("roms/fm7/subsys_c.rom"), SubsystemRom());
    test::WriteBytes(dir.File("roms/fm7/boot_bas.rom"), BootRom());
    test::WriteBytes(dir.File("roms/fm7/boot_dos_a.rom"), BootRom());
    const std::string script = Script(6.0);
    test::WriteBytes(dir.File("stop.lua"), Bytes(script.begin(), script.end()));
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    options.workDir = dir.path().string();
  }

  // Boots `disk` in drive 0: the first channel of the recording, its rate,
  // and where the 6809 was at the end.
  std::vector<double> Boot(const std::string& disk, double& rate, std::string& pc) {
    const test::ToolRun emulated =
        test::RunTool(mame_,
                      {"fm7", "-rompath", dir.File("roms"), "-flop1", disk, "-video", "none",
                       "-sound", "none", "-nothrottle", "-skip_gameinfo", "-seconds_to_run", "10",
                       "-autoboot_script", "stop.lua", "-wavwrite", "mame.wav"},
                      options);
    // MAME 0.251 run headless often ends in a segmentation fault as it
    // shuts down, after the recording is whole (never under gdb): a run
    // counts when it exits cleanly, or when its WAVE file's sizes add up.
    const Bytes recording = test::ReadBytes(dir.File("mame.wav"));
    EXPECT_TRUE(emulated.exitCode == 0 || WholeWave(recording)) << emulated.err;
    const Bytes where = test::ReadBytes(dir.File("pc.txt"));
    pc.assign(where.begin(), where.end());
    return ReadChannel(recording, rate);
  }

  test::ToolRun Tool(const char* exe, const std::vector<std::string>& arguments) {
    return test::RunTool(exe, arguments, options);
  }

  std::string mame_;
  test::TempDir dir;
  test::ToolOptions options;
};

// A disk made by tonebake-disk with two sounds and the boot program,
// started in MAME with the stand-in boot ROM: the boot program loads
// PLAYER and each sound where PLAY's LOADMs put them and runs PLAYER as
// PLAY's EXEC does, so the first sound is also compared with
// tonebake-play --clock at MAME's clock. Then the same disk with a sector
// of the first sound missing: it halts in silence at the read error.
TEST_F(Mame, ABootedDiskPlaysEverySoundAsTheModelRendersIt) {
  constexpr std::size_t kCount = 8000;
  constexpr std::size_t kSecondCount = 3000;
  test::WriteBytes(dir.File("tone.bin"), ToneImage(500, kCount));
  test::WriteBytes(dir.File("two.bin"), ToneImage(1000, kSecondCount));
  for (const std::vector<std::string>& step :
       {std::vector<std::string>{"add", "disk.d77", "tone.bin", "TONE"},
        {"add", "disk.d77", "two.bin", "TWO"},
        {"boot", "disk.d77"}}) {
    ASSERT_EQ(Tool(TONEBAKE_DISK_EXE, step).exitCode, 0) << step[0];
  }
  // TONE's first sector: its directory entry is the first (cylinder 1,
  // head 0, sector 4, byte 14 the first cluster c), at cylinder 2 + c / 4,
  // head c / 2 mod 2, sector 1 + 8 (c mod 2). Renumbered, it is not found:
  // a read error, after which nothing plays, not even TWO.
  Bytes broken = test::ReadBytes(dir.File("disk.d77"));
  const std::size_t cluster = broken[SectorHeader(broken, 1, 0, 4) + 16 + 14];
  const std::size_t first =
      SectorHeader(broken, 2 + cluster / 4, cluster / 2 % 2, 1 + 8 * (cluster % 2));
  ASSERT_NE(first, 0u);
  broken[first + 2] = 0x20;
  test::WriteBytes(dir.File("broken.d77"), broken);
  const test::ToolRun rendered =
      Tool(TONEBAKE_PLAY_EXE, {"--clock", "2016000", "tone.bin", "model.wav"});
  ASSERT_EQ(rendered.exitCode, 0) << rendered.err;
  // The halt loop is BRA *; MAME's PC, read while it loops, is at the
  // loop or up to two bytes on, as its core fetches ahead.
  const auto halted = [](const std::string& pc) {
    const long at = std::strtol(pc.c_str(), nullptr, 16);
    return at >= HaltAddress() && at <= HaltAddress() + 2;
  };

  double heardRate = 0;
  double modelRate = 0;
  std::string pc;
  const std::vector<double> heard = Boot("disk.d77", heardRate, pc);
  const std::vector<double> model = ReadChannel(test::ReadBytes(dir.File("model.wav")), modelRate);
  ASSERT_GT(model.size(), 0u);
  // MAME's silence is its level at 0.1 s, before PLAYER is loaded.
  const auto silent = static_cast<std::size_t>(heardRate / 10);
  ASSERT_GT(heard.size(), silent);
  const auto sounds = Sounding(heard, silent, heard[silent], 300, heardRate);
  const auto modelSounds = Sounding(model, 0, 0, 300, modelRate);
  ASSERT_EQ(sounds.size(), 2u);
  ASSERT_EQ(modelSounds.size(), 1u);
  EXPECT_TRUE(halted(pc)) << pc;
  const auto [heardFirst, heardLast] = sounds[0];
  const auto [modelFirst, modelLast] = modelSounds[0];
  // count - 1 samples of 144 + 5w cycles at MAME's clock.
  const double expected = (kCount - 1) * (144.0 + 5 * 16) / kMameClockHz;
  const double heardSeconds = static_cast<double>(heardLast - heardFirst + 1) / heardRate;
  const double modelSeconds = static_cast<double>(modelLast - modelFirst + 1) / modelRate;
  EXPECT_NEAR(heardSeconds, expected, expected * 0.001);
  EXPECT_NEAR(heardSeconds, modelSeconds, expected * 0.001);
  const double heardTone = ToneFrequency(heard, heardFirst, heardLast, heardRate);
  const double modelTone = ToneFrequency(model, modelFirst, modelLast, modelRate);
  EXPECT_NEAR(heardTone, modelTone, modelTone * 0.002);
  const double secondExpected = (kSecondCount - 1) * (144.0 + 5 * 16) / kMameClockHz;
  const double secondSeconds =
      static_cast<double>(sounds[1].second - sounds[1].first + 1) / heardRate;
  EXPECT_NEAR(secondSeconds, secondExpected, secondExpected * 0.001);
  EXPECT_NEAR(ToneFrequency(heard, sounds[1].first, sounds[1].second, heardRate), 2 * modelTone,
              modelTone * 0.004);
  // In band (below 4 kHz, under half the playing rate): 23.7 dB measured.
  // The rest is MAME's, found by holding each volume in turn: its
  // AY-3-8913 levels differ from the fm7 curve's by up to 15 % in the
  // middle, and three channels near the top clip its 16-bit output; its
  // channels add as the model's do.
  const double window = expected - 0.01;
  const double agreement = AgreementDb(Lines(heard, heardFirst, heardRate, window, 4000),
                                       Lines(model, modelFirst, modelRate, window, 4000), window);
  std::printf(
      "MAME against tonebake-play: tone %.3f Hz and %.3f Hz, %.5f s and %.5f s (%.5f "
      "expected), %.1f dB in band; the second sound %.5f s (%.5f expected)\n",
      heardTone, modelTone, heardSeconds, modelSeconds, expected, agreement, secondSeconds,
      secondExpected);
  EXPECT_GE(agreement, 21.0);

  const std::vector<double> cut = Boot("broken.d77", heardRate, pc);
  ASSERT_GT(cut.size(), silent);
  EXPECT_EQ(Sounding(cut, silent, cut[silent], 300, heardRate).size(), 0u);
  EXPECT_TRUE(halted(pc)) << pc;
}

}  // namespace
}  // namespace tonebake
