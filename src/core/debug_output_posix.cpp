// POSIX debug channel: one line on standard error per call. A line end inside
// the message would split one entry into two, so CR and LF are written as the
// escapes \r and \n; everything else goes out unchanged.
#include <unistd.h>

#include <cerrno>

#include "core/debug_log.h"

namespace talewick {

void WriteDebugOutput(const std::string& line) {
  std::string out;
  out.reserve(line.size() + 1);
  for (char c : line) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  out += '\n';
  // One write per line, so lines of a program that is read through a pipe never mix.
  const char* data = out.data();
  size_t left = out.size();
  while (left > 0) {
    const ssize_t written = ::write(STDERR_FILENO, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    left -= static_cast<size_t>(written);
  }
}

}  // namespace talewick
