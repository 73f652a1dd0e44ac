// Tunes the player's volume tables to what the FM-7 really puts out for
// plainly rounded audio, and writes them as src/player/tuned_tables.inc.
//
// The player writes a sample's levels one after another (A, then B 39
// cycles later, then C 41 after that), so each period passes through A new
// with B and C old, then A and B new. A table tuned for levels set at once
// maps adjacent bytes to far-apart level triples, and those mixed states
// glitch. Here each byte's triple is chosen, one byte at a time, to lower
// the in-band energy of the rendered error over a set of training signals
// (coordinate descent from the sine-fitted tables), with the sum of the
// three levels kept rising with the byte. The change of the error for a new
// triple is a quadratic in the three level changes, so every triple is
// tried exactly.
//
// The training signals are not the ones bench/quality measures, so that
// the bench tells how the tables do on audio they were not made from.
//
// Usage: tonebake-tune-tables OUTPUT.inc    (deterministic; a few seconds)
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "player/volume_table.h"
#include "prep/byte_search.h"

namespace {

using tonebake::player::PsgProfile;
using tonebake::player::VolumeTable;

constexpr double kPi = 3.14159265358979323846;
constexpr double kClockHz = 1798660.0;
constexpr int kWait = 16;
constexpr double kPeriod = 144.0 + 5.0 * kWait;
constexpr double kRate = kClockHz / kPeriod;
constexpr double kBand = 3900.0 / kClockHz;
constexpr int kLags = 8;  // periods before and after whose errors are counted
constexpr double kWholeBandShare = 0.03;

// How each curve's tables are made: where the descent starts (the closest
// sums to a top of that much full scale, or 0 for the sine-fitted tables),
// how much the rounded bytes count against the search's, and how many
// rounds of choosing bytes and tuning tables.
struct Recipe {
  double top;
  double roundedWeight;
  int rounds;
};
Recipe RecipeFor(PsgProfile profile) {
  // Chosen by bench/quality among starts 0.8, 1.0, 1.2 and the sine-fitted
  // tables, weights 2, 4 and 8, three rounds.
  return profile == PsgProfile::Fm7 ? Recipe{1.0, 2, 3} : Recipe{0.8, 4, 3};
}

using Triple = std::array<int, 3>;

// A voice-like signal: a pulse train of gliding pitch through three
// formants, at `level` of full scale.
std::vector<double> Voice(std::size_t count, double pitch, const double (&formants)[3],
                          double level) {
  std::vector<double> out(count, 0.0);
  double state[3][2] = {};
  double peak = 0;
  for (std::size_t n = 0; n < count; ++n) {
    const double t = static_cast<double>(n) / kRate;
    const double phase = pitch * t + 3 * std::sin(2 * kPi * 0.7 * t);
    const double x = std::fmod(phase, 1.0) < pitch / kRate ? 1.0 : 0.0;
    double y = 0;
    for (int f = 0; f < 3; ++f) {
      const double r = std::exp(-kPi * 100 / kRate);
      const double v =
          x + 2 * r * std::cos(2 * kPi * formants[f] / kRate) * state[f][0] - r * r * state[f][1];
      state[f][1] = state[f][0];
      state[f][0] = v;
      y += v / (f + 1.5);
    }
    out[n] = y;
    peak = std::max(peak, std::fabs(y));
  }
  double mean = 0;
  for (const double v : out) {
    mean += v / static_cast<double>(count);
  }
  for (double& v : out) {
    v = (v - mean) / (2 * peak) * level;
  }
  return out;
}

std::vector<double> Tone(std::size_t count, double hz, double db) {
  std::vector<double> out(count);
  for (std::size_t n = 0; n < count; ++n) {
    out[n] = std::pow(10, db / 20) * std::sin(2 * kPi * hz * static_cast<double>(n) / kRate);
  }
  return out;
}

// A sweep from 100 Hz to 3.8 kHz.
std::vector<double> Sweep(std::size_t count, double db) {
  std::vector<double> out(count);
  double phase = 0;
  for (std::size_t n = 0; n < count; ++n) {
    const double hz = 100 * std::pow(38.0, static_cast<double>(n) / static_cast<double>(count));
    phase += hz / kRate;
    out[n] = std::pow(10, db / 20) * std::sin(2 * kPi * phase);
  }
  return out;
}

struct Training {
  std::vector<std::uint8_t> bytes;
  std::vector<double> exact;  // the recording, in bytes (0..255)
  std::vector<double> root;   // the square root of each period's weight
};

std::vector<std::vector<double>> TrainingSignals() {
  const auto count = static_cast<std::size_t>(0.5 * kRate);
  const double low[3] = {500, 1500, 2500};
  const double high[3] = {350, 2000, 2900};
  return {Tone(count, 440, -6),        Tone(count, 2000, -1),       Tone(count, 150, -2),
          Tone(count, 1500, -18),      Tone(count, 3000, -10),      Sweep(count, -3),
          Voice(count, 100, low, 0.9), Voice(count, 210, high, 0.3)};
}

// Each signal starts from silence, as a sound does.
void AddSilence(Training& training) {
  for (int n = 0; n < 2 * kLags; ++n) {
    training.bytes.push_back(0x80);
    training.exact.push_back(128);
    training.root.push_back(1);
  }
}

// The signals plainly rounded, with dither, as tonebake-prep --plain and
// any 8-bit recording have them; then as tonebake-prep's search chooses
// them for `table`.
Training MakeTraining(const std::vector<std::vector<double>>& signals, PsgProfile profile,
                      double roundedWeight, const VolumeTable& table) {
  Training training;
  std::uint64_t seed = 12345;
  const auto uniform = [&seed] {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(seed >> 40) / static_cast<double>(1ull << 24);
  };
  for (const std::vector<double>& signal : signals) {
    AddSilence(training);
    for (const double x : signal) {
      const double exact = std::clamp(x * 128 + 128, 0.0, 255.0);
      const double dithered = std::floor(exact + uniform() - uniform() + 0.5);
      training.bytes.push_back(static_cast<std::uint8_t>(std::clamp(dithered, 0.0, 255.0)));
      training.exact.push_back(exact);
      training.root.push_back(std::sqrt(roundedWeight));
    }
  }
  for (const std::vector<double>& signal : signals) {
    AddSilence(training);
    tonebake::prep::SearchSetup setup;
    setup.profile = profile;
    setup.wait = kWait;
    setup.table = table;
    tonebake::prep::ByteSearch search(setup);
    for (const double x : signal) {
      search.Push(static_cast<float>(x), training.bytes);
      training.exact.push_back(std::clamp(x * 128 + 128, 0.0, 255.0));
      training.root.push_back(1);
    }
    search.Finish(training.bytes);
  }
  return training;
}

class Tuner {
 public:
  Tuner(PsgProfile profile, const VolumeTable& table, const Training& training)
      : curve_(tonebake::player::LevelCurve(profile)), training_(training) {
    for (std::size_t b = 0; b < 256; ++b) {
      for (std::size_t c = 0; c < 3; ++c) {
        triples_[b][c] = table[c * 256 + (b ^ 0x80u)];
      }
    }
    for (int lag = 0; lag <= kLags; ++lag) {
      gram_[static_cast<std::size_t>(lag)] = tonebake::prep::PeriodGram(lag, kPeriod, kBand);
    }
    const double lengths[3] = {tonebake::prep::kWriteOffsetB,
                               tonebake::prep::kWriteOffsetC - tonebake::prep::kWriteOffsetB,
                               kPeriod - tonebake::prep::kWriteOffsetC};
    for (int i = 0; i < 3; ++i) {
      gram_[0].g[i][i] += kWholeBandShare * 2 * kBand * kPeriod * lengths[i];
    }
    scale_ = Sum(triples_[255]) / 255;
    at_.resize(256);
    for (std::size_t k = 1; k < training.bytes.size(); ++k) {
      at_[training.bytes[k]].push_back(k);
      if (training.bytes[k - 1] != training.bytes[k]) {
        at_[training.bytes[k - 1]].push_back(k);
      }
    }
    for (auto& positions : at_) {
      std::sort(positions.begin(), positions.end());
    }
  }

  double Sum(const Triple& t) const {
    return curve_[static_cast<std::size_t>(t[0])] + curve_[static_cast<std::size_t>(t[1])] +
           curve_[static_cast<std::size_t>(t[2])];
  }

  // One pass over bytes 1..255 (silence stays all levels 0).
  // Returns the cost after it.
  double Sweep() {
    Fit();
    Errors();
    for (int v = 1; v < 256; ++v) {
      Improve(static_cast<std::uint8_t>(v));
    }
    Errors();
    return Cost();
  }

  VolumeTable Table() const {
    VolumeTable table{};
    for (std::size_t b = 0; b < 256; ++b) {
      for (std::size_t c = 0; c < 3; ++c) {
        table[c * 256 + (b ^ 0x80u)] = static_cast<std::uint8_t>(triples_[b][c]);
      }
    }
    return table;
  }

 private:
  // How a change of byte v's levels (dA, dB, dC) changes the three errors
  // of period k: v is this period's byte, the one before, or both.
  void Map(std::size_t k, std::uint8_t v, double (&m)[3][3]) const {
    const bool current = training_.bytes[k] == v;
    const bool previous = training_.bytes[k - 1] == v;
    const double cur[3][3] = {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}};
    const double prev[3][3] = {{0, 1, 1}, {0, 0, 1}, {0, 0, 0}};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        m[i][j] = ((current ? cur[i][j] : 0) + (previous ? prev[i][j] : 0)) * training_.root[k];
      }
    }
  }

  double Gram(long lag, int i, int j) const {
    // G(-lag) is G(lag) transposed.
    return lag >= 0 ? gram_[static_cast<std::size_t>(lag)].g[i][j]
                    : gram_[static_cast<std::size_t>(-lag)].g[j][i];
  }

  using Vectors = std::vector<std::array<double, 3>>;

  // G v: each period's three values against those of the periods around.
  Vectors Apply(const Vectors& v) const {
    const std::size_t n = v.size();
    Vectors out(n, {0, 0, 0});
    for (std::size_t k = 1; k < n; ++k) {
      for (long lag = -kLags; lag <= kLags; ++lag) {
        const long j = static_cast<long>(k) - lag;
        if (j < 1 || j >= static_cast<long>(n)) {
          continue;
        }
        for (int a = 0; a < 3; ++a) {
          for (int b = 0; b < 3; ++b) {
            out[k][static_cast<std::size_t>(a)] +=
                Gram(lag, a, b) * v[static_cast<std::size_t>(j)][static_cast<std::size_t>(b)];
          }
        }
      }
    }
    return out;
  }

  static double Dot(const Vectors& x, const Vectors& y) {
    double sum = 0;
    for (std::size_t k = 0; k < x.size(); ++k) {
      sum += x[k][0] * y[k][0] + x[k][1] * y[k][1] + x[k][2] * y[k][2];
    }
    return sum;
  }

  // The scale and offset that make the present tables' error least.
  void Fit() {
    const std::size_t n = training_.bytes.size();
    if (exactTimesG_.empty()) {
      Vectors exact(n), ones(n);
      for (std::size_t k = 0; k < n; ++k) {
        const double x = training_.exact[k] * training_.root[k];
        exact[k] = {x, x, x};
        ones[k] = {training_.root[k], training_.root[k], training_.root[k]};
      }
      exactTimesG_ = Apply(exact);
      onesTimesG_ = Apply(ones);
      xx_ = Dot(exact, exactTimesG_);
      x1_ = Dot(exact, onesTimesG_);
      one1_ = Dot(ones, onesTimesG_);
    }
    Errors();
    Vectors rendered = errors_;  // root (R - target) + root target = root R
    for (std::size_t k = 0; k < n; ++k) {
      const double target = (training_.exact[k] * scale_ + offset_) * training_.root[k];
      for (double& r : rendered[k]) {
        r += target;
      }
    }
    const double rx = Dot(rendered, exactTimesG_);
    const double r1 = Dot(rendered, onesTimesG_);
    const double det = xx_ * one1_ - x1_ * x1_;
    scale_ = (rx * one1_ - r1 * x1_) / det;
    offset_ = (xx_ * r1 - x1_ * rx) / det;
  }

  void Errors() {
    const std::size_t n = training_.bytes.size();
    errors_.assign(n, {0, 0, 0});
    for (std::size_t k = 1; k < n; ++k) {
      const Triple& p = triples_[training_.bytes[k - 1]];
      const Triple& c = triples_[training_.bytes[k]];
      const double target = training_.exact[k] * scale_ + offset_;
      const auto level = [this](int l) { return curve_[static_cast<std::size_t>(l)]; };
      const double root = training_.root[k];
      errors_[k] = {(level(c[0]) + level(p[1]) + level(p[2]) - target) * root,
                    (level(c[0]) + level(c[1]) + level(p[2]) - target) * root,
                    (level(c[0]) + level(c[1]) + level(c[2]) - target) * root};
    }
    // G E: each period's errors against those around it.
    weighted_ = Apply(errors_);
  }

  double Cost() const {
    double cost = 0;
    for (std::size_t k = 1; k < errors_.size(); ++k) {
      for (int a = 0; a < 3; ++a) {
        cost += errors_[k][static_cast<std::size_t>(a)] * weighted_[k][static_cast<std::size_t>(a)];
      }
    }
    return cost;
  }

  void Improve(std::uint8_t v) {
    const std::vector<std::size_t>& positions = at_[v];
    if (positions.empty()) {
      return;
    }
    // The cost's change is 2 g.d + d'Qd for level changes d.
    double g[3] = {0, 0, 0};
    double q[3][3] = {};
    for (std::size_t x = 0; x < positions.size(); ++x) {
      double mk[3][3];
      Map(positions[x], v, mk);
      for (int i = 0; i < 3; ++i) {
        for (int a = 0; a < 3; ++a) {
          g[i] += mk[a][i] * weighted_[positions[x]][static_cast<std::size_t>(a)];
        }
      }
      for (std::size_t y = 0; y < positions.size(); ++y) {
        const long lag = static_cast<long>(positions[x]) - static_cast<long>(positions[y]);
        if (lag < -kLags || lag > kLags) {
          continue;
        }
        double mj[3][3];
        Map(positions[y], v, mj);
        for (int i = 0; i < 3; ++i) {
          for (int j = 0; j < 3; ++j) {
            for (int a = 0; a < 3; ++a) {
              for (int b = 0; b < 3; ++b) {
                q[i][j] += mk[a][i] * Gram(lag, a, b) * mj[b][j];
              }
            }
          }
        }
      }
    }
    const double low = Sum(triples_[v - 1u]);
    const double high = v == 255 ? 1e9 : Sum(triples_[v + 1u]);
    const Triple old = triples_[v];
    Triple best = old;
    double bestChange = 0;
    for (int a = 0; a < 16; ++a) {
      for (int b = 0; b < 16; ++b) {
        for (int c = 0; c < 16; ++c) {
          const Triple t = {a, b, c};
          const double sum = Sum(t);
          if (sum < low || sum > high) {
            continue;
          }
          double d[3];
          for (std::size_t i = 0; i < 3; ++i) {
            d[i] =
                curve_[static_cast<std::size_t>(t[i])] - curve_[static_cast<std::size_t>(old[i])];
          }
          double change = 0;
          for (int i = 0; i < 3; ++i) {
            change += 2 * g[i] * d[i];
            for (int j = 0; j < 3; ++j) {
              change += d[i] * q[i][j] * d[j];
            }
          }
          if (change < bestChange - 1e-12) {
            bestChange = change;
            best = t;
          }
        }
      }
    }
    if (best != old) {
      triples_[v] = best;
      Errors();
    }
  }

  std::array<double, tonebake::player::kLevels> curve_;
  const Training& training_;
  std::array<Triple, 256> triples_{};
  std::array<tonebake::prep::SegmentGram, kLags + 1> gram_{};
  // The output a byte's exact value should give: scale * value + offset,
  // fitted as the tables change (a gain or offset is not heard).
  double scale_ = 0, offset_ = 0;
  std::vector<std::vector<std::size_t>> at_;  // the periods each byte's levels reach
  Vectors errors_, weighted_;
  Vectors exactTimesG_, onesTimesG_;
  double xx_ = 0, x1_ = 0, one1_ = 0;
};

void WriteTable(std::FILE* out, const char* name, const VolumeTable& table) {
  std::fprintf(out, "constexpr VolumeTable %s = {{\n", name);
  for (std::size_t i = 0; i < table.size(); ++i) {
    std::fprintf(out, "%s%2d,%s", i % 16 == 0 ? "    " : "", table[i], i % 16 == 15 ? "\n" : " ");
  }
  std::fprintf(out, "}};\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tonebake-tune-tables OUTPUT.inc\n");
    return 1;
  }
  const std::vector<std::vector<double>> signals = TrainingSignals();
  VolumeTable tables[2];
  for (const PsgProfile profile : {PsgProfile::Fm7, PsgProfile::Fm77av}) {
    // Tuned for rounded bytes and for the bytes the search chooses, in
    // turns: the search's choice depends on the tables.
    const Recipe recipe = RecipeFor(profile);
    VolumeTable table = recipe.top > 0
                            ? tonebake::player::ClosestSumsVolumeTable(profile, recipe.top)
                            : tonebake::player::SineFittedVolumeTable(profile);
    for (int round = 0; round < recipe.rounds; ++round) {
      const Training training = MakeTraining(signals, profile, recipe.roundedWeight, table);
      Tuner tuner(profile, table, training);
      double before = 1e300;
      for (int sweep = 1; sweep <= 40; ++sweep) {
        const double cost = tuner.Sweep();
        std::fprintf(stderr, "%s round %d sweep %d: %.6g\n",
                     tonebake::player::PsgProfileName(profile), round, sweep, cost);
        if (cost > before * (1 - 1e-4)) {
          break;
        }
        before = cost;
      }
      table = tuner.Table();
    }
    tables[profile == PsgProfile::Fm7 ? 0 : 1] = table;
  }
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(out,
               "// Made by tools/tune_tables.cpp (tonebake-tune-tables); do not edit by hand.\n"
               "// Indexed as the player reads them: channel * 256 + (sample ^ 0x80).\n");
  WriteTable(out, "kTunedFm7", tables[0]);
  WriteTable(out, "kTunedFm77av", tables[1]);
  return std::fclose(out) == 0 ? 0 : 1;
}
