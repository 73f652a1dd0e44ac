#ifndef TONEBAKE_PLAYER_VOLUME_TABLE_H
#define TONEBAKE_PLAYER_VOLUME_TABLE_H

#include <array>
#include <cstdint>
#include <string>

// How the player turns an 8-bit sample into the volumes of the PSG's three
// channels, whose outputs add up.
namespace tonebake::player {

// The volume curve of the sound chip: the AY-3-8913 of the FM-7, or the
// 3 dB steps of the FM77AV's YM2203 (and of the most used emulator).
enum class PsgProfile { Fm7, Fm77av };

// "fm7" or "fm77av"; false for anything else.
bool ParsePsgProfile(const std::string& text, PsgProfile& profile);
const char* PsgProfileName(PsgProfile profile);

constexpr int kLevels = 16;
// The output of each level 0..15, full scale 1.
std::array<double, kLevels> LevelCurve(PsgProfile profile);

constexpr std::size_t kChannels = 3;
constexpr std::size_t kVolumeTableSize = kChannels * 256;

// Three tables of 256 levels, one per channel (A, B, C), each indexed by
// the sample XOR 0x80: the player reaches them with the sample as a signed
// offset from the middle of each. The sum of the three levels' outputs
// never falls as the sample rises.
using VolumeTable = std::array<std::uint8_t, kVolumeTableSize>;

// The player's tables: tuned to what the player really puts out, its three
// writes one after another, for plainly rounded audio (tools/tune_tables).
VolumeTable BuildVolumeTable(PsgProfile profile);

// Every sample gets the combination of levels whose sum is closest to
// sample / 255 of `top` (full scale 1 on each channel).
VolumeTable ClosestSumsVolumeTable(PsgProfile profile, double top);

// The tables of earlier versions, still found on disks and tapes: those
// that keep a full-scale sine cleanest if the three levels changed at once,
// the closest sums over the range that gives the best signal-to-noise
// ratio.
VolumeTable SineFittedVolumeTable(PsgProfile profile);

// The level of `channel` (0..2) for `sample`.
inline std::uint8_t LevelFor(const VolumeTable& table, std::size_t channel, std::uint8_t sample) {
  return table[channel * 256 + (sample ^ 0x80u)];
}

}  // namespace tonebake::player

#endif  // TONEBAKE_PLAYER_VOLUME_TABLE_H
