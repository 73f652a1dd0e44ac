#include "player/play_program.h"

#include <cstdio>

#include "player/player_code.h"
#include "player/psg_preview.h"

namespace tonebake::player {
namespace {

constexpr int kFirstDataLine = 1000;

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "&H%X", value);
  return text;
}

// The DATA lines from line 1000, and the empty one that ends them.
std::vector<std::string> DataLines(const std::vector<MenuSound>& sounds) {
  std::vector<std::string> lines;
  int number = kFirstDataLine;
  for (const MenuSound& sound : sounds) {
    // LOADM leaves count - 1 samples after the wait byte, each played in
    // 144 + 5w cycles.
    const double seconds =
        sound.count > 0 ? (sound.count - 1.0) * (144 + 5 * sound.wait) / kFm7ClockHz : 0.0;
    char data[64];
    std::snprintf(data, sizeof data, "%d DATA \"%s\",%u,%.2f", number, sound.name.c_str(),
                  static_cast<unsigned>(sound.count), seconds);
    lines.push_back(data);
    number += 10;
  }
  lines.push_back(std::to_string(number) + " DATA \"\",0,0");
  return lines;
}

std::string PokeLine(int number) {
  const unsigned base = kPlayerLoadAddress + player_offset::kBase;
  const unsigned count = kPlayerLoadAddress + player_offset::kCount;
  return std::to_string(number) + " POKE " + Hex(base) + "," + Hex(kSoundAddress >> 8) + ":POKE " +
         Hex(base + 1) + "," + Hex(kSoundAddress & 0xFF) + ":POKE " + Hex(count) +
         ",INT((C-1)/256):POKE " + Hex(count + 1) + ",(C-1) MOD 256";
}

std::string AsText(const std::vector<std::string>& lines) {
  std::string text = "\r\n";
  for (const std::string& line : lines) {
    text += line + "\r\n";
  }
  return text;
}

// PLAY's own lines, before the DATA lines. The player's parameters are
// POKEd at its load address + 2 (the wait byte's address) and + 4 (the
// count), high byte first.
std::vector<std::string> MenuLines(const std::string& drive) {
  const unsigned load = kPlayerLoadAddress;
  return {
      "10 CLEAR ," + Hex(load - 1) + ":D$=\"" + drive + "\"",
      "20 LOADM D$+\"PLAYER\"",
      "30 PRINT \"tonebake PLAY (BREAK does not stop a sound)\"",
      "40 RESTORE:N=0",
      "50 READ N$,C,S:IF N$=\"\" THEN 80",
      "60 N=N+1:PRINT N;N$;S;\"s\"",
      "70 GOTO 50",
      "80 IF N=0 THEN PRINT \"No sounds on this disk\":END",
      "90 INPUT \"Sound (0 ends)\";K",
      "100 IF K<1 OR K>N THEN END",
      "110 RESTORE:FOR I=1 TO K:READ N$,C,S:NEXT",
      "120 LOADM D$+N$," + Hex(kSoundAddress),
      PokeLine(130),
      "140 EXEC " + Hex(load),
      "150 GOTO 90",
  };
}

}  // namespace

std::string TapePlayProgram(const std::vector<MenuSound>& sounds) {
  std::vector<std::string> lines = {
      "10 CLEAR ," + Hex(kPlayerLoadAddress - 1u),
      "20 LOADM \"CAS0:PLAYER\"",
      "30 PRINT \"tonebake PLAY (BREAK does not stop a sound)\"",
      "40 READ N$,C,S:IF N$=\"\" THEN END",
      "50 PRINT N$;S;\"s\":LOADM \"CAS0:\"+N$," + Hex(kSoundAddress),
      PokeLine(60),
      "70 EXEC " + Hex(kPlayerLoadAddress),
      "80 GOTO 40",
  };
  const std::vector<std::string> data = DataLines(sounds);
  lines.insert(lines.end(), data.begin(), data.end());
  return AsText(lines);
}

std::string PlayProgram(const std::vector<MenuSound>& sounds, const std::string& drive) {
  std::vector<std::string> lines = MenuLines(drive);
  const std::vector<std::string> data = DataLines(sounds);
  lines.insert(lines.end(), data.begin(), data.end());
  return AsText(lines);
}

}  // namespace tonebake::player
