// DLFControl: which words go to the search service, the URL around them, and the
// four log lines.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "app/scripted_window.h"
#include "app/startup.h"
#include "app/story_state.h"
#include "query/search_query.h"
#include "support/debug_capture.h"

namespace {

class SearchQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearStoryState();
    ResetScriptedWindow();
    StartUp();
    StartDebugCapture();
  }

  // Sets the outcome of DisectInput: the accepted words and the lowered input.
  static void Accept(std::initializer_list<const char*> words, const char* lowered) {
    Story.WordCount = 1;
    for (const char* word : words) TextCopy(Story.InputWords[Story.WordCount++], word);
    TextCopy(Story.LoweredInput, lowered);
  }

  static std::string Words() { return std::string(Story.SearchWords); }
};

TEST_F(SearchQueryTest, TwoOrMoreAcceptedWordsSendTheLastThreeSingleSpaced) {
  Accept({"the", "cat"}, "the   cat");
  DLFControl();
  EXPECT_EQ(Words(), "the cat");

  Accept({"a", "big", "black", "cat"}, "a big black cat");
  DLFControl();
  EXPECT_EQ(Words(), "big black cat");

  // Upper-case letters in the slots are lowered; leading blanks of a slot go.
  Accept({"One", "\ttwo", "three"}, "");
  DLFControl();
  EXPECT_EQ(Words(), "one two three");
}

TEST_F(SearchQueryTest, FewerThanTwoAcceptedWordsSendTheWholeTrimmedInput) {
  Accept({"the"}, "the  zqx");
  DLFControl();
  EXPECT_EQ(Words(), "the  zqx");

  Accept({"dog"}, "  dog  ");
  DLFControl();
  EXPECT_EQ(Words(), "dog");

  Accept({}, "   ");
  DLFControl();
  EXPECT_EQ(Words(), "");
  EXPECT_EQ(std::string(Story.SearchUrl),
            std::string(Story.SearchUrlPrefix) + std::string(Story.SearchUrlSuffix));
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
  EXPECT_EQ(DebugMessages(),
            (std::vector<std::string>{"DLFControl", "SearchWords: the cat", "SearchString: " + url,
                                      "DownloadFile: " + std::string(Story.ResultPagePath)}));
}

TEST_F(SearchQueryTest, LongQueriesStayWithinTheirFields) {
  const std::string word(100, 'w');
  Accept({word.c_str(), word.c_str(), word.c_str()}, "");
  const std::string pagePath(Story.ResultPagePath);
  DLFControl();
  EXPECT_EQ(Story.SearchWords.length(), kTextCapacity);
  EXPECT_EQ(Story.SearchUrl.length(), kTextCapacity);
  EXPECT_EQ(std::string(Story.SearchUrl).rfind(std::string(Story.SearchUrlPrefix), 0), 0u);
  EXPECT_EQ(std::string(Story.DownloadTarget), pagePath);
  EXPECT_EQ(std::string(Story.ResultPagePath), pagePath);
}

TEST_F(SearchQueryTest, AFullWordTableUsesItsLastSlots) {
  Story.WordCount = kWordTableSlots;
  for (int slot = 1; slot < kWordTableSlots; ++slot) TextCopy(Story.InputWords[slot], "w");
  TextCopy(Story.InputWords[97], "x");
  TextCopy(Story.InputWords[98], "y");
  TextCopy(Story.InputWords[99], "z");
  DLFControl();
  EXPECT_EQ(Words(), "x y z");
}

}  // namespace
