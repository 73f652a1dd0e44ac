#ifndef TONEBAKE_PREP_PIPELINE_H
#define TONEBAKE_PREP_PIPELINE_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "player/player_code.h"
#include "prep/audio_io.h"
#include "prep/prep_options.h"

namespace tonebake::prep {

// The most samples a WAVE file (and an image) can hold: sizes are 32-bit.
constexpr std::uint64_t kMaxOutputSamples = 0xFFFFFFFFull - 44;
// What PLAY can load: the sound's room, right above PLAYER and below
// &H6E00, in bytes, the count of an image at most (LOADM loads the wait byte
// and count - 1 samples).
constexpr std::uint32_t kFitSamples = player::kSoundRoom;
constexpr double kFitFadeSeconds = 0.010;
// Input rates below this are refused.
constexpr double kLowestInputRate = 1000;

// What one run makes of a recording, settled before any sample is read.
struct Plan {
  std::uint8_t wait = 0;
  std::uint32_t rate = 0;            // the FM-7 playback rate of the wait
  std::int64_t startFrame = 0;       // input frames skipped first
  std::int64_t inputFrames = 0;      // input frames used at most
  std::uint64_t maxOutput = 0;       // output samples made at most
  std::uint64_t expectedOutput = 0;  // what the header's length gives
};

// Works out the plan for `source`; an empty reason when the output can be
// made, else why not (the rate or length would give more samples than a
// WAVE file holds, say).
std::string MakePlan(const PrepOptions& options, const AudioSource& source, Plan& plan);

// Why --highpass cannot be used with the plan's rate (a usage error), or
// an empty reason.
std::string CheckHighpass(const PrepOptions& options, const Plan& plan);

// What a pass through the recording found.
struct PassReport {
  std::uint64_t repaired = 0;   // NaN and infinite input samples replaced
  std::int64_t framesRead = 0;  // input frames decoded after the start
  bool stoppedEarly = false;    // decoding ended before the header's length
  bool cut = false;             // the output reached plan.maxOutput with more to come
  std::uint64_t samples = 0;    // output samples handed on
};

using SampleConsumer = std::function<bool(const float* samples, std::size_t count)>;

// Decodes the recording from its start frame, picks or mixes the channel,
// resamples to the plan's rate and applies the high-pass filter, handing
// the output on in blocks. Stops when `consume` returns false.
PassReport RunPass(AudioSource& source, const PrepOptions& options, const Plan& plan,
                   const SampleConsumer& consume);

// Fades the last kFitFadeSeconds of `samples` out to silence.
void FadeOut(float* samples, std::size_t count, double rate);

}  // namespace tonebake::prep

#endif  // TONEBAKE_PREP_PIPELINE_H
