// Word rules shared by the corpus indexes and the query parser.
#include "searchd/text/words.h"

namespace talewick::search {

namespace detail {

CharAt ReadChar(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    if (lead == '\'') return {CharKind::kApostrophe, 1};
    return {IsWordBreak(lead) ? CharKind::kBreak : CharKind::kWord, 1};
  }
  std::size_t length = 0;
  char32_t c = 0;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
    c = lead & 0x1fU;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    c = lead & 0x0fU;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    c = lead & 0x07U;
  } else {
    return {CharKind::kWord, 1};
  }
  if (pos + length > text.size()) return {CharKind::kWord, 1};
  for (std::size_t k = 1; k < length; ++k) {
    const auto follow = static_cast<unsigned char>(text[pos + k]);
    if ((follow & 0xc0) != 0x80) return {CharKind::kWord, 1};
    c = (c << 6) | (follow & 0x3fU);
  }
  if (c == 0x2019) return {CharKind::kApostrophe, length};
  return {IsWordBreak(c) ? CharKind::kBreak : CharKind::kWord, length};
}

}  // namespace detail

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::vector<WordSpan> SplitWords(std::string_view text) {
  std::vector<WordSpan> words;
  ForEachWord(text, [&](std::size_t offset, std::size_t length) {
    words.push_back({offset, length});
  });
  return words;
}

}  // namespace talewick::search
