// Windows: _putenv_s changes the C runtime's copy, which getenv reads; Wine's
// Z:\proc\ is the Unix /proc, which takes no new files.
#include <stdlib.h>

#include "support/test_environment.h"

void SetTestEnvironment(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

std::string UnwritableFolder() { return "Z:\\proc\\"; }
