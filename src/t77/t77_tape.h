#ifndef TONEBAKE_T77_T77_TAPE_H
#define TONEBAKE_T77_T77_TAPE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fbasic/file_types.h"

// The T77 tape image of FM-7 emulators and the F-BASIC files on it. A T77
// file is the 16 bytes "XM7 TAPE IMAGE 0", then records of 2 bytes, high
// byte first: bit 15 the level (1 high), bits 0-14 how long it is held, in
// units of 9 microseconds; 0000 is a marker (recording starts here) and
// 7FFF a long silence. Works on bytes in memory only.
namespace tonebake::t77 {

constexpr std::size_t kHeaderSize = 16;
constexpr double kUnitSeconds = 9e-6;

// A file as F-BASIC saves it to tape: its name, the three type bytes of
// its header block, and its body.
struct TapeFile {
  std::string name;  // without its padding
  std::uint8_t type[3] = {0, 0, 0};
  std::vector<std::uint8_t> body;
};

// A stretch of a tape that is no whole F-BASIC file: another format, a
// recording, or a damaged file. `name` is the damaged file's, if known.
struct Unread {
  std::size_t begin = 0;  // its records, as byte offsets in the T77 file
  std::size_t end = 0;
  double seconds = 0;  // where it starts, in playing time
  std::string name;
  std::string why;
};

// A tape read whole: the files it holds, and every record after the header
// in pieces, so that a change to one file keeps every other record byte for
// byte. A file's records are a piece of their own, unless they share a
// stretch of sound with something else, which then cannot be changed.
struct Tape {
  struct Piece {
    std::vector<std::uint8_t> records;
    int file = -1;    // the index in `files` of the file it holds alone; -1 none
    int unread = -1;  // the index in `unread` of the damaged file it holds alone
  };
  std::vector<TapeFile> files;
  std::vector<Piece> pieces;
  std::vector<Unread> unread;
};

// The type bytes of the two kinds tonebake writes.
constexpr std::uint8_t kMachineLanguageType[3] = {fbasic::MachineLanguage, fbasic::kBinaryFlag,
                                                  fbasic::kBinaryFlag};
constexpr std::uint8_t kAsciiBasicType[3] = {fbasic::BasicProgram, fbasic::kAsciiFlag,
                                             fbasic::kAsciiFlag};

// A machine-language file holds `image` as it is; an ASCII BASIC file holds
// `text` as it is, which F-BASIC writes to tape as CR, then each line and
// a CR, with no end mark.
TapeFile MachineLanguageFile(const std::string& name, const std::vector<std::uint8_t>& image);
TapeFile AsciiBasicFile(const std::string& name, const std::string& text);
bool IsMachineLanguage(const TapeFile& file);

// A new, empty tape: the header, a marker and a silence.
std::vector<std::uint8_t> NewTape();

// Appends `file` to `tape` as F-BASIC writes it: a silence, a leader of 256
// 0xFF, the header block, a leader of 259 0xFF, data blocks of 255 bytes
// (the last shorter) each followed by 20 0xFF (259 for ASCII files), the end
// block and 4 0xFF. Every byte is a 0 start bit, 8 data bits from the least
// significant, and two 1 stop bits; a 0 bit is 26 units high and 26 low, a
// 1 bit 48 and 48.
void AppendFile(std::vector<std::uint8_t>& tape, const TapeFile& file);

enum ReadResult : int {
  TapeRead,
  NotATape,     // another header, or an odd length
  TapeDamaged,  // a checksum that does not add up, or a file cut short
};

// Reads every file it can and keeps the rest: a damaged file or a stretch
// of another kind is an Unread stretch, and does not stop the files around
// it from being read. NotATape, with `why`, for a file that is no T77 tape.
ReadResult ReadWholeTape(const std::vector<std::uint8_t>& bytes, Tape& tape, std::string& why);

// Every byte the records of a tape decode to, run after run.
std::vector<std::uint8_t> DecodedBytes(const std::vector<std::uint8_t>& tape);

// The tape's bytes: the header and its pieces in order.
std::vector<std::uint8_t> TapeBytes(const Tape& tape);

// Changes that keep every other record as it is. ReplaceFile and
// RemoveFile are false, changing nothing, when the file's records are not
// its alone. InsertFile puts `file` before files[index], or at the very
// start of the tape for index 0, or at its end for files.size().
bool ReplaceFile(Tape& tape, std::size_t index, const TapeFile& file);
bool RemoveFile(Tape& tape, std::size_t index);
void InsertFile(Tape& tape, std::size_t index, const TapeFile& file);
// After everything on the tape, what no file holds included.
void AddFileAtEnd(Tape& tape, const TapeFile& file);
// A damaged file (unread[index], with a name) taken away or put right in
// its place; false, changing nothing, when its stretch is not its alone.
bool RemoveDamaged(Tape& tape, std::size_t unread);
bool ReplaceDamaged(Tape& tape, std::size_t unread, const TapeFile& file);

// The files on a tape, in order. Half-cycles shorter than 37 units are
// short (0), others long (1); the reader locks onto the bytes wherever
// their framing holds, so tapes with varying timing or a low start read.
// Stricter than ReadWholeTape: any damage is TapeDamaged, and `why` says
// what is wrong.
ReadResult ReadTape(const std::vector<std::uint8_t>& tape, std::vector<TapeFile>& files,
                    std::string& why);

// The tape as a square wave of 8-bit samples at `rate`: high levels above
// 0x80, low ones below, silence 0x80; at least 2 s of silence where the tape
// has a long silence (before and between files) and 0.5 s at the end. Every
// edge lies at the rounded product of its time from the start and the rate,
// so nothing drifts. The samples go to `sink` a block at a time; false from
// it stops the rendering. Returns the number of samples.
using SampleSink = std::function<bool(const std::uint8_t* samples, std::size_t count)>;
// The number of samples RenderTape gives, counted without rendering.
std::uint64_t RenderedLength(const std::vector<std::uint8_t>& tape, std::uint32_t rate);
std::uint64_t RenderTape(const std::vector<std::uint8_t>& tape, std::uint32_t rate,
                         const SampleSink& sink);

}  // namespace tonebake::t77

#endif  // TONEBAKE_T77_T77_TAPE_H
