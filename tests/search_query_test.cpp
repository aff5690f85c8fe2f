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

TEST_F(SearchQueryTest, LongQueriesDropTheirOldestWordsSoTheUrlKeepsItsSite) {
  const std::string first(100, 'a'), second(100, 'b'), third(20, 'c');
  Accept({first.c_str(), second.c_str(), third.c_str()}, "");
  const std::string pagePath(Story.ResultPagePath);
  DLFControl();
  const std::string url(Story.SearchUrl);
  const std::string suffix(Story.SearchUrlSuffix);
  ASSERT_LE(url.size(), static_cast<size_t>(kTextCapacity));
  EXPECT_EQ(url.rfind(std::string(Story.SearchUrlPrefix), 0), 0u);
  EXPECT_EQ(url.substr(url.size() - suffix.size()), suffix);
  // Whole words only, the newest kept: the oldest one does not fit.
  EXPECT_EQ(std::string(Story.SearchWords), second + " " + third);
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
