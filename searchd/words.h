// Word rules shared by the corpus index and the query parser, so that a query
// word and an indexed word are cut and folded the same way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talewick::search {

// True when the byte at `pos` belongs to a word: an ASCII letter or digit, any byte
// above 127 (part of a UTF-8 letter), or an apostrophe with word bytes on both sides
// ("cat's" is one word).
bool IsWordByte(std::string_view text, std::size_t pos);

// ASCII lower-casing; bytes above 127 are left as they are.
std::string LowerAscii(std::string_view text);

struct WordSpan {
  std::size_t offset;
  std::size_t length;
};

// The words of `text` in order, as byte ranges into it.
std::vector<WordSpan> SplitWords(std::string_view text);

}  // namespace talewick::search
