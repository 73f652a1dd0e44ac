#include "fbasic/machine_language.h"

namespace tonebake::fbasic {

std::vector<std::uint8_t> MachineLanguageFile(const std::vector<std::uint8_t>& bytes,
                                              std::uint16_t loadAddress,
                                              std::uint16_t execAddress) {
  const auto length = static_cast<std::uint16_t>(bytes.size());
  std::vector<std::uint8_t> file;
  file.reserve(bytes.size() + 2 * kBlockHeaderSize);
  const auto put16 = [&file](std::uint16_t value) {
    file.push_back(static_cast<std::uint8_t>(value >> 8));
    file.push_back(static_cast<std::uint8_t>(value));
  };
  file.push_back(kBlockFlag);
  put16(length);
  put16(loadAddress);
  file.insert(file.end(), bytes.begin(), bytes.end());
  file.push_back(kEndFlag);
  put16(0x0000);
  put16(execAddress);
  return file;
}

bool FirstBlock(const std::vector<std::uint8_t>& file, Block& block) {
  if (file.size() < kBlockHeaderSize || file[0] != kBlockFlag) {
    return false;
  }
  block.length = static_cast<std::uint16_t>(file[1] << 8 | file[2]);
  block.address = static_cast<std::uint16_t>(file[3] << 8 | file[4]);
  block.data = kBlockHeaderSize;
  return file.size() - kBlockHeaderSize >= block.length;
}

}  // namespace tonebake::fbasic
