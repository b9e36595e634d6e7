#pragma once
// The tessel command line: parsing, the usage text and running a verb.
#include <optional>
#include <string>
#include <vector>

namespace tessel {

struct Invocation {
  std::string verb;                   // new, publish, settings, test, debug, run, help
  std::vector<std::string> operands;  // the document, or the script and an optional document
  std::string kit = "2.0";
  std::optional<std::string> profile;
  std::optional<std::string> answers;
  std::optional<std::string> uiLog;
  std::optional<std::string> module;
  std::string target = "desktop";
  int asVersion = 3;
  bool hostDebug = true;
  bool trace = false;
  bool help = false;
};

// False with a reason for a usage error.
bool ParseArguments(const std::vector<std::string>& arguments, Invocation& invocation, std::string* error);
const std::string& UsageText();
// Runs tessel with the arguments after the program name; returns the exit status
// (0 ran, 1 failure reported, 2 usage error).
int RunTessel(const std::vector<std::string>& arguments);

}  // namespace tessel
