#ifndef TONEBAKE_PREP_PREPARE_H
#define TONEBAKE_PREP_PREPARE_H

#include "media/reporter.h"
#include "prep/prep_options.h"

namespace tonebake::prep {

enum ExitCode : int { Success = 0, BadUsage = 1, UnreadableInput = 2, OutputFailure = 3 };

constexpr const char* kProgram = "tonebake-prep";
constexpr media::Reporter kReport{kProgram};

// Makes every file the options ask for, from the recording: the WAVE file,
// and an image, a disk, a tape and a preview, all put in place together or
// none. Messages name the program; returns the exit code.
int Prepare(const PrepOptions& options);

}  // namespace tonebake::prep

#endif  // TONEBAKE_PREP_PREPARE_H
