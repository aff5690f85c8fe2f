// POSIX: the command line and the environment are the bytes the user gave,
// UTF-8 in any locale Talewick supports.
#include <cstdlib>

#include "base/utf8_system.h"

namespace talewick {

std::vector<std::string> Utf8CommandLine(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::string Utf8Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace talewick
