// Text for the user who started a command from a terminal or a console: the
// answer to --help and --version. One implementation per platform:
// standard_output_posix.cpp and standard_output_win32.cpp.
#pragma once

#include <string_view>

namespace talewick {

// Writes `text` to standard output as it stands. A Windows program of the GUI
// subsystem has no console of its own: it writes to the standard output it was
// given (a pipe, a file, Wine's Unix terminal), else to the console of the
// process that started it; with neither, the text goes nowhere.
void WriteStandardOutput(std::string_view text);

// Writes `text` as WriteStandardOutput does, but only to a terminal or console the
// user looks at: nothing when standard output is a file, a pipe or nowhere.
void WriteToTerminal(std::string_view text);

}  // namespace talewick
