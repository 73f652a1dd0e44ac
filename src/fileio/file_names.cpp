#include "fileio/file_names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "fileio/os_file.h"

namespace tonebake {

namespace {

// FNV-1a, 32 bits: a short mark of a whole name.
std::uint32_t NameHash(const std::string& name) {
  std::uint32_t hash = 2166136261u;
  for (const char c : name) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  return hash;
}

}  // namespace

std::string SiblingName(const std::string& target, const std::string& suffix) {
  const std::size_t directoryLength = os_file::DirectoryLength(target);
  const std::string directory = target.substr(0, directoryLength);
  const std::string name = target.substr(directoryLength);
  const std::size_t limit = os_file::NameLimit(directory);
  const std::size_t room = limit > suffix.size() + 1 ? limit - suffix.size() - 1 : 0;
  if (name.size() <= room) {
    return directory + "." + name + suffix;
  }
  // Cut, two long names that start alike would share it: a hash of the
  // whole name keeps them apart.
  char mark[16];
  std::snprintf(mark, sizeof mark, "~%08X", static_cast<unsigned>(NameHash(name)));
  const std::size_t markLength = std::strlen(mark);
  return directory + "." + os_file::CutName(name, room > markLength ? room - markLength : 0) +
         mark + suffix;
}

bool IsStandardOutput(const std::string& path) {
  os_file::FileId output;
  os_file::FileId named;
  return os_file::IdentifyStandardOutput(output) && os_file::Identify(path.c_str(), named) &&
         output == named;
}

namespace {

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

bool NamesStandardOutput(const std::string& path) {
  os_file::FileId output;
  os_file::FileId named;
  return os_file::IdentifyStandardOutputStream(output) && os_file::Identify(path.c_str(), named) &&
         output == named;
}

bool SameFile(const std::string& a, const std::string& b) {
  os_file::FileId first;
  os_file::FileId second;
  const bool firstExists = os_file::Identify(a.c_str(), first);
  const bool secondExists = os_file::Identify(b.c_str(), second);
  if (firstExists || secondExists) {
    return firstExists && secondExists && first == second;
  }
  // Neither is there yet: where each would be made.
  const std::string finalA = os_file::FollowLinks(a);
  const std::string finalB = os_file::FollowLinks(b);
  const std::size_t splitA = os_file::DirectoryLength(finalA);
  const std::size_t splitB = os_file::DirectoryLength(finalB);
  const std::string nameA = finalA.substr(splitA);
  const std::string nameB = finalB.substr(splitB);
  const bool sameName = os_file::SameNameText(nameA, nameB);
  // Names that differ only in case are one file in a folder that folds
  // case (macOS, a FAT stick): asked only then.
  if (!sameName && !EqualIgnoringCase(nameA, nameB)) {
    return false;
  }
  const std::string directoryA = splitA == 0 ? "." : finalA.substr(0, splitA);
  const std::string directoryB = splitB == 0 ? "." : finalB.substr(0, splitB);
  return os_file::Identify(directoryA.c_str(), first) &&
         os_file::Identify(directoryB.c_str(), second) && first == second &&
         (sameName || os_file::FolderFoldsCase(finalA.substr(0, splitA)));
}

}  // namespace tonebake
