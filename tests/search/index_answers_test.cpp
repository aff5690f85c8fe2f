// The answers the SQLite index gives to a table of queries over a generated
// corpus, exactly as recorded.
#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "search_files.h"
#include "searchd/http/result_page.h"
#include "searchd/sqlite/sqlite_index.h"
#include "text/story_folder.h"

namespace talewick::search {
namespace {

namespace fs = std::filesystem;

// A generated corpus and a table of queries over it, with the exact answers the
// service gives (ids, titles, matches, sentences, a digest of the page) kept in
// search_answers.txt: how the index stores sentences may change, its answers may
// not. TALEWICK_RECORD_ANSWERS=FILE writes the table anew instead.
std::string MakeTale(std::uint64_t seed, int sentences) {
  static const char* const kWords[] = {
      "the",   "of",   "in",      "and",     "a",      "to",   "was",    "he",     "she",
      "it",    "cat",  "dog",     "house",   "garden", "old",  "man",    "river",  "said",
      "into",  "over", "lantern", "night",   "walked", "saw",  "copper", "kettle", "caf\xc3\xa9",
      "cat's", "they", "under",   "morning", "sang",   "that", "with",   "door",   "bright"};
  constexpr std::size_t kCount = std::size(kWords);
  std::uint64_t x = seed;
  const auto next = [&x](std::uint64_t n) {
    x = x * 6364136223846793005u + 1442695040888963407u;
    return (x >> 33) % n;
  };
  static const char* const kStops[] = {".", ".", ".", "!", "?", "...", ".\"", "\xe2\x80\x9d."};
  static const char* const kGaps[] = {" ", " ", "  ", "\n", "\r\n", "\n\n", " \r\n\r\n"};
  static const char* const kJoins[] = {" ", " ", " ", " ", " ", ", ", "\xe2\x80\x94", "-", "\n"};
  std::string text;
  for (int s = 0; s < sentences; ++s) {
    const std::uint64_t length = 3 + next(12);
    for (std::uint64_t w = 0; w < length; ++w) {
      std::string word = kWords[next(kCount)];
      if (w == 0) word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
      text += word;
      text += w + 1 < length ? kJoins[next(std::size(kJoins))] : "";
    }
    text += next(9) == 0 ? "" : kStops[next(std::size(kStops))];
    text += kGaps[next(std::size(kGaps))];
  }
  return text;
}

std::uint64_t Digest(std::string_view text) {
  std::uint64_t hash = 14695981039346656037u;
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
  return hash;
}

TEST(SqliteIndex, GivesTheRecordedAnswers) {
  const fs::path corpus = FreshFolder("answers");
  for (int file = 0; file < 24; ++file) {
    std::string text = MakeTale(static_cast<std::uint64_t>(file) + 1, 300);
    if (file == 17) text += "At last the copper kettle sang to them.\n";
    WriteFile(corpus / "tales.org" / ("tale_" + std::to_string(100 + file) + ".txt"), text);
  }
  // 41 files of 45 sentences, each holding "the cat" and the file's number and
  // taking about 5 KB on the page (every '&' becomes "&amp;"): more than a page.
  for (int file = 0; file <= 40; ++file) {
    std::string text;
    for (int i = 0; i < 45; ++i) {
      text += "Then the cat " + std::to_string(file) + " " + std::string(980, '&') + ". ";
    }
    WriteFile(corpus / "s.org" / ((file < 10 ? "f0" : "f") + std::to_string(file) + ".txt"), text);
  }
  // And 47 such files of "the dog": more matches than the index is read for in
  // batches before the page is full, so that the page is a spread of those that fit.
  for (int file = 0; file < 47; ++file) {
    std::string text;
    for (int i = 0; i < 45; ++i) {
      text += "Now the dog " + std::to_string(file) + " " + std::string(980, '&') + ". ";
    }
    WriteFile(corpus / "zzzz.net" / ("d" + std::to_string(10 + file) + ".txt"), text);
  }
  // 150 matches, all in the first half of the site: the spread takes the first
  // of each slice that has one, then the next of each, until the page is full.
  for (int file = 10; file < 30; ++file) {
    std::string text;
    for (int i = 0; i < 30; ++i) {
      const bool bird = file < 20 && i % 2 == 0;
      text += (bird ? "A bird sang " + std::to_string(file * 100 + i) : "A cat sat") + ". ";
    }
    WriteFile(corpus / "zzzzz.net" / ("e" + std::to_string(file) + ".txt"), text);
  }
  // Punctuation between and around the words, and files that are not indexed.
  const fs::path site = corpus / "talewick.org";
  WriteFile(site / "a-cats.txt",
            "The cat sat on the mat. A dog barked. THE CAT ran, and the cat hid.\n"
            "Then the old man said the cat was his.\n\n"
            "He said \xe2\x80\x9cthe cat sat\xe2\x80\x9d and left. It was late\xe2\x80\x94the cat "
            "slept. Look: the cat\xe2\x80\xa6 and the, cat. The caf\xc3\xa9 cat's bowl.\n"
            "Bathe cat, the cats, the cat's tail and the-cat were not found.");
  WriteFile(site / "b_more.txt", "Once the cat slept. The catalogue was old.");
  WriteFile(site / "notes.md", "The cat is not indexed.");
  WriteFile(site / "empty.txt", "");
  WriteFile(corpus / "z.net" / "x.txt", "The cat of another site.");
  // Tiny sentences by the thousand: their places take several rows.
  std::string tiny;
  for (int i = 0; i < 12000; ++i) tiny += i == 9000 ? "The cat sat. " : "a. ";
  WriteFile(corpus / "zz.net" / "tiny.txt", tiny);
  // Words that meet only across punctuation, in more sentences than a search reads
  // in vain: the index names none of them for "cat dog" or "the owl", and the one
  // sentence that holds each phrase is found.
  std::string dots;
  for (std::size_t i = 0; i <= kMostRejected; ++i) dots += "Cat.dog.the.owl. ";
  WriteFile(corpus / "zzz.net" / "dots.txt", dots + "Then a cat dog saw the owl.");
  // An editor's lock file, a dangling link, read last in the folder, is left out
  // with a line: the rest of the site stays. (Where links can be made.)
  const auto lastEntry = [](const fs::path& dir) {
    fs::path last;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) last = entry.path();
    return last;
  };
  fs::path link;
  std::error_code noLinks;
  for (int i = 0; !noLinks && (link.empty() || lastEntry(site) != link); ++i) {
    ASSERT_LT(i, 50) << "no name comes last";
    link = site / (".#lock" + std::to_string(i) + ".txt");
    fs::create_symlink("nowhere", link, noLinks);
  }
  std::ostringstream log;
  const auto index = SqliteIndex::Open(corpus, corpus.string() + ".sqlite", log);
  ASSERT_NE(index, nullptr) << log.str();
  EXPECT_TRUE(noLinks ||
              log.str().find("corpus: " + site.string() + "/" + link.filename().string() +
                             ": No such file or directory; skipped") != std::string::npos)
      << log.str();

  const struct {
    const char* site;
    std::size_t limit;
    Strings words;
  } queries[] = {
      {"tales.org", 100, {"of", "the"}},
      {"tales.org", 1000, {"in", "the"}},
      {"tales.org", 100, {"the", "cat"}},
      {"tales.org", 7, {"the", "cat"}},
      {"tales.org", 100, {"the", "old", "man"}},
      {"tales.org", 100, {"copper", "kettle", "sang"}},
      {"tales.org", 100, {"caf\xc3\xa9", "cat's"}},
      {"tales.org", 100, {"purple", "unicorn"}},
      {"tales.org", 100, {"dog"}},
      {"tales.org", 100, {"morning", "the", "cat"}},
      {"tales.org", 100, {"the", "cat", "copper", "over"}},
      {"s.org", 10, {"the", "cat"}},
      {"s.org", 15, {"cat", "7"}},
      {"s.org", 100000, {"the", "cat"}},
      {"nowhere.org", 100, {"the", "cat"}},
      {"talewick.org", 100, {"the", "cat"}},
      {"talewick.org", 100, {"old", "man", "said"}},
      {"talewick.org", 100, {"old"}},
      {"talewick.org", 100, {"caf\xc3\xa9", "cat's"}},
      {"z.net", 100, {"the", "cat"}},
      {"talewick.org", 100, {"cat", "the"}},
      {"talewick.org", 100, {"the", "mat", "sat"}},
      {"talewick.org", 100, {"ran", "and"}},
      {"talewick.org", 100, {}},
      {"zz.net", 100, {"a"}},
      {"zz.net", 100, {"the", "cat"}},
      {"zzz.net", 100, {"cat", "dog"}},
      {"zzz.net", 100, {"the", "owl"}},
      {"zzzz.net", 100000, {"the", "dog"}},
      {"zzzzz.net", 100, {"a", "bird", "sang"}},
  };
  const auto answerAll = [&](const CorpusIndex& from) {
    std::ostringstream table;
    for (const auto& query : queries) {
      std::string q;
      for (const std::string& word : query.words) q += (q.empty() ? "" : " ") + word;
      const std::vector<SearchHit> hits = from.Search(query.site, query.words, query.limit);
      const std::string page = RenderResultPage(q + " site:" + query.site, hits);
      table << "query " << query.site << " " << query.limit << " " << q << "\nhits " << hits.size()
            << " page " << page.size() << " " << std::hex << Digest(page) << std::dec << "\n";
      if (hits.size() > 40) continue;
      for (const SearchHit& hit : hits) {
        table << hit.id << " " << hit.title << " |";
        for (const PhraseMatch& match : hit.matches)
          table << " " << match.offset << "+" << match.length;
        table << " | " << hit.sentence << "\n";
      }
    }
    return table.str();
  };
  const std::string table = answerAll(*index);
  // Threads that search at once get the same answers, and so does a service that
  // reads its hits' files the other way (kept or not), whose caches can hardly
  // keep a file: what they keep goes while a search reads.
  std::vector<std::string> answers(3);
  std::vector<std::thread> threads;
  for (std::string& answer : answers) threads.emplace_back([&] { answer = answerAll(*index); });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(answers, std::vector<std::string>(3, table));
  const auto small = SqliteIndex::Open(
      corpus, corpus.string() + ".sqlite", log,
      {.memory = {0, 96 << 10, 64 << 10, 0}, .keepTexts = !CorpusFileReader::OpeningIsDear()});
  ASSERT_NE(small, nullptr) << log.str();
  EXPECT_EQ(answerAll(*small), table);
  if (const char* record = std::getenv("TALEWICK_RECORD_ANSWERS")) {
    std::ofstream(record, std::ios::binary) << table;
  } else {
    const std::string recorded = ReadAll(fs::path(ProgramFolder()) / "search_answers.txt");
    const fs::path got = fs::path(ProgramFolder()) / "search_answers.got.txt";
    std::ofstream(got, std::ios::binary) << table;
    EXPECT_TRUE(table == recorded)
        << "the answers differ from search_answers.txt beside the test: see " << got.string();
  }
  fs::remove_all(corpus);
}

}  // namespace
}  // namespace talewick::search
