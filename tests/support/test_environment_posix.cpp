// POSIX: setenv changes the environment that getenv reads; /proc takes no new
// files.
#include <stdlib.h>
#include <unistd.h>

#include "support/test_environment.h"

void SetTestEnvironment(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

std::string UnwritableFolder() { return "/proc/"; }
