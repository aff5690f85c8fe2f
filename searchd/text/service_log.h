// The service's log. Each part of the service says what it has to say on the
// `std::ostream&` it is given (a test gives a string stream); the program gives
// StandardLog(), which sends standard error one whole line at a time, so that
// the lines of serving threads, the updater and the watch never mix.
#pragma once

#include <ostream>

namespace talewick::search {

// This thread's stream to standard error. A line goes out whole when its '\n' is
// written; a flush sends what is there (the progress line redrawn in place).
std::ostream& StandardLog();

}  // namespace talewick::search
