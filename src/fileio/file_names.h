#ifndef TONEBAKE_FILEIO_FILE_NAMES_H
#define TONEBAKE_FILEIO_FILE_NAMES_H

#include <string>

namespace tonebake {

// A hidden name beside `target`, for a file of this program's own: the
// target's name between "." and `suffix`. A name too long for its directory
// keeps less of the target's name, cut on a whole character, and a hash of
// the whole name, so that every target has one of its own; the suffix keeps
// it apart from others.
std::string SiblingName(const std::string& target, const std::string& suffix);

// Whether two names stand for one file: the same file once links are
// followed (device and inode, or volume and index), or, for names of files
// that do not exist yet, the same name in the same directory.
bool SameFile(const std::string& a, const std::string& b);

// Whether `path` is the regular file that standard output writes to.
bool IsStandardOutput(const std::string& path);

// Whether writing to `path` writes where standard output does, a pipe or
// a terminal included (/dev/stdout, say).
bool NamesStandardOutput(const std::string& path);

}  // namespace tonebake

#endif  // TONEBAKE_FILEIO_FILE_NAMES_H
