// Tests of the search service's sentence cutting, phrase index and result page.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "corpus_index.h"
#include "result_page.h"

namespace talewick::search {
namespace {

using Strings = std::vector<std::string>;

Strings Sentences(const std::vector<SearchHit>& hits) {
  Strings out;
  for (const SearchHit& hit : hits) out.emplace_back(hit.sentence);
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
  EXPECT_EQ(SplitSentences("A Title\n\n  \r\nThe text\r\nbegins here.\n---\n"),
            (Strings{"A Title", "The text begins here."}));
  EXPECT_TRUE(SplitSentences(" ... !!! \n\n ").empty());
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

TEST(FindPhrase, MatchesWholeWordsOnly) {
  const std::string text = "the cat and the cats, the cat's tail, bathe cat, the cat";
  const auto matches = FindPhrase(text, "the cat");
  ASSERT_EQ(matches.size(), 2u);
  EXPECT_EQ(matches[0].offset, 0u);
  EXPECT_EQ(matches[1].offset, text.size() - 7);
  EXPECT_TRUE(FindPhrase("", "the").empty());
  EXPECT_TRUE(FindPhrase("the cat", "").empty());
}

class CorpusIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    index_.AddDocument("talewick.org", "cats",
                       "The cat sat on the mat. A dog barked. THE CAT ran, and the cat hid. "
                       "Then the old man said the cat was his.");
    index_.AddDocument("talewick.org", "more cats", "Once the cat slept. The catalogue was old.");
    index_.AddDocument("other.net", "elsewhere", "The cat of another site.");
  }
  CorpusIndex index_;
};

TEST_F(CorpusIndexTest, FindsPhraseCaseInsensitivelyInCorpusOrder) {
  const auto hits = index_.Search("talewick.org", {"the", "cat"}, 100);
  EXPECT_EQ(Sentences(hits),
            (Strings{"The cat sat on the mat.", "THE CAT ran, and the cat hid.",
                     "Then the old man said the cat was his.", "Once the cat slept."}));
  ASSERT_EQ(hits.size(), 4u);
  EXPECT_EQ(hits[1].matches.size(), 2u);
  EXPECT_EQ(hits[3].title, "more cats");
}

TEST_F(CorpusIndexTest, WordsMustStandTogetherInOrderOnTheSiteAskedFor) {
  const auto Search = [&](const char* site, std::vector<std::string> words) {
    return Sentences(index_.Search(site, words, 100));
  };
  for (const Strings& words : std::vector<Strings>{{"cat", "the"},
                                                   {"the", "mat", "sat"},
                                                   {"ran", "and"},
                                                   {"the", "unicorn"},
                                                   {},
                                                   {"another"}}) {
    EXPECT_TRUE(Search("talewick.org", words).empty()) << ::testing::PrintToString(words);
  }
  EXPECT_EQ(Search("talewick.org", {"old", "man", "said"}),
            (Strings{"Then the old man said the cat was his."}));
  EXPECT_EQ(Search("talewick.org", {"old"}).size(), 2u);
  EXPECT_EQ(Search("other.net", {"the", "cat"}), (Strings{"The cat of another site."}));
  EXPECT_TRUE(Search("unknown.com", {"the", "cat"}).empty());
  EXPECT_EQ(Sentences(index_.Search("talewick.org", {"the", "cat"}, 2)),
            (Strings{"The cat sat on the mat.", "THE CAT ran, and the cat hid."}));
}

TEST(ResultPage, HighlightsEveryMatchKeepingCaseAndEscapesText) {
  CorpusIndex index;
  index.AddDocument("s.org", "t", "Ask <THE CAT> & the cat \"now\".");
  const auto hits = index.Search("s.org", {"the", "cat"}, 10);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(HighlightSnippet(hits[0]), "Ask &lt;<b>THE CAT</b>&gt; &amp; <b>the cat</b> \"now\".");

  // On the page each snippet line ends with its sentence.
  index.AddDocument("s.org", "cat <tales>", "The cat sat. Then the cat ran home.");
  const std::string page =
      RenderResultPage("the cat site:s.org", index.Search("s.org", {"the", "cat"}, 10));
  EXPECT_NE(page.find("<b>The cat</b> sat.\n"), std::string::npos);
  EXPECT_NE(page.find("Then <b>the cat</b> ran home.\n"), std::string::npos);
  EXPECT_NE(page.find("cat &lt;tales&gt;"), std::string::npos);
  // The query echo is never highlighted, or a reader would count it as a result.
  EXPECT_EQ(page.find("<b>the cat</b> site"), std::string::npos);
  const std::string empty = RenderResultPage("x <y> \"z\"", {});
  EXPECT_NE(empty.find("No results"), std::string::npos);
  EXPECT_NE(empty.find("value=\"x &lt;y&gt; &quot;z&quot;\""), std::string::npos);
  EXPECT_EQ(empty.find("<b>"), std::string::npos);
}

TEST(LoadCorpusFolder, ReadsTxtFilesPerSiteInNameOrder) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(testing::TempDir()) / "talewick_corpus_load_test";
  fs::remove_all(root);
  fs::create_directories(root / "Talewick.org");
  fs::create_directories(root / "b.net");
  std::ofstream(root / "Talewick.org" / "b_second.txt") << "The cat came second.";
  std::ofstream(root / "Talewick.org" / "a-first.txt") << "The cat came first.";
  std::ofstream(root / "Talewick.org" / "notes.md") << "The cat is not indexed.";
  std::ofstream(root / "Talewick.org" / "empty.txt");
  std::ofstream(root / "b.net" / "x.txt") << "The cat of b.";

  CorpusIndex index;
  const CorpusLoadReport report = LoadCorpusFolder(root, index);
  EXPECT_TRUE(report.errors.empty());
  EXPECT_EQ(report.files, 4u);
  EXPECT_EQ(index.Sites(), (Strings{"b.net", "talewick.org"}));
  const auto hits = index.Search("talewick.org", {"the", "cat"}, 10);
  EXPECT_EQ(Sentences(hits), (Strings{"The cat came first.", "The cat came second."}));
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].title, "a first");

  CorpusIndex missing;
  EXPECT_FALSE(LoadCorpusFolder(root / "nope", missing).errors.empty());
  fs::remove_all(root);
}

}  // namespace
}  // namespace talewick::search
