// One SecondPartDLF on a 1 MB result page with 5,000 highlighted occurrences of
// the search words, laid out three ways: short snippet lines, long lines of 100
// occurrences each, and one line of a million bytes.
// Run with 2>/dev/null: every counted candidate writes two DebugLog lines.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "analysis/result_analysis.h"
#include "app/startup.h"
#include "core/story_state.h"
#include "window/scripted/scripted_window.h"

using namespace talewick;

namespace {

constexpr int kPageBytes = 1'000'000;
constexpr int kOccurrences = 5'000;

// A snippet: the highlighted words, one of 40 continuations, then filler text.
std::string Snippet(int i) {
  static const char* const kEndings[] = {"sat on the mat", "was asleep", "ran away", "looked up"};
  std::string snippet = "<p class=\"s\"><b>The Cat</b> " + std::string(kEndings[i % 4]) + " " +
                        std::string(1 + (i % 10), 'x') + ". <a href=\"http://b.example/p" +
                        std::to_string(i) + ".html\">more</a></p>";
  return snippet;
}

// Pads `text` with an untagged filler to exactly `bytes`.
void PadTo(std::string& text, size_t bytes) {
  while (text.size() < bytes) text += "lorem ipsum ";
  text.resize(bytes);
}

void WritePage(int linesOfSnippets) {
  ResetScriptedWindow();
  StartUp();
  const int perLine = kOccurrences / linesOfSnippets;
  const size_t lineBytes = kPageBytes / linesOfSnippets - 2;
  std::ofstream page(StartFolder() + "googleblog.htm", std::ios::binary | std::ios::trunc);
  for (int line = 0; line < linesOfSnippets; ++line) {
    std::string text;
    for (int i = 0; i < perLine; ++i) text += Snippet(line * perLine + i);
    PadTo(text, lineBytes);
    page << text << "\r\n";
  }
}

void BM_SecondPartDlf(benchmark::State& state) {
  WritePage(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TextCopy(Story.SearchWords, "the cat");
    SecondPartDLF();
  }
  state.SetLabel(std::to_string(state.range(0)) + " lines");
}
BENCHMARK(BM_SecondPartDlf)->Arg(5000)->Arg(50)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
