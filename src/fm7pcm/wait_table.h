#ifndef TONEBAKE_FM7PCM_WAIT_TABLE_H
#define TONEBAKE_FM7PCM_WAIT_TABLE_H

#include <array>
#include <cstdint>

namespace tonebake {

constexpr std::size_t kWaitRateCount = 64;

// Entry w is the FM-7 playback rate, in samples per second, that PCM wait w
// gives. The larger the wait, the slower the playback; the entries fall
// strictly.
extern const std::array<std::uint32_t, kWaitRateCount> WaitRateTable;

// The largest wait whose playback rate is still at least `sampleRate`, so the
// FM-7 never plays slower than the recording. Rates above the fastest entry
// give 0; rates at or below the slowest entry (0 included) give 63.
std::uint8_t SelectWait(std::uint32_t sampleRate);

}  // namespace tonebake

#endif  // TONEBAKE_FM7PCM_WAIT_TABLE_H
