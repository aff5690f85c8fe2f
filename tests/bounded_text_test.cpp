// Placeholder test file; replaced by the text operation tests.
#include <gtest/gtest.h>
#include "text/bounded_text.h"
TEST(BoundedText, FindsFromOne) { EXPECT_EQ(TextFind("abcabc", "bc", 1), 2); }
