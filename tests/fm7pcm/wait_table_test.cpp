#include "fm7pcm/wait_table.h"

#include <gtest/gtest.h>

namespace tonebake {
namespace {

TEST(WaitRateTable, FallsStrictlyFromFastestToSlowest) {
  EXPECT_EQ(WaitRateTable.front(), 12493u);
  EXPECT_EQ(WaitRateTable.back(), 3919u);
  for (std::size_t w = 1; w < WaitRateTable.size(); ++w) {
    EXPECT_LT(WaitRateTable[w], WaitRateTable[w - 1]) << "wait " << w;
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
  for (std::size_t w = 0; w < WaitRateTable.size(); ++w) {
    EXPECT_EQ(SelectWait(WaitRateTable[w]), w);
    if (w > 0) {
      // One above an entry is too fast for it: the next faster wait is taken.
      EXPECT_EQ(SelectWait(WaitRateTable[w] + 1), w - 1);
    }
  }
}

}  // namespace
}  // namespace tonebake
