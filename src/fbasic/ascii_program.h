#ifndef TONEBAKE_FBASIC_ASCII_PROGRAM_H
#define TONEBAKE_FBASIC_ASCII_PROGRAM_H

#include <string>
#include <vector>

// A BASIC program kept as ASCII text, in the form F-BASIC saves it.
namespace tonebake::fbasic {

// On disk: CR LF, then every line followed by CR LF (the end mark 0x1A is
// the disk file's, added when it is stored).
std::string DiskProgramText(const std::vector<std::string>& lines);

// On tape: CR, then every line followed by CR alone, and no end mark.
std::string TapeProgramText(const std::vector<std::string>& lines);

}  // namespace tonebake::fbasic

#endif  // TONEBAKE_FBASIC_ASCII_PROGRAM_H
