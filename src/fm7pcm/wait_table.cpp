#include "fm7pcm/wait_table.h"

namespace tonebake {

const std::array<std::uint32_t, kWaitRateCount> WaitRateTable = {
    12493, 12073, 11681, 11314, 10969, 10644, 10339, 10050,  // waits 0-7
    9777,  9518,  9273,  9040,  8818,  8607,  8406,  8214,   // waits 8-15
    8031,  7855,  7688,  7527,  7372,  7224,  7082,  6945,   // waits 16-23
    6814,  6687,  6565,  6448,  6334,  6224,  6119,  6016,   // waits 24-31
    5917,  5822,  5729,  5639,  5552,  5468,  5386,  5306,   // waits 32-39
    5229,  5154,  5081,  5011,  4942,  4875,  4810,  4746,   // waits 40-47
    4684,  4624,  4565,  4508,  4452,  4398,  4345,  4293,   // waits 48-55
    4242,  4193,  4145,  4097,  4051,  4006,  3962,  3919,   // waits 56-63
};

std::uint8_t SelectWait(std::uint32_t sampleRate) {
  std::size_t slower = 0;  // count of entries not slower than the sample rate
  while (slower < kWaitRateCount && sampleRate <= WaitRateTable[slower]) {
    ++slower;
  }
  return static_cast<std::uint8_t>(slower > 0 ? slower - 1 : 0);
}

}  // namespace tonebake
