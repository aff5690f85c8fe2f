// Diagnostic lines: "[" + Title + "] " + message, one line each on the POSIX
// channel (standard error). Windows hands them to OutputDebugStringA, which the
// process cannot read back, so there the test is skipped.
#include "core/debug_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "core/story_state.h"
#include "support/program_files.h"

using namespace talewick;

namespace {

TEST(DebugLog, WritesTitleInBracketsThenTheMessage) {
  ClearStoryState();
  TextCopy(Story.Title, "Talewick 02");
  const std::string longMessage(400, 'm');  // a log line is never cut to a text's capacity

  // Standard error goes to a file while the lines are written.
  const std::string path = ProgramFolder() + "stderr.txt";
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(file, 0);
  const int saved = ::dup(2);
  ::dup2(file, 2);
  DebugLog("starting...");
  DebugLog("two\nlines\r");
  DebugLog(longMessage);
  ::dup2(saved, 2);
  ::close(saved);
  ::close(file);

  EXPECT_EQ(ReadProgramFile("stderr.txt"),
            "[Talewick 02] starting...\n"
            "[Talewick 02] two\\nlines\\r\n"
            "[Talewick 02] " +
                longMessage + "\n");
}

}  // namespace
