// The command line of talewick-search: its options with their defaults, the help
// text, and what a line that cannot be used is told.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "searchd/index/memory_budget.h"

namespace talewick::search {

struct ServiceOptions {
  std::string corpus;  // UTF-8; empty: the shipped corpus beside the program
  int port = 8080;     // 0: a free port
  std::size_t results = 100;
  std::string index;                 // UTF-8; empty: the default file in the user's cache folder
  std::string listen = "127.0.0.1";  // an IP address of this machine
  std::size_t memoryMB = kDefaultMemoryMB;  // for the caches (memory_budget.h)
  bool watch = true;  // the corpus is watched, and its changes indexed while serving
};

struct CommandLine {
  enum class Action { kServe, kHelp, kVersion, kRefuse };
  Action action = Action::kServe;
  ServiceOptions options;
  std::string error;  // for kRefuse: the option at fault and what is wrong with it
};

// `arguments`: the program first, then its options, all UTF-8.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Every option with its default, for --help.
std::string HelpText();

}  // namespace talewick::search
