// One word looked up in a 200,000-line "dictionary.txt", as DisectInput does it
// for every word: open the list, check it against the kept copy, close it. The
// copy's first build (a read of the whole list) is measured apart.
// Run with 2>/dev/null: every DisectInput writes one DebugLog line to stderr.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "app/scripted_window.h"
#include "app/startup.h"
#include "app/story_state.h"
#include "query/input_words.h"
#include "query/word_list_cache.h"

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

void BM_LookupOneListedWord(benchmark::State& state) {
  PrepareWordList();
  const std::string word = ListWord(kListLines - 1);  // the last line of the list
  LookUp(word);                                       // builds the copy
  for (auto _ : state) {
    LookUp(word);
    if (Story.WordCount != 2) state.SkipWithError("word not accepted");
  }
}
BENCHMARK(BM_LookupOneListedWord)->Unit(benchmark::kMicrosecond);

void BM_LookupOneUnlistedWord(benchmark::State& state) {
  PrepareWordList();
  LookUp("absent");
  for (auto _ : state) {
    LookUp("absent");
    if (Story.WordCount != 1) state.SkipWithError("word accepted");
  }
}
BENCHMARK(BM_LookupOneUnlistedWord)->Unit(benchmark::kMicrosecond);

// What every lookup would cost without the copy: the whole list read once.
void BM_FirstLookupReadsTheWholeList(benchmark::State& state) {
  PrepareWordList();
  const std::string word = ListWord(12345);
  for (auto _ : state) {
    ForgetWordListCopy();
    LookUp(word);
  }
}
BENCHMARK(BM_FirstLookupReadsTheWholeList)->Unit(benchmark::kMillisecond);

}  // namespace
