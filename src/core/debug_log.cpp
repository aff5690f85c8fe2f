// Builds the diagnostic line from the program title and hands it to the platform.
#include "core/debug_log.h"

#include "core/story_state.h"

namespace talewick {

namespace {
void (*debugLogObserver)(const std::string&) = nullptr;
}  // namespace

void SetDebugLogObserver(void (*observer)(const std::string& line)) { debugLogObserver = observer; }

void DebugLog(std::string_view message) {
  std::string line;
  line.reserve(Story.Title.length() + message.size() + 3);
  line += '[';
  line += Story.Title.view();
  line += "] ";
  line += message;
  WriteDebugOutput(line);
  if (debugLogObserver != nullptr) debugLogObserver(line);
}

}  // namespace talewick
