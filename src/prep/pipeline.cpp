#include "prep/pipeline.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "fm7pcm/wait_table.h"

namespace tonebake::prep {
namespace {

constexpr std::size_t kBlockFrames = 4096;

std::uint8_t ChooseWait(const PrepOptions& options, double inputRate) {
  if (options.wait) {
    return static_cast<std::uint8_t>(*options.wait);
  }
  if (options.rate) {
    return ClosestWait(*options.rate);
  }
  return SelectWait(static_cast<std::uint32_t>(std::min(inputRate, 4294967295.0)));
}

}  // namespace

std::string CheckHighpass(const PrepOptions& options, const Plan& plan) {
  if (options.highpassHz && *options.highpassHz >= plan.rate / 2.0) {
    return "--highpass " + std::to_string(static_cast<long long>(*options.highpassHz)) +
           " Hz is not below half the output rate of " + std::to_string(plan.rate) + " Hz";
  }
  return std::string();
}

std::string MakePlan(const PrepOptions& options, const AudioSource& source, Plan& plan) {
  const double inputRate = source.sampleRate();
  // A rate this low is no recording: at 1 Hz, a few bytes would become
  // hundreds of millions of samples.
  if (!std::isfinite(inputRate) || inputRate < kLowestInputRate) {
    return "its sample rate of " + std::to_string(static_cast<long long>(inputRate)) +
           " Hz is below " + std::to_string(static_cast<int>(kLowestInputRate)) + " Hz";
  }
  plan.wait = ChooseWait(options, inputRate);
  plan.rate = WaitRateTable[plan.wait];
  plan.startFrame = static_cast<std::int64_t>(std::llround(options.startSeconds * inputRate));
  if (!source.lengthKnown()) {
    // A stream that does not say its length (a cut-off Ogg file, say) is
    // read to its end; only the size of a WAVE file limits it.
    plan.inputFrames =
        options.lengthSeconds
            ? static_cast<std::int64_t>(std::llround(*options.lengthSeconds * inputRate))
            : std::numeric_limits<std::int64_t>::max();
    plan.maxOutput = options.fit ? kFitSamples : kMaxOutputSamples;
    return std::string();
  }
  std::int64_t frames = std::max<std::int64_t>(source.frames() - plan.startFrame, 0);
  if (options.lengthSeconds) {
    frames = std::min(frames,
                      static_cast<std::int64_t>(std::llround(*options.lengthSeconds * inputRate)));
  }
  plan.inputFrames = frames;
  const auto outputOf = [&](std::uint32_t rate) {
    return std::ceil(static_cast<double>(frames) * rate / inputRate);
  };
  // --fit on its own: the highest rate, not above the recording's own, at
  // which all of it fits in what PLAY loads; wait 63 (and a cut) when none
  // does.
  if (options.fit && !options.wait && !options.rate) {
    while (plan.wait < kWaitRateCount - 1 && outputOf(WaitRateTable[plan.wait]) > kFitSamples) {
      ++plan.wait;
    }
    plan.rate = WaitRateTable[plan.wait];
  }
  const double expected = outputOf(plan.rate);
  if (expected > static_cast<double>(kMaxOutputSamples)) {
    return "at " + std::to_string(static_cast<long long>(inputRate)) + " Hz, its " +
           std::to_string(frames) + " frames would make " +
           std::to_string(static_cast<unsigned long long>(expected)) +
           " samples, more than a WAVE file can hold";
  }
  plan.expectedOutput = static_cast<std::uint64_t>(expected);
  plan.maxOutput = options.fit ? kFitSamples : kMaxOutputSamples;
  return std::string();
}

PassReport RunPass(AudioSource& source, const PrepOptions& options, const Plan& plan,
                   const SampleConsumer& consume) {
  PassReport report;
  if (!source.Skip(plan.startFrame)) {
    return report;  // the recording ends before the start: nothing to hand on
  }
  std::string ignored;
  Resampler resampler;
  resampler.Start(source.sampleRate(), plan.rate, ignored);
  std::optional<HighPass> highpass;
  if (options.highpassHz) {
    highpass.emplace(*options.highpassHz, plan.rate);
  }
  const auto channels = static_cast<std::size_t>(source.channels());
  std::vector<float> frames(kBlockFrames * channels);
  std::vector<float> mono(kBlockFrames);
  std::vector<float> output;
  bool inputDone = false;
  while (!inputDone) {
    const auto left = static_cast<std::size_t>(
        std::min<std::int64_t>(plan.inputFrames - report.framesRead, kBlockFrames));
    const std::size_t got = left > 0 ? source.Read(frames.data(), left) : 0;
    report.framesRead += static_cast<std::int64_t>(got);
    report.repaired += RepairNonFinite(frames.data(), got * channels);
    ToMono(frames.data(), got, source.channels(), options.channel, mono.data());
    inputDone = got == 0;
    output.clear();
    resampler.Process(mono.data(), got, output);  // a count of 0 flushes the filter
    if (highpass) {
      for (float& sample : output) {
        sample = highpass->Process(sample);
      }
    }
    const std::uint64_t room = plan.maxOutput - report.samples;
    const std::size_t handed =
        static_cast<std::size_t>(std::min<std::uint64_t>(output.size(), room));
    report.samples += handed;
    if ((handed > 0 && !consume(output.data(), handed)) || handed < output.size()) {
      report.cut = handed < output.size();
      return report;
    }
  }
  // Short of what the header claims; a file that cannot tell its length
  // (an Ogg file without its last page) has been cut off wherever it ends.
  report.stoppedEarly = report.framesRead < plan.inputFrames;
  return report;
}

void FadeOut(float* samples, std::size_t count, double rate) {
  const auto length =
      std::min(count, static_cast<std::size_t>(std::llround(kFitFadeSeconds * rate)));
  for (std::size_t i = 0; i < length; ++i) {
    // From just under 1 to 0 at the very last sample.
    const float gain = static_cast<float>(length - 1 - i) / static_cast<float>(length);
    samples[count - length + i] *= gain;
  }
}

}  // namespace tonebake::prep
