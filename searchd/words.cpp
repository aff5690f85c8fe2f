// Word rules shared by the corpus index and the query parser.
#include "words.h"

namespace talewick::search {

namespace {

bool IsAlnumOrHigh(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c >= 0x80;
}

}  // namespace

bool IsWordByte(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return false;
  const auto c = static_cast<unsigned char>(text[pos]);
  if (IsAlnumOrHigh(c)) return true;
  if (c != '\'' || pos == 0 || pos + 1 >= text.size()) return false;
  return IsAlnumOrHigh(static_cast<unsigned char>(text[pos - 1])) &&
         IsAlnumOrHigh(static_cast<unsigned char>(text[pos + 1]));
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::vector<WordSpan> SplitWords(std::string_view text) {
  std::vector<WordSpan> words;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (!IsWordByte(text, pos)) {
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    while (pos < text.size() && IsWordByte(text, pos)) ++pos;
    words.push_back({start, pos - start});
  }
  return words;
}

}  // namespace talewick::search
