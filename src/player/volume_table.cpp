#include "player/volume_table.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tonebake::player {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The AY-3-8913's measured levels, of 255.
constexpr std::array<int, kLevels> kFm7Levels = {0,  3,  4,  6,  9,   13,  18,  29,
                                                 34, 55, 77, 98, 130, 166, 208, 255};

struct Combination {
  double sum;
  std::array<std::uint8_t, kChannels> levels;
};

// Every choice of three levels, by the sum of their outputs; the order of
// the channels does not change the sum, so each set is taken once.
std::vector<Combination> CombinationsBySum(const std::array<double, kLevels>& curve) {
  std::vector<Combination> all;
  for (std::size_t a = 0; a < kLevels; ++a) {
    for (std::size_t b = 0; b <= a; ++b) {
      for (std::size_t c = 0; c <= b; ++c) {
        all.push_back({curve[a] + curve[b] + curve[c],
                       {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                        static_cast<std::uint8_t>(c)}});
      }
    }
  }
  std::stable_sort(all.begin(), all.end(),
                   [](const Combination& x, const Combination& y) { return x.sum < y.sum; });
  return all;
}

// For each sample, the combination whose sum is closest to sample / 255 of
// `top` (the last of equal ones). The targets rise, so the chosen sums
// never fall.
std::array<const Combination*, 256> Map(const std::vector<Combination>& sorted, double top) {
  std::array<const Combination*, 256> chosen{};
  std::size_t at = 0;
  for (int sample = 0; sample < 256; ++sample) {
    const double target = sample / 255.0 * top;
    while (at + 1 < sorted.size() &&
           std::fabs(sorted[at + 1].sum - target) <= std::fabs(sorted[at].sum - target)) {
      ++at;
    }
    chosen[static_cast<std::size_t>(sample)] = &sorted[at];
  }
  return chosen;
}

// The signal-to-noise ratio of a full-scale sine, quantized to 8 bits and
// played through the mapping, against the best-fitting clean sine.
double SineSnrDb(const std::array<const Combination*, 256>& chosen) {
  constexpr int kSamples = 4096;
  constexpr double kStep = 0.0123456789;  // cycles a sample: no short repeat
  double sumIdeal = 0, sumOut = 0, sumIdealSq = 0, sumCross = 0, sumOutSq = 0;
  for (int k = 0; k < kSamples; ++k) {
    const double ideal = std::sin(2 * kPi * kStep * k);
    const auto sample = static_cast<std::size_t>(std::lround(127.5 + 127.5 * ideal));
    const double out = chosen[sample]->sum;
    sumIdeal += ideal;
    sumOut += out;
    sumIdealSq += ideal * ideal;
    sumCross += ideal * out;
    sumOutSq += out * out;
  }
  const double n = kSamples;
  const double varIdeal = sumIdealSq - sumIdeal * sumIdeal / n;
  const double covariance = sumCross - sumIdeal * sumOut / n;
  const double varOut = sumOutSq - sumOut * sumOut / n;
  const double signal = covariance * covariance / varIdeal;
  return 10 * std::log10(signal / std::max(varOut - signal, 1e-30));
}

}  // namespace

bool ParsePsgProfile(const std::string& text, PsgProfile& profile) {
  if (text == "fm7" || text == "fm77av") {
    profile = text == "fm7" ? PsgProfile::Fm7 : PsgProfile::Fm77av;
    return true;
  }
  return false;
}

const char* PsgProfileName(PsgProfile profile) {
  return profile == PsgProfile::Fm7 ? "fm7" : "fm77av";
}

std::array<double, kLevels> LevelCurve(PsgProfile profile) {
  std::array<double, kLevels> curve{};
  for (int level = 1; level < kLevels; ++level) {
    curve[static_cast<std::size_t>(level)] =
        profile == PsgProfile::Fm7 ? kFm7Levels[static_cast<std::size_t>(level)] / 255.0
                                   : std::pow(2.0, (level - 15) / 2.0);
  }
  return curve;
}

namespace {

VolumeTable TableOf(const std::array<const Combination*, 256>& chosen) {
  VolumeTable table{};
  for (std::size_t sample = 0; sample < 256; ++sample) {
    for (std::size_t channel = 0; channel < kChannels; ++channel) {
      table[channel * 256 + (sample ^ 0x80u)] = chosen[sample]->levels[channel];
    }
  }
  return table;
}

VolumeTable MakeVolumeTable(PsgProfile profile) {
  const std::vector<Combination> sorted = CombinationsBySum(LevelCurve(profile));
  // The whole range of sums is not the best: where the steps between sums
  // are coarse, a sine is rough. Try every range from 0.3 to 3 of full
  // scale and keep the cleanest.
  double bestSnr = -1e9;
  double bestTop = 0;
  for (int hundredths = 30; hundredths <= 300; ++hundredths) {
    const double snr = SineSnrDb(Map(sorted, hundredths / 100.0));
    if (snr > bestSnr) {
      bestSnr = snr;
      bestTop = hundredths / 100.0;
    }
  }
  return TableOf(Map(sorted, bestTop));
}

}  // namespace

VolumeTable ClosestSumsVolumeTable(PsgProfile profile, double top) {
  return TableOf(Map(CombinationsBySum(LevelCurve(profile)), top));
}

VolumeTable SineFittedVolumeTable(PsgProfile profile) {
  // The same every time: made once for each profile.
  static const VolumeTable fm7 = MakeVolumeTable(PsgProfile::Fm7);
  static const VolumeTable fm77av = MakeVolumeTable(PsgProfile::Fm77av);
  return profile == PsgProfile::Fm7 ? fm7 : fm77av;
}

namespace {
#include "player/tuned_tables.inc"
}  // namespace

VolumeTable BuildVolumeTable(PsgProfile profile) {
  return profile == PsgProfile::Fm7 ? kTunedFm7 : kTunedFm77av;
}

}  // namespace tonebake::player
