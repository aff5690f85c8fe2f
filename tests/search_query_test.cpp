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

// Too long search words lose their oldest words, so that the URL keeps its site:
// the longest run of newest whole words that fits is sent, never a cut word.
TEST_F(SearchQueryTest, LongQueriesKeepTheNewestWholeWordsThatFit) {
  const int room = kTextCapacity - Story.SearchUrlPrefix.length() - Story.SearchUrlSuffix.length();
  const std::string oldest(5, 'a'), newest(10, 'c');
  const std::string suffix(Story.SearchUrlSuffix);
  const struct {
    std::string middle;
    std::string sent;
  } cases[] = {
      // The two newest words exactly fill the room.
      {std::string(static_cast<size_t>(room) - 11, 'b'),
       std::string(static_cast<size_t>(room) - 11, 'b') + " " + newest},
      // One character more: only the newest fits.
      {std::string(static_cast<size_t>(room) - 10, 'b'), newest},
  };
  for (const auto& c : cases) {
    Accept({oldest.c_str(), c.middle.c_str(), newest.c_str()}, "");
    DLFControl();
    EXPECT_EQ(Words(), c.sent) << c.middle.size();
    EXPECT_EQ(std::string(Story.SearchUrl), std::string(Story.SearchUrlPrefix) + c.sent + suffix);
  }

  // Not even the newest word fits: nothing is sent rather than a cut word.
  const std::string huge(static_cast<size_t>(room) + 1, 'z');
  Accept({"a", "b", huge.c_str()}, "");
  DLFControl();
  EXPECT_EQ(Words(), "");
  EXPECT_EQ(std::string(Story.SearchUrl), std::string(Story.SearchUrlPrefix) + suffix);
}

}  // namespace
