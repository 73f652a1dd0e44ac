// Arbitrary bytes as a loaded input file: header check, wait selection and
// image building in memory, with the invariants every result must keep.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cli/conversion.h"
#include "fm7pcm/pcm_image.h"
#include "fm7pcm/wait_table.h"
#include "fuzz/fuzz_check.h"
#include "wave/byte_order.h"

namespace {

using tonebake::ReadLittleEndian16;
using tonebake::ReadLittleEndian32;

// What an accepted file must look like, stated from the file format rather
// than from the checking code.
bool LooksAcceptable(const std::uint8_t* data, std::size_t size) {
  return size >= 44 && ReadLittleEndian32(data + 4) + 8u == size &&
         std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVE", 4) == 0 &&
         std::memcmp(data + 12, "fmt ", 4) == 0 && ReadLittleEndian16(data + 20) == 1 &&
         ReadLittleEndian16(data + 22) == 1 && ReadLittleEndian16(data + 34) == 8 &&
         ReadLittleEndian32(data + 40) <= size - 44;
}

void CheckImage(const std::uint8_t* data, std::uint8_t wait, const tonebake::ByteBuffer& buffer) {
  const std::uint32_t count = ReadLittleEndian32(data + 40);
  FUZZ_CHECK(buffer.length == std::size_t{count} + 11);
  const std::uint8_t* image = buffer.bytes.get();
  FUZZ_CHECK(image[0] == 0 && image[3] == 0 && image[4] == 0);
  FUZZ_CHECK(image[1] == static_cast<std::uint8_t>(count >> 8));
  FUZZ_CHECK(image[2] == static_cast<std::uint8_t>(count));
  FUZZ_CHECK(image[5] == wait);
  FUZZ_CHECK(count == 0 || std::memcmp(image + 6, data + 44, count) == 0);
  const std::uint8_t trailer[] = {0xFF, 0, 0, 0, 0};
  FUZZ_CHECK(std::memcmp(image + 6 + count, trailer, sizeof trailer) == 0);
}

void ConvertWith(const std::uint8_t* data, std::size_t size, std::int32_t waitSetting) {
  tonebake::ByteBuffer image;
  const auto length = static_cast<std::uint32_t>(size);
  const tonebake::RunResult result = tonebake::ConvertWaveToImage(data, length, waitSetting, image);
  FUZZ_CHECK(result == tonebake::Ok || result == tonebake::NotWave ||
             result == tonebake::NotLinearPcm || result == tonebake::TooManyChannels ||
             result == tonebake::Not8Bit);
  FUZZ_CHECK((result == tonebake::Ok) == LooksAcceptable(data, size));
  if (result != tonebake::Ok) {
    FUZZ_CHECK(image.bytes == nullptr && image.length == 0);
    return;
  }
  const std::uint8_t wait = waitSetting < 0 ? tonebake::SelectWait(ReadLittleEndian32(data + 24))
                                            : static_cast<std::uint8_t>(waitSetting);
  FUZZ_CHECK(wait <= 63 || waitSetting >= 0);
  CheckImage(data, wait, image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // libFuzzer hands over a buffer of exactly `size` bytes, so any read past
  // it is caught by the address sanitizer.
  ConvertWith(data, size, tonebake::kAutomaticWait);
  ConvertWith(data, size, static_cast<std::int32_t>(size % 256));
  return 0;
}
