// Arbitrary bytes as a loaded input file: header check, wait selection and
// image building in memory, with the invariants every result must keep.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <vector>

#include "cli/wave_to_image.h"
#include "fuzz/fuzz_check.h"

namespace {

// The expectations are computed here without the product's helpers, so that
// a fault in them is not shared by the check.
std::uint32_t Le16(const std::uint8_t* p) {
  return p[0] + 256u * p[1];
}
std::uint32_t Le32(const std::uint8_t* p) {
  return Le16(p) + 65536u * Le16(p + 2);
}

// The FM-7 playback rate of each PCM wait 0..63, as documented.
const std::uint32_t kRates[64] = {
    12493, 12073, 11681, 11314, 10969, 10644, 10339, 10050, 9777, 9518, 9273, 9040, 8818,
    8607,  8406,  8214,  8031,  7855,  7688,  7527,  7372,  7224, 7082, 6945, 6814, 6687,
    6565,  6448,  6334,  6224,  6119,  6016,  5917,  5822,  5729, 5639, 5552, 5468, 5386,
    5306,  5229,  5154,  5081,  5011,  4942,  4875,  4810,  4746, 4684, 4624, 4565, 4508,
    4452,  4398,  4345,  4293,  4242,  4193,  4145,  4097,  4051, 4006, 3962, 3919};

// The largest wait whose rate is still at least `rate`; 0 above the table.
std::uint8_t ExpectedWait(std::uint32_t rate) {
  std::uint8_t wait = 0;
  for (std::uint8_t w = 0; w < 64; ++w) {
    if (kRates[w] >= rate) {
      wait = w;
    }
  }
  return wait;
}

// The run result the file format itself gives: the length test first; then
// the last failing field test decides; then the data must lie in the file.
int ExpectedResult(const std::uint8_t* data, std::size_t size) {
  if (size < 44 || Le32(data + 4) + 8u != size) {
    return 4;
  }
  int result = 0;
  if (std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0 ||
      std::memcmp(data + 12, "fmt ", 4) != 0 || std::memcmp(data + 36, "data", 4) != 0) {
    result = 4;
  }
  if (Le16(data + 20) != 1) {
    result = 6;
  }
  if (Le16(data + 22) != 1) {
    result = 7;
  }
  if (Le16(data + 34) != 8) {
    result = 8;
  }
  if (result == 0 && Le32(data + 40) > size - 44) {
    result = 4;  // a negative size reads as more than any file holds
  }
  return result;
}

void CheckImage(const std::uint8_t* data, std::uint8_t wait,
                const std::vector<std::uint8_t>& buffer) {
  const std::uint32_t count = Le32(data + 40);
  FUZZ_CHECK(buffer.size() == std::size_t{count} + 11);
  const std::uint8_t* image = buffer.data();
  FUZZ_CHECK(image[0] == 0 && image[3] == 0 && image[4] == 0);
  FUZZ_CHECK(image[1] == static_cast<std::uint8_t>(count >> 8));
  FUZZ_CHECK(image[2] == static_cast<std::uint8_t>(count));
  FUZZ_CHECK(image[5] == wait);
  FUZZ_CHECK(count == 0 || std::memcmp(image + 6, data + 44, count) == 0);
  const std::uint8_t trailer[] = {0xFF, 0, 0, 0, 0};
  FUZZ_CHECK(std::memcmp(image + 6 + count, trailer, sizeof trailer) == 0);
}

void ConvertWith(const std::uint8_t* data, std::size_t size, std::int32_t waitSetting) {
  tonebake::ImagePlan plan;
  const auto length = static_cast<std::uint32_t>(size);
  const tonebake::RunResult result = tonebake::PlanImage(data, length, waitSetting, plan);
  FUZZ_CHECK(static_cast<int>(result) == ExpectedResult(data, size));
  if (result != tonebake::Ok) {
    FUZZ_CHECK(plan.samples == nullptr && plan.imageSize == 0);
    return;
  }
  std::vector<std::uint8_t> image(plan.imageSize);
  tonebake::ConvertWaveToImage(plan, image.data());
  const std::uint8_t wait =
      waitSetting < 0 ? ExpectedWait(Le32(data + 24)) : static_cast<std::uint8_t>(waitSetting);
  CheckImage(data, wait, image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // libFuzzer hands over a buffer of exactly `size` bytes, so any read past
  // it is caught by the address sanitizer.
  ConvertWith(data, size, -1);  // no -w: the wait from the sample rate
  ConvertWith(data, size, static_cast<std::int32_t>(size % 256));
  return 0;
}
