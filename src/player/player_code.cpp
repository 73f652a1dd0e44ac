#include "player/player_code.h"

#include <algorithm>

#include "fbasic/machine_language.h"

namespace tonebake::player {

// Assembled by hand. DP is $FD inside, so "<$0E" is the PSG's data port
// $FD0E and "<$0D" its function port $FD0D (3 latch address, 2 write, 0
// inactive). A register is written in six stores: number to $FD0E, 3 and 0
// to $FD0D, value to $FD0E, 2 and 0 to $FD0D.
//
// The sample loop, from "loop" to "BNE loop": three register writes of 39,
// 39 and 41 cycles (119), LDB rounds 5, w + 1 delay rounds of DECB and BNE,
// 5 each, NOP 2, BRN 3, CMPX 7 and BNE 3: 119 + 5 + 5 (w + 1) + 15 =
// 144 + 5w for every sample, whatever its value. With w = 255 the round
// count is 0 and DECB makes it 256: 144 + 5 * 255.
const ListingLine kPlayerListing[] = {
    {0x000, 2, {0x20, 0x04}, 3, "BRA start"},
    {0x002, 2, {0x00, 0x00}, 0, "base: FDB 0  ; the wait byte's address (PLAY pokes it)"},
    {0x004, 2, {0x00, 0x00}, 0, "count: FDB 0  ; the number of samples (PLAY pokes it)"},
    {0x006, 2, {0x34, 0x7F}, 15, "start: PSHS U,Y,X,DP,B,A,CC"},
    {0x008, 2, {0x1A, 0x50}, 3, "ORCC #$50  ; IRQ and FIRQ masked"},
    {0x00A, 3, {0xEC, 0x8C, 0xF7}, 6, "LDD count,PCR"},
    {0x00D, 2, {0x26, 0x02}, 3, "BNE go"},
    {0x00F, 2, {0x35, 0xFF}, 17, "PULS CC,A,B,DP,X,Y,U,PC  ; no samples: back at once"},
    {0x011, 3, {0xAE, 0x8C, 0xEE}, 6, "go: LDX base,PCR"},
    {0x014, 2, {0x31, 0x8B}, 8, "LEAY D,X"},
    {0x016, 2, {0x31, 0x21}, 5, "LEAY 1,Y  ; the end: past the last sample"},
    {0x018, 5, {0x10, 0xAF, 0x8D, 0x00, 0xAE}, 11, "STY end,PCR"},
    {0x01D, 2, {0xE6, 0x80}, 6, "LDB ,X+  ; the wait; X at the first sample"},
    {0x01F, 1, {0x5C}, 2, "INCB  ; w + 1 delay rounds (256 when w = 255)"},
    {0x020, 4, {0xE7, 0x8D, 0x00, 0xA6}, 9, "STB rounds,PCR"},
    {0x024, 2, {0x86, 0xFD}, 2, "LDA #$FD"},
    {0x026, 2, {0x1F, 0x8B}, 6, "TFR A,DP  ; direct page on the PSG ports"},
    {0x028, 2, {0x86, 0x07}, 2, "LDA #7"},
    {0x02A, 2, {0xC6, 0xBF}, 2, "LDB #$BF  ; tone and noise off on A, B and C"},
    {0x02C, 3, {0x17, 0x00, 0x88}, 9, "LBSR psgw"},
    {0x02F, 2, {0x86, 0x05}, 2, "LDA #5  ; R5 down to R0"},
    {0x031, 2, {0x34, 0x02}, 6, "tone: PSHS A"},
    {0x033, 2, {0xC6, 0x0F}, 2, "LDB #$0F  ; a long tone period"},
    {0x035, 3, {0x17, 0x00, 0x7F}, 9, "LBSR psgw"},
    {0x038, 2, {0x35, 0x02}, 6, "PULS A"},
    {0x03A, 1, {0x4A}, 2, "DECA"},
    {0x03B, 2, {0x2A, 0xF4}, 3, "BPL tone"},
    {0x03D, 4, {0x31, 0x8D, 0x01, 0x0E}, 9, "LEAY tableA+128,PCR"},
    {0x041, 4, {0x33, 0x8D, 0x02, 0x0A}, 9, "LEAU tableB+128,PCR"},
    {0x045, 5, {0x10, 0xEF, 0x8D, 0x00, 0x83}, 11, "STS stack,PCR"},
    {0x04A,
     4,
     {0x32, 0x8D, 0x03, 0x01},
     9,
     "LEAS tableC+128,PCR  ; S is a table pointer until the end"},
    {0x04E, 1, {0x5F}, 2, "CLRB  ; B is 0 throughout the loop"},
    {0x04F, 2, {0x86, 0x08}, 2, "loop: LDA #8"},
    {0x051, 2, {0x97, 0x0E}, 4, "STA <$0E  ; register number"},
    {0x053, 2, {0x86, 0x03}, 2, "LDA #3"},
    {0x055, 2, {0x97, 0x0D}, 4, "STA <$0D  ; latch address"},
    {0x057, 2, {0xD7, 0x0D}, 4, "STB <$0D  ; inactive"},
    {0x059, 2, {0xA6, 0x84}, 4, "LDA ,X  ; the sample"},
    {0x05B, 2, {0xA6, 0xA6}, 5, "LDA A,Y  ; its level on this channel"},
    {0x05D, 2, {0x97, 0x0E}, 4, "STA <$0E  ; the level"},
    {0x05F, 2, {0x86, 0x02}, 2, "LDA #2"},
    {0x061, 2, {0x97, 0x0D}, 4, "STA <$0D  ; write"},
    {0x063, 2, {0xD7, 0x0D}, 4, "STB <$0D  ; inactive"},
    {0x065, 2, {0x86, 0x09}, 2, "LDA #9"},
    {0x067, 2, {0x97, 0x0E}, 4, "STA <$0E  ; register number"},
    {0x069, 2, {0x86, 0x03}, 2, "LDA #3"},
    {0x06B, 2, {0x97, 0x0D}, 4, "STA <$0D  ; latch address"},
    {0x06D, 2, {0xD7, 0x0D}, 4, "STB <$0D  ; inactive"},
    {0x06F, 2, {0xA6, 0x84}, 4, "LDA ,X  ; the sample"},
    {0x071, 2, {0xA6, 0xC6}, 5, "LDA A,U  ; its level on this channel"},
    {0x073, 2, {0x97, 0x0E}, 4, "STA <$0E  ; the level"},
    {0x075, 2, {0x86, 0x02}, 2, "LDA #2"},
    {0x077, 2, {0x97, 0x0D}, 4, "STA <$0D  ; write"},
    {0x079, 2, {0xD7, 0x0D}, 4, "STB <$0D  ; inactive"},
    {0x07B, 2, {0x86, 0x0A}, 2, "LDA #10"},
    {0x07D, 2, {0x97, 0x0E}, 4, "STA <$0E  ; register number"},
    {0x07F, 2, {0x86, 0x03}, 2, "LDA #3"},
    {0x081, 2, {0x97, 0x0D}, 4, "STA <$0D  ; latch address"},
    {0x083, 2, {0xD7, 0x0D}, 4, "STB <$0D  ; inactive"},
    {0x085, 2, {0xA6, 0x80}, 6, "LDA ,X+  ; the sample, and on to the next"},
    {0x087, 2, {0xA6, 0xE6}, 5, "LDA A,S  ; its level on this channel"},
    {0x089, 2, {0x97, 0x0E}, 4, "STA <$0E  ; the level"},
    {0x08B, 2, {0x86, 0x02}, 2, "LDA #2"},
    {0x08D, 2, {0x97, 0x0D}, 4, "STA <$0D  ; write"},
    {0x08F, 2, {0xD7, 0x0D}, 4, "STB <$0D  ; inactive"},
    {0x091, 3, {0xE6, 0x8C, 0x36}, 5, "LDB rounds,PCR"},
    {0x094, 1, {0x5A}, 2, "delay: DECB  ; 5 cycles a round; B is 0 again after"},
    {0x095, 2, {0x26, 0xFD}, 3, "BNE delay"},
    {0x097, 1, {0x12}, 2, "NOP  ; pads the loop to 144 + 5w"},
    {0x098, 2, {0x21, 0x00}, 3, "BRN *+2"},
    {0x09A, 3, {0xAC, 0x8C, 0x2E}, 7, "CMPX end,PCR"},
    {0x09D, 2, {0x26, 0xB0}, 3, "BNE loop"},
    {0x09F, 4, {0x10, 0xEE, 0x8C, 0x2A}, 7, "LDS stack,PCR"},
    {0x0A3, 2, {0x86, 0x08}, 2, "LDA #8"},
    {0x0A5, 1, {0x5F}, 2, "CLRB"},
    {0x0A6, 3, {0x17, 0x00, 0x0E}, 9, "LBSR psgw  ; silence"},
    {0x0A9, 2, {0x86, 0x09}, 2, "LDA #9"},
    {0x0AB, 1, {0x5F}, 2, "CLRB"},
    {0x0AC, 3, {0x17, 0x00, 0x08}, 9, "LBSR psgw  ; silence"},
    {0x0AF, 2, {0x86, 0x0A}, 2, "LDA #10"},
    {0x0B1, 1, {0x5F}, 2, "CLRB"},
    {0x0B2, 3, {0x17, 0x00, 0x02}, 9, "LBSR psgw  ; silence"},
    {0x0B5, 2, {0x35, 0xFF}, 17, "PULS CC,A,B,DP,X,Y,U,PC"},
    {0x0B7, 2, {0x97, 0x0E}, 4, "psgw: STA <$0E  ; register A gets B"},
    {0x0B9, 2, {0x86, 0x03}, 2, "LDA #3"},
    {0x0BB, 2, {0x97, 0x0D}, 4, "STA <$0D"},
    {0x0BD, 1, {0x4F}, 2, "CLRA"},
    {0x0BE, 2, {0x97, 0x0D}, 4, "STA <$0D"},
    {0x0C0, 2, {0xD7, 0x0E}, 4, "STB <$0E"},
    {0x0C2, 2, {0x86, 0x02}, 2, "LDA #2"},
    {0x0C4, 2, {0x97, 0x0D}, 4, "STA <$0D"},
    {0x0C6, 1, {0x4F}, 2, "CLRA"},
    {0x0C7, 2, {0x97, 0x0D}, 4, "STA <$0D"},
    {0x0C9, 1, {0x39}, 5, "RTS"},
    {0x0CA, 1, {0x00}, 0, "rounds: FCB 0  ; w + 1"},
    {0x0CB, 2, {0x00, 0x00}, 0, "end: FDB 0  ; past the last sample"},
    {0x0CD, 2, {0x00, 0x00}, 0, "stack: FDB 0  ; S while it is a table pointer"},
};
const std::size_t kPlayerListingLines = sizeof kPlayerListing / sizeof kPlayerListing[0];

std::vector<std::uint8_t> PlayerBytes(const VolumeTable& table) {
  std::vector<std::uint8_t> bytes;
  for (const ListingLine& line : kPlayerListing) {
    bytes.insert(bytes.end(), line.bytes, line.bytes + line.length);
  }
  bytes.insert(bytes.end(), table.begin(), table.end());
  return bytes;
}

std::vector<std::uint8_t> PlayerBytes(PsgProfile profile) {
  return PlayerBytes(BuildVolumeTable(profile));
}

namespace {

// The player's code byte for byte in the first block, whatever its tables.
bool HasPlayerCode(const std::vector<std::uint8_t>& file) {
  fbasic::Block block;
  if (!fbasic::FirstBlock(file, block) || block.length != kPlayerSize) {
    return false;
  }
  std::size_t at = block.data;
  for (const ListingLine& line : kPlayerListing) {
    if (!std::equal(line.bytes, line.bytes + line.length,
                    file.begin() + static_cast<std::ptrdiff_t>(at))) {
      return false;
    }
    at += line.length;
  }
  return true;
}

}  // namespace

bool IsTonebakePlayer(const std::vector<std::uint8_t>& file) {
  KnownTables known;
  return PlayerTables(file, known);
}

fbasic::PlayLayout PlayLayoutOfThePlayer() {
  return {kBasicTop,
          kPlayerLoadAddress,
          static_cast<std::uint16_t>(kPlayerLoadAddress + player_offset::kBase),
          static_cast<std::uint16_t>(kPlayerLoadAddress + player_offset::kCount),
          kSoundAddress,
          kFm7ClockHz};
}

bool PlayerTables(const std::vector<std::uint8_t>& file, KnownTables& known) {
  fbasic::Block block;
  if (!HasPlayerCode(file) || !fbasic::FirstBlock(file, block)) {
    return false;
  }
  const auto tables =
      file.begin() + static_cast<std::ptrdiff_t>(block.data + player_offset::kTables);
  // This version's tables, then the earlier versions'.
  for (VolumeTable (*const make)(PsgProfile) : {&BuildVolumeTable, &SineFittedVolumeTable}) {
    for (const PsgProfile profile : {PsgProfile::Fm7, PsgProfile::Fm77av}) {
      const VolumeTable table = make(profile);
      if (std::equal(table.begin(), table.end(), tables)) {
        known = {profile, table};
        return true;
      }
    }
  }
  return false;
}

bool CurrentPlayerFor(const std::vector<std::uint8_t>& file, std::vector<std::uint8_t>& current) {
  KnownTables known;
  if (!PlayerTables(file, known)) {
    return false;
  }
  current =
      fbasic::MachineLanguageFile(PlayerBytes(known.table), kPlayerLoadAddress, kPlayerLoadAddress);
  return true;
}

std::vector<std::uint8_t> PlayerFile(PsgProfile profile) {
  return fbasic::MachineLanguageFile(PlayerBytes(profile), kPlayerLoadAddress, kPlayerLoadAddress);
}

}  // namespace tonebake::player
