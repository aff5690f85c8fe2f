// The rule check shared by the fuzz targets. The program's DebugLog lines go to
// standard error, so scripts/fuzz.sh runs the targets with -close_fd_mask=2;
// libFuzzer then keeps its own output and the sanitizer reports on a copy of
// standard error, and a broken rule is reported the same way.
#pragma once

#include <sanitizer/common_interface_defs.h>

#include <cstdlib>
#include <string>

namespace fuzz {

inline void Require(bool condition, const char* what) {
  if (condition) return;
  __sanitizer_report_error_summary((std::string("rule broken: ") + what).c_str());
  std::abort();
}

}  // namespace fuzz
