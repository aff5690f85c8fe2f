// The rule check shared by the fuzz targets. The program's DebugLog lines go to
// standard error, so scripts/fuzz.sh runs the targets with -close_fd_mask=2;
// libFuzzer then keeps its own output and the sanitizer reports on a copy of
// standard error, and a broken rule is reported the same way.
#pragma once

#include <sanitizer/common_interface_defs.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

inline void Require(bool condition, const char* what) {
  if (condition) return;
  __sanitizer_report_error_summary((std::string("rule broken: ") + what).c_str());
  std::abort();
}

// A model of the line reader: lines end at CR LF, a lone LF or a lone CR and are
// kept without their end; a last line without end counts, and an empty file is
// one empty line.
inline std::vector<std::string> SplitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  size_t i = 0;
  while (i < bytes.size()) {
    const char c = bytes[i++];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i < bytes.size() && bytes[i] == '\n') ++i;
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty() || bytes.empty()) lines.push_back(line);
  return lines;
}

// The same lines as texts see them: a NUL byte ends a text.
inline std::vector<std::string> SplitTextLines(const std::string& bytes) {
  std::vector<std::string> lines = SplitLines(bytes);
  for (std::string& line : lines) line.resize(std::char_traits<char>::length(line.c_str()));
  return lines;
}

// A cut store keeps `kept` bytes of `wanted` (longer than `capacity`): either all
// `capacity` of them, or it stops before a UTF-8 lead byte whose character would
// not fit, so no character is ever kept in half.
inline bool CutAtBoundary(std::string_view wanted, size_t kept, size_t capacity) {
  if (kept == capacity) return true;
  if (kept > capacity || kept + 3 < capacity) return false;  // a character has at most 4 bytes
  if (static_cast<unsigned char>(wanted[kept]) < 0xC0) return false;
  for (size_t i = kept + 1; i <= capacity; ++i) {
    if ((static_cast<unsigned char>(wanted[i]) & 0xC0) != 0x80) return false;
  }
  return true;
}

}  // namespace fuzz
