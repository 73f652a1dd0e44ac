#include "fileio/file_names.h"

#include "fileio/os_file.h"

namespace tonebake {

std::string SiblingName(const std::string& target, const std::string& suffix) {
  const std::size_t directoryLength = os_file::DirectoryLength(target);
  const std::string directory = target.substr(0, directoryLength);
  const std::string name = target.substr(directoryLength);
  const std::size_t limit = os_file::NameLimit(directory);
  const std::size_t room = limit > suffix.size() + 1 ? limit - suffix.size() - 1 : 0;
  return directory + "." + os_file::CutName(name, room) + suffix;
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
  if (!os_file::SameNameText(finalA.substr(splitA), finalB.substr(splitB))) {
    return false;
  }
  const std::string directoryA = splitA == 0 ? "." : finalA.substr(0, splitA);
  const std::string directoryB = splitB == 0 ? "." : finalB.substr(0, splitB);
  return os_file::Identify(directoryA.c_str(), first) &&
         os_file::Identify(directoryB.c_str(), second) && first == second;
}

}  // namespace tonebake
