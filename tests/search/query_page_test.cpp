// The service's text rules: a query decoded, words and sentences cut, and a
// result page that keeps within its bounds in either character set.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "searchd/http/query_decode.h"
#include "searchd/http/result_page.h"
#include "searchd/index/corpus_index.h"
#include "searchd/platform/block_cache.h"
#include "searchd/sqlite/sqlite_words.h"
#include "searchd/text/windows1252.h"

namespace talewick::search {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

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

// A phrase is asked as the pairs it makes, each its own FTS5 string: the index
// keeps no places, so a string of two tokens would be a phrase it cannot answer.
// Two common words are asked with the word after them, as one token. A document
// holds a pair only where its words stand one blank apart, as the phrase check
// wants them.
TEST(PhraseTokens, PairsOfWordsOneBlankApart) {
  const auto texts = [](const TokenizedText& made) {
    Strings out;
    for (const FtsToken& t : made.tokens) {
      out.push_back(made.lower.substr(t.start, t.end - t.start));
    }
    return out;
  };
  const struct {
    Strings words;
    std::string query;
  } cases[] = {
      {{"her", "dog"}, "\"her dog\""},
      {{"called", "the", "baker"}, "\"called the\" \"the baker\""},
      {{"and", "the", "council"}, "\"and the council\""},
      {{"so", "that", "did", "not", "go"}, "\"so that did\" \"that did not\" \"did not go\""},
      {{"a", "cat", "and", "the", "dog"}, "\"a cat\" \"cat and\" \"and the dog\""},
      {{"b\xc3\xbc"
        "cher",
        "\xc5\x82\xc3\xb3"
        "d\xc5\xba"},
       "\"b\xc3\xbc"
       "cher \xc5\x82\xc3\xb3"
       "d\xc5\xba\""},
      {{"the"}, "\"the\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PhraseQuery(c.words), c.query);
    // Each string of the query is one token.
    for (std::string string : PhraseStrings(c.words)) {
      string = string.substr(1, string.size() - 2);
      EXPECT_EQ(TokenizeQuery(string).tokens.size(), 1u) << string;
    }
  }
  EXPECT_EQ(texts(TokenizeDocument("Her dog, the  Baker's cat.The end")),
            (Strings{"her", "her dog", "dog", "the", "baker's", "baker's cat", "cat", "the",
                     "the end", "end"}));
  EXPECT_EQ(texts(TokenizeDocument("And the council met, and the. Cat")),
            (Strings{"and", "and the", "the", "and the council", "the council", "council",
                     "council met", "met", "and", "and the", "the", "cat"}));
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

// The index picks hits by the size it counts for their results, without
// rendering them: it must be the size of the markup the page gives, or a page
// could pass its bound or drop hits it has room for.
TEST(ResultPage, EachResultIsAsLongAsTheIndexCountsIt) {
  const std::vector<SearchHit> hits = {
      {1, "", "", {}},
      {2, "Tom & Jerry <2>", "He said \"no\" & left, <quietly>.", {{0, 2}, {22, 7}}},
      {3, "&&&", "caf\xc3\xa9 > tea > water.", {{0, 5}, {8, 3}, {14, 5}}},
  };
  for (const SearchHit& hit : hits) {
    EXPECT_EQ(RenderResultBlock(hit).size(), ResultBlockBytes(hit)) << hit.id;
  }
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

}  // namespace
}  // namespace talewick::search
