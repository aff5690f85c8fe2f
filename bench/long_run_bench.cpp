// A long run: 10,000 generation cycles driven by timer ticks through the scripted
// window layer, each downloading a fresh page from a local server. Reports the
// time per cycle and the peak memory after 1,000 and after 10,000 cycles; fails
// (exit status 1) when memory grows with the number of cycles, when a choice
// breaks the history rule, or when the story file is not one CR LF line per choice.
#include <benchmark/benchmark.h>

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

namespace {

constexpr int kCycles = 10'000;
constexpr int kFirstMeasure = 1'000;
constexpr long kMaxGrowthKib = 8 * 1024;
constexpr int kHistorySize = 99;
// The test server keeps every request target it saw, so it is replaced every
// few hundred cycles: the growth measured is the program's.
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
  std::string expectedStory;
  std::string query = "the cat";
  long rssAtFirstMeasure = 0;
  int i = 0;
  for (auto _ : state) {
    const Offer offer = OfferFor(i);
    if (i % kCyclesPerServer == 0) {
      state.PauseTiming();
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

    const std::string expected = ExpectedChoice(offer, recent);
    if (std::string(Story.NextInput) != expected || !Scripted().timerArmed) {
      Fail(state, "cycle " + std::to_string(i) + " chose \"" + std::string(Story.NextInput) +
                      "\" instead of \"" + expected + "\" or did not re-arm the timer");
      break;
    }
    recent.push_back(expected);
    if (recent.size() > kHistorySize) recent.pop_front();
    expectedStory += expected + "\r\n";
    query = expected;
    if (++i == kFirstMeasure) rssAtFirstMeasure = PeakRssKib();
  }
  const long rssAtEnd = PeakRssKib();
  state.counters["peak_rss_kib_1000"] = static_cast<double>(rssAtFirstMeasure);
  state.counters["peak_rss_kib_end"] = static_cast<double>(rssAtEnd);
  if (!failed && ReadProgramFile("OutPutTextFile.txt") != expectedStory)
    Fail(state, "the story file is not one CR LF line per choice");
  if (!failed && rssAtEnd - rssAtFirstMeasure > kMaxGrowthKib)
    Fail(state, "memory grows with the number of cycles: " +
                    std::to_string(rssAtEnd - rssAtFirstMeasure) + " KiB");
  ShutDown();
}
BENCHMARK(BM_TimerCycles)->Iterations(kCycles)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return failed ? 1 : 0;
}
