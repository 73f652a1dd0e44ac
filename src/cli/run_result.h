#ifndef TONEBAKE_CLI_RUN_RESULT_H
#define TONEBAKE_CLI_RUN_RESULT_H

namespace tonebake {

// The outcome of a run, which is also the process exit code.
enum RunResult : int {
  Ok = 0,                // converted, or help shown
  NoParameters = 1,      // no arguments at all
  NoInputFile = 2,       // no file-name argument
  InputOpenFailed = 3,   // the input could not be loaded
  NotWave = 4,           // not a WAVE file of the expected layout
  OutputOpenFailed = 5,  // the output could not be created or written
  NotLinearPcm = 6,      // the audio format is not linear PCM
  TooManyChannels = 7,   // more than one channel
  Not8Bit = 8,           // the sample width is not 8 bits
};
constexpr int kRunResultCount = Not8Bit + 1;

}  // namespace tonebake

#endif  // TONEBAKE_CLI_RUN_RESULT_H
