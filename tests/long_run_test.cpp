// A long run: 10,000 generation cycles driven by timer ticks through the scripted
// window layer, each downloading a fresh page from a local server. Checks that
// every choice follows the history rule (refused while among the last 99 choices,
// free again once its slot is overwritten), that the story file holds exactly one
// CR LF line per choice, and that memory does not grow with the number of cycles.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/scripted_window.h"
#include "app/startup.h"
#include "core/story_state.h"
#include "core/window_layer.h"
#include "support/local_http_server.h"
#include "support/program_files.h"
#include "text/os_file.h"

namespace {

constexpr int kCycles = 10'000;
constexpr int kFirstMeasure = 1'000;
constexpr int kHistorySize = 99;
constexpr int kCyclesPerServer = 250;

// Three lower-case letters for 0..17575: continuations may hold only a-z and space.
std::string Letters(int n) {
  std::string text(3, 'a');
  for (int i = 2; i >= 0; --i, n /= 26)
    text[static_cast<size_t>(i)] = static_cast<char>('a' + n % 26);
  return text;
}

// The continuations offered in cycle i, most frequent first. "alpha" comes back
// every 99 cycles (still in the history), "gamma" every 100 (just out of it),
// "beta" is new every cycle and only a decoy with the lowest count.
struct Offer {
  std::string alpha, gamma, beta;
};
Offer OfferFor(int i) {
  return {"alpha " + Letters(i % 99), "gamma " + Letters(i % 100), "beta " + Letters(i)};
}

// A result page where `query` stands highlighted before each continuation:
// alpha three times, gamma twice, beta once, among some markup and line ends.
std::string PageFor(const std::string& query, const Offer& offer) {
  const std::string hit = "<b>" + query + "</b> ";
  std::string page = "<html><head><title>results</title></head><body>\r\n";
  for (int n = 0; n < 3; ++n) page += "<p>" + hit + offer.alpha + ". more text</p>\r\n";
  for (int n = 0; n < 2; ++n) page += "<div class=\"s\">" + hit + offer.gamma + ".</div>\n";
  page += "<p>" + hit + offer.beta + ".\r\n</body></html>\r\n";
  return page;
}

// The choice rule: the most frequent continuation not among the last 99 choices;
// when all are, the most frequent one anyway.
std::string ExpectedChoice(const Offer& offer, const std::deque<std::string>& recent) {
  for (const std::string* candidate : {&offer.alpha, &offer.gamma, &offer.beta}) {
    bool used = false;
    for (const std::string& old : recent) used = used || old == *candidate;
    if (!used) return *candidate;
  }
  return offer.alpha;
}

// Peak resident set size in KiB (VmHWM), -1 when unknown.
long PeakRssKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

std::vector<std::string> CrLfLines(const std::string& bytes, bool& wellFormed) {
  std::vector<std::string> lines;
  wellFormed = true;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      wellFormed = false;  // a last line without its CR LF
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    if (lines.back().find_first_of("\r\n") != std::string::npos) wellFormed = false;
    start = end + 2;
  }
  return lines;
}

TEST(LongRunTest, TenThousandTimerCyclesKeepTheHistoryTheStoryFileAndMemoryInShape) {
  if (OsPathSeparator() != '/')
    GTEST_SKIP() << "the long run is a native test (peak memory is read from /proc)";
  if (PeakRssKib() < 0) GTEST_SKIP() << "no /proc/self/status to read the peak memory from";

  // The test server keeps a finished thread per connection until it stops, so it
  // is replaced every few hundred cycles: the growth measured is the program's.
  auto server = std::make_unique<LocalHttpServer>();
  RemoveProgramFile("OutPutTextFile.txt");
  RemoveProgramFile("googleblog.htm");
  WriteProgramFile("dictionary.txt", "");  // accepts no word: the query is the whole input
  ClearStoryState();
  ResetScriptedWindow();
  StartUp();
  // About fifteen DebugLog lines per cycle go to standard error; not wanted here.
  ASSERT_NE(std::freopen("/dev/null", "w", stderr), nullptr);

  std::deque<std::string> recent;  // the last 99 choices, oldest first
  std::vector<std::string> choices;
  std::string query = "the cat";
  long rssAtFirstMeasure = 0;
  for (int i = 0; i < kCycles; ++i) {
    const Offer offer = OfferFor(i);
    if (i % kCyclesPerServer == 0) {
      server.reset();
      server = std::make_unique<LocalHttpServer>();
      TextCopy(Story.SearchUrlPrefix, server->BaseUrl() + "/search?hl=en&q=");
    }
    server->Serve("/search", PageResponse(PageFor(query, offer)));
    if (i == 0) {
      TypeInto(kInputBox, "The Cat");
      QueueCommand(kGoButton, kClickedNotify);
    } else {
      ASSERT_TRUE(Scripted().timerArmed) << "the timer was not re-armed after cycle " << i;
      QueueTimerTick();
    }
    PumpEvents(0);

    const std::string expected = ExpectedChoice(offer, recent);
    ASSERT_EQ(std::string(Story.NextInput), expected) << "cycle " << i;
    choices.push_back(expected);
    recent.push_back(expected);
    if (recent.size() > kHistorySize) recent.pop_front();
    // The n-th choice goes to slot (n - 1) mod 99 + 1: the 100th to slot 1 again.
    const int slot = static_cast<int>((choices.size() - 1) % kHistorySize) + 1;
    ASSERT_EQ(Story.HistoryIndex, slot) << "cycle " << i;
    ASSERT_EQ(std::string(Story.OutputHistory[slot]), expected) << "cycle " << i;
    query = expected;
    if (i + 1 == kFirstMeasure) rssAtFirstMeasure = PeakRssKib();
  }
  const long rssAtEnd = PeakRssKib();
  std::printf("peak RSS after %d cycles: %ld KiB; after %d cycles: %ld KiB (growth %ld KiB)\n",
              kFirstMeasure, rssAtFirstMeasure, kCycles, rssAtEnd, rssAtEnd - rssAtFirstMeasure);

  EXPECT_TRUE(Story.OutputHistory[0].empty()) << "slot 0 of the history is never written";
  bool wellFormed = false;
  const std::vector<std::string> lines =
      CrLfLines(ReadProgramFile("OutPutTextFile.txt"), wellFormed);
  EXPECT_TRUE(wellFormed) << "the story file holds a line without its CR LF";
  EXPECT_EQ(lines, choices);
  // Both kinds of choice happened: an alpha is refused 99 cycles after it was
  // chosen (gamma is taken instead), and a gamma is taken again 100 cycles after.
  int alphas = 0;
  int gammas = 0;
  for (const std::string& choice : choices) {
    alphas += choice.rfind("alpha", 0) == 0 ? 1 : 0;
    gammas += choice.rfind("gamma", 0) == 0 ? 1 : 0;
  }
  EXPECT_GT(alphas, 4000);
  EXPECT_GT(gammas, 4000);
  EXPECT_LT(rssAtEnd - rssAtFirstMeasure, 8 * 1024) << "memory grows with the number of cycles";
  ShutDown();
}

}  // namespace
