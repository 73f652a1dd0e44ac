#include "cli/wave_to_image.h"

#include "cli/results.h"
#include "fm7pcm/pcm_image.h"
#include "fm7pcm/wait_table.h"
#include "wave/wave_header.h"

namespace tonebake {

RunResult PlanImage(const std::uint8_t* file, std::uint32_t length, std::int32_t waitSetting,
                    ImagePlan& plan) {
  plan = ImagePlan{};
  const HeaderCheck check = CheckWaveHeader(file, length);
  if (check != HeaderOk) {
    return ResultForHeaderCheck(check);
  }
  WaveSamples samples;
  const HeaderCheck located = LocateSamples(file, length, samples);
  if (located != HeaderOk) {
    return ResultForHeaderCheck(located);
  }
  plan.samples = samples.bytes;
  plan.count = samples.count;
  plan.wait =
      waitSetting < 0 ? SelectWait(ReadSampleRate(file)) : static_cast<std::uint8_t>(waitSetting);
  plan.imageSize = PcmImageSize(samples.count);
  return Ok;
}

void ConvertWaveToImage(const ImagePlan& plan, std::uint8_t* image) {
  BuildPcmImage(plan.samples, plan.count, plan.wait, image);
}

}  // namespace tonebake
