// The in-memory copy of the debug channel for tests (see debug_capture.h).
#include "support/debug_capture.h"

#include <algorithm>

#include "core/debug_log.h"
#include "window/window_layer.h"

using namespace talewick;

namespace {
std::vector<std::string>& Lines() {
  static std::vector<std::string> lines;
  return lines;
}
std::vector<std::string>& Statuses() {
  static std::vector<std::string> statuses;
  return statuses;
}
void Collect(const std::string& line) {
  Lines().push_back(line);
  Statuses().push_back(GetControlText(kStatusBar));
}
}  // namespace

void StartDebugCapture() {
  Lines().clear();
  Statuses().clear();
  SetDebugLogObserver(Collect);
}

const std::vector<std::string>& DebugLines() { return Lines(); }

const std::vector<std::string>& DebugStatuses() { return Statuses(); }

std::vector<std::string> DebugMessages() {
  std::vector<std::string> messages;
  for (const std::string& line : Lines()) {
    const size_t end = line.find("] ");
    messages.push_back(end == std::string::npos ? line : line.substr(end + 2));
  }
  return messages;
}

int DebugMessageCount(const std::string& message) {
  const std::vector<std::string> messages = DebugMessages();
  return static_cast<int>(std::count(messages.begin(), messages.end(), message));
}
