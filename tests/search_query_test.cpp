// DLFControl: which words go to the search service, the URL around them, and the
// four log lines.
#include <initializer_list>
#include <string>

#include "query/search_query.h"
#include "support/fresh_story.h"

namespace {

class SearchQueryTest : public FreshStoryTest {
 protected:
  // Sets the outcome of DisectInput: the accepted words and the lowered input.
  static void Accept(std::initializer_list<const char*> words, const char* lowered) {
    Story.WordCount = 1;
    for (const char* word : words) TextCopy(Story.InputWords[Story.WordCount++], word);
    TextCopy(Story.LoweredInput, lowered);
  }

  static std::string Words() { return std::string(Story.SearchWords); }
};

TEST_F(SearchQueryTest, SendsTheLastThreeAcceptedWordsOrTheWholeTrimmedInput) {
  const struct {
    std::initializer_list<const char*> accepted;
    const char* lowered;
    const char* sent;
  } cases[] = {
      {{"the", "cat"}, "the   cat", "the cat"},  // single-spaced
      {{"a", "big", "black", "cat"}, "a big black cat", "big black cat"},
      {{"One", "\ttwo", "three"}, "", "one two three"},  // slots lowered, leading blanks gone
      // Fewer than two accepted words: the whole input, trimmed.
      {{"the"}, "the  zqx", "the  zqx"},
      {{"dog"}, "  dog  ", "dog"},
      {{}, "   ", ""},
  };
  for (const auto& c : cases) {
    Accept(c.accepted, c.lowered);
    DLFControl();
    EXPECT_EQ(Words(), c.sent) << c.lowered;
  }
  EXPECT_EQ(std::string(Story.SearchUrl),
            std::string(Story.SearchUrlPrefix) + std::string(Story.SearchUrlSuffix));

  // A full word table uses its last slots.
  Story.WordCount = kWordTableSlots;
  for (int slot = 1; slot < kWordTableSlots; ++slot) TextCopy(Story.InputWords[slot], "w");
  TextCopy(Story.InputWords[97], "x");
  TextCopy(Story.InputWords[99], "z");
  DLFControl();
  EXPECT_EQ(Words(), "x w z");
}

TEST_F(SearchQueryTest, BuildsTheUrlWithLiteralSpacesAndLogsInOrder) {
  Accept({"the", "cat"}, "the cat");
  TextCopy(Story.SearchUrlPrefix, "http://127.0.0.1:8080/search?hl=en&q=");
  TextCopy(Story.SearchUrlSuffix, "+site%3Atalewick.org&btnG=Google+Search&meta=");
  TextCopy(Story.DownloadTarget, "stale");
  DLFControl();
  const std::string url =
      "http://127.0.0.1:8080/search?hl=en&q=the cat+site%3Atalewick.org&btnG=Google+Search&meta=";
  EXPECT_EQ(std::string(Story.SearchUrl), url);
  EXPECT_EQ(std::string(Story.DownloadTarget), std::string(Story.ResultPagePath));
  EXPECT_EQ(DebugMessages(), (Lines{"DLFControl", "SearchWords: the cat", "SearchString: " + url,
                                    "DownloadFile: " + std::string(Story.ResultPagePath)}));
}

TEST_F(SearchQueryTest, LongQueriesDropTheirOldestWordsSoTheUrlKeepsItsSite) {
  const std::string first(100, 'a'), second(100, 'b'), third(20, 'c');
  Accept({first.c_str(), second.c_str(), third.c_str()}, "");
  const std::string pagePath(Story.ResultPagePath);
  DLFControl();
  const std::string prefix(Story.SearchUrlPrefix), suffix(Story.SearchUrlSuffix);
  // Whole words only, the newest kept: the oldest one does not fit.
  EXPECT_EQ(std::string(Story.SearchWords), second + " " + third);
  EXPECT_EQ(std::string(Story.SearchUrl), prefix + second + " " + third + suffix);
  EXPECT_EQ(std::string(Story.DownloadTarget), pagePath);
  EXPECT_EQ(std::string(Story.ResultPagePath), pagePath);

  // One word too long for any URL keeps its end.
  const std::string huge(250, 'z');
  Accept({"a", "b", huge.c_str()}, "");
  DLFControl();
  const std::string longUrl(Story.SearchUrl);
  EXPECT_LE(longUrl.size(), static_cast<size_t>(kTextCapacity));
  EXPECT_EQ(longUrl.substr(longUrl.size() - suffix.size()), suffix);
}

}  // namespace
