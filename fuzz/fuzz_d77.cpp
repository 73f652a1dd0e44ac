// Arbitrary bytes as an F-BASIC disk: either a whole D77 file, or changes of
// single bytes to a disk holding three files (so that a few bytes of input
// reach any field). Whatever the disk, a change to one file never changes
// another: after a successful add or remove, every other file reads back as
// it was, and the disk still opens.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "d77/d77_image.h"
#include "d77/fbasic_disk.h"
#include "fuzz/fuzz_check.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace tonebake::d77;

Bytes BaseDisk() {
  Bytes image = MakeBlankDataDisk();
  Disk disk;
  bool more = false;
  disk.Open(image, more);
  AddFile(disk, "A", Bytes(300, 0x11), false);
  AddFile(disk, "B", Bytes(5000, 0x22), false);
  AddFile(disk, "C", Bytes(10, 0x33), false);
  return image;
}

// Each 4 bytes: a 24-bit offset (little-endian) into the disk and a value.
Bytes Patched(const std::uint8_t* data, std::size_t size) {
  static const Bytes base = BaseDisk();
  Bytes image = base;
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    const std::size_t offset = data[i] + 256u * data[i + 1] + 65536u * data[i + 2];
    if (offset < image.size()) {
      image[offset] = data[i + 3];
    }
  }
  return image;
}

// Every file that can be read, by name; names on the disk twice are left
// out, as only the first of them can be reached.
std::map<std::string, Bytes> ReadAll(const Disk& disk) {
  std::map<std::string, Bytes> contents;
  std::vector<FileEntry> files;
  if (ListFiles(disk, files) != DiskDone) {
    return contents;
  }
  std::map<std::string, int> seen;
  for (const FileEntry& file : files) {
    ++seen[file.name];
  }
  for (const FileEntry& file : files) {
    Bytes content;
    if (seen[file.name] == 1 && ReadFile(disk, file.name, content) == DiskDone) {
      contents[file.name] = content;
    }
  }
  return contents;
}

// After a change: the disk still opens, and every file but `changed` reads
// back as before.
void CheckOthersUnchanged(Bytes& image, const std::map<std::string, Bytes>& before,
                          const std::string& changed) {
  Disk reopened;
  bool more = false;
  FUZZ_CHECK(reopened.Open(image, more) == DiskOk);
  const std::map<std::string, Bytes> after = ReadAll(reopened);
  for (const auto& [name, content] : before) {
    if (name != changed) {
      const auto found = after.find(name);
      FUZZ_CHECK(found != after.end() && found->second == content);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes image = size >= kHeaderSize ? Bytes(data, data + size) : Patched(data, size);
  Disk disk;
  bool more = false;
  if (disk.Open(image, more) != DiskOk) {
    return 0;
  }
  const std::map<std::string, Bytes> before = ReadAll(disk);
  const Bytes added(size % 7000, 0x5A);
  if (AddFile(disk, "NEW", added, false) == DiskDone) {
    CheckOthersUnchanged(image, before, "NEW");
    Disk reopened;
    reopened.Open(image, more);
    Bytes back;
    FUZZ_CHECK(ReadFile(reopened, "NEW", back) == DiskDone);
    FUZZ_CHECK(back.size() >= added.size() &&
               Bytes(back.begin(), back.begin() + static_cast<std::ptrdiff_t>(added.size())) ==
                   added);
  }
  if (!before.empty()) {
    Disk again;
    again.Open(image, more);
    const std::map<std::string, Bytes> current = ReadAll(again);
    const std::string removed = before.begin()->first;
    if (RemoveFile(again, removed) == DiskDone) {
      CheckOthersUnchanged(image, current, removed);
    }
  }
  return 0;
}
