// A long run: 10,000 generation cycles (or --cycles=N) driven by timer ticks
// through the scripted window layer, each downloading a fresh page from a local
// server. Reports the time per cycle and the peak memory after 1,000 cycles and
// at the end; fails (exit status 1) when memory grows with the number of cycles,
// when a choice breaks the history rule, or when the story list or file is not
// one line per choice (CR LF in the file).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/startup.h"
#include "core/story_state.h"
#include "support/local_http_server.h"
#include "support/program_files.h"
#include "window/scripted/scripted_window.h"
#include "window/window_layer.h"

using namespace talewick;

namespace {

int cycles = 10'000;
constexpr int kFirstMeasure = 1'000;
constexpr long kMaxGrowthKib = 8 * 1024;
constexpr int kHistorySize = 99;
// The test server keeps every request target it saw, the scripted window every
// list line (a real list box holds them outside the program), and this run the
// lines it expects: every few hundred cycles the server is replaced and the
// lines are checked and dropped, so that the growth measured is the program's.
constexpr int kCyclesPerServer = 250;

bool failed = false;

// Three lower-case letters for 0..17575: continuations may hold only a-z and space.
std::string Letters(int n) {
  std::string text(3, 'a');
  for (int i = 2; i >= 0; --i, n /= 26)
    text[static_cast<size_t>(i)] = static_cast<char>('a' + n % 26);
  return text;
}

// Cycle i offers "alpha" three times (back every 99 cycles: still in the
// history), "gamma" twice (back every 100: just out of it) and "beta" once (new
// every cycle), among some markup and line ends.
struct Offer {
  std::string alpha, gamma, beta;
};
Offer OfferFor(int i) {
  return {"alpha " + Letters(i % 99), "gamma " + Letters(i % 100), "beta " + Letters(i)};
}
std::string PageFor(const std::string& query, const Offer& offer) {
  const std::string hit = "<b>" + query + "</b> ";
  std::string page = "<html><body>\r\n";
  for (int n = 0; n < 3; ++n) page += "<p>" + hit + offer.alpha + ". more text</p>\r\n";
  for (int n = 0; n < 2; ++n) page += "<div class=\"s\">" + hit + offer.gamma + ".</div>\n";
  return page + "<p>" + hit + offer.beta + ".\r\n</body></html>\r\n";
}

// The most frequent continuation not among the last 99 choices.
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

void Fail(benchmark::State& state, const std::string& why) {
  failed = true;
  state.SkipWithError(why.c_str());
}

// The lines expected since the last check: in the story list, and in the story
// file from byte `storyChecked` on.
struct Expected {
  std::vector<std::string> listLines;
  std::string storyLines;
  long long storyChecked = 0;
};

// Checks the list and the story file against `expected` and drops what was checked.
bool CheckAndDropLines(Expected& expected) {
  std::vector<std::string>& list = Scripted().controls.at(kStoryList).lines;
  std::ifstream story(ProgramFolder() + "OutPutTextFile.txt", std::ios::binary);
  story.seekg(expected.storyChecked);
  std::string written(expected.storyLines.size() + 1, '\0');
  story.read(written.data(), static_cast<std::streamsize>(written.size()));
  written.resize(static_cast<size_t>(story.gcount()));
  const bool match = list == expected.listLines && written == expected.storyLines;
  std::vector<std::string>().swap(list);
  expected.storyChecked += static_cast<long long>(expected.storyLines.size());
  expected = Expected{{}, {}, expected.storyChecked};
  return match;
}

void BM_TimerCycles(benchmark::State& state) {
  RemoveProgramFile("OutPutTextFile.txt");
  RemoveProgramFile("googleblog.htm");
  WriteProgramFile("dictionary.txt", "");  // accepts no word: the query is the whole input
  ClearStoryState();
  ResetScriptedWindow();
  StartUp();
  // About fifteen DebugLog lines per cycle go to standard error; not wanted here.
  if (std::freopen("/dev/null", "w", stderr) == nullptr) Fail(state, "cannot silence stderr");

  std::unique_ptr<LocalHttpServer> server;
  std::deque<std::string> recent;  // the last 99 choices, oldest first
  Expected expected{{"The Cat"}, {}, 0};
  std::string query = "the cat";
  long rssAtFirstMeasure = 0;
  int i = 0;
  for (auto _ : state) {
    const Offer offer = OfferFor(i);
    if (i % kCyclesPerServer == 0) {
      state.PauseTiming();
      if (i > 0 && !CheckAndDropLines(expected)) {
        Fail(state, "the story list or file is not one line per choice");
        break;
      }
      server.reset();
      server = std::make_unique<LocalHttpServer>();
      TextCopy(Story.SearchUrlPrefix, server->BaseUrl() + "/search?hl=en&q=");
      state.ResumeTiming();
    }
    server->Serve("/search", PageResponse(PageFor(query, offer)));
    if (i == 0) {
      TypeInto(kInputBox, "The Cat");
      QueueCommand(kGoButton, kClickedNotify);
    } else {
      QueueTimerTick();
    }
    PumpEvents(0);

    const std::string choice = ExpectedChoice(offer, recent);
    if (std::string(Story.NextInput) != choice || !Scripted().timerArmed) {
      Fail(state, "cycle " + std::to_string(i) + " chose \"" + std::string(Story.NextInput) +
                      "\" instead of \"" + choice + "\" or did not re-arm the timer");
      break;
    }
    recent.push_back(choice);
    if (recent.size() > kHistorySize) recent.pop_front();
    expected.listLines.push_back(choice);
    expected.storyLines += choice + "\r\n";
    query = choice;
    if (++i == kFirstMeasure) rssAtFirstMeasure = PeakRssKib();
  }
  const long rssAtEnd = PeakRssKib();
  state.counters["peak_rss_kib_1000"] = static_cast<double>(rssAtFirstMeasure);
  state.counters["peak_rss_kib_end"] = static_cast<double>(rssAtEnd);
  if (!failed && !CheckAndDropLines(expected))
    Fail(state, "the story list or file is not one line per choice");
  if (!failed && rssAtEnd - rssAtFirstMeasure > kMaxGrowthKib)
    Fail(state, "memory grows with the number of cycles: " +
                    std::to_string(rssAtEnd - rssAtFirstMeasure) + " KiB");
  ShutDown();
}
}  // namespace

int main(int argc, char** argv) {
  // --cycles=N (at least 1,000) for a longer run; the rest are Google Benchmark's flags.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--cycles=", 0) == 0)
      cycles = std::max(kFirstMeasure, std::atoi(arg.c_str() + 9));
  }
  benchmark::RegisterBenchmark("BM_TimerCycles", BM_TimerCycles)
      ->Iterations(cycles)
      ->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return failed ? 1 : 0;
}
