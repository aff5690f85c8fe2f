// Text operations: search, substrings, trimming, case, and
// stores that reach the capacity of a text.
#include "text/bounded_text.h"

#include <gtest/gtest.h>

#include <string>

#include "text/os_file.h"

using namespace talewick;

namespace {

// POSIX texts are UTF-8; Windows texts are single bytes of the ANSI code page.
bool UsesUtf8() { return OsPathSeparator() == '/'; }

TEST(TextSearchAndCut, FindLeftMidClampTheirArguments) {
  EXPECT_EQ(TextFind("abcabc", "bc", 1), 2);
  EXPECT_EQ(TextFind("abcabc", "bc", 3), 5);
  EXPECT_EQ(TextFind("abcabc", "BC", 1), 0);
  EXPECT_EQ(TextFind("abcabc", "", 1), 0);
  EXPECT_EQ(TextFind("", "a", 1), 0);
  EXPECT_EQ(TextFind("abc", "c", 3), 3);
  EXPECT_EQ(TextFind("abc", "c", 4), 0);
  EXPECT_EQ(TextFind("abca", "cab", 1), 0);
  EXPECT_EQ(TextLeft("abc", -1), "");
  EXPECT_EQ(TextLeft("abc", 10), "abc");
  EXPECT_EQ(TextMid("abcdef", 3, -1), "cdef");
  EXPECT_EQ(TextMid("abcdef", 3, 2), "cd");
  EXPECT_EQ(TextMid("abcdef", 0, 2), "ab");
  EXPECT_EQ(TextMid("abcdef", 5, 10), "ef");
  EXPECT_EQ(TextMid("abcdef", 9, 2), "");
  EXPECT_EQ(TextMid("abcdef", 2, 2147483647), "bcdef");
}

TEST(TextTrimAndLower, BlanksAreSpacesAndTabsCaseKeepsLength) {
  EXPECT_EQ(TextTrimLeft("\t  ab"), "ab");
  EXPECT_EQ(TextTrimLeft("\nab"), "\nab");
  EXPECT_EQ(TextTrimRight("ab \t "), "ab");
  EXPECT_EQ(TextTrimRight(" \t"), "");
  EXPECT_EQ(TextLower("The CAT 42 @[`{"), "the cat 42 @[`{");
  const std::string capitals = "\xC3\x80\xC3\x89\xC3\x96\xC3\x98\xC3\x9E\xC3\x97";  // ÀÉÖØÞ×
  EXPECT_EQ(TextLower(capitals).size(), capitals.size());
  if (UsesUtf8()) {
    EXPECT_EQ(TextLower(capitals), "\xC3\xA0\xC3\xA9\xC3\xB6\xC3\xB8\xC3\xBE\xC3\x97");
    EXPECT_EQ(TextLower("\xC3"
                        "A"),
              "\xC3"
              "a");  // not a continuation byte
  }
}

TEST(TextStore, CutAtCapacityOnWholeCharacters) {
  const std::string joined = TextJoin(std::string(200, 'a'), std::string(200, 'b'));
  BoundedText stored{};
  TextCopy(stored, joined);
  EXPECT_EQ(stored.view(), joined.substr(0, kTextCapacity));
  TextCopy(stored, "short");
  TextCopy(stored, stored.view().substr(1));  // from a view of itself
  EXPECT_EQ(stored.view(), "hort");
  TextCopy(stored, std::string(kTextCapacity - 1, 'a') + "\xC3\xA9z");
  EXPECT_EQ(stored.length(), UsesUtf8() ? kTextCapacity - 1 : kTextCapacity);
  TextCopy(stored, std::string(kTextCapacity - 2, 'a') + "\xE2\x82\xAC");  // a euro sign
  EXPECT_EQ(stored.length(), UsesUtf8() ? kTextCapacity - 2 : kTextCapacity);
  TextCopy(stored, std::string(kTextCapacity - 2, 'a') + "\xC3\xA9z");
  EXPECT_EQ(stored.length(), kTextCapacity);

  // Appending: a terminator read past the end adds nothing, a full text takes nothing.
  TextCopy(stored, "ab");
  TextAppendChar(stored, 'c');
  TextAppendChar(stored, static_cast<char>(CharAt(stored.view(), TextLength(stored.view()))));
  EXPECT_EQ(stored.view(), "abc");
  TextCopy(stored, std::string(kTextCapacity, 'x'));
  TextAppendChar(stored, 'y');
  EXPECT_EQ(stored.view(), std::string(kTextCapacity, 'x'));
}

}  // namespace
