// DLFControl: which words go to the search service and the URL around them (its
// log lines are checked with the whole cycle's).
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
      {{}, "fish & chips + 100%41 #1", "fish & chips + 100%41 #1"},
  };
  for (const auto& c : cases) {
    Accept(c.accepted, c.lowered);
    DLFControl();
    EXPECT_EQ(Words(), c.sent) << c.lowered;
  }
  // Characters with a meaning in a URL are search words there, not query syntax.
  EXPECT_EQ(std::string(Story.SearchUrl), std::string(Story.SearchUrlPrefix) +
                                              "fish %26 chips %2B 100%2541 %231" +
                                              std::string(Story.SearchUrlSuffix));

  // A full word table uses its last slots.
  Story.WordCount = kWordTableSlots;
  for (int slot = 1; slot < kWordTableSlots; ++slot) TextCopy(Story.InputWords[slot], "w");
  TextCopy(Story.InputWords[97], "x");
  TextCopy(Story.InputWords[99], "z");
  DLFControl();
  EXPECT_EQ(Words(), "x w z");
}

// Too long search words lose their oldest words, so that the URL keeps its site:
// the longest run of newest whole words that fits is sent, never a cut word. The
// room is counted in URL characters: an encoded '%' takes three.
TEST_F(SearchQueryTest, LongQueriesKeepTheNewestWholeWordsThatFit) {
  const size_t room = static_cast<size_t>(kTextCapacity - Story.SearchUrlPrefix.length() -
                                          Story.SearchUrlSuffix.length());
  const std::string oldest(5, 'a'), newest(10, 'c');
  const std::string suffix(Story.SearchUrlSuffix);
  // A middle word that takes exactly the rest of the room.
  const size_t percents = (room - 11) / 3;
  const std::string letters(room - 11 - 3 * percents, 'b');
  const std::string middle = letters + std::string(percents, '%');
  std::string inUrl = letters;
  for (size_t i = 0; i < percents; ++i) inUrl += "%25";
  const struct {
    std::string middle;
    std::string inUrl;
  } cases[] = {
      {middle, inUrl + " " + newest},
      {"b" + middle, newest},  // one character more: only the newest fits
  };
  for (const auto& c : cases) {
    Accept({oldest.c_str(), c.middle.c_str(), newest.c_str()}, "");
    DLFControl();
    EXPECT_EQ(std::string(Story.SearchUrl), std::string(Story.SearchUrlPrefix) + c.inUrl + suffix)
        << c.middle.size();
  }

  // Not even the newest word fits: nothing is sent rather than a cut word.
  const std::string huge(static_cast<size_t>(room) + 1, 'z');
  Accept({"a", "b", huge.c_str()}, "");
  DLFControl();
  EXPECT_EQ(Words(), "");
  EXPECT_EQ(std::string(Story.SearchUrl), std::string(Story.SearchUrlPrefix) + suffix);
}

}  // namespace
