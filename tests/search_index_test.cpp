// Tests of the search service's text rules (query decoding, words, sentences) and
// of its SQLite index: a table of queries, the index file kept between starts and
// shared, damage, and the cache folder. The service test asks for whole queries.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "block_cache.h"
#include "index_cache.h"
#include "index_lock.h"
#include "kept_files.h"
#include "query_decode.h"
#include "result_page.h"
#include "sqlite_index.h"
#include "text/story_folder.h"
#include "windows1252.h"

namespace talewick::search {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

Strings Sentences(const std::vector<SearchHit>& hits) {
  Strings out;
  for (const SearchHit& hit : hits) out.push_back(hit.sentence);
  return out;
}

TEST(DecodeFormValue, DecodesEscapesAndPlusAndRefusesBrokenInput) {
  EXPECT_EQ(DecodeFormValue("%4a%4A+%2B%25caf%C3%A9"), "JJ +%caf\xC3\xA9");
  EXPECT_EQ(DecodeFormValue(""), "");
  // What is not UTF-8 is Windows-1252, its bytes from 0x80 to 0x9f included.
  PageCharset charset = PageCharset::kUtf8;
  EXPECT_EQ(DecodeFormValue("caf%E9+%93%FF%94%80%C3", &charset),
            "caf\xC3\xA9 \xE2\x80\x9C\xC3\xBF\xE2\x80\x9D\xE2\x82\xAC\xC3\x83");
  EXPECT_EQ(charset, PageCharset::kWindows1252);
  // Broken escapes, control bytes, bytes Windows-1252 leaves unassigned, raw bytes.
  for (const char* bad : {"%", "ab%2", "%zz", "%2g", "a%%20", "%00", "a%0Ab", "%7F", "%E9%81",
                          "a\x01", "caf\xC3\xA9", "a b"}) {
    EXPECT_FALSE(DecodeFormValue(bad)) << bad;
  }
}

TEST(ParseSearchTerms, EndsWordsAtUnicodePunctuationAndSpaceOnly) {
  // Curly quotes, dashes, ellipsis, no-break and ideographic space and inverted
  // marks end words.
  EXPECT_EQ(ParseSearchTerms("\xe2\x80\x9cThe cat\xe2\x80\x9d late\xe2\x80\x94the\xe2\x80\x93"
                             "cat\xe2\x80\xa6sat\xc2\xa0on\xe3\x80\x80it \xc2\xbfno? site:a.org")
                .words,
            (Strings{"the", "cat", "late", "the", "cat", "sat", "on", "it", "no"}));
  // Accented and non-Latin letters stay inside words; so do apostrophes, straight
  // or curly, between letters, and bytes that are not UTF-8.
  EXPECT_EQ(ParseSearchTerms("caf\xc3\xa9 na\xc3\xafve \xce\xb3\xce\xac\xcf\x84\xce\xb1 cat's "
                             "cat\xe2\x80\x99s 'tis\xe2\x80\x99 x\xff\xfey \xe2\x80")
                .words,
            (Strings{"caf\xc3\xa9", "na\xc3\xafve", "\xce\xb3\xce\xac\xcf\x84\xce\xb1", "cat's",
                     "cat\xe2\x80\x99s", "tis", "x\xff\xfey", "\xe2\x80"}));
}

TEST(SplitSentences, EndsAtStopsBlankLinesAndTheLengthLimit) {
  // Closing quotes stay with their stop, and an ellipsis stays whole; a stop inside
  // a word (a number, a domain) ends nothing; pieces without words are dropped.
  EXPECT_EQ(SplitSentences("The cat sat.  The dog\r\nran away!  Did it? \"Come in,\" she said. "
                           "\"The door is open.\" It cost 3.50 at talewick.org... then more.\n"
                           "A Title\n\n  \r\nThe end.\n---\n\n\xe2\x80\x94\n"),
            (Strings{"The cat sat.", "The dog ran away!", "Did it?", "\"Come in,\" she said.",
                     "\"The door is open.\"", "It cost 3.50 at talewick.org...", "then more.",
                     "A Title", "The end."}));
  // Text that comes in pieces is cut the same.
  const std::string text = "It is \"late.\"\n \nSo? The end... of it.";
  Strings pieces;
  SentenceSplitter splitter(pieces);
  for (std::size_t at = 0; at < text.size(); at += 3) splitter.Feed(text.substr(at, 3));
  splitter.Finish();
  EXPECT_EQ(pieces, SplitSentences(text));
  // An overlong sentence is cut at its last blank, and one with no blank between
  // characters: a file of words joined by dots, with two-byte letters, loses nothing.
  std::string words;
  for (int i = 0; i < 600; ++i) words += "word ";
  for (const std::string& s : SplitSentences(words)) {
    EXPECT_TRUE(s.size() <= kMaxSentenceBytes && s.back() != ' ') << s;
  }
  // Where each sentence stands in the text: that slice alone is split into that
  // sentence, whatever the text (random texts of awkward pieces, fed in random cuts).
  // The first four pieces hold no white space, the first six no line end.
  const std::string longWord(300, 'x');
  const char* const kPieces[] = {longWord.c_str(),
                                 "caf\xc3\xa9",
                                 "\xc3",
                                 ".",
                                 "The",
                                 " ",
                                 "!",
                                 "?",
                                 "\"",
                                 "'",
                                 ")",
                                 "]",
                                 "\n",
                                 "\r\n",
                                 "\t",
                                 "  \n \n",
                                 "\xe2\x80\x9d",
                                 "\xff",
                                 "-"};
  std::uint64_t x = 1;
  const auto next = [&x](std::uint64_t n) {
    x = x * 6364136223846793005u + 1442695040888963407u;
    return (x >> 33) % n;
  };
  for (int round = 0; round < 300; ++round) {
    std::string random;
    const std::uint64_t pieces = next(400);
    const std::size_t kinds = round % 3 == 0 ? 4 : round % 3 == 1 ? 6 : std::size(kPieces);
    for (std::uint64_t i = 0; i < pieces; ++i) random += kPieces[next(kinds)];
    Strings sentences;
    std::vector<SentenceSpan> spans;
    SentenceSplitter cut(sentences, &spans);
    for (std::size_t at = 0; at < random.size();) {
      const std::size_t length = 1 + next(2000);
      cut.Feed(std::string_view(random).substr(at, length));
      at += length;
    }
    cut.Finish();
    ASSERT_EQ(sentences, SplitSentences(random));
    ASSERT_EQ(spans.size(), sentences.size());
    for (std::size_t i = 0; i < spans.size(); ++i) {
      ASSERT_LE(sentences[i].size(), kMostSentenceBytes);
      ASSERT_TRUE(spans[i].start < spans[i].end && spans[i].end <= random.size());
      ASSERT_TRUE(i == 0 || spans[i - 1].end <= spans[i].start);
      EXPECT_EQ(SplitSentences(random.substr(spans[i].start, spans[i].end - spans[i].start)),
                Strings{sentences[i]})
          << "round " << round << ", sentence " << i;
    }
  }
  std::string dots;
  for (int i = 0; i < 20000; ++i) dots += "caf\xc3\xa9.";
  std::string joined;
  for (const std::string& s : SplitSentences(dots)) {
    EXPECT_LE(s.size(), kMaxSentenceBytes + 1);
    EXPECT_NE(static_cast<unsigned char>(s[0]) & 0xc0, 0x80) << "cut inside a character";
    joined += s;
  }
  EXPECT_EQ(joined, dots);
}

// The longest result a hit can give: every byte of its title and sentence
// escaped, and every word of the sentence a match.
TEST(ResultPage, NoResultIsLongerThanItsBound) {
  std::string sentence;
  while (sentence.size() + 2 <= kMostSentenceBytes) sentence += "& ";
  sentence += "&";
  SearchHit hit{1, std::string(40, '<'), sentence, {}};
  for (std::size_t at = 0; at < sentence.size(); at += 2) hit.matches.push_back({at, 1});
  EXPECT_LE(RenderResultBlock(hit).size(), MostResultBlockBytes(40, kMostSentenceBytes));
}

// A page in Windows-1252 holds what that code page can as its bytes and the rest
// as references, and keeps within the page's size though references make
// Cyrillic three and a half times as long as in UTF-8.
TEST(ResultPage, InWindows1252HoldsEveryLetterWithinThePagesSize) {
  EXPECT_EQ(Windows1252FromUtf8("<b>caf\xc3\xa9</b> \xe2\x80\x93 \xc5\x81\xc3\xb3\x64\xc5\xba "
                                "\xf0\x9f\x98\x80 \xff\xc3"),
            "<b>caf\xe9</b> \x96 &#321;\xf3\x64&#378; &#128512; &#65533;&#65533;");
  std::string sentence;
  while (sentence.size() + 2 <= kMaxSentenceBytes) sentence += "\xd0\xb4";
  const std::vector<SearchHit> hits(kMaxHitBytes / 1200, SearchHit{1, "t", sentence, {}});
  ASSERT_EQ(FitOnPage(hits).size(), hits.size());
  const std::string page = RenderResultPage("caf\xc3\xa9", hits, PageCharset::kWindows1252);
  EXPECT_LE(page.size(), kMaxPageBytes);
  std::size_t shown = 0;
  for (std::size_t at = page.find("<div class=\"s\">&#1076;"); at != std::string::npos;
       at = page.find("<div class=\"s\">&#1076;", at + 1)) {
    ++shown;
  }
  EXPECT_GT(shown, hits.size() / 4);
  EXPECT_NE(page.find("charset=\"windows-1252\">\n<title>caf\xe9 - "), std::string::npos);
  EXPECT_NE(page.find("Results 1 - " + std::to_string(shown) + " for"), std::string::npos);
}

// What searches keep of files stays within its budget, the least recently used
// going first, and an entry larger than the budget is not kept at all.
TEST(KeptFiles, LetsTheLeastRecentlyUsedGoFirstAndKeepsNothingTooLarge) {
  KeptFiles kept(10000);  // 5000 for texts
  for (std::uint64_t key = 1; key <= 4; ++key) kept.KeepText(key, std::string(1000, 'x'));
  ASSERT_NE(kept.Text(1), nullptr);
  kept.KeepText(5, std::string(1000, 'x'));
  EXPECT_EQ(kept.Text(2), nullptr);
  for (std::uint64_t key : {1, 3, 4, 5}) EXPECT_NE(kept.Text(key), nullptr) << key;
  EXPECT_EQ(kept.KeepText(6, std::string(6000, 'x')), nullptr);
  for (std::uint64_t key : {1, 3, 4, 5}) EXPECT_NE(kept.Text(key), nullptr) << key;
}

// SQLite, and on Windows the whole program, take their memory from the block
// cache: each block must hold what was asked for (SQLite is told its size ahead),
// be aligned for any type, and come back for the next request of its size.
TEST(BlockCache, BlocksHoldWhatWasAskedAndAreHandedOutAgain) {
  std::vector<std::size_t> sizes;
  for (std::size_t bytes = 1; bytes <= 600; ++bytes) sizes.push_back(bytes);
  for (std::size_t bytes = 601; bytes <= (std::size_t{1} << 19); bytes = bytes * 9 / 8) {
    sizes.push_back(bytes);
  }
  for (const std::size_t bytes : sizes) {
    void* block = TakeBlock(bytes);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u) << bytes;
    EXPECT_EQ(BlockBytes(block), RoundedBlockBytes(bytes)) << bytes;
    EXPECT_GE(BlockBytes(block), bytes) << bytes;
    EXPECT_LE(BlockBytes(block), bytes + (bytes + 16) / 8) << bytes;  // an eighth over at most
    std::memset(block, 0x5a, BlockBytes(block));
    GiveBackBlock(block);
    if (bytes <= std::size_t{128} * 1024) {
      void* again = TakeBlock(bytes);
      EXPECT_EQ(again, block) << bytes;
      GiveBackBlock(again);
    }
  }
}

fs::path FreshFolder(const std::string& name) {
  const fs::path dir = fs::path(ProgramFolder()) / ("work_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

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
  // in vain: the index names none of them for "cat dog", and the one sentence that
  // holds the phrase is found. The index is asked for "owl" alone ("the" is too
  // common), and a search gives up after kMostRejected sentences that do not hold
  // "the owl": the one behind them is not found.
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
  // Threads that search at once get the same answers, and so does a service whose
  // caches can hardly keep a file: what they keep goes while a search reads.
  std::vector<std::string> answers(3);
  std::vector<std::thread> threads;
  for (std::string& answer : answers) threads.emplace_back([&] { answer = answerAll(*index); });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(answers, std::vector<std::string>(3, table));
  const auto small = SqliteIndex::Open(corpus, corpus.string() + ".sqlite", log,
                                       {.memory = {0, 96 << 10, 64 << 10, 0}});
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

void Rewrite(const fs::path& path, const std::string& text) {
  WriteFile(path, text);
  fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
}

// The index file, kept between starts, and shared by services.
TEST(SqliteIndex, FollowsTheCorpusAndIsWrittenByOneServiceAtATime) {
  const fs::path dir = FreshFolder("index_file");
  const fs::path corpus = dir / "corpus";
  const fs::path file = dir / "index.sqlite";
  std::unique_ptr<SqliteIndex> index;
  std::ostringstream said;  // while answering
  // Opens `path` on the corpus as it stands, which must log `logged`: the hits of
  // "the cat" in s.org.
  const auto reopen = [&](const fs::path& path, const std::string& logged) {
    index.reset();
    std::ostringstream log;
    index = SqliteIndex::Open(corpus, path, log, {.servingLog = &said});
    EXPECT_NE(log.str().find(logged), std::string::npos) << log.str();
    return index ? Sentences(index->Search("s.org", {"the", "cat"}, 100)) : Strings{"no index"};
  };
  WriteFile(corpus / "s.org" / "a.txt", "The cat sat in a. One. Two. Three.");
  WriteFile(corpus / "s.org" / "b.txt", "The cat sat in b.");
  WriteFile(corpus / "s.org" / "c.txt", "The cat sat in c.");
  WriteFile(corpus / "s.org" / "0.txt", "");  // no sentences, so no id of its own
  EXPECT_EQ(reopen(file, "4 files added, 0 changed, 0 removed"),
            (Strings{"The cat sat in a.", "The cat sat in b.", "The cat sat in c."}));
  // Sentences are read back from the files: one edited in place to the same size,
  // or replaced by another file of the same text, both with their times put back,
  // gives none, and one line, until the next start indexes it again. (The files
  // are kept from that first search: c.txt's new file looks the same.)
  const auto timeOf = [&](const char* name) {
    return fs::last_write_time(corpus / "s.org" / name);
  };
  const auto bTime = timeOf("b.txt");
  std::fstream(corpus / "s.org" / "b.txt", std::ios::in | std::ios::out | std::ios::binary)
      << "The dog";
  fs::last_write_time(corpus / "s.org" / "b.txt", bTime);
  WriteFile(corpus / "s.org" / "c.new", "The cat sat in c.");
  fs::last_write_time(corpus / "s.org" / "c.new", timeOf("c.txt"));
  fs::rename(corpus / "s.org" / "c.new", corpus / "s.org" / "c.txt");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Sentences(index->Search("s.org", {"the", "cat"}, 100)), Strings{"The cat sat in a."});
  }
  std::string lines;
  for (const char* name : {"b", "c"}) {
    lines += "index: " + (corpus / "s.org" / (std::string(name) + ".txt")).string() +
             " changed since it was indexed; its sentences are left out of answers until the "
             "next start indexes it again\n";
  }
  EXPECT_EQ(said.str(), lines);
  EXPECT_EQ(reopen(file, "0 files added, 2 changed, 0 removed"),
            (Strings{"The cat sat in a.", "The cat sat in c."}));

  Rewrite(corpus / "s.org" / "b.txt", "The cat sat in the new b. The cat ran.");
  fs::remove(corpus / "s.org" / "c.txt");
  fs::remove(corpus / "s.org" / "0.txt");
  WriteFile(corpus / "t.org" / "d.txt", "The cat sat in d.");
  EXPECT_EQ(reopen(file, "1 files added, 1 changed, 2 removed"),
            (Strings{"The cat sat in a.", "The cat sat in the new b.", "The cat ran."}));
  EXPECT_EQ(Sentences(index->Search("t.org", {"sat", "in"}, 100)), (Strings{"The cat sat in d."}));

  // When most of it is out of date, the index is built anew.
  Rewrite(corpus / "s.org" / "a.txt", "The cat sat in the new a.");
  const Strings now{"The cat sat in the new a.", "The cat sat in the new b.", "The cat ran."};
  EXPECT_EQ(reopen(file, "most of the corpus changed since"), now);

  // While one service answers from the index, a second one answers from it as it
  // stands: it neither updates it nor builds it anew.
  WriteFile(corpus / "s.org" / "e.txt", "The cat sat in e.");
  const std::string before = ReadAll(file);
  {
    std::ostringstream log;
    const auto second = SqliteIndex::Open(corpus, file, log);
    ASSERT_NE(second, nullptr) << log.str();
    EXPECT_NE(log.str().find(file.string() +
                             " cannot be brought up to date (another talewick-search answers "
                             "from it); answering from it as it stands, without the files "
                             "changed since: 1 added, 0 changed, 0 removed"),
              std::string::npos)
        << log.str();
    EXPECT_EQ(Sentences(second->Search("s.org", {"the", "cat"}, 100)), now);
  }
  index.reset();
  EXPECT_EQ(ReadAll(file), before);

  // While one builds it, another waits, then finds it up to date.
  auto builder = std::make_unique<IndexLock>();
  std::string why;
  ASSERT_EQ(builder->Open(file.string() + ".lock", why), IndexLock::Place::kWritable) << why;
  ASSERT_TRUE(builder->TryExclusive());
  const fs::path waiterLog = dir / "waiter.log";
  std::unique_ptr<SqliteIndex> waited;
  std::thread waiter([&] {
    std::ofstream log(waiterLog);
    waited = SqliteIndex::Open(corpus, file, log);
  });
  const std::string waiting =
      "index: another talewick-search is building " + file.string() + "; waiting for it to finish";
  for (int i = 0; i < 1000 && ReadAll(waiterLog).find(waiting) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  builder.reset();
  waiter.join();
  EXPECT_EQ(ReadAll(waiterLog).find(waiting), 0u) << ReadAll(waiterLog);
  EXPECT_NE(ReadAll(waiterLog).find("1 files added, 0 changed, 0 removed"), std::string::npos);
  ASSERT_NE(waited, nullptr);
  waited.reset();

  // An index file in the corpus, named like a text, is not one of its texts.
  const fs::path inside = corpus / "s.org" / "index.txt";
  EXPECT_EQ(reopen(inside, "4 files added, 0 changed, 0 removed").size(), 4u);
  EXPECT_EQ(reopen(inside, "0 files added, 0 changed, 0 removed").size(), 4u);
  index.reset();
  for (const char* suffix : {"", ".lock"}) fs::remove(inside.string() + suffix);

  // A corpus emptied behind the index's back leaves it as it is.
  const std::string last = ReadAll(file);
  fs::remove_all(corpus);
  fs::create_directories(corpus / "s.org");
  std::ostringstream emptied;
  EXPECT_EQ(SqliteIndex::Open(corpus, file, emptied), nullptr);
  EXPECT_NE(emptied.str().find("corpus: no .txt files under"), std::string::npos) << emptied.str();
  EXPECT_TRUE(ReadAll(file) == last) << "the index was written";
  fs::remove_all(dir);
}

// The cache folder keeps the index of a corpus folder that is away, and loses it
// once it has gone unused for long, or the least recently used indexes once they
// take more than the cache's room; never one that a service holds, the one being
// opened, or a file that is not an index.
TEST(SqliteIndex, TheCacheKeepsWhatMayComeBackWithinItsRoom) {
  const fs::path dir = FreshFolder("cache");
  const fs::path cache = dir / "cache";
  const auto indexOf = [&](const std::string& name) { return DefaultIndexFile(cache, dir / name); };
  WriteFile(cache / "notes.sqlite", "my notes\n");
  std::unique_ptr<SqliteIndex> held;  // the last one opened stays open
  const auto now = fs::file_time_type::clock::now();
  const auto daysAgo = [&](const std::string& name, int days) {
    fs::last_write_time(LockFileOf(indexOf(name)), now - std::chrono::hours(24 * days));
  };
  for (const char* name : {"old", "away", "here", "current", "held"}) {
    WriteFile(dir / name / "s.org" / "a.txt", "The cat sat.");
    std::ostringstream log;
    held = SqliteIndex::Open(dir / name, indexOf(name), log);
    ASSERT_NE(held, nullptr) << log.str();
  }
  for (const char* name : {"old", "away", "held"}) fs::remove_all(dir / name);
  for (const char* name : {"old", "here", "current", "held"}) daysAgo(name, 100);
  daysAgo("away", 10);
  // An index of another version is of no use: it would be built anew.
  const fs::path other = cache / "other-version.sqlite";
  fs::copy_file(indexOf("here"), other);
  std::fstream(other, std::ios::in | std::ios::out | std::ios::binary).seekp(60)
      << std::string("\0\0\0\4", 4);
  std::ostringstream log;
  TidyIndexCache(cache, indexOf("current"), log);
  EXPECT_EQ(log.str(), "index: removed from " + cache.string() +
                           " the indexes of another version, or cut short: " + other.string() +
                           "\nindex: removed from " + cache.string() +
                           " the index of each corpus folder gone and unused for 90 days: " +
                           FullCorpusPath(dir / "old") + "\n");
  EXPECT_FALSE(fs::exists(other));
  EXPECT_FALSE(fs::exists(indexOf("old")) || fs::exists(LockFileOf(indexOf("old"))));
  for (const char* name : {"away", "here", "current", "held"}) {
    EXPECT_TRUE(fs::exists(indexOf(name))) << name;
  }
  held.reset();  // let go, it goes
  log.str("");
  TidyIndexCache(cache, indexOf("current"), log);
  EXPECT_FALSE(fs::exists(indexOf("held")));
  // Room for two indexes: the least recently used others go first.
  const std::uintmax_t bytes = fs::file_size(indexOf("here"));
  daysAgo("away", 50);
  log.str("");
  TidyIndexCache(cache, indexOf("current"), log, {.budgetBytes = 2 * bytes});
  EXPECT_EQ(log.str(), "index: removed from " + cache.string() +
                           " the least recently used indexes, to keep it within " +
                           std::to_string(2 * bytes >> 20) +
                           " MB: " + FullCorpusPath(dir / "here") + "\n");
  EXPECT_TRUE(fs::exists(indexOf("away")) && fs::exists(indexOf("current")) &&
              fs::exists(cache / "notes.sqlite"));
  fs::remove_all(dir);
}

// The files an index is opened on: another program's are left as they are, and an
// index of this program's that is damaged never answers: the damage is found at
// the start, or by the query that reads it, and the index is built anew. Each table
// gets each kind of damage: bytes changed, a page zeroed, two pages swapped, a
// page copied over another, and a page put back as it was before the last update
// (as a write the disk lost leaves it).
TEST(SqliteIndex, LeavesOtherFilesAloneAndNeverAnswersFromADamagedOne) {
  const fs::path dir = FreshFolder("damage");
  const fs::path corpus = dir / "corpus";
  std::string text;
  for (int i = 0; i < 300; ++i) {
    text += "The cat " + std::to_string(i) + " sat on the mat. A dog barked at the cat.\n";
  }
  WriteFile(corpus / "s.org" / "a.txt", text);
  WriteFile(corpus / "s.org" / "b.txt", "Then the old cat slept. The end.");
  // Enough files for the files table to take several pages, which every start reads whole.
  for (int i = 0; i < 200; ++i) {
    WriteFile(corpus / "s.org" / ("note" + std::to_string(i) + ".txt"), "A note.");
  }
  // Sorted: an index built anew numbers the files it had added later in their place.
  const auto answers = [](const CorpusIndex& index) {
    Strings found;
    for (const Strings& words : {Strings{"the", "cat"}, Strings{"dog", "slept"}, Strings{"end"}}) {
      for (const SearchHit& hit : index.Search("s.org", words, 1000)) found.push_back(hit.sentence);
    }
    std::sort(found.begin(), found.end());
    return found;
  };
  // An index made, then brought up to date with a changed corpus; and one built
  // at once from the changed corpus, whose pages are all written together.
  const fs::path old = dir / "old.sqlite";
  const fs::path updated = dir / "updated.sqlite";
  const fs::path sound = dir / "sound.sqlite";
  std::ostringstream log;
  ASSERT_NE(SqliteIndex::Open(corpus, old, log), nullptr) << log.str();
  fs::copy_file(old, updated);
  Rewrite(corpus / "s.org" / "b.txt", "Then the old dog slept. The end.");
  WriteFile(corpus / "s.org" / "c.txt", "The cat came back. The end.");
  const Strings expected = answers(*SqliteIndex::Open(corpus, sound, log));
  ASSERT_EQ(expected.size(), 604u);
  ASSERT_EQ(answers(*SqliteIndex::Open(corpus, updated, log)), expected);
  // Each table's pages, its leaves first (whose swaps SQLite cannot tell by their
  // kind), and whether every start reads them.
  struct Table {
    std::string name;
    std::vector<std::int64_t> pages;
    bool alwaysRead;
  };
  const auto tablesOf = [](const fs::path& path) {
    std::vector<Table> tables;
    SqliteDb db;
    sqlite3* raw = nullptr;
    EXPECT_EQ(sqlite3_open(path.string().c_str(), &raw), SQLITE_OK);
    db.reset(raw);
    ForEachRow(raw, "SELECT name, pageno FROM dbstat ORDER BY name, pagetype <> 'leaf', pageno",
               [&](sqlite3_stmt* row) {
                 const std::string name = ColumnText(row, 0);
                 if (tables.empty() || tables.back().name != name) {
                   tables.push_back({name,
                                     {},
                                     name == "sqlite_schema" || name == "sites" ||
                                         name == "files" || name == "pages"});
                 }
                 tables.back().pages.push_back(sqlite3_column_int64(row, 1));
               });
    return tables;
  };
  const std::string before = ReadAll(old);
  const std::string after = ReadAll(updated);
  const std::string built = ReadAll(sound);
  const auto page = [](const std::string& bytes, std::int64_t number) {
    return bytes.substr(static_cast<std::size_t>(number - 1) * 4096, 4096);
  };
  const auto damage = [&](const fs::path& base,
                          std::vector<std::pair<std::int64_t, std::string>> pages) {
    return [=](const fs::path& path) {
      fs::copy_file(base, path);
      std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
      for (const auto& [number, bytes] : pages) out.seekp((number - 1) * 4096) << bytes;
    };
  };

  struct Case {
    std::string name;
    std::function<void(const fs::path&)> make;
    bool ownPlace = false;  // the file lies in the program's own cache folder
    bool refused = false;
    bool mustBeFound = false;  // the damage lies where every start reads
    // The damage takes the file's first page, its header: a file named by the user
    // is then no longer known as an index of this program.
    bool headerLost = false;
  };
  const auto notes = [](const fs::path& path) { WriteFile(path, "my notes\n"); };
  std::vector<Case> cases{
      {"a text file", notes, false, true},
      {"a text file in the program's own place", notes, true},
      {"another program's database, even in the program's own place",
       [](const fs::path& path) {
         SqliteDb db;
         sqlite3* raw = nullptr;
         ASSERT_EQ(sqlite3_open(path.string().c_str(), &raw), SQLITE_OK);
         db.reset(raw);
         ASSERT_TRUE(Exec(raw, "CREATE TABLE t(x); INSERT INTO t VALUES(1)"));
       },
       true, true},
      {"an index cut short",
       [&](const fs::path& path) {
         fs::copy_file(sound, path);
         fs::resize_file(path, fs::file_size(sound) / 2);
       }},
  };
  const std::vector<Table> tables = tablesOf(sound);
  for (std::size_t t = 0; t < tables.size(); ++t) {
    const auto& [name, pages, read] = tables[t];
    const std::int64_t first = pages.front();
    // Another page of the table, else the next table's first.
    const std::int64_t other =
        pages.size() > 1 ? pages[pages.size() / 2] : tables[(t + 1) % tables.size()].pages[0];
    const bool header = first == 1;
    std::string changed = page(built, first);
    changed.replace(1000, 16, std::string(16, 'Z'));
    cases.push_back(
        {name + ": 16 bytes changed", damage(sound, {{first, changed}}), false, false, read});
    cases.push_back({name + ": zeroed", damage(sound, {{first, std::string(4096, '\0')}}), false,
                     false, read, header});
    cases.push_back({name + ": swapped",
                     damage(sound, {{first, page(built, other)}, {other, page(built, first)}}),
                     false, false, read, header || other == 1});
    cases.push_back({name + ": another page copied over it",
                     damage(sound, {{first, page(built, other)}}), false, false, read, header});
  }
  // A page older than its last write stands out only against the stamps kept in
  // the pages table, which may itself be older: that goes unseen.
  for (const auto& [name, pages, read] : tablesOf(updated)) {
    for (const std::int64_t number : pages) {
      if (page(before, number).size() == 4096 && page(before, number) != page(after, number)) {
        cases.push_back({name + ": page " + std::to_string(number) + " as it was",
                         damage(updated, {{number, page(before, number)}}), false, false,
                         read && name != "pages"});
        break;
      }
    }
  }

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const fs::path file = dir / ("case" + std::to_string(i));
    c.make(file);
    const std::string made = ReadAll(file);
    std::ostringstream opened;
    std::ostringstream said;  // while answering
    auto index =
        SqliteIndex::Open(corpus, file, opened, {.ownPlace = c.ownPlace, .servingLog = &said});
    if (c.refused || (c.headerLost && index == nullptr)) {
      EXPECT_EQ(index, nullptr);
      EXPECT_NE(opened.str().find("index: " + file.string() + " is not a talewick-search index ("),
                std::string::npos)
          << opened.str();
      EXPECT_EQ(ReadAll(file), made);
      EXPECT_FALSE(fs::exists(file.string() + ".lock"));
      continue;
    }
    ASSERT_NE(index, nullptr) << opened.str();
    bool found = opened.str().find("building it anew") != std::string::npos;
    Strings got;
    try {
      got = answers(*index);
    } catch (const IndexFault& fault) {
      EXPECT_TRUE(fault.damaged()) << fault.what();
      found = true;
      index.reset();
      index = SqliteIndex::Open(corpus, file, opened, {.rebuild = true});
      ASSERT_NE(index, nullptr) << opened.str();
      got = answers(*index);
    }
    EXPECT_EQ(got, expected) << opened.str();
    EXPECT_EQ(said.str(), "") << "damage taken for a change of the corpus";
    EXPECT_TRUE(found || !c.mustBeFound) << "damage not found";
  }
  fs::remove_all(dir);
}

bool CanWriteIn(const fs::path& dir) {
  const bool made = std::ofstream(dir / "probe").is_open();
  std::error_code ec;
  fs::remove(dir / "probe", ec);
  return made;
}

// Makes `dir` unwritable for this process, even as root (with chattr +i, where the
// system and the file system have it: `immutable` says so); false when it cannot.
bool MakeReadOnly(const fs::path& dir, bool& immutable) {
  fs::permissions(dir, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  immutable =
      CanWriteIn(dir) && std::system(("chattr +i '" + dir.string() + "' 2>/dev/null").c_str()) == 0;
  return !CanWriteIn(dir);
}

// A complete index in a folder that cannot be written is answered from as it
// stands; with no index there, the start is refused.
TEST(SqliteIndex, AnswersFromAReadOnlyFolderAsItStands) {
  const fs::path dir = FreshFolder("read_only");
  const fs::path corpus = dir / "corpus";
  const fs::path file = dir / "cache" / "index.sqlite";
  WriteFile(corpus / "s.org" / "a.txt", "The cat sat in a.");
  fs::create_directories(file.parent_path());
  std::ostringstream log;
  ASSERT_NE(SqliteIndex::Open(corpus, file, log), nullptr) << log.str();
  bool immutable = false;
  if (!MakeReadOnly(file.parent_path(), immutable)) {
    GTEST_SKIP() << "cannot make a folder read-only here";
  }
  WriteFile(corpus / "s.org" / "b.txt", "The cat sat in b.");
  const auto index = SqliteIndex::Open(corpus, file, log);
  ASSERT_NE(index, nullptr) << log.str();
  EXPECT_EQ(Sentences(index->Search("s.org", {"the", "cat"}, 100)), (Strings{"The cat sat in a."}));
  EXPECT_NE(log.str().find(" cannot be brought up to date (its folder cannot be written to: "),
            std::string::npos)
      << log.str();
  const fs::path empty = dir / "cache" / "other.sqlite";
  EXPECT_EQ(SqliteIndex::Open(corpus, empty, log), nullptr);
  EXPECT_NE(
      log.str().find("index: cannot use " + empty.string() + ": its folder cannot be written to: "),
      std::string::npos)
      << log.str();
  if (immutable) {
    EXPECT_EQ(std::system(("chattr -i '" + file.parent_path().string() + "'").c_str()), 0);
  }
  fs::permissions(file.parent_path(), fs::perms::owner_all);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace talewick::search
