#include "prep/byte_search.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "prep/signal.h"

namespace tonebake::prep {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kUnreached = std::numeric_limits<double>::infinity();
constexpr double kSegmentStart[3] = {0, kWriteOffsetB, kWriteOffsetC};
// Samples decided this far behind the newest: long past where survivors
// meet.
constexpr std::size_t kDecisionDelay = 64;

// The sine integral, Si(z) = the integral of sin(t)/t from 0 to z, by
// Simpson's rule: smooth, and needed only a few dozen times.
double SineIntegral(double z) {
  constexpr int kSteps = 4000;  // even
  if (z == 0) {
    return 0;
  }
  const double h = z / kSteps;
  const auto f = [](double t) { return t == 0 ? 1.0 : std::sin(t) / t; };
  double sum = f(0) + f(z);
  for (int i = 1; i < kSteps; ++i) {
    sum += f(i * h) * (i % 2 == 1 ? 4 : 2);
  }
  return sum * h / 3;
}

// The second integral of the ideal low-pass kernel 2B sinc(2Bt) (B in
// cycles^-1), so that the in-band inner product of two boxes is four of
// its values.
double SecondIntegral(double x, double band) {
  const double w = 2 * kPi * band;
  return x * SineIntegral(w * x) / kPi + (std::cos(w * x) - 1) / (kPi * w);
}

// The in-band inner product of the boxes [a, b) and [c, d), in cycles.
double InBand(double a, double b, double c, double d, double band) {
  return SecondIntegral(b - c, band) - SecondIntegral(b - d, band) - SecondIntegral(a - c, band) +
         SecondIntegral(a - d, band);
}

}  // namespace

SegmentGram PeriodGram(int lag, double period, double band) {
  const double ends[3] = {kSegmentStart[1], kSegmentStart[2], period};
  const double shift = lag * period;
  SegmentGram gram{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      gram.g[i][j] =
          InBand(kSegmentStart[i], ends[i], kSegmentStart[j] - shift, ends[j] - shift, band);
    }
  }
  return gram;
}

ByteSearch::ByteSearch(const SearchSetup& setup) : setup_(setup) {
  const player::VolumeTable table = setup.table.value_or(player::BuildVolumeTable(setup.profile));
  const std::array<double, player::kLevels> curve = player::LevelCurve(setup.profile);
  for (std::size_t b = 0; b < 256; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    levelA_[b] = curve[player::LevelFor(table, 0, byte)];
    levelB_[b] = curve[player::LevelFor(table, 1, byte)];
    levelC_[b] = curve[player::LevelFor(table, 2, byte)];
  }
  for (std::size_t b = 0; b < 256; ++b) {
    sums_[b] = levelA_[b] + levelB_[b] + levelC_[b];
  }
  // The tables map byte b to about b / 255 of their top sum, byte 0 to
  // silence.
  top_ = sums_[255];
  const double period = 144.0 + 5.0 * setup.wait;
  const double ends[3] = {kSegmentStart[1], kSegmentStart[2], period};
  // The band heard, at most just below half the played rate.
  const double band = std::min(setup.bandHz / setup.clockHz, 0.49 / period);
  const SegmentGram within = PeriodGram(0, period, band);
  for (int h = 0; h < kHistory; ++h) {
    const SegmentGram before = PeriodGram(h + 1, period, band);
    std::copy(&before.g[0][0], &before.g[0][0] + 9, &before_[h][0][0]);
  }
  std::copy(&within.g[0][0], &within.g[0][0] + 9, &within_[0][0]);
  for (int i = 0; i < 3; ++i) {
    // A small share of the whole band keeps noise from going above it.
    within_[i][i] += setup.wholeBandShare * 2 * band * period * (ends[i] - kSegmentStart[i]);
  }
  cost_.fill(kUnreached);
}

int ByteSearch::Nearest(double target) const {
  // The sums rise with the byte, though not evenly.
  const auto above = std::lower_bound(sums_.begin(), sums_.end(), target);
  if (above == sums_.begin()) {
    return 0;
  }
  if (above == sums_.end() || target - *(above - 1) < *above - target) {
    return static_cast<int>(above - sums_.begin()) - 1;
  }
  return static_cast<int>(above - sums_.begin());
}

double ByteSearch::Target(float sample) const {
  const double exact = std::clamp(static_cast<double>(sample) * 128.0 + 128.0, 0.0, 255.0);
  return exact / 255.0 * top_;
}

ByteSearch::Errors ByteSearch::ErrorsOf(std::uint8_t previous, std::uint8_t current,
                                        double target) const {
  return {{levelA_[current] + levelB_[previous] + levelC_[previous] - target,
           levelA_[current] + levelB_[current] + levelC_[previous] - target,
           levelA_[current] + levelB_[current] + levelC_[current] - target}};
}

double ByteSearch::Quadratic(const Errors& a, const double (*gram)[3], const Errors& b) const {
  double sum = 0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      sum += a.e[i] * gram[i][j] * b.e[j];
    }
  }
  return sum;
}

double ByteSearch::PeriodCost(std::uint8_t previous, std::uint8_t current, double target) const {
  const Errors e = ErrorsOf(previous, current, target);
  return Quadratic(e, within_, e);
}

void ByteSearch::Push(float sample, std::vector<std::uint8_t>& out) {
  const double target = Target(sample);
  if (!started_) {
    // Before the first sample every channel is silent: byte 0x00's levels.
    cost_.fill(kUnreached);
    cost_[0x00] = 0;
    started_ = true;
  }
  // The states that go on.
  std::vector<std::uint8_t> states;
  for (std::size_t b = 0; b < 256; ++b) {
    if (cost_[b] < kUnreached) {
      states.push_back(static_cast<std::uint8_t>(b));
    }
  }
  if (!setup_.exact && states.size() > static_cast<std::size_t>(setup_.keep)) {
    std::nth_element(states.begin(), states.begin() + setup_.keep, states.end(),
                     [this](std::uint8_t x, std::uint8_t y) { return cost_[x] < cost_[y]; });
    states.resize(static_cast<std::size_t>(setup_.keep));
  }
  // The bytes it may take: digital silence stays exactly 0x80.
  int low = 0;
  int high = 255;
  const bool silent = std::fabs(sample) < kDigitalSilence;
  if (silent) {
    low = high = 0x80;
  } else if (!setup_.exact) {
    const int centre = Nearest(target);
    low = std::max(0, centre - setup_.span);
    high = std::min(255, centre + setup_.span);
  }
  std::array<double, 256> cost;
  cost.fill(kUnreached);
  std::array<std::uint8_t, 256> from{};
  std::array<Errors, 256> newest{};
  for (const std::uint8_t p : states) {
    // The cross terms with this state's periods before, as a vector.
    double cross[3] = {0, 0, 0};
    if (!setup_.exact) {
      for (int h = 0; h < kHistory; ++h) {
        for (int i = 0; i < 3; ++i) {
          for (int j = 0; j < 3; ++j) {
            cross[i] += 2 * before_[h][i][j] * history_[p][static_cast<std::size_t>(h)].e[j];
          }
        }
      }
    }
    for (int b = low; b <= high; ++b) {
      const auto current = static_cast<std::uint8_t>(b);
      const Errors e = ErrorsOf(p, current, target);
      const double total = cost_[p] + Quadratic(e, within_, e) + cross[0] * e.e[0] +
                           cross[1] * e.e[1] + cross[2] * e.e[2];
      if (total < cost[current]) {
        cost[current] = total;
        from[current] = p;
        newest[current] = e;
      }
    }
  }
  // Costs only grow: measured from the best, they stay small.
  const double best = *std::min_element(cost.begin(), cost.end());
  for (double& c : cost) {
    c -= best;
  }
  std::array<History, 256> history;
  for (std::size_t b = 0; b < 256; ++b) {
    if (cost[b] < kUnreached) {
      const History& before = history_[from[b]];
      history[b][0] = newest[b];
      std::copy(before.begin(), before.end() - 1, history[b].begin() + 1);
    }
  }
  cost_ = cost;
  history_ = history;
  from_.push_back(from);
  if (from_.size() > kDecisionDelay) {
    Decide(1, out);
  }
}

// Writes out the first `count` undecided samples, along the best path.
void ByteSearch::Decide(std::size_t count, std::vector<std::uint8_t>& out) {
  const auto best =
      static_cast<std::uint8_t>(std::min_element(cost_.begin(), cost_.end()) - cost_.begin());
  std::vector<std::uint8_t> path(from_.size());
  std::uint8_t state = best;
  for (std::size_t k = from_.size(); k-- > 0;) {
    path[k] = state;
    state = from_[k][state];
  }
  out.insert(out.end(), path.begin(), path.begin() + static_cast<std::ptrdiff_t>(count));
  from_.erase(from_.begin(), from_.begin() + static_cast<std::ptrdiff_t>(count));
}

void ByteSearch::Finish(std::vector<std::uint8_t>& out) {
  if (!from_.empty()) {
    Decide(from_.size(), out);
  }
}

}  // namespace tonebake::prep
