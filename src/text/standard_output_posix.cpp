// POSIX: standard output is always the one the program was started with.
#include <unistd.h>

#include <cstdio>

#include "text/standard_output.h"

namespace talewick {

void WriteStandardOutput(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void WriteToTerminal(std::string_view text) {
  if (::isatty(STDOUT_FILENO)) WriteStandardOutput(text);
}

}  // namespace talewick
