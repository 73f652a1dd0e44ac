#ifndef TONEBAKE_CLI_WAVE_TO_IMAGE_H
#define TONEBAKE_CLI_WAVE_TO_IMAGE_H

#include <cstdint>

#include "cli/run_result.h"

namespace tonebake {

// What the image of a checked file holds: a view of its samples and the
// wait, and the image's length.
struct ImagePlan {
  const std::uint8_t* samples = nullptr;
  std::uint32_t count = 0;
  std::uint8_t wait = 0;
  std::uint32_t imageSize = 0;
};

// The in-memory heart of a run, which touches no file and no stream: judges
// a whole loaded WAVE file and settles its image with the given wait setting
// (kAutomaticWait: from the sample rate). Returns Ok with the plan, or the
// result that rejects the file. Never reads outside [file, file + length).
RunResult PlanImage(const std::uint8_t* file, std::uint32_t length, std::int32_t waitSetting,
                    ImagePlan& plan);

// Writes the planned image to `image`, which the caller provides with
// plan.imageSize bytes.
void ConvertWaveToImage(const ImagePlan& plan, std::uint8_t* image);

}  // namespace tonebake

#endif  // TONEBAKE_CLI_WAVE_TO_IMAGE_H
