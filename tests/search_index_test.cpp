// Tests of the search service's text rules and of both index kinds (in memory and
// SQLite), which answer one table of queries alike.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "memory_index.h"
#include "result_page.h"
#include "sqlite_index.h"
#include "words.h"

namespace talewick::search {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

Strings Sentences(const std::vector<SearchHit>& hits) {
  Strings out;
  for (const SearchHit& hit : hits) out.push_back(hit.sentence);
  return out;
}

Strings Words(std::string_view text) {
  Strings out;
  for (const WordSpan& word : SplitWords(text)) {
    out.emplace_back(text.substr(word.offset, word.length));
  }
  return out;
}

TEST(SplitSentences, EndsAtStopsBlankLinesAndTheLengthLimit) {
  EXPECT_EQ(SplitSentences("The cat sat.  The dog\nran away!  Did it?"),
            (Strings{"The cat sat.", "The dog ran away!", "Did it?"}));
  EXPECT_EQ(SplitSentences("\"Come in,\" she said. \"The door is open.\" He came."),
            (Strings{"\"Come in,\" she said.", "\"The door is open.\"", "He came."}));
  // A stop inside a word (a number, a domain) or an ellipsis ends nothing early.
  EXPECT_EQ(SplitSentences("It cost 3.50 at talewick.org... then more."),
            (Strings{"It cost 3.50 at talewick.org...", "then more."}));
  // A blank line ends a sentence; pieces without words are dropped.
  EXPECT_EQ(SplitSentences("A Title\n\n  \r\nThe text\r\nbegins here.\n---\n\n\xe2\x80\x94\n"),
            (Strings{"A Title", "The text begins here."}));
  // An overlong sentence is cut at a blank.
  std::string text;
  for (int i = 0; i < 600; ++i) text += "word ";
  const Strings sentences = SplitSentences(text);
  ASSERT_GE(sentences.size(), 2u);
  for (const std::string& s : sentences) {
    EXPECT_LE(s.size(), kMaxSentenceBytes + 5);
    EXPECT_NE(s.back(), ' ');
  }
}

TEST(SplitWords, EndsWordsAtUnicodePunctuationAndSpaceOnly) {
  // Curly quotes, dashes, ellipsis, no-break and ideographic space, inverted marks.
  EXPECT_EQ(Words("\xe2\x80\x9cthe cat\xe2\x80\x9d late\xe2\x80\x94the\xe2\x80\x93"
                  "cat\xe2\x80\xa6sat\xc2\xa0on\xe3\x80\x80it \xc2\xbfno?"),
            (Strings{"the", "cat", "late", "the", "cat", "sat", "on", "it", "no"}));
  // Accented and non-Latin letters stay inside words; so do apostrophes, straight
  // or curly, between letters, and bytes that are not UTF-8.
  EXPECT_EQ(Words("caf\xc3\xa9 na\xc3\xafve \xce\xb3\xce\xac\xcf\x84\xce\xb1 cat's "
                  "cat\xe2\x80\x99s 'tis\xe2\x80\x99 x\xff\xfey \xe2\x80"),
            (Strings{"caf\xc3\xa9", "na\xc3\xafve", "\xce\xb3\xce\xac\xcf\x84\xce\xb1", "cat's",
                     "cat\xe2\x80\x99s", "tis", "x\xff\xfey", "\xe2\x80"}));
}

TEST(ResultPage, HighlightsEveryMatchKeepingCaseAndEscapesText) {
  const std::string sentence = "Ask <THE CAT> & the cat \"now\".";
  const SearchHit hit{0, "cat <tales>", sentence, FindPhrase(LowerAscii(sentence), {"the", "cat"})};
  EXPECT_EQ(HighlightSnippet(hit), "Ask &lt;<b>THE CAT</b>&gt; &amp; <b>the cat</b> \"now\".");
  // On the page each snippet line ends with its sentence.
  const std::string page = RenderResultPage("the cat site:s.org", {hit});
  EXPECT_NE(page.find("<b>the cat</b> \"now\".\n"), std::string::npos);
  EXPECT_NE(page.find("cat &lt;tales&gt;"), std::string::npos);
  // The query echo is never highlighted, or a reader would count it as a result.
  EXPECT_EQ(page.find("<b>the cat</b> site"), std::string::npos);
  const std::string empty = RenderResultPage("x <y> \"z\"", {});
  EXPECT_NE(empty.find("No results"), std::string::npos);
  EXPECT_NE(empty.find("value=\"x &lt;y&gt; &quot;z&quot;\""), std::string::npos);
  EXPECT_EQ(empty.find("<b>"), std::string::npos);
}

// --- both index kinds ---

fs::path FreshFolder(const std::string& name) {
  const fs::path dir =
      fs::path(testing::TempDir()) / ("talewick_" + name + "_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

using Opener = std::function<std::unique_ptr<CorpusIndex>(const fs::path& corpus)>;

struct Kind {
  const char* name;
  Opener open;
};

const Kind kKinds[] = {
    {"memory",
     [](const fs::path& corpus) -> std::unique_ptr<CorpusIndex> {
       std::ostringstream log;
       return OpenMemoryIndex(corpus, log);
     }},
    {"sqlite",
     [](const fs::path& corpus) -> std::unique_ptr<CorpusIndex> {
       std::ostringstream log;
       return SqliteIndex::Open(corpus, corpus.string() + ".sqlite", log);
     }},
};

class IndexKindTest : public ::testing::TestWithParam<Kind> {
 protected:
  std::unique_ptr<CorpusIndex> Open(const fs::path& corpus) {
    auto index = GetParam().open(corpus);
    EXPECT_NE(index, nullptr);
    return index;
  }
};

INSTANTIATE_TEST_SUITE_P(Kinds, IndexKindTest, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

struct Query {
  const char* site;
  Strings words;
  Strings sentences;  // the hits expected, in order
};

TEST_P(IndexKindTest, AnswersTheTableOfQueries) {
  const fs::path corpus = FreshFolder(std::string("table_") + GetParam().name);
  WriteFile(corpus / "Talewick.org" / "a-cats.txt",
            "The cat sat on the mat. A dog barked. THE CAT ran, and the cat hid.\n"
            "Then the old man said the cat was his.\n\n"
            "He said \xe2\x80\x9cthe cat sat\xe2\x80\x9d and left. It was late\xe2\x80\x94the cat "
            "slept. Look: the cat\xe2\x80\xa6 and the, cat. The caf\xc3\xa9 cat's bowl.\n"
            "Bathe cat, the cats, the cat's tail and the-cat were not found.");
  WriteFile(corpus / "Talewick.org" / "b_more.txt", "Once the cat slept. The catalogue was old.");
  WriteFile(corpus / "Talewick.org" / "notes.md", "The cat is not indexed.");
  WriteFile(corpus / "Talewick.org" / "empty.txt", "");
  WriteFile(corpus / "other.net" / "x.txt", "The cat of another site.");
  const auto index = Open(corpus);
  ASSERT_NE(index, nullptr);

  const std::vector<Query> queries = {
      {"talewick.org",
       {"the", "cat"},
       {"The cat sat on the mat.", "THE CAT ran, and the cat hid.",
        "Then the old man said the cat was his.",
        "He said \xe2\x80\x9cthe cat sat\xe2\x80\x9d and left.",
        "It was late\xe2\x80\x94the cat slept.", "Look: the cat\xe2\x80\xa6 and the, cat.",
        "Once the cat slept."}},
      {"talewick.org", {"old", "man", "said"}, {"Then the old man said the cat was his."}},
      {"talewick.org",
       {"old"},
       {"Then the old man said the cat was his.", "The catalogue was old."}},
      {"talewick.org", {"caf\xc3\xa9", "cat's"}, {"The caf\xc3\xa9 cat's bowl."}},
      {"other.net", {"the", "cat"}, {"The cat of another site."}},
      {"talewick.org", {"cat", "the"}, {}},
      {"talewick.org", {"the", "mat", "sat"}, {}},
      {"talewick.org", {"ran", "and"}, {}},  // a comma between
      {"talewick.org", {"is", "not", "indexed"}, {}},
      {"talewick.org", {"another"}, {}},
      {"talewick.org", {}, {}},
      {"unknown.com", {"the", "cat"}, {}},
  };
  for (const Query& query : queries) {
    const auto hits = index->Search(query.site, query.words, 100);
    EXPECT_EQ(Sentences(hits), query.sentences) << ::testing::PrintToString(query.words);
  }
  const auto hits = index->Search("talewick.org", {"the", "cat"}, 100);
  ASSERT_EQ(hits.size(), 7u);
  EXPECT_EQ(hits[0].title, "a cats");
  EXPECT_EQ(hits[6].title, "b more");
  // The marks wrap exactly the words, whatever punctuation stands around them.
  EXPECT_EQ(HighlightSnippet(hits[1]), "<b>THE CAT</b> ran, and <b>the cat</b> hid.");
  EXPECT_EQ(HighlightSnippet(hits[3]),
            "He said \xe2\x80\x9c<b>the cat</b> sat\xe2\x80\x9d and left.");
  EXPECT_EQ(HighlightSnippet(hits[4]), "It was late\xe2\x80\x94<b>the cat</b> slept.");
  EXPECT_EQ(HighlightSnippet(hits[5]), "Look: <b>the cat</b>\xe2\x80\xa6 and the, cat.");
  fs::remove_all(corpus);
}

// 41 files of 20 sentences, each holding "the cat" followed by the file's number.
fs::path WriteNumberedCorpus(const std::string& name, const std::string& filler) {
  const fs::path corpus = FreshFolder(name);
  for (int file = 0; file <= 40; ++file) {
    std::string text;
    for (int i = 0; i < 20; ++i) text += "Then the cat " + std::to_string(file) + filler + ". ";
    char file_name[32];
    std::snprintf(file_name, sizeof file_name, "f%02d.txt", file);
    WriteFile(corpus / "s.org" / file_name, text);
  }
  return corpus;
}

TEST_P(IndexKindTest, SpreadsHitsOverTheWholeCorpusTheSameWayEveryTime) {
  const fs::path corpus = WriteNumberedCorpus(std::string("spread_") + GetParam().name, "");
  const auto index = Open(corpus);
  ASSERT_NE(index, nullptr);
  const auto hits = index->Search("s.org", {"the", "cat"}, 10);
  ASSERT_EQ(hits.size(), 10u);
  EXPECT_EQ(hits.front().title, "f00");
  EXPECT_EQ(hits[5].title, "f20");
  EXPECT_EQ(hits.back().title, "f36");
  EXPECT_EQ(Sentences(index->Search("s.org", {"the", "cat"}, 10)), Sentences(hits));
  // Both kinds pick the same sentences.
  const auto memory = kKinds[0].open(corpus);
  EXPECT_EQ(Sentences(memory->Search("s.org", {"the", "cat"}, 10)), Sentences(hits));
  // Matches in one stretch only still fill the page.
  const auto few = index->Search("s.org", {"cat", "7"}, 15);
  ASSERT_EQ(few.size(), 15u);
  EXPECT_EQ(few.front().title, "f07");
  fs::remove_all(corpus);
}

TEST_P(IndexKindTest, KeepsThePageUnderItsLimitWhateverTheNumberOfResults) {
  // Each result takes about 15 KB on the page: every '&' becomes "&amp;".
  const fs::path corpus =
      WriteNumberedCorpus(std::string("page_") + GetParam().name, " " + std::string(3000, '&'));
  const auto index = Open(corpus);
  ASSERT_NE(index, nullptr);
  const auto hits = index->Search("s.org", {"the", "cat"}, 100000);
  const std::string page = RenderResultPage("the cat site:s.org", hits);
  EXPECT_LE(page.size(), kMaxPageBytes);
  EXPECT_GT(page.size(), kMaxPageBytes * 9 / 10);
  ASSERT_FALSE(hits.empty());
  EXPECT_EQ(hits.front().title, "f00");
  EXPECT_EQ(hits.back().title, "f40");
  fs::remove_all(corpus);
}

// --- the index file ---

std::unique_ptr<SqliteIndex> OpenFile(const fs::path& corpus, const fs::path& file,
                                      std::string* log = nullptr) {
  std::ostringstream out;
  auto index = SqliteIndex::Open(corpus, file, out);
  if (log != nullptr) *log = out.str();
  return index;
}

TEST(SqliteIndex, FollowsTheCorpusBetweenStartsAsAFreshIndexWould) {
  const fs::path dir = FreshFolder("index_update");
  const fs::path corpus = dir / "corpus";
  WriteFile(corpus / "s.org" / "a.txt", "The cat sat in a. One. Two. Three.");
  WriteFile(corpus / "s.org" / "b.txt", "The cat sat in b.");
  WriteFile(corpus / "s.org" / "c.txt", "The cat sat in c.");
  std::string log;
  ASSERT_NE(OpenFile(corpus, dir / "kept.sqlite", &log), nullptr);
  EXPECT_NE(log.find("3 files added, 0 changed, 0 removed"), std::string::npos) << log;

  WriteFile(corpus / "s.org" / "b.txt", "The cat sat in the new b. The cat ran.");
  fs::last_write_time(corpus / "s.org" / "b.txt",
                      fs::last_write_time(corpus / "s.org" / "b.txt") + std::chrono::seconds(5));
  fs::remove(corpus / "s.org" / "c.txt");
  WriteFile(corpus / "t.org" / "d.txt", "The cat sat in d.");
  const auto kept = OpenFile(corpus, dir / "kept.sqlite", &log);
  ASSERT_NE(kept, nullptr);
  EXPECT_NE(log.find("1 files added, 1 changed, 1 removed"), std::string::npos) << log;
  const auto fresh = OpenFile(corpus, dir / "fresh.sqlite");
  ASSERT_NE(fresh, nullptr);
  for (const auto& [site, words] : std::vector<std::pair<std::string, Strings>>{
           {"s.org", {"the", "cat"}}, {"t.org", {"the", "cat"}}, {"s.org", {"sat", "in"}}}) {
    EXPECT_EQ(Sentences(kept->Search(site, words, 100)),
              Sentences(fresh->Search(site, words, 100)));
  }
  EXPECT_EQ(Sentences(kept->Search("s.org", {"the", "cat"}, 100)),
            (Strings{"The cat sat in a.", "The cat sat in the new b.", "The cat ran."}));

  // When most of it is out of date, the index is built anew.
  WriteFile(corpus / "s.org" / "a.txt", "The cat sat in the new a.");
  fs::last_write_time(corpus / "s.org" / "a.txt",
                      fs::last_write_time(corpus / "s.org" / "a.txt") + std::chrono::seconds(5));
  const auto anew = OpenFile(corpus, dir / "kept.sqlite", &log);
  ASSERT_NE(anew, nullptr);
  EXPECT_NE(log.find("most of the corpus changed since"), std::string::npos) << log;
  EXPECT_EQ(Sentences(anew->Search("s.org", {"the", "cat"}, 100)),
            (Strings{"The cat sat in the new a.", "The cat sat in the new b.", "The cat ran."}));
  fs::remove_all(dir);
}

TEST(SqliteIndex, RebuildsADamagedOrForeignFileAndSaysSo) {
  const fs::path dir = FreshFolder("index_damaged");
  WriteFile(dir / "corpus" / "s.org" / "a.txt", "The cat sat.");
  const fs::path file = dir / "index.sqlite";
  ASSERT_NE(OpenFile(dir / "corpus", file), nullptr);
  const auto size = fs::file_size(file);
  {
    std::fstream damaged(file, std::ios::in | std::ios::out | std::ios::binary);
    damaged << std::string(size / 2, 'x');
  }
  WriteFile(dir / "foreign.sqlite", "");
  {
    SqliteDb db;
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "foreign.sqlite").c_str(), &raw), SQLITE_OK);
    db.reset(raw);
    ASSERT_EQ(
        sqlite3_exec(raw, "CREATE TABLE t(x); INSERT INTO t VALUES(1);", nullptr, nullptr, nullptr),
        SQLITE_OK);
  }
  for (const fs::path& path : {file, dir / "foreign.sqlite"}) {
    std::string log;
    const auto index = OpenFile(dir / "corpus", path, &log);
    ASSERT_NE(index, nullptr) << log;
    EXPECT_NE(log.find("index: " + path.string() + " is not a sound talewick-search index ("),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("building it anew"), std::string::npos) << log;
    EXPECT_EQ(Sentences(index->Search("s.org", {"the", "cat"}, 10)), (Strings{"The cat sat."}));
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace talewick::search
