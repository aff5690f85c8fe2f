// Tests of the search service's text rules (query decoding, words, sentences) and
// of both index kinds (in memory and SQLite), which answer one table of queries
// alike. The service test asks for whole queries.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "memory_index.h"
#include "query_decode.h"
#include "result_page.h"
#include "sqlite_index.h"

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
  // Broken escapes, control bytes and broken UTF-8, whether escaped or raw.
  for (const char* bad : {"%", "ab%2", "%zz", "%2g", "a%%20", "%00", "a%0Ab", "%7F", "%FF", "%C3",
                          "%C3%28", "%E2%82", "a\x01", "caf\xC3\xA9", "a b"}) {
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
  // An overlong sentence is cut at a blank.
  std::string text;
  for (int i = 0; i < 600; ++i) text += "word ";
  for (const std::string& s : SplitSentences(text)) {
    EXPECT_TRUE(s.size() <= kMaxSentenceBytes + 5 && s.back() != ' ') << s;
  }
}

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

class IndexKindTest : public ::testing::TestWithParam<std::string> {
 protected:
  std::unique_ptr<CorpusIndex> Open(const fs::path& corpus) {
    std::ostringstream log;
    if (GetParam() == "memory") return OpenMemoryIndex(corpus, log);
    return SqliteIndex::Open(corpus, corpus.string() + ".sqlite", log);
  }
};

INSTANTIATE_TEST_SUITE_P(Kinds, IndexKindTest, ::testing::Values("memory", "sqlite"),
                         [](const auto& info) { return info.param; });

TEST_P(IndexKindTest, AnswersTheTableOfQueries) {
  const fs::path corpus = FreshFolder("table_" + GetParam());
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

  const struct {
    const char* site;
    Strings words;
    Strings sentences;  // the hits expected, in order
  } queries[] = {
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
      {"talewick.org", {}, {}},
      {"unknown.com", {"the", "cat"}, {}},
  };
  for (const auto& query : queries) {
    const auto hits = index->Search(query.site, query.words, 100);
    EXPECT_EQ(Sentences(hits), query.sentences) << ::testing::PrintToString(query.words);
  }
  const auto hits = index->Search("talewick.org", {"the", "cat"}, 100);
  ASSERT_EQ(hits.size(), 7u);
  EXPECT_EQ(hits[0].title, "a cats");
  EXPECT_EQ(hits[6].title, "b more");
  // The marks wrap exactly the words, whatever punctuation stands around them.
  EXPECT_EQ(HighlightSnippet(hits[3]),
            "He said \xe2\x80\x9c<b>the cat</b> sat\xe2\x80\x9d and left.");
  fs::remove_all(corpus);
}

// 41 files of 20 sentences, each holding "the cat" and the file's number and
// taking about 15 KB on the page (every '&' becomes "&amp;"): more than a page.
TEST_P(IndexKindTest, SpreadsHitsOverTheCorpusAndKeepsThePageUnderItsLimit) {
  const fs::path corpus = FreshFolder("spread_" + GetParam());
  for (int file = 0; file <= 40; ++file) {
    std::string text;
    for (int i = 0; i < 20; ++i) {
      text += "Then the cat " + std::to_string(file) + " " + std::string(3000, '&') + ". ";
    }
    WriteFile(corpus / "s.org" / ((file < 10 ? "f0" : "f") + std::to_string(file) + ".txt"), text);
  }
  const auto index = Open(corpus);
  ASSERT_NE(index, nullptr);
  Strings titles;
  for (const SearchHit& hit : index->Search("s.org", {"the", "cat"}, 10)) {
    titles.push_back(hit.title);
  }
  EXPECT_EQ(titles,
            (Strings{"f00", "f04", "f08", "f12", "f16", "f20", "f24", "f28", "f32", "f36"}));
  // Matches in one stretch only still fill the page.
  const auto few = index->Search("s.org", {"cat", "7"}, 15);
  ASSERT_EQ(few.size(), 15u);
  EXPECT_EQ(few.front().title, "f07");

  const auto hits = index->Search("s.org", {"the", "cat"}, 100000);
  const std::string page = RenderResultPage("the cat site:s.org", hits);
  EXPECT_LE(page.size(), kMaxPageBytes);
  EXPECT_GT(page.size(), kMaxPageBytes * 9 / 10);
  ASSERT_FALSE(hits.empty());
  EXPECT_EQ(hits.front().title, "f00");
  EXPECT_EQ(hits.back().title, "f40");
  fs::remove_all(corpus);
}

void Rewrite(const fs::path& path, const std::string& text) {
  WriteFile(path, text);
  fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
}

// The index file, kept between starts.
TEST(SqliteIndex, FollowsTheCorpusAndRebuildsADamagedOrForeignFile) {
  const fs::path dir = FreshFolder("index_file");
  const fs::path corpus = dir / "corpus";
  const fs::path file = dir / "index.sqlite";
  std::unique_ptr<SqliteIndex> index;
  // Opens `path` on the corpus as it stands, which must log `logged`: the hits of
  // "the cat" in s.org.
  const auto reopen = [&](const fs::path& path, const std::string& logged) {
    index.reset();
    std::ostringstream log;
    index = SqliteIndex::Open(corpus, path, log);
    EXPECT_NE(log.str().find(logged), std::string::npos) << log.str();
    return index ? Sentences(index->Search("s.org", {"the", "cat"}, 100)) : Strings{"no index"};
  };
  WriteFile(corpus / "s.org" / "a.txt", "The cat sat in a. One. Two. Three.");
  WriteFile(corpus / "s.org" / "b.txt", "The cat sat in b.");
  WriteFile(corpus / "s.org" / "c.txt", "The cat sat in c.");
  EXPECT_EQ(reopen(file, "3 files added, 0 changed, 0 removed"),
            (Strings{"The cat sat in a.", "The cat sat in b.", "The cat sat in c."}));

  Rewrite(corpus / "s.org" / "b.txt", "The cat sat in the new b. The cat ran.");
  fs::remove(corpus / "s.org" / "c.txt");
  WriteFile(corpus / "t.org" / "d.txt", "The cat sat in d.");
  EXPECT_EQ(reopen(file, "1 files added, 1 changed, 1 removed"),
            (Strings{"The cat sat in a.", "The cat sat in the new b.", "The cat ran."}));
  EXPECT_EQ(Sentences(index->Search("t.org", {"sat", "in"}, 100)), (Strings{"The cat sat in d."}));

  // When most of it is out of date, the index is built anew.
  Rewrite(corpus / "s.org" / "a.txt", "The cat sat in the new a.");
  const Strings now{"The cat sat in the new a.", "The cat sat in the new b.", "The cat ran."};
  EXPECT_EQ(reopen(file, "most of the corpus changed since"), now);
  index.reset();

  // So are a damaged file and an SQLite file of something else.
  std::fstream(file, std::ios::in | std::ios::out | std::ios::binary)
      << std::string(fs::file_size(file) / 2, 'x');
  const fs::path foreign = dir / "foreign.sqlite";
  {
    SqliteDb db;
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &raw), SQLITE_OK);
    db.reset(raw);
    ASSERT_EQ(sqlite3_exec(raw, "CREATE TABLE t(x)", nullptr, nullptr, nullptr), SQLITE_OK);
  }
  for (const fs::path& path : {file, foreign}) {
    EXPECT_EQ(reopen(path, "index: " + path.string() + " is not a sound talewick-search index ("),
              now);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace talewick::search
