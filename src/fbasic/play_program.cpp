#include "fbasic/play_program.h"

#include <algorithm>
#include <cstdio>

#include "fbasic/ascii_program.h"

namespace tonebake::fbasic {
namespace {

constexpr int kFirstDataLine = 1000;
constexpr int kErrorLine = 200;

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "&H%X", value);
  return text;
}

std::string Line(int number, const std::string& statements) {
  return std::to_string(number) + " " + statements;
}

// The DATA lines from line 1000 (name, count, wait, seconds), and the empty
// one that ends them.
std::vector<std::string> DataLines(const std::vector<MenuSound>& sounds, double clockHz) {
  std::vector<std::string> lines;
  int number = kFirstDataLine;
  for (const MenuSound& sound : sounds) {
    // LOADM leaves count - 1 samples after the wait byte, each played in
    // 144 + 5w cycles.
    const double seconds =
        sound.count > 0 ? (sound.count - 1.0) * (144 + 5 * sound.wait) / clockHz : 0.0;
    char data[64];
    std::snprintf(data, sizeof data, "DATA \"%s\",%u,%u,%.2f", sound.name.c_str(),
                  static_cast<unsigned>(sound.count), static_cast<unsigned>(sound.wait), seconds);
    lines.push_back(Line(number, data));
    number += 10;
  }
  lines.push_back(Line(number, "DATA \"\",0,0,0"));
  return lines;
}

// The player's parameters, POKEd high byte first: the wait byte's address,
// and the count - 1 samples it plays.
std::string PokeLine(int number, const PlayLayout& layout) {
  const unsigned base = layout.baseParameter;
  const unsigned count = layout.countParameter;
  const unsigned sound = layout.soundAddress;
  return Line(number, "POKE " + Hex(base) + "," + Hex(sound >> 8) + ":POKE " + Hex(base + 1) + "," +
                          Hex(sound & 0xFF) + ":POKE " + Hex(count) + ",INT((C-1)/256):POKE " +
                          Hex(count + 1) + ",(C-1) MOD 256");
}

// LOADM reads the byte after an image's count bytes (its last sample) as
// the mark of another block, and may end in an error with every byte in
// place. So an error in the sound's LOADM puts the wait byte back and plays
// the sound all the same; any other error is shown, and `otherwise` says
// what follows it.
std::vector<std::string> ErrorLines(int loadLine, int playLine, const std::string& otherwise,
                                    const PlayLayout& layout) {
  return {
      Line(kErrorLine, "IF ERL=" + std::to_string(loadLine) + " THEN POKE " +
                           Hex(layout.soundAddress) + ",W:RESUME " + std::to_string(playLine)),
      Line(kErrorLine + 10, "PRINT \"Error\";ERR;\"in line\";ERL:" + otherwise),
  };
}

void Append(std::vector<std::string>& lines, const std::vector<std::string>& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

constexpr const char* kTitle = "PRINT \"tonebake PLAY (BREAK does not stop a sound)\"";

}  // namespace

namespace {

// A PLAY's text without its DATA lines, up to the disk's end mark (which
// the disk adds; the sector's padding follows it): what stays the same
// whatever the sounds.
std::string PlayFrame(const std::string& text) {
  const std::size_t mark = text.find('\x1A');
  const std::string whole = mark == std::string::npos ? text : text.substr(0, mark);
  std::string frame;
  for (std::size_t at = 0; at < whole.size();) {
    std::size_t next = whole.find('\r', at);
    next = next == std::string::npos ? whole.size() : next + 1;
    next += next < whole.size() && whole[next] == '\n' ? 1 : 0;
    const std::string line = whole.substr(at, next - at);
    const std::size_t digits = line.find_first_not_of("0123456789");
    if (digits == 0 || digits == std::string::npos || line.compare(digits, 6, " DATA ") != 0) {
      frame += line;
    }
    at = next;
  }
  return frame;
}

std::uint64_t Fnv1a(const std::string& text) {
  std::uint64_t hash = 0xCBF29CE484222325u;
  for (const char c : text) {
    hash = (hash ^ static_cast<std::uint8_t>(c)) * 0x100000001B3u;
  }
  return hash;
}

// The frames of the PLAY earlier versions wrote, before PLAYER moved to
// &H2000 (no error lines, DATA of three values): on disk, and on tape (then
// still in the disk's form). FNV-1a, 64 bits.
constexpr std::uint64_t kEarlierFrames[] = {0x582A2B916AFB0E9Bu, 0xD8FDED27B661EF98u};

}  // namespace

bool IsTonebakePlay(const std::vector<std::uint8_t>& text, const PlayLayout& layout) {
  const std::string frame = PlayFrame(std::string(text.begin(), text.end()));
  if (frame == PlayFrame(PlayProgram({}, "1:", layout)) ||
      frame == PlayFrame(TapePlayProgram({}, layout))) {
    return true;
  }
  const std::uint64_t hash = Fnv1a(frame);
  return std::find(std::begin(kEarlierFrames), std::end(kEarlierFrames), hash) !=
         std::end(kEarlierFrames);
}

std::vector<std::string> ListedSounds(const std::vector<std::uint8_t>& text) {
  const std::string whole(text.begin(), std::find(text.begin(), text.end(), 0x1A));
  std::vector<std::string> names;
  const std::string data = " DATA \"";
  for (std::size_t at = whole.find(data); at != std::string::npos; at = whole.find(data, at + 1)) {
    const std::size_t begin = at + data.size();
    const std::size_t end = whole.find('"', begin);
    if (end != std::string::npos && end > begin) {
      names.push_back(whole.substr(begin, end - begin));
    }
  }
  return names;
}

bool LooksLikeTonebakePlay(const std::vector<std::uint8_t>& text) {
  // Its first lines: CLEAR, PLAYER's LOADM, then the title.
  constexpr std::size_t kWithin = 200;
  const std::string start(
      text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min(text.size(), kWithin)));
  const std::string title = std::string(kTitle) + "\r";
  return (start.rfind("\r\n10 CLEAR ,", 0) == 0 || start.rfind("\r10 CLEAR ,", 0) == 0) &&
         start.find("20 LOADM ") != std::string::npos && start.find(title) != std::string::npos;
}

std::string PlayProgram(const std::vector<MenuSound>& sounds, const std::string& drive,
                        const PlayLayout& layout) {
  std::vector<std::string> lines = {
      Line(10, "CLEAR ," + Hex(layout.basicTop) + ":D$=\"" + drive + "\""),
      Line(20, "LOADM D$+\"PLAYER\""),
      Line(30, "ON ERROR GOTO " + std::to_string(kErrorLine) + ":" + kTitle),
      Line(40, "RESTORE:N=0"),
      Line(50, "READ N$,C,W,S:IF N$=\"\" THEN 80"),
      Line(60, "N=N+1:PRINT N;N$;S;\"s\""),
      Line(70, "GOTO 50"),
      Line(80, "IF N=0 THEN PRINT \"No sounds on this disk\":END"),
      Line(90, "INPUT \"Sound (0 ends)\";K"),
      Line(100, "IF K<1 OR K>N THEN END"),
      Line(110, "RESTORE:FOR I=1 TO K:READ N$,C,W,S:NEXT"),
      Line(120, "LOADM D$+N$," + Hex(layout.soundAddress)),
      PokeLine(130, layout),
      Line(140, "EXEC " + Hex(layout.playerAddress)),
      Line(150, "GOTO 90"),
  };
  Append(lines, ErrorLines(120, 130, "RESUME 90", layout));
  Append(lines, DataLines(sounds, layout.clockHz));
  return DiskProgramText(lines);
}

std::string TapePlayProgram(const std::vector<MenuSound>& sounds, const PlayLayout& layout) {
  std::vector<std::string> lines = {
      Line(10, "CLEAR ," + Hex(layout.basicTop)),
      Line(20, "LOADM \"CAS0:PLAYER\""),
      Line(30, "ON ERROR GOTO " + std::to_string(kErrorLine) + ":" + kTitle),
      Line(40, "READ N$,C,W,S:IF N$=\"\" THEN END"),
      Line(50, "PRINT N$;S;\"s\":LOADM \"CAS0:\"+N$," + Hex(layout.soundAddress)),
      PokeLine(60, layout),
      Line(70, "EXEC " + Hex(layout.playerAddress)),
      Line(80, "GOTO 40"),
  };
  // A tape has no menu to go back to: the tape is where it is.
  Append(lines, ErrorLines(50, 60, "END", layout));
  Append(lines, DataLines(sounds, layout.clockHz));
  return TapeProgramText(lines);
}

}  // namespace tonebake::fbasic
