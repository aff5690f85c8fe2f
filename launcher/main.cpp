// talewick-start: runs Talewick against a local search service of its own, on
// the corpus shipped with it or on the user's own texts (--corpus), so that a
// story grows without the internet. The service's port is the free one it
// reports; both programs' logs go to the story folder, where a lock keeps one
// Talewick at a time. With TALEWICK_SEARCH_HOST set and no --corpus, the user
// has a service already: only the program is run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "base/utf8_system.h"
#include "desktop.h"
#include "failure_text.h"
#include "launch_options.h"
#include "narrow_program.h"
#include "process.h"
#include "story_lock.h"
#include "text/standard_output.h"
#include "text/story_folder.h"

namespace talewick {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kListening = "listening on ";
// A large shelf is indexed before the service listens, which may take minutes:
// it is given up on only after this long without a line on its standard output
// or anything new in its log (TALEWICK_START_PATIENCE seconds, for a slow disk).
constexpr std::chrono::seconds kSilenceLimit = 30s;
constexpr std::chrono::seconds kLongestSilenceLimit = 3600s;

std::string Variable(const char* name) { return Utf8Environment(name); }

std::chrono::seconds SilenceLimit() {
  const std::string given = Variable("TALEWICK_START_PATIENCE");
  if (given.empty() || given.size() > 4 ||
      given.find_first_not_of("0123456789") != std::string::npos) {
    return kSilenceLimit;
  }
  const std::chrono::seconds limit(std::stoi(given));
  return limit.count() == 0 ? kSilenceLimit : std::min(limit, kLongestSilenceLimit);
}

std::uintmax_t SizeOf(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(PathFromUtf8(path), ec);
  return ec ? 0 : size;
}

// Starts talewick-search on loopback port `port` ("0": a free one, which it then
// holds), on `corpus` (empty: the one shipped with it, corpus/ beside it or
// ../share/talewick/corpus), and points the program at it.
bool StartService(Child& service, const std::string& programFolder, const std::string& storyFolder,
                  const std::string& corpus, std::string& port) {
  const std::string log = storyFolder + "talewick-search.log";
  ChildOptions options;
  options.command = {programFolder + "talewick-search" + kExecutableSuffix};
  if (!corpus.empty()) options.command.insert(options.command.end(), {"--corpus", corpus});
  options.command.insert(options.command.end(), {"--port", port});
  options.logPath = log;
  options.readOutput = true;
  std::string error;
  if (!service.Start(options, error)) {
    ReportFailure("Talewick could not start its search service.\n\ncannot start " +
                  options.command[0] + ": " + error + "\n\n" + RestoreAdvice(programFolder));
    return false;
  }
  const std::chrono::seconds silenceLimit = SilenceLimit();
  std::uintmax_t logSize = 0;
  auto lastSign = std::chrono::steady_clock::now();
  std::string line;
  for (;;) {
    const Child::Line got = service.ReadLine(1s, line);
    if (got == Child::Line::kEnded) {
      service.Wait(5s);  // its last words are in the log once it has ended
      // Stopped by the user's own stop signal, passed on to it: not a failure.
      if (!StopRequested()) {
        ReportFailure(ServiceFailureText("ended before it was ready", log, corpus));
      }
      return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (got == Child::Line::kRead) {
      if (line.starts_with(kListening)) break;
      lastSign = now;
    } else if (const std::uintmax_t size = SizeOf(log); size != logSize) {
      logSize = size;
      lastSign = now;
    } else if (StopRequested()) {
      return false;
    } else if (now - lastSign >= silenceLimit) {
      ReportFailure(ServiceFailureText(
          "was not ready, and did nothing more for " + std::to_string(silenceLimit.count()) + " s",
          log, corpus));
      return false;
    }
  }
  SetChildEnvironment("TALEWICK_SEARCH_HOST", "http://" + line.substr(kListening.size()));
  port = line.substr(line.rfind(':') + 1);
  return true;
}

// Waits for the program to end, and its status. A service of the launcher's own
// that ends meanwhile is started again once, on the port the program searches, so
// that its searches go on; when that fails too, the user is told why, as at the
// start, and the program goes on without it.
int WaitForProgram(Child& program, Child& service, bool ownService,
                   const std::function<bool()>& restartService) {
  bool restarted = !ownService;
  for (;;) {
    if (const std::optional<int> status = program.Wait(250ms)) return *status;
    if (restarted || StopRequested()) continue;
    if (const std::optional<int> ended = service.Wait(0ms)) {
      restarted = true;
      std::fprintf(stderr,
                   "talewick-start: the search service ended (status %d); starting it again\n",
                   *ended);
      restartService();
    }
  }
}

}  // namespace
}  // namespace talewick

int main(int argc, char** argv) {
  using namespace talewick;
  const LaunchLine line = ParseLaunchLine(Utf8CommandLine(argc, argv));
  switch (line.action) {
    case LaunchLine::Action::kHelp:
      WriteStandardOutput(LaunchHelpText());
      return 0;
    case LaunchLine::Action::kVersion:
      WriteStandardOutput("talewick-start " TALEWICK_VERSION "\n");
      return 0;
    case LaunchLine::Action::kRefuse:
      ReportFailure(line.error +
                    "\n\nStart Talewick as talewick-start [--corpus DIR] [--site NAME]; "
                    "talewick-start --help tells more.");
      return 2;
    case LaunchLine::Action::kStart:
      break;
  }
  SiteChoice chosen;
  if (!line.corpus.empty()) {
    chosen = ChooseSite(line.corpus, line.site);
    if (chosen.site.empty()) {
      ReportFailure("Talewick cannot grow stories from " + chosen.corpus + ".\n\n" +
                    chosen.problem);
      return 1;
    }
  }

  // The same folder the program keeps its files in, by the same rule.
  const StoryFolderChoice& story = StoryFolder();
  if (story.folder.empty()) {
    ReportFailure(story.problem);
    return 1;
  }
  const std::string programFolder = ProgramFolder();
  const std::string& storyFolder = story.folder;
  // The window program names its files in the system's narrow encoding.
  const NarrowStart narrow =
      PrepareNarrowProgram(programFolder, std::string("talewick") + kExecutableSuffix, storyFolder);
  if (narrow.program.empty()) {
    ReportFailure(UnspelledFolderText(narrow.folder, narrow.folder == programFolder));
    return 1;
  }
  StoryLock lock;
  long holder = 0;
  std::string error;
  switch (lock.Take(storyFolder, holder, error)) {
    case StoryLock::Outcome::kTaken:
      break;
    case StoryLock::Outcome::kHeld:
      BringToFront(holder);
      ReportFailure("Talewick is already running.\n\nIt grows its story in " + storyFolder +
                    ", where one Talewick at a time may write. Use its window, or close it "
                    "before you start Talewick again.");
      return 1;
    case StoryLock::Outcome::kFailed:
      ReportFailure("Talewick cannot start.\n\n" + error);
      return 1;
  }
  StopChildrenWithLauncher();

  // --corpus names the service to search, whatever TALEWICK_SEARCH_HOST says.
  const bool ownService = !line.corpus.empty() || Variable("TALEWICK_SEARCH_HOST").empty();
  if (!line.corpus.empty() && !Variable("TALEWICK_SEARCH_HOST").empty()) {
    std::fprintf(stderr, "talewick-start: searching %s, not TALEWICK_SEARCH_HOST (%s)\n",
                 chosen.corpus.c_str(), Variable("TALEWICK_SEARCH_HOST").c_str());
  }
  Child service;
  std::string port = "0";
  if (ownService && !StartService(service, programFolder, storyFolder, chosen.corpus, port)) {
    return 1;
  }
  const std::string site = SiteToSearch(line, chosen, ownService, Variable("TALEWICK_SEARCH_SITE"));
  if (!site.empty()) SetChildEnvironment("TALEWICK_SEARCH_SITE", site);

  Child program;
  ChildOptions options;
  options.command = {narrow.program};
  options.logPath = storyFolder + "talewick.log";
  options.debugChannel = true;
  if (!program.Start(options, error)) {
    ReportFailure("Talewick could not start.\n\ncannot start " + options.command[0] + ": " + error +
                  "\n\n" + RestoreAdvice(programFolder));
    return 1;
  }
  lock.Record(program.Id());
  WriteToTerminal(StartedText(storyFolder, site.empty() ? Variable("TALEWICK_SEARCH_SITE") : site,
                              chosen.corpus, ownService ? "" : Variable("TALEWICK_SEARCH_HOST")));
  const int status = WaitForProgram(program, service, ownService, [&] {
    return StartService(service, programFolder, storyFolder, chosen.corpus, port);
  });
  service.Stop();
  // A program stopped at the user's request has not failed.
  if (status != 0 && !StopRequested()) ReportFailure(ProgramFailureText(status, options.logPath));
  return status;
}
