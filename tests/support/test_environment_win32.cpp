// Windows: _putenv_s changes the C runtime's copy, which getenv reads.
#include <stdlib.h>

#include "support/test_environment.h"

void SetTestEnvironment(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}
