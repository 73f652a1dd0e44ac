#ifndef TONEBAKE_PREP_MEDIUM_OUTPUTS_H
#define TONEBAKE_PREP_MEDIUM_OUTPUTS_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fileio/replacing_file.h"
#include "player/player_code.h"
#include "prep/outputs.h"
#include "prep/prep_options.h"

namespace tonebake::prep {

// An output made from the finished samples, besides the WAVE file and the
// image that SampleWriter writes as they come: a disk, a tape, a preview.
// Each checks before any work, writes after the pass into a file of its
// own, and joins the all-or-nothing commit. A new output is one more type
// and one more line in MakeAfterPassOutputs. Results are exit codes;
// refusals are reported where they are found.
class AfterPassOutput {
 public:
  explicit AfterPassOutput(std::string path) : path_(std::move(path)) {}
  AfterPassOutput(const AfterPassOutput&) = delete;
  AfterPassOutput& operator=(const AfterPassOutput&) = delete;
  virtual ~AfterPassOutput() = default;

  // Before any work: locked, read and able to take the sound.
  virtual int Prepare() { return 0; }
  // Before any work, when the number of samples is known.
  virtual int CheckCount(std::uint64_t) { return 0; }
  // After Prepare: the volume tables the sound will be played with, when
  // the medium holds a PLAYER that stays.
  virtual bool PlayerTables(player::KnownTables&) const { return false; }
  // Before the pass: the tables and the chip's curve the sound is made for.
  virtual void PlayWith(const player::KnownTables&) {}
  // After the pass: the new file, ready to be committed.
  virtual int Write(const SampleWriter& writer) = 0;
  SampleWriter::OtherFile ToCommit() { return {&file_, path_}; }

 protected:
  std::string path_;
  ReplacingFile file_;
};

// The outputs the options ask for; `name` is the sound's on a disk or tape.
std::vector<std::unique_ptr<AfterPassOutput>> MakeAfterPassOutputs(const PrepOptions& options,
                                                                   const std::string& name);

// How many samples the writer keeps for them: all that any of them takes.
std::uint32_t KeptForOutputs();

}  // namespace tonebake::prep

#endif  // TONEBAKE_PREP_MEDIUM_OUTPUTS_H
