// talewick-start: runs Talewick against the local search service on the corpus
// shipped with it, so that a story grows without the internet. The service's
// port is the free one it reports; both programs' logs go to the story folder.
// With TALEWICK_SEARCH_HOST set, the user has a service already: only the
// program is run.
#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>

#include "process.h"
#include "text/story_folder.h"

namespace {

constexpr std::string_view kListening = "listening on ";
constexpr auto kListenTimeout = std::chrono::seconds(30);
constexpr const char* kShippedSite = "talewick.org";

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// Starts talewick-search on a free loopback port and points the program at it.
// Without --corpus the service takes the corpus shipped with it: corpus/ beside
// it (the Windows folder, the build tree) or ../share/talewick/corpus (Linux).
bool StartService(Child& service, const std::string& programFolder,
                  const std::string& storyFolder) {
  const std::string log = storyFolder + "talewick-search.log";
  ChildOptions options;
  options.command = {programFolder + "talewick-search" + kExecutableSuffix, "--port", "0"};
  options.logPath = log;
  options.readOutput = true;
  std::string error;
  if (!service.Start(options, error)) {
    ReportFailure("cannot start " + options.command[0] + ": " + error);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + kListenTimeout;
  std::string line;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const Child::Line got = service.ReadLine(left, line);
    if (got == Child::Line::kEnded) {
      ReportFailure("talewick-search ended before it was listening; see " + log);
      return false;
    }
    if (got == Child::Line::kTimedOut) {
      ReportFailure("talewick-search was not listening after 30 s; see " + log);
      return false;
    }
    if (line.starts_with(kListening)) break;
  }
  SetChildEnvironment("TALEWICK_SEARCH_HOST", "http://" + line.substr(kListening.size()));
  if (!IsSet("TALEWICK_SEARCH_SITE")) SetChildEnvironment("TALEWICK_SEARCH_SITE", kShippedSite);
  return true;
}

}  // namespace

int main() {
  // The same folder the program keeps its files in, by the same rule.
  const StoryFolderChoice& story = StoryFolder();
  if (story.folder.empty()) {
    ReportFailure(story.problem);
    return 1;
  }
  const std::string programFolder = ProgramFolder();
  const std::string& storyFolder = story.folder;
  StopChildrenWithLauncher();

  Child service;
  if (!IsSet("TALEWICK_SEARCH_HOST") && !StartService(service, programFolder, storyFolder)) {
    return 1;
  }
  Child program;
  ChildOptions options;
  options.command = {programFolder + "talewick" + kExecutableSuffix};
  options.logPath = storyFolder + "talewick.log";
  options.debugChannel = true;
  std::string error;
  if (!program.Start(options, error)) {
    ReportFailure("cannot start " + options.command[0] + ": " + error);
    return 1;
  }
  const int status = program.Wait();
  service.Stop();
  // A program stopped at the user's request has not failed.
  if (status != 0 && !StopRequested()) {
    ReportFailure("talewick ended with status " + std::to_string(status) + "; see " +
                  options.logPath);
  }
  return status;
}
