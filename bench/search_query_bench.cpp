// Query time of the search service's core: decoding, index search and page
// rendering, on the shipped corpus and on a ~10 MB corpus generated here. Build time, start time
// and memory at sizes up to 1 GB: scripts/bench_search.py.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "searchd/http/query_decode.h"
#include "searchd/http/result_page.h"
#include "searchd/sqlite/sqlite_index.h"

namespace {

namespace fs = std::filesystem;
using talewick::search::CorpusIndex;
using talewick::search::SqliteIndex;

constexpr const char* kSite = "talewick.org";

// Writes about `bytes` of made-up sentences under DIR/talewick.org/ in files of
// 256 KB. Word choice is skewed so that a few words are very common, as in prose.
void WriteGeneratedCorpus(const fs::path& dir, std::size_t bytes) {
  static const std::vector<std::string> kCommon = {"the", "a",  "and", "of", "in",   "to",
                                                   "she", "he", "was", "it", "said", "that"};
  static const std::vector<std::string> kOther = {
      "cat",     "old",   "man",     "once",   "upon",   "time",   "river",  "house", "door",
      "window",  "night", "morning", "garden", "road",   "king",   "child",  "bread", "lamp",
      "stone",   "quiet", "little",  "green",  "walked", "looked", "opened", "found", "slept",
      "carried", "under", "over",    "behind", "across", "winter", "summer", "wind",  "rain"};
  std::mt19937 rng(12345);
  std::geometric_distribution<std::size_t> skew(0.15);
  fs::create_directories(dir / kSite);
  std::size_t written = 0;
  for (int file = 0; written < bytes; ++file) {
    std::ofstream out(dir / kSite / ("generated_" + std::to_string(file) + ".txt"));
    std::string text;
    while (text.size() < 256 * 1024) {
      const std::size_t words = 6 + rng() % 14;
      for (std::size_t w = 0; w < words; ++w) {
        const bool common = rng() % 3 == 0;
        const auto& list = common ? kCommon : kOther;
        std::string word = list[skew(rng) % list.size()];
        if (w == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
        text += word;
        text += w + 1 == words ? ". " : " ";
      }
      if (rng() % 8 == 0) text += "\n";
    }
    out << text;
    written += text.size();
  }
}

struct Corpus {
  std::unique_ptr<CorpusIndex> index;
  // The same index without kept answers: each search finds its hits anew, as
  // the first search of a phrase does.
  std::unique_ptr<CorpusIndex> firstSearches;
  double megabytes = 0;
};

std::unique_ptr<Corpus> IndexCorpus(const fs::path& dir, const std::string& name) {
  auto corpus = std::make_unique<Corpus>();
  std::ostringstream log;
  for (const bool keep : {true, false}) {
    const fs::path file =
        fs::temp_directory_path() / ("talewick_bench_" + name + (keep ? "" : "_first") + ".sqlite");
    fs::remove(file);
    (keep ? corpus->index : corpus->firstSearches) =
        SqliteIndex::Open(dir, file, log, {.keepAnswers = keep});
  }
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) corpus->megabytes += static_cast<double>(entry.file_size());
  }
  corpus->megabytes /= 1024.0 * 1024.0;
  return corpus;
}

const Corpus& ShippedCorpus() {
  static const std::unique_ptr<Corpus> corpus = IndexCorpus(TALEWICK_CORPUS_DIR, "shipped");
  return *corpus;
}

const Corpus& GeneratedCorpus() {
  static const std::unique_ptr<Corpus> corpus = [] {
    const fs::path dir = fs::temp_directory_path() / "talewick_bench_corpus";
    fs::remove_all(dir);
    WriteGeneratedCorpus(dir, 10 * 1024 * 1024);
    // The files stay: the index keeps no text, and hits are read back from them.
    return IndexCorpus(dir, "generated");
  }();
  return *corpus;
}

// One whole query as the service runs it: the raw query string in, the page out;
// `first`: on the index that finds every answer anew.
void RunQuery(benchmark::State& state, const Corpus& corpus, const std::string& words,
              bool first = false) {
  const CorpusIndex* index = first ? corpus.firstSearches.get() : corpus.index.get();
  if (index == nullptr) {
    state.SkipWithError("the corpus could not be indexed");
    return;
  }
  std::string raw = "hl=en&q=";
  for (const char c : words) raw += c == ' ' ? std::string("%20") : std::string(1, c);
  raw += "+site%3Atalewick.org&btnG=Google+Search&meta=";
  std::size_t results = 0;
  for (auto _ : state) {
    const auto parsed = talewick::search::ParseSearchQuery(raw);
    const auto hits = index->Search(parsed.terms.site, parsed.terms.words, 100);
    const std::string page = talewick::search::RenderResultPage(parsed.q, hits);
    benchmark::DoNotOptimize(page.data());
    results = hits.size();
  }
  state.counters["results"] = static_cast<double>(results);
  state.counters["corpus_MB"] = corpus.megabytes;
  state.SetLabel(words);
}

const std::vector<std::string> kQueries = {
    "the cat",     "once upon a time", "the old man", "of the",    "she said",
    "the cat was", "cat the river",    "the a",       "of the in", "unicornish words"};

void BM_ShippedCorpus(benchmark::State& state) {
  RunQuery(state, ShippedCorpus(), kQueries[static_cast<std::size_t>(state.range(0))]);
}

void BM_GeneratedCorpus10MB(benchmark::State& state) {
  RunQuery(state, GeneratedCorpus(), kQueries[static_cast<std::size_t>(state.range(0))]);
}

void BM_GeneratedCorpus10MBFirstSearch(benchmark::State& state) {
  RunQuery(state, GeneratedCorpus(), kQueries[static_cast<std::size_t>(state.range(0))], true);
}

BENCHMARK(BM_ShippedCorpus)
    ->DenseRange(0, static_cast<int>(kQueries.size()) - 1, 1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GeneratedCorpus10MB)
    ->DenseRange(0, static_cast<int>(kQueries.size()) - 1, 1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GeneratedCorpus10MBFirstSearch)
    ->DenseRange(0, static_cast<int>(kQueries.size()) - 1, 1)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
