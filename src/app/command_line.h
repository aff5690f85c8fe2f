// The window program's command line: --help and --version are answered on
// standard output without a window; every other argument is ignored.
#pragma once

namespace talewick {

// True when the line asked for help or the version and the answer was written:
// the caller then ends with status 0.
bool AnswerCommandLine(int argc, const char* const* argv);

}  // namespace talewick
