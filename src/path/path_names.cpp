#include "path/path_names.h"

namespace tonebake {
namespace {

constexpr std::size_t kNotFound = std::string::npos;

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

bool HasDrive(const std::string& path) {
  return path.size() >= 2 && path[1] == ':';
}

// Positions found by one multibyte-aware scan of a path.
struct ScanMarks {
  std::size_t afterLastSeparator = 0;  // 0 when there is no separator
  std::size_t lastDot = kNotFound;
  std::size_t lastCharStart = kNotFound;
};

ScanMarks ScanPath(const std::string& text, LeadByteRule leadByte) {
  ScanMarks marks;
  std::size_t i = 0;
  while (i < text.size()) {
    marks.lastCharStart = i;
    if (leadByte(static_cast<unsigned char>(text[i]))) {
      // Stepped over with its second byte, which is then neither a separator
      // nor a dot; a lead byte without one steps past the end of the text.
      i += 2;
      continue;
    }
    if (IsSeparator(text[i])) {
      marks.afterLastSeparator = i + 1;
    } else if (text[i] == '.') {
      marks.lastDot = i;
    }
    ++i;
  }
  return marks;
}

bool EndsInSeparator(const std::string& text, LeadByteRule leadByte) {
  const ScanMarks marks = ScanPath(text, leadByte);
  return marks.lastCharStart != kNotFound && marks.afterLastSeparator == marks.lastCharStart + 1;
}

}  // namespace

bool NoLeadBytes(unsigned char) {
  return false;
}

bool IsShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

PathParts SplitPath(const std::string& path, LeadByteRule leadByte) {
  PathParts parts;
  std::string rest = path;
  if (HasDrive(path)) {
    parts.drive = path.substr(0, 2);
    rest = path.substr(2);
  }
  const ScanMarks marks = ScanPath(rest, leadByte);
  parts.directory = rest.substr(0, marks.afterLastSeparator);
  const std::string fileName = rest.substr(marks.afterLastSeparator);
  if (marks.lastDot != kNotFound && marks.lastDot >= marks.afterLastSeparator) {
    const std::size_t dotInName = marks.lastDot - marks.afterLastSeparator;
    parts.baseName = fileName.substr(0, dotInName);
    parts.extension = fileName.substr(dotInName);
  } else {
    parts.baseName = fileName;
  }
  return parts;
}

std::string MakePath(const PathParts& parts, LeadByteRule leadByte) {
  std::string path;
  if (!parts.drive.empty()) {
    path += parts.drive[0];
    path += ':';
  }
  if (!parts.directory.empty()) {
    path += parts.directory;
    if (!EndsInSeparator(parts.directory, leadByte)) {
      path += '\\';
    }
  }
  path += parts.baseName;
  if (!parts.extension.empty()) {
    if (parts.extension[0] != '.') {
      path += '.';
    }
    path += parts.extension;
  }
  return path;
}

DerivedNames DeriveNames(const std::string& inputArg, const std::optional<std::string>& outputArg,
                         LeadByteRule leadByte) {
  DerivedNames names;
  PathParts input = SplitPath(inputArg, leadByte);
  if (input.extension.empty()) {
    input.extension = kInputExtension;
  }
  names.inputPath = MakePath(input, leadByte);

  // Without an output argument the output sits beside the input, whatever the
  // input's extension was; with one, its directory is its own.
  PathParts output = input;
  output.extension = kOutputExtension;
  if (outputArg) {
    output = SplitPath(*outputArg, leadByte);
    if (output.extension.empty()) {
      output.extension = kOutputExtension;
    }
  }
  names.outputPath = MakePath(output, leadByte);
  return names;
}

std::string ShowPath(const std::string& path) {
  std::string shown;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      constexpr char kHex[] = "0123456789ABCDEF";
      shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace tonebake
