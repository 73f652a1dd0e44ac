#include "disk/disk_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "fileio/whole_file.h"

namespace tonebake::disk {
namespace {

bool Exists(const std::string& path) {
  const std::unique_ptr<FileAccess> access = MakeFileAccess();
  return !access || access->Inspect(path.c_str()) != FileKind::Missing;
}

}  // namespace

DiskExit LoadDisk(const char* program, const std::string& path, bool createMissing,
                  DiskFile& file) {
  file.path = path;
  if (createMissing && !Exists(path)) {
    file.bytes = d77::MakeBlankDataDisk();
  } else {
    ByteBuffer loaded;
    if (const std::int32_t code = LoadFile(path, loaded); code != 0) {
      std::fprintf(stderr, "%s: %s: cannot read: %s\n", program, path.c_str(),
                   DescribeFileError(code).c_str());
      return CannotRead;
    }
    file.bytes.assign(loaded.bytes.get(), loaded.bytes.get() + loaded.length);
  }
  bool more = false;
  switch (file.disk.Open(file.bytes, more)) {
    case d77::DiskOk:
      break;
    case d77::DiskNot2D:
      std::fprintf(stderr, "%s: %s: the media type is not 2D (F-BASIC data disks are 2D)\n",
                   program, path.c_str());
      return CannotRead;
    default:
      std::fprintf(stderr,
                   "%s: %s: damaged disk image: a size or an offset lies outside the file, or "
                   "a sector is missing\n",
                   program, path.c_str());
      return CannotRead;
  }
  if (more) {
    std::fprintf(stderr, "%s: %s: holds more than one disk; the first is used\n", program,
                 path.c_str());
  }
  return Success;
}

DiskExit SaveDisk(const char* program, const DiskFile& file) {
  const std::int32_t code =
      SaveFile(file.path, file.bytes.data(), static_cast<std::uint32_t>(file.bytes.size()));
  if (code != 0) {
    std::fprintf(stderr, "%s: %s: cannot write: %s; the disk is unchanged\n", program,
                 file.path.c_str(), DescribeFileError(code).c_str());
    return CannotWrite;
  }
  return Success;
}

std::string DescribeRefusal(d77::DiskResult result) {
  switch (result) {
    case d77::NameNotAllowed:
      return "F-BASIC cannot take that name (1 to 8 printable characters, no space, '\"' "
             "or ':')";
    case d77::NameTaken:
      return "a file of that name is on the disk already (--replace replaces it)";
    case d77::NameNotFound:
      return "no file of that name is on the disk";
    case d77::NoFreeClusters:
      return "not enough free space on the disk";
    case d77::NoFreeEntry:
      return "the directory is full";
    case d77::ChainDamaged:
      return "damaged disk image: a FAT chain loops or points past cluster 151";
    case d77::WriteProtectedDisk:
      return "the disk is write-protected";
    default:
      return "refused";
  }
}

DiskExit ReportRefusal(const char* program, const std::string& path, const char* action,
                       const std::string& name, d77::DiskResult result) {
  std::fprintf(stderr, "%s: %s: cannot %s %s: %s\n", program, path.c_str(), action, name.c_str(),
               DescribeRefusal(result).c_str());
  if (result == d77::NameNotAllowed) {
    return BadUsage;
  }
  return result == d77::ChainDamaged ? CannotRead : Refused;
}

DiskExit AddToDisk(const char* program, const std::string& path, const std::string& name,
                   const std::vector<std::uint8_t>& content, bool replace) {
  DiskFile file;
  if (const DiskExit loaded = LoadDisk(program, path, true, file); loaded != Success) {
    return loaded;
  }
  const d77::DiskResult added = d77::AddFile(file.disk, name, content, replace);
  if (added != d77::DiskDone) {
    return ReportRefusal(program, path, "add", name, added);
  }
  return SaveDisk(program, file);
}

std::string DefaultDiskName(const std::string& path, bool& cut) {
  const std::size_t slash = path.find_last_of("/\\");
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) {
    name.erase(dot);
  }
  for (char& c : name) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  cut = name.size() > d77::kNameLength;
  name.resize(std::min<std::size_t>(name.size(), d77::kNameLength));
  return name;
}

}  // namespace tonebake::disk
