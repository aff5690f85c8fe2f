// Tests of query-string decoding and of splitting q into words and a site.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query_decode.h"

namespace talewick::search {
namespace {

using Strings = std::vector<std::string>;

TEST(DecodeFormValue, DecodesEscapesAndPlusAndRefusesBrokenInput) {
  EXPECT_EQ(DecodeFormValue("the%20cat+site%3Atalewick.org"), "the cat site:talewick.org");
  EXPECT_EQ(DecodeFormValue("%4a%4A"), "JJ");
  EXPECT_EQ(DecodeFormValue("%2B%25"), "+%");
  EXPECT_EQ(DecodeFormValue(""), "");
  EXPECT_EQ(DecodeFormValue("caf%C3%A9"), "caf\xC3\xA9");
  // Broken escapes, control bytes and broken UTF-8, whether escaped or raw.
  for (const char* bad : {"%", "ab%2", "%zz", "%2g", "a%%20", "%00", "a%0Ab", "%7F", "%FF", "%C3",
                          "%C3%28", "%E2%82", "a\x01", "caf\xC3\xA9", "a b"}) {
    EXPECT_FALSE(DecodeFormValue(bad)) << bad;
  }
}

TEST(ParseSearchTerms, SplitsWordsAndSite) {
  SearchTerms terms = ParseSearchTerms("  The Cat  site:Talewick.ORG/ ");
  EXPECT_EQ(terms.words, (Strings{"the", "cat"}));
  EXPECT_EQ(terms.site, "talewick.org");

  terms = ParseSearchTerms("old man, said: cat's site:a.org site:b.org");
  EXPECT_EQ(terms.words, (Strings{"old", "man", "said", "cat's"}));
  EXPECT_EQ(terms.site, "b.org");

  // Curly quotes, dashes and ellipses end words as ASCII punctuation does.
  terms =
      ParseSearchTerms("\xe2\x80\x9cThe Cat\xe2\x80\x9d\xe2\x80\x94said\xe2\x80\xa6 site:a.org");
  EXPECT_EQ(terms.words, (Strings{"the", "cat", "said"}));

  terms = ParseSearchTerms("the cat");
  EXPECT_EQ(terms.words, (Strings{"the", "cat"}));
  EXPECT_EQ(terms.site, "");
}

TEST(ParseSearchQuery, ReadsTheProgramsRequestAndRefusesMalformedOnes) {
  for (const char* raw :
       {"hl=en&q=the%20cat+site%3Atalewick.org&btnG=Google+Search&meta=",
        "q=the+cat+site:talewick.org", "meta=&q=the%20cat%20site%3atalewick.org&q=x"}) {
    const QueryParseResult result = ParseSearchQuery(raw);
    ASSERT_TRUE(result.ok) << raw << ": " << result.error;
    EXPECT_EQ(result.terms.words, (Strings{"the", "cat"})) << raw;
    EXPECT_EQ(result.terms.site, "talewick.org") << raw;
  }
  const QueryParseResult empty_q = ParseSearchQuery("q=&hl=en");
  EXPECT_TRUE(empty_q.ok);
  EXPECT_TRUE(empty_q.terms.words.empty());
  for (const std::string& bad :
       std::vector<std::string>{"hl=en&meta=", "", "q=the%2", "q=ok&hl=%zz", "q=a%00b",
                                "q=" + std::string(kMaxQueryBytes, 'a')}) {
    EXPECT_FALSE(ParseSearchQuery(bad).ok) << bad;
  }
  EXPECT_TRUE(ParseSearchQuery("q=" + std::string(kMaxQueryBytes - 2, 'a')).ok);
}

}  // namespace
}  // namespace talewick::search
