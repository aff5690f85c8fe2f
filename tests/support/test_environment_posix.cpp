// POSIX: setenv changes the environment that getenv reads; /proc takes no new
// files, and no read at the start of /proc/self/mem succeeds.
#include <stdlib.h>
#include <unistd.h>

#include "support/test_environment.h"

void SetTestEnvironment(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

std::string UnwritableFolder() { return "/proc/"; }

std::shared_ptr<void> UnreadableFileAt(const std::string& path) {
  if (symlink("/proc/self/mem", path.c_str()) != 0) return nullptr;
  return std::make_shared<int>(0);
}
