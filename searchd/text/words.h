// Word rules shared by the corpus indexes and the query parser, so that a query
// word and an indexed word are cut and folded the same way.
//
// Text is UTF-8. A word is a run of characters that are neither punctuation nor
// space: ASCII letters and digits, and every character above ASCII except the
// Unicode punctuation and space characters (curly quotes, dashes, ellipses,
// no-break spaces, ...), so accented letters stay inside words. An apostrophe,
// straight or curly (U+2019), with word characters on both sides is part of the
// word ("cat's"). Bytes that are not valid UTF-8 count as word characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace talewick::search {

// True for a character that ends a word: ASCII other than letters and digits,
// and the Unicode punctuation and space characters.
bool IsWordBreak(char32_t c);

// ASCII lower-casing; bytes above 127 are left as they are, so offsets into the
// lower-cased text are offsets into the original.
std::string LowerAscii(std::string_view text);

struct WordSpan {
  std::size_t offset;
  std::size_t length;
};

// Calls `emit(offset, length)` for every word of `text`, left to right.
template <typename Emit>
void ForEachWord(std::string_view text, Emit&& emit);

// The words of `text` in order, as byte ranges into it.
std::vector<WordSpan> SplitWords(std::string_view text);

namespace detail {

enum class CharKind { kWord, kBreak, kApostrophe };

struct CharAt {
  CharKind kind;
  std::size_t length;  // bytes
};

// The character that starts at `pos` (pos < text.size()).
CharAt ReadChar(std::string_view text, std::size_t pos);

// ReadChar with the common case, an ASCII letter, digit or blank, kept inline.
inline CharAt ReadCharFast(std::string_view text, std::size_t pos) {
  const auto c = static_cast<unsigned char>(text[pos]);
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
    return {CharKind::kWord, 1};
  }
  if (c == ' ') return {CharKind::kBreak, 1};
  return ReadChar(text, pos);
}

}  // namespace detail

template <typename Emit>
void ForEachWord(std::string_view text, Emit&& emit) {
  constexpr std::size_t kNone = std::string_view::npos;
  std::size_t start = kNone;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const detail::CharAt c = detail::ReadCharFast(text, pos);
    if (c.kind == detail::CharKind::kWord) {
      if (start == kNone) start = pos;
      pos += c.length;
      continue;
    }
    const std::size_t next = pos + c.length;
    if (c.kind == detail::CharKind::kApostrophe && start != kNone && next < text.size() &&
        detail::ReadCharFast(text, next).kind == detail::CharKind::kWord) {
      pos = next;
      continue;
    }
    if (start != kNone) emit(start, pos - start);
    start = kNone;
    pos = next;
  }
  if (start != kNone) emit(start, pos - start);
}

}  // namespace talewick::search
