#ifndef TONEBAKE_PREP_BYTE_SEARCH_H
#define TONEBAKE_PREP_BYTE_SEARCH_H

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "player/volume_table.h"

// Chooses the bytes of a sound for what the FM-7's player really puts out.
// The player writes a sample's three levels one after another: channel A,
// then B 39 cycles later, then C 41 cycles after that, so each period of
// 144 + 5w cycles passes through A new with B and C old, then A and B new,
// then all new. Those mixed states depend on the previous byte and this
// one; the search picks, among the 256 bytes for every sample, the sequence
// whose rendered output is closest to the recording in the band that is
// heard (a Viterbi search over byte pairs, the error measured through an
// ideal low-pass at the band's edge, with a small share of the whole-band
// error so that noise is not pushed above the band).
namespace tonebake::prep {

// The player's writes within a period, in cycles from the write of channel
// A: B's and C's.
constexpr double kWriteOffsetB = 39;
constexpr double kWriteOffsetC = 80;

// The in-band inner products (through an ideal low-pass at `band`, in
// cycles^-1) of a period's three segments (A new; A and B new; all new)
// with those of the period `lag` periods before (0: the same period).
struct SegmentGram {
  double g[3][3];
};
SegmentGram PeriodGram(int lag, double period, double band);

struct SearchSetup {
  player::PsgProfile profile = player::PsgProfile::Fm7;
  // The player's tables the bytes are chosen for, if not the profile's own
  // (a disk's PLAYER may have an earlier version's).
  std::optional<player::VolumeTable> table;
  std::uint8_t wait = 16;
  double clockHz = 1798660.0;
  double bandHz = 3900.0;  // or just below half the played rate, if lower
  // The share of the whole-band error, against the in-band error of a
  // period: enough to keep noise from being pushed above the band.
  double wholeBandShare = 0.03;
  // Every state and every byte, nothing left out, and the cost of a period
  // alone: the exact search the tests check against brute force. Otherwise
  // the best `keep` states go on, each to the bytes within `span` of the
  // target, and the cross terms with the periods before are counted along
  // each state's path.
  bool exact = false;
  int keep = 16;
  int span = 20;
};

class ByteSearch {
 public:
  explicit ByteSearch(const SearchSetup& setup);

  // Takes the next sample (full scale ±1); appends the bytes decided so far
  // to `out`, a fixed number of samples behind.
  void Push(float sample, std::vector<std::uint8_t>& out);
  // The bytes still undecided.
  void Finish(std::vector<std::uint8_t>& out);

  // The level the player should put out for `sample`, on the scale of the
  // summed channel outputs.
  double Target(float sample) const;
  // The in-band cost of one period: the byte before, this byte, the level
  // it should put out (the exact search sums these).
  double PeriodCost(std::uint8_t previous, std::uint8_t current, double target) const;

 private:
  struct Errors {
    double e[3];
  };
  Errors ErrorsOf(std::uint8_t previous, std::uint8_t current, double target) const;
  double Quadratic(const Errors& a, const double (*gram)[3], const Errors& b) const;
  void Decide(std::size_t count, std::vector<std::uint8_t>& out);

  SearchSetup setup_;
  // The byte whose levels' sum is closest to `target`.
  int Nearest(double target) const;

  std::array<double, 256> levelA_{}, levelB_{}, levelC_{}, sums_{};
  double top_ = 0;
  // The periods before whose errors are counted along each state's path.
  static constexpr int kHistory = 8;
  using History = std::array<Errors, kHistory>;  // [0] the period just before
  double within_[3][3] = {};                     // one period's segments against each other
  double before_[kHistory][3][3] = {};           // this period's against those before
  // Per state: the path cost, and the errors of its last periods.
  std::array<double, 256> cost_{};
  std::array<History, 256> history_{};
  std::deque<std::array<std::uint8_t, 256>> from_;  // back-pointers of undecided samples
  bool started_ = false;
};

}  // namespace tonebake::prep

#endif  // TONEBAKE_PREP_BYTE_SEARCH_H
