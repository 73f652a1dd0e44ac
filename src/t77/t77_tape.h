#ifndef TONEBAKE_T77_T77_TAPE_H
#define TONEBAKE_T77_T77_TAPE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// The type bytes of the two kinds tonebake writes.
constexpr std::uint8_t kMachineLanguageType[3] = {0x02, 0x00, 0x00};
constexpr std::uint8_t kAsciiBasicType[3] = {0x00, 0xFF, 0xFF};

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

// The files on a tape, in order. Half-cycles shorter than 37 units are
// short (0), others long (1); the reader locks onto the bytes wherever
// their framing holds, so tapes with varying timing or a low start read.
// `why` says what is wrong with a damaged tape.
ReadResult ReadTape(const std::vector<std::uint8_t>& tape, std::vector<TapeFile>& files,
                    std::string& why);

// The tape as a square wave of 8-bit samples at `rate`: high levels above
// 0x80, low ones below, silence 0x80; at least 2 s of silence where the tape
// has a long silence (before and between files) and 0.5 s at the end. Every
// edge lies at the rounded product of its time from the start and the rate,
// so nothing drifts. The samples go to `sink` a block at a time; false from
// it stops the rendering. Returns the number of samples.
using SampleSink = std::function<bool(const std::uint8_t* samples, std::size_t count)>;
std::uint64_t RenderTape(const std::vector<std::uint8_t>& tape, std::uint32_t rate,
                         const SampleSink& sink);

}  // namespace tonebake::t77

#endif  // TONEBAKE_T77_T77_TAPE_H
