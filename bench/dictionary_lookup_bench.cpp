// One word looked up in a 200,000-line "dictionary.txt", as DisectInput does it
// for every word: open the list, read and search all of it, close it. No copy is
// kept between lookups; the first, the last and an unlisted word are measured.
// Run with 2>/dev/null: every DisectInput writes one DebugLog line to stderr.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "app/startup.h"
#include "core/story_state.h"
#include "query/input_words.h"
#include "window/scripted/scripted_window.h"

using namespace talewick;

namespace {

constexpr int kListLines = 200'000;

// Distinct lower-case words of 3 to 8 letters, one per line, CR LF endings.
std::string ListWord(int i) {
  std::string word = "w";
  for (int n = i; n > 0 || word.size() < 3; n /= 26) word += static_cast<char>('a' + n % 26);
  return word;
}

void PrepareWordList() {
  static bool written = false;
  if (written) return;
  ResetScriptedWindow();
  StartUp();
  std::ofstream list(StartFolder() + "dictionary.txt", std::ios::binary | std::ios::trunc);
  for (int i = 0; i < kListLines; ++i) list << ListWord(i) << "\r\n";
  written = true;
}

void LookUp(const std::string& word) {
  TextCopy(Story.InputText, word);
  DisectInput();
}

void LookUpListed(benchmark::State& state, const std::string& word) {
  PrepareWordList();
  for (auto _ : state) {
    LookUp(word);
    if (Story.WordCount != 2) state.SkipWithError("word not accepted");
  }
}

void BM_LookupTheFirstWordOfTheList(benchmark::State& state) { LookUpListed(state, ListWord(0)); }
BENCHMARK(BM_LookupTheFirstWordOfTheList)->Unit(benchmark::kMicrosecond);

void BM_LookupTheLastWordOfTheList(benchmark::State& state) {
  LookUpListed(state, ListWord(kListLines - 1));
}
BENCHMARK(BM_LookupTheLastWordOfTheList)->Unit(benchmark::kMicrosecond);

void BM_LookupAnUnlistedWord(benchmark::State& state) {
  PrepareWordList();
  for (auto _ : state) {
    LookUp("absent");
    if (Story.WordCount != 1) state.SkipWithError("word accepted");
  }
}
BENCHMARK(BM_LookupAnUnlistedWord)->Unit(benchmark::kMicrosecond);

}  // namespace
