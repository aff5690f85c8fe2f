// Diagnostic lines: "[" + Title + "] " + message, one line each on the POSIX
// channel (standard error). Windows hands them to OutputDebugStringA, which a
// test cannot read back from inside the process, so there the test is skipped.
#include "app/debug_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "app/story_state.h"
#include "support/program_files.h"
#include "text/os_file.h"

namespace {

// Runs `log` with standard error sent to a file and returns what was written.
template <typename Log>
std::string CaptureStandardError(Log log) {
  const std::string path = ProgramFolder() + "stderr.txt";
  RemoveProgramFile("stderr.txt");
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (file < 0) return "(cannot capture)";
  const int saved = ::dup(2);
  ::dup2(file, 2);
  log();
  ::dup2(saved, 2);
  ::close(saved);
  ::close(file);
  return ReadProgramFile("stderr.txt");
}

TEST(DebugLog, WritesTitleInBracketsThenTheMessage) {
  if (OsPathSeparator() != '/') GTEST_SKIP() << "OutputDebugStringA is not readable in-process";
  ClearStoryState();
  TextCopy(Story.Title, "Talewick 02");
  const std::string longMessage(400, 'm');
  const std::string written = CaptureStandardError([&] {
    DebugLog("starting...");
    DebugLog("two\nlines\r");
    DebugLog(longMessage);
  });
  EXPECT_EQ(written,
            "[Talewick 02] starting...\n"
            "[Talewick 02] two\\nlines\\r\n"
            "[Talewick 02] " +
                longMessage + "\n");
}

}  // namespace
