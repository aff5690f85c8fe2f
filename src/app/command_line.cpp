// The help and version texts of the window program.
#include "app/command_line.h"

#include <string>
#include <string_view>
#include <vector>

#include "base/command_options.h"
#include "text/standard_output.h"

namespace talewick {

namespace {

constexpr std::string_view kHelp =
    "usage: talewick [--help | --version]\n"
    "\n"
    "Opens the Talewick window. Type a few words and press GO (or Enter): the story\n"
    "grows from what a search service finds after them, one piece every few\n"
    "seconds, until you press STOP. Most users start talewick-start instead, which\n"
    "runs Talewick against a search service of its own.\n"
    "\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "Any other argument is ignored. The search service is named by the environment:\n"
    "TALEWICK_SEARCH_HOST (scheme, host and port, e.g. http://127.0.0.1:8080) and\n"
    "TALEWICK_SEARCH_SITE (the site searched, e.g. talewick.org). The story\n"
    "(OutPutTextFile.txt), the word list (dictionary.txt) and the last result page\n"
    "are kept in the program's folder when you can write to it, else in\n"
    "~/.local/share/talewick/ (Linux) or %APPDATA%\\Talewick\\ (Windows).\n";

}  // namespace

bool AnswerCommandLine(int argc, const char* const* argv) {
  const std::vector<std::string> arguments(argv, argv + argc);
  switch (StandaloneOption(arguments)) {
    case Standalone::kHelp:
      WriteStandardOutput(kHelp);
      return true;
    case Standalone::kVersion:
      WriteStandardOutput(std::string("talewick ") + TALEWICK_VERSION + "\n");
      return true;
    case Standalone::kNone:
      break;
  }
  return false;
}

}  // namespace talewick
