#include "cli/command_line.h"

#include <algorithm>

namespace tonebake {
namespace {

constexpr const char* kEndOfOptions = "--";

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsOption(const std::string& argument, bool slashStartsOption) {
  return !argument.empty() && (argument[0] == '-' || (slashStartsOption && argument[0] == '/'));
}

// Reads an unsigned 32-bit pattern as two's complement without relying on
// implementation-defined conversions: 2^32 is taken off when the top bit is
// set, so the value converted is always in range.
std::int32_t AsSigned32(std::uint32_t value) {
  const std::int64_t wrap = static_cast<std::int64_t>(value >> 31) << 32;
  return static_cast<std::int32_t>(static_cast<std::int64_t>(value) - wrap);
}

void TakeFileName(const std::string& argument, RunRequest& request) {
  if (!request.inputArg) {
    request.inputArg = argument;
  } else if (!request.outputArg) {
    request.outputArg = argument;
  }
}

void TakeOption(const std::string& option, ScannedArguments& scanned) {
  const char letter = option[1];  // '\0' for a bare "-" or "/": a string ends in one
  switch (letter) {
    case '?':
    case 'H':
    case 'h':
      ++scanned.helpRequests;
      break;
    case 'W':
    case 'w':
      scanned.request.waitSetting =
          std::clamp(ParseWaitNumber(option.c_str() + 2), std::int32_t{0}, kMaxWait);
      break;
    default:
      break;  // unknown options are ignored without a message
  }
}

}  // namespace

std::int32_t ParseWaitNumber(const char* text) {
  while (IsWhiteSpace(*text)) {
    ++text;
  }
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') {
    ++text;
  }
  std::uint32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10u + static_cast<std::uint32_t>(*text - '0');
  }
  return AsSigned32(negative ? 0u - value : value);
}

namespace {

bool IsBareWaitOption(const std::string& argument, bool slashStartsOption) {
  return argument.size() == 2 && IsOption(argument, slashStartsOption) &&
         (argument[1] == 'w' || argument[1] == 'W');
}

bool IsDigitsOnly(const std::string& argument) {
  return !argument.empty() && argument.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

ScannedArguments ScanArguments(const std::vector<std::string>& arguments, bool slashStartsOption) {
  ScannedArguments scanned;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!optionsEnded && !scanned.waitNumberApart && i + 1 < arguments.size() &&
        IsBareWaitOption(argument, slashStartsOption) && IsDigitsOnly(arguments[i + 1])) {
      scanned.waitOption = argument;
      scanned.waitNumberApart = arguments[i + 1];
    }
    if (!optionsEnded && argument == kEndOfOptions) {
      optionsEnded = true;
    } else if (!optionsEnded && argument == "--help") {
      scanned.longHelp = true;
    } else if (!optionsEnded && argument == "--version") {
      scanned.longVersion = true;
    } else if (!optionsEnded && IsOption(argument, slashStartsOption)) {
      TakeOption(argument, scanned);
    } else {
      TakeFileName(argument, scanned.request);
    }
  }
  return scanned;
}

}  // namespace tonebake
