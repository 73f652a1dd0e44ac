#include "fm7pcm/wait_table.h"

#include <gtest/gtest.h>

namespace tonebake {
namespace {

// The playback rate of each wait as the FM-7 player gives it, written out
// here so that a typo in any entry of the product's table shows.
const std::uint32_t kDocumentedRates[64] = {
    12493, 12073, 11681, 11314, 10969, 10644, 10339, 10050,  // 0
    9777,  9518,  9273,  9040,  8818,  8607,  8406,  8214,   // 8
    8031,  7855,  7688,  7527,  7372,  7224,  7082,  6945,   // 16
    6814,  6687,  6565,  6448,  6334,  6224,  6119,  6016,   // 24
    5917,  5822,  5729,  5639,  5552,  5468,  5386,  5306,   // 32
    5229,  5154,  5081,  5011,  4942,  4875,  4810,  4746,   // 40
    4684,  4624,  4565,  4508,  4452,  4398,  4345,  4293,   // 48
    4242,  4193,  4145,  4097,  4051,  4006,  3962,  3919,   // 56
};

TEST(WaitRateTable, HoldsTheDocumentedRates) {
  ASSERT_EQ(WaitRateTable.size(), 64u);
  for (std::size_t w = 0; w < 64; ++w) {
    EXPECT_EQ(WaitRateTable[w], kDocumentedRates[w]) << "wait " << w;
  }
}

TEST(SelectWait, PicksTheSlowestWaitThatIsNotSlowerThanTheRecording) {
  const struct {
    std::uint32_t sampleRate;
    std::uint8_t wait;
  } cases[] = {
      {8000, 16}, {4000, 61}, {11000, 3}, {11314, 3}, {10970, 3}, {6000, 31},
      {6016, 31}, {5918, 31}, {12493, 0}, {12494, 0}, {44100, 0}, {0xFFFFFFFFu, 0},
      {12073, 1}, {12074, 0}, {3919, 63}, {3920, 62}, {0, 63},    {1, 63},
      {8031, 16}, {8032, 15}, {7855, 17}, {22050, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SelectWait(c.sampleRate), c.wait) << "rate " << c.sampleRate;
  }
}

TEST(SelectWait, EveryEntrySelectsItsOwnWait) {
  for (std::size_t w = 0; w < 64; ++w) {
    EXPECT_EQ(SelectWait(kDocumentedRates[w]), w);
    if (w > 0) {
      // One above an entry is too fast for it: the next faster wait is taken.
      EXPECT_EQ(SelectWait(kDocumentedRates[w] + 1), w - 1);
    }
  }
}

}  // namespace
}  // namespace tonebake
