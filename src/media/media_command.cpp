#include "media/media_command.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "media/disk_medium.h"

namespace tonebake::media {
namespace {

constexpr int kSuccess = 0;
constexpr int kBadUsage = 1;

// Which verbs an option goes with.
const struct {
  const char* option;
  std::vector<const char*> verbs;
} kOptionVerbs[] = {{"--replace", {"add", "player", "boot"}},
                    {"--raw", {"add"}},
                    {"--psg", {"player", "boot"}},
                    {"--rate", {"wav"}},
                    {"--remove", {"boot"}}};

bool Given(const MediaCommand& command, const std::string& option) {
  return option == "--replace"  ? command.replace
         : option == "--raw"    ? command.raw
         : option == "--psg"    ? command.profile.has_value()
         : option == "--remove" ? command.remove
                                : command.rate.has_value();
}

// Of `verbs`, those the program has, as "'add'", "'add' or 'player'",
// "'add', 'player' or 'boot'".
std::string VerbList(const std::vector<const char*>& verbs, const MediaVerb* programVerbs,
                     std::size_t programVerbCount) {
  std::vector<std::string> had;
  for (const char* verb : verbs) {
    for (std::size_t v = 0; v < programVerbCount; ++v) {
      if (std::string(programVerbs[v].name) == verb) {
        had.push_back(std::string("'") + verb + "'");
      }
    }
  }
  std::string list;
  for (std::size_t i = 0; i < had.size(); ++i) {
    list += (i == 0 ? "" : i + 1 == had.size() ? " or " : ", ") + had[i];
  }
  return list;
}

}  // namespace

std::vector<std::string> SplitOptionValues(const std::vector<std::string>& arguments,
                                           const std::vector<std::string>& withValues) {
  std::vector<std::string> split;
  bool ended = false;
  for (const std::string& argument : arguments) {
    const std::size_t equals = argument.find('=');
    ended = ended || argument == "--";
    const bool takesValue =
        equals != std::string::npos && std::find(withValues.begin(), withValues.end(),
                                                 argument.substr(0, equals)) != withValues.end();
    if (!ended && takesValue) {
      split.push_back(argument.substr(0, equals));
      split.push_back(argument.substr(equals + 1));
    } else {
      split.push_back(argument);
    }
  }
  return split;
}

int CheckAddOperands(const Reporter& report, const MediaCommand& command, const char* medium) {
  if (IsImageFile(command.operands[0])) {
    return ReportUsage(report, command.operands[0] + " is an FM-7 PCM image: the " + medium +
                                   " comes first, then the file to add");
  }
  if (command.operands[1] == kStandardStream && command.operands.size() < 3) {
    return ReportUsage(report, "a NAME is needed to add standard input ('-')");
  }
  return -1;
}

int ReportUsage(const Reporter& report, const std::string& why) {
  report.Say("%s (see '%s --help')\n", why.c_str(), report.program());
  return kBadUsage;
}

int RunMediaCommand(const Reporter& report, const char* usage,
                    const std::vector<std::string>& given, const MediaVerb* verbs,
                    std::size_t verbCount) {
  const std::vector<std::string> arguments = SplitOptionValues(given, {"--psg", "--rate"});
  MediaCommand command;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      (command.verb.empty() ? command.verb : command.operands.emplace_back()) = argument;
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      std::fputs(usage, stdout);
      return kSuccess;
    } else if (argument == "--version") {
      std::printf("%s %s\n", report.program(), TONEBAKE_VERSION);
      return kSuccess;
    } else if (argument == "--replace") {
      command.replace = true;
    } else if (argument == "--raw") {
      command.raw = true;
    } else if (argument == "--remove") {
      command.remove = true;
    } else if (argument == "--psg") {
      player::PsgProfile profile = player::PsgProfile::Fm7;
      if (i + 1 == arguments.size() || !player::ParsePsgProfile(arguments[i + 1], profile)) {
        return ReportUsage(report, "--psg takes fm7 or fm77av");
      }
      command.profile = profile;
      ++i;
    } else if (argument == "--rate" && i + 1 < arguments.size()) {
      command.rate = arguments[++i];
    } else {
      return ReportUsage(report, argument == "--rate" ? "option '--rate' needs a value"
                                                      : "unknown option '" + argument + "'");
    }
  }
  for (std::size_t v = 0; v < verbCount; ++v) {
    const MediaVerb& verb = verbs[v];
    if (command.verb != verb.name) {
      continue;
    }
    if (command.operands.size() < verb.minOperands || command.operands.size() > verb.maxOperands) {
      return ReportUsage(report, "wrong number of names for '" + command.verb + "'");
    }
    for (const auto& option : kOptionVerbs) {
      const bool goesWith =
          std::find_if(option.verbs.begin(), option.verbs.end(), [&command](const char* name) {
            return command.verb == name;
          }) != option.verbs.end();
      if (Given(command, option.option) && !goesWith) {
        const std::string list = VerbList(option.verbs, verbs, verbCount);
        return ReportUsage(report, list.empty()
                                       ? "unknown option '" + std::string(option.option) + "'"
                                       : std::string(option.option) + " goes with " + list);
      }
    }
    return verb.run(command);
  }
  return ReportUsage(
      report, command.verb.empty() ? "no command" : "unknown command '" + command.verb + "'");
}

}  // namespace tonebake::media
