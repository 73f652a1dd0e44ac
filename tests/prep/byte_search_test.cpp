// The search that chooses bytes for the player: against brute force over
// every byte sequence, and its cost against the player's own writes on the
// 6809 model, measured here by direct summation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "player/psg_preview.h"
#include "prep/byte_search.h"

namespace tonebake::prep {
namespace {

using player::PsgProfile;
constexpr double kPi = 3.14159265358979323846;

// Every sequence of three bytes, after silence (byte 0x00): the least summed
// cost is what the exact search must find.
TEST(ByteSearch, TheExactSearchFindsTheBestOfEveryByteSequence) {
  const float samples[][3] = {{0.3f, -0.7f, 0.9f}, {-0.05f, 0.02f, -0.4f}};
  for (const PsgProfile profile : {PsgProfile::Fm7, PsgProfile::Fm77av}) {
    for (const int wait : {0, 63}) {
      for (const auto& three : samples) {
        SearchSetup setup;
        setup.profile = profile;
        setup.wait = static_cast<std::uint8_t>(wait);
        setup.exact = true;
        ByteSearch search(setup);
        std::vector<std::uint8_t> chosen;
        for (const float sample : three) {
          search.Push(sample, chosen);
        }
        search.Finish(chosen);
        ASSERT_EQ(chosen.size(), 3u);
        double first[256];
        double pair[256][256];
        double last[256][256];
        for (int a = 0; a < 256; ++a) {
          const auto x = static_cast<std::uint8_t>(a);
          first[a] = search.PeriodCost(0x00, x, search.Target(three[0]));
          for (int b = 0; b < 256; ++b) {
            const auto y = static_cast<std::uint8_t>(b);
            pair[a][b] = search.PeriodCost(x, y, search.Target(three[1]));
            last[a][b] = search.PeriodCost(x, y, search.Target(three[2]));
          }
        }
        double best = std::numeric_limits<double>::infinity();
        for (int a = 0; a < 256; ++a) {
          for (int b = 0; b < 256; ++b) {
            for (int c = 0; c < 256; ++c) {
              best = std::min(best, first[a] + pair[a][b] + last[b][c]);
            }
          }
        }
        const double found =
            first[chosen[0]] + pair[chosen[0]][chosen[1]] + last[chosen[1]][chosen[2]];
        EXPECT_NEAR(found, best, 1e-9 * std::max(1.0, best)) << wait;
      }
    }
  }
}

// A period's cost is the in-band energy of what the player puts out less
// the target: built here from the PSG writes the player's own bytes make on
// the 6809 model, cycle by cycle, through the ideal low-pass kernel.
TEST(ByteSearch, APeriodsCostIsTheInBandEnergyOfThePlayersOwnOutput) {
  const struct {
    PsgProfile profile;
    int wait;
    std::uint8_t previous;
    std::uint8_t current;
    float sample;
  } cases[] = {{PsgProfile::Fm7, 0, 0x10, 0xF0, 0.5f},
               {PsgProfile::Fm77av, 0, 0xE0, 0x31, -0.25f},
               {PsgProfile::Fm7, 7, 0x80, 0x7F, 0.0f}};
  for (const auto& c : cases) {
    SearchSetup setup;
    setup.profile = c.profile;
    setup.wait = static_cast<std::uint8_t>(c.wait);
    setup.wholeBandShare = 0;
    const ByteSearch search(setup);
    const double target = search.Target(c.sample);
    // The player plays the two bytes (and one more, to end the period).
    player::M6809 cpu;
    std::string why;
    ASSERT_TRUE(player::RunPlayer(
        c.profile, {static_cast<std::uint8_t>(c.wait), c.previous, c.current, 0x80}, 3, cpu, why))
        << why;
    const std::vector<player::PsgWrite> writes = player::DecodePsgWrites(cpu.writes);
    const std::array<double, player::kLevels> curve = player::LevelCurve(c.profile);
    // The second sample's period: from its write of R8 to the third's.
    std::vector<std::uint64_t> r8;
    for (const player::PsgWrite& w : writes) {
      if (w.reg == 8) {
        r8.push_back(w.cycle);
      }
    }
    ASSERT_GE(r8.size(), 3u);
    std::vector<double> error;
    int levels[3] = {0, 0, 0};
    std::size_t next = 0;
    for (std::uint64_t cycle = r8[0]; cycle < r8[2]; ++cycle) {
      while (next < writes.size() && writes[next].cycle <= cycle) {
        if (writes[next].reg >= 8 && writes[next].reg <= 10) {
          levels[writes[next].reg - 8] = writes[next].value;
        }
        ++next;
      }
      if (cycle >= r8[1]) {
        error.push_back(curve[static_cast<std::size_t>(levels[0])] +
                        curve[static_cast<std::size_t>(levels[1])] +
                        curve[static_cast<std::size_t>(levels[2])] - target);
      }
    }
    const double band = 3900.0 / 1798660.0;
    double energy = 0;
    for (std::size_t t = 0; t < error.size(); ++t) {
      for (std::size_t u = 0; u < error.size(); ++u) {
        const double x = 2 * band * (static_cast<double>(t) - static_cast<double>(u));
        energy += error[t] * error[u] * 2 * band * (x == 0 ? 1 : std::sin(kPi * x) / (kPi * x));
      }
    }
    EXPECT_NEAR(search.PeriodCost(c.previous, c.current, target), energy, 0.01 * energy) << c.wait;
  }
}

TEST(ByteSearch, DigitalSilenceStaysExactlySilent) {
  ByteSearch search(SearchSetup{});
  std::vector<std::uint8_t> chosen;
  for (int i = 0; i < 200; ++i) {
    search.Push(i < 100 ? 0.5f * std::sin(0.3f * static_cast<float>(i)) : 0.0f, chosen);
  }
  search.Finish(chosen);
  ASSERT_EQ(chosen.size(), 200u);
  EXPECT_EQ(std::count(chosen.begin() + 100, chosen.end(), 0x80), 100);
}

}  // namespace
}  // namespace tonebake::prep
