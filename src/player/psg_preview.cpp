#include "player/psg_preview.h"

#include <algorithm>
#include <cmath>

#include "player/player_code.h"

namespace tonebake::player {
namespace {

constexpr std::uint16_t kPsgFunction = 0xFD0D;
constexpr std::uint16_t kPsgData = 0xFD0E;
constexpr std::uint8_t kLatchAddress = 3;
constexpr std::uint8_t kWriteRegister = 2;
constexpr std::uint8_t kFirstVolume = 8;
// Far more than any sound takes (65,535 samples at wait 255 take 95 million).
constexpr std::uint64_t kMostCycles = 200000000;

}  // namespace

bool RunPlayer(PsgProfile profile, const std::vector<std::uint8_t>& loaded,
               std::uint16_t sampleCount, M6809& cpu, std::string& error) {
  return RunPlayer(BuildVolumeTable(profile), loaded, sampleCount, cpu, error);
}

bool RunPlayer(const VolumeTable& table, const std::vector<std::uint8_t>& loaded,
               std::uint16_t sampleCount, M6809& cpu, std::string& error) {
  const std::vector<std::uint8_t> player = PlayerBytes(table);
  std::copy(player.begin(), player.end(), cpu.memory.begin() + kPlayerLoadAddress);
  std::copy_n(loaded.begin(), std::min<std::size_t>(loaded.size(), kSoundRoom),
              cpu.memory.begin() + kSoundAddress);
  // PLAY's POKEs: the wait byte's address and the count, high byte first.
  cpu.memory[kPlayerLoadAddress + player_offset::kBase] = kSoundAddress >> 8;
  cpu.memory[kPlayerLoadAddress + player_offset::kBase + 1] = kSoundAddress & 0xFF;
  cpu.memory[kPlayerLoadAddress + player_offset::kCount] =
      static_cast<std::uint8_t>(sampleCount >> 8);
  cpu.memory[kPlayerLoadAddress + player_offset::kCount + 1] =
      static_cast<std::uint8_t>(sampleCount);
  // EXEC calls it: the return address is on the stack.
  cpu.s = kStartStack - 2;
  cpu.memory[cpu.s] = kReturnAddress >> 8;
  cpu.memory[cpu.s + 1u] = kReturnAddress & 0xFF;
  cpu.pc = kPlayerLoadAddress;
  while (cpu.pc != kReturnAddress) {
    if (!cpu.Step()) {
      error = cpu.error;
      return false;
    }
    if (cpu.cycles > kMostCycles) {
      error = "the player did not return";
      return false;
    }
  }
  return true;
}

std::vector<PsgWrite> DecodePsgWrites(const std::vector<BusWrite>& writes) {
  std::vector<PsgWrite> decoded;
  std::uint8_t data = 0;
  std::uint8_t latched = 0;
  for (const BusWrite& write : writes) {
    if (write.address == kPsgData) {
      data = write.value;
    } else if (write.address == kPsgFunction && write.value == kLatchAddress) {
      latched = data;
    } else if (write.address == kPsgFunction && write.value == kWriteRegister) {
      decoded.push_back({write.cycle, latched, data});
    }
  }
  return decoded;
}

std::vector<std::int16_t> RenderPsg(const std::vector<PsgWrite>& writes, std::uint64_t endCycle,
                                    PsgProfile profile, double clockHz) {
  const std::array<double, kLevels> curve = LevelCurve(profile);
  const double cyclesPerSample = clockHz / kPreviewRate;
  const auto count =
      static_cast<std::size_t>(std::ceil(static_cast<double>(endCycle) / cyclesPerSample));
  std::vector<double> area(count, 0.0);
  // Adds `level` held over cycles [from, to) to the samples it falls in.
  const auto hold = [&](double level, double from, double to) {
    auto bin = static_cast<std::size_t>(from / cyclesPerSample);
    while (from < to && bin < count) {
      const double binEnd = (static_cast<double>(bin) + 1) * cyclesPerSample;
      if (binEnd > from) {
        const double until = std::min(to, binEnd);
        area[bin] += level * (until - from);
        from = until;
      }
      if (from >= binEnd) {
        ++bin;  // also where rounding put `from` at the very end of its bin
      }
    }
  };
  std::array<std::uint8_t, kChannels> levels{};
  double level = 0;
  double since = 0;
  for (const PsgWrite& write : writes) {
    if (write.reg < kFirstVolume || write.reg >= kFirstVolume + kChannels) {
      continue;
    }
    hold(level, since, static_cast<double>(write.cycle));
    since = static_cast<double>(write.cycle);
    levels[write.reg - kFirstVolume] = write.value & 0x0F;
    level = curve[levels[0]] + curve[levels[1]] + curve[levels[2]];
  }
  hold(level, since, static_cast<double>(endCycle));
  double mean = 0;
  for (double& sample : area) {
    sample /= cyclesPerSample;
    mean += sample;
  }
  mean /= static_cast<double>(std::max<std::size_t>(count, 1));
  // The three channels at full scale, less the mean, still fit.
  constexpr double kScale = 32767.0 / 3.0;
  std::vector<std::int16_t> rendered(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double value = std::clamp((area[i] - mean) * kScale, -32768.0, 32767.0);
    rendered[i] = static_cast<std::int16_t>(std::lround(value));
  }
  return rendered;
}

}  // namespace tonebake::player
