// The player on an FM-7 emulated by MAME (Debian package mame), with its
// own disk controller, PSG and 6809, beside the rendering of tonebake-play.
// MAME needs ROM files: Fujitsu's are never used. The test makes stand-ins
// (filler for F-BASIC and the subsystem, and a boot ROM of our own that
// runs what the test puts in memory), loads PLAYER and a sound where PLAY's
// LOADMs put them, sets the words PLAY POKEs, runs PLAYER from its EXEC
// address, and records the PSG.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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
constexpr std::uint16_t kExecWord = 0x1FFE;  // the boot ROM calls what is written here
constexpr std::uint16_t kPlayedCount = 0x1FFD;

// The stand-in boot ROM, at &HFE00 in BASIC mode: a stack below PLAYER,
// then it waits for an address at &H1FFE, calls it, counts the return at
// &H1FFD and waits again. Opcodes and lengths from the MC6809 data sheet.
struct BootLine {
  std::uint16_t address;
  Bytes bytes;
  const char* text;
};
const BootLine kBootListing[] = {
    {0xFE00, {0x10, 0xCE, 0x1F, 0xF0}, "LDS #$1FF0"},
    {0xFE04, {0x7F, 0x1F, 0xFE}, "CLR $1FFE"},
    {0xFE07, {0x7F, 0x1F, 0xFF}, "CLR $1FFF"},
    {0xFE0A, {0x7F, 0x1F, 0xFD}, "CLR $1FFD"},
    {0xFE0D, {0xBE, 0x1F, 0xFE}, "idle: LDX $1FFE"},
    {0xFE10, {0x27, 0xFB}, "BEQ idle"},
    {0xFE12, {0x7F, 0x1F, 0xFE}, "CLR $1FFE"},
    {0xFE15, {0x7F, 0x1F, 0xFF}, "CLR $1FFF"},
    {0xFE18, {0xAD, 0x84}, "JSR ,X"},
    {0xFE1A, {0x7C, 0x1F, 0xFD}, "INC $1FFD  ; played"},
    {0xFE1D, {0x20, 0xEE}, "BRA idle"},
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

std::string Hex(const Bytes& bytes, std::size_t from, std::size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = from; i < from + count; ++i) {
    text += {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 0xF]};
  }
  return text;
}

// The Lua script: once the boot ROM waits, PLAYER and the sound go where
// PLAY's LOADMs put them, the words PLAY POKEs are set, and PLAYER's EXEC
// address goes to the boot ROM; MAME stops once PLAYER has returned.
std::string Script(const Bytes& playerFile, const Bytes& image) {
  const std::size_t count = image[1] << 8 | image[2];
  const std::uint16_t base = player::kPlayerLoadAddress + 2;
  const std::string put =
      "  for i=1,#%s,2 do mem:write_u8(%u+(i-1)//2, tonumber(%s:sub(i,i+1),16)) end\n";
  char line[256];
  std::string script = "local started, stopped, stop_at = false, false, 0\n";
  script += "local player = \"" + Hex(playerFile, 5, playerFile.size() - 10) + "\"\n";
  // LOADM leaves the wait byte and count - 1 samples.
  script += "local sound = \"" + Hex(image, 5, count) + "\"\n";
  script += "emu.register_periodic(function()\n";
  script += "  local mem = manager.machine.devices[\":maincpu\"].spaces[\"program\"]\n";
  script += "  local now = manager.machine.time:as_double()\n";
  script += "  if not started and now > 0.2 then\n    started = true\n";
  std::snprintf(line, sizeof line, put.c_str(), "player", player::kPlayerLoadAddress, "player");
  script += line;
  std::snprintf(line, sizeof line, put.c_str(), "sound", player::kSoundAddress, "sound");
  script += line;
  std::snprintf(line, sizeof line,
                "  mem:write_u8(%u, %u) mem:write_u8(%u, %u) mem:write_u8(%u, %u) "
                "mem:write_u8(%u, %u)\n",
                base, player::kSoundAddress >> 8, base + 1, player::kSoundAddress & 0xFF, base + 2,
                static_cast<unsigned>((count - 1) >> 8), base + 3,
                static_cast<unsigned>((count - 1) & 0xFF));
  script += line;
  std::snprintf(line, sizeof line, "  mem:write_u8(%u, %u) mem:write_u8(%u, %u)\n", kExecWord,
                player::kPlayerLoadAddress >> 8, kExecWord + 1, player::kPlayerLoadAddress & 0xFF);
  script += line;
  script += "  elseif started and not stopped and mem:read_u8(" + std::to_string(kPlayedCount) +
            ") ~= 0 then\n    stopped = true\n    stop_at = now + 0.3\n";
  script += "  elseif stopped and now > stop_at then\n    manager.machine:exit()\n  end\nend)\n";
  return script;
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

// Where the sound is: the first and last sample from `from` on that leave
// the silent level `idle` by more than `threshold`.
std::pair<std::size_t, std::size_t> Sounding(const std::vector<double>& samples, std::size_t from,
                                             double idle, double threshold) {
  std::size_t first = samples.size();
  std::size_t last = 0;
  for (std::size_t i = from; i < samples.size(); ++i) {
    if (std::fabs(samples[i] - idle) > threshold) {
      first = std::min(first, i);
      last = i;
    }
  }
  return {first, last};
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

TEST(Mame, ThePlayerPlaysOnAnEmulatedFm7AsTheModelRendersIt) {
  const std::string mame = FindMame();
  if (mame.empty()) {
    if (std::getenv("TONEBAKE_REQUIRE_MAME") != nullptr) {
      FAIL() << "MAME is required here but not found (Debian package mame)";
    }
    GTEST_SKIP() << "MAME not found: install the Debian package mame to run this test";
  }
  test::TempDir dir;
  std::filesystem::create_directories(dir.File("roms/fm7"));
  test::WriteBytes(dir.File("roms/fm7/fbasic300.rom"), Bytes(31744, 0x12));
  test::WriteBytes(dir.File("roms/fm7/subsys_c.rom"), SubsystemRom());
  test::WriteBytes(dir.File("roms/fm7/boot_bas.rom"), BootRom());
  test::WriteBytes(dir.File("roms/fm7/boot_dos_a.rom"), BootRom());
  // A 500 Hz tone at wait 16 (8031 Hz), 8000 samples, as an image.
  constexpr std::size_t kCount = 8000;
  constexpr int kWait = 16;
  Bytes image = {0x00, kCount >> 8, kCount & 0xFF, 0x00, 0x00, kWait};
  for (std::size_t i = 0; i < kCount; ++i) {
    image.push_back(static_cast<std::uint8_t>(
        std::lround(128 + 100 * std::sin(2 * kPi * 500 * static_cast<double>(i) / 8031))));
  }
  image.insert(image.end(), {0xFF, 0x00, 0x00, 0x00, 0x00});
  test::WriteBytes(dir.File("tone.bin"), image);
  const Bytes playerFile = player::PlayerFile(player::PsgProfile::Fm7);
  const std::string script = Script(playerFile, image);
  test::WriteBytes(dir.File("play.lua"), Bytes(script.begin(), script.end()));
  setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
  test::ToolOptions options;
  options.workDir = dir.path().string();
  const test::ToolRun emulated =
      test::RunTool(mame,
                    {"fm7", "-rompath", dir.File("roms"), "-video", "none", "-sound", "none",
                     "-nothrottle", "-skip_gameinfo", "-seconds_to_run", "10", "-autoboot_script",
                     "play.lua", "-wavwrite", "mame.wav"},
                    options);
  // MAME 0.251 run headless often ends in a segmentation fault as it shuts
  // down, after the recording is whole (never under gdb): a run counts when
  // it exits cleanly, or when its WAVE file's sizes add up to the file.
  const Bytes recording = test::ReadBytes(dir.File("mame.wav"));
  ASSERT_TRUE(emulated.exitCode == 0 || WholeWave(recording)) << emulated.err;
  const test::ToolRun rendered =
      test::RunTool(TONEBAKE_PLAY_EXE, {"--clock", "2016000", "tone.bin", "model.wav"}, options);
  ASSERT_EQ(rendered.exitCode, 0) << rendered.err;

  double heardRate = 0;
  double modelRate = 0;
  const std::vector<double> heard = ReadChannel(recording, heardRate);
  const std::vector<double> model = ReadChannel(test::ReadBytes(dir.File("model.wav")), modelRate);
  ASSERT_GT(model.size(), 0u);
  // MAME's silence is its level at 0.1 s, before PLAYER is put in memory.
  const auto silent = static_cast<std::size_t>(heardRate / 10);
  ASSERT_GT(heard.size(), silent);
  const auto [heardFirst, heardLast] = Sounding(heard, silent, heard[silent], 300);
  const auto [modelFirst, modelLast] = Sounding(model, 0, 0, 300);
  ASSERT_LT(heardFirst, heardLast);
  // count - 1 samples of 144 + 5w cycles at MAME's clock.
  const double expected = (kCount - 1) * (144.0 + 5 * kWait) / kMameClockHz;
  const double heardSeconds = static_cast<double>(heardLast - heardFirst + 1) / heardRate;
  const double modelSeconds = static_cast<double>(modelLast - modelFirst + 1) / modelRate;
  EXPECT_NEAR(heardSeconds, expected, expected * 0.001);
  EXPECT_NEAR(heardSeconds, modelSeconds, expected * 0.001);
  const double heardTone = ToneFrequency(heard, heardFirst, heardLast, heardRate);
  const double modelTone = ToneFrequency(model, modelFirst, modelLast, modelRate);
  EXPECT_NEAR(heardTone, modelTone, modelTone * 0.002);
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
      "expected), %.1f dB in band\n",
      heardTone, modelTone, heardSeconds, modelSeconds, expected, agreement);
  EXPECT_GE(agreement, 21.0);
}

}  // namespace
}  // namespace tonebake
