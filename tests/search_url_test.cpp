// Which words go to the search service and the URL around them: the choice of
// words, the room of the URL and the encoding of the query (DLFControl's log
// lines are checked with the whole cycle's).
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "query/search_url.h"

using namespace talewick;

namespace {

// The word table as DisectInput leaves it: the words from slot 1 up.
std::string SearchWords(std::initializer_list<const char*> accepted, const char* lowered) {
  static WordTable words;
  for (BoundedText& slot : words) TextCopy(slot, "");
  int next = 1;
  for (const char* word : accepted) TextCopy(words[next++], word);
  return SearchWordsFrom(words, next, lowered);
}

TEST(SearchWordsFrom, TheLastThreeAcceptedWordsOrTheWholeTrimmedInput) {
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
  for (const auto& c : cases) EXPECT_EQ(SearchWords(c.accepted, c.lowered), c.sent) << c.lowered;

  // A full word table uses its last slots.
  static WordTable full;
  for (int slot = 1; slot < kWordTableSlots; ++slot) TextCopy(full[slot], "w");
  TextCopy(full[97], "x");
  TextCopy(full[99], "z");
  EXPECT_EQ(SearchWordsFrom(full, kWordTableSlots, ""), "x w z");
}

// Too long search words lose their oldest words, so that the URL keeps its site:
// the longest run of newest whole words that fits is sent, never a cut word. The
// room is counted in URL characters: an encoded character takes three.
TEST(WordsThatFitTheUrl, TheNewestWholeWordsThatFitTheRoom) {
  const struct {
    const char* words;
    int room;
    const char* fits;
  } cases[] = {
      {"aaa bbb ccc", 11, "aaa bbb ccc"},
      {"aaa bbb ccc", 10, "bbb ccc"},
      {"aaa bbb ccc", 7, "bbb ccc"},
      {"aaa bbb ccc", 6, "ccc"},
      {"aaa b%& ccc", 10, "ccc"},
      {"aaa b%& ccc", 11, "b%& ccc"},
      {"aaa bbb cccc", 3, ""},  // not even the newest word: nothing, not a cut word
  };
  for (const auto& c : cases) EXPECT_EQ(WordsThatFitTheUrl(c.words, c.room), c.fits) << c.room;
}

TEST(SearchUrlFor, CharactersWithAUrlMeaningAreSearchWordsThere) {
  EXPECT_EQ(SearchUrlFor("P", "fish & chips + 100%41 #1", "S"),
            "Pfish %26 chips %2B 100%2541 %231S");
}

}  // namespace
