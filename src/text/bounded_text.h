// Fixed-capacity texts and the text operations every stage is built from.
// A stored text is a terminated byte string inside a fixed array; a temporary
// (the result of TextJoin, TextLeft, ...) is a std::string of any length. The
// capacity limit applies only when a temporary is stored.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

namespace talewick {

// Capacity in characters of every ordinary text value (255 bytes with terminator).
inline constexpr int kTextCapacity = 254;
// Capacity in characters of the two result-page line buffers.
inline constexpr int kLineCapacity = 999'999;

// A text of at most Capacity single-byte characters followed by a terminator.
// Zero-filled it is the empty text, so static records need no constructor.
template <int Capacity>
struct FixedText {
  char bytes[Capacity + 1];

  int length() const { return static_cast<int>(std::strlen(bytes)); }
  bool empty() const { return bytes[0] == '\0'; }
  const char* c_str() const { return bytes; }
  std::string_view view() const { return std::string_view(bytes, std::strlen(bytes)); }
  operator std::string_view() const { return view(); }
};

using BoundedText = FixedText<kTextCapacity>;
using LargeText = FixedText<kLineCapacity>;

// Stores `source` into the capacity-limited buffer `bytes`. A source longer
// than `capacity` keeps its first `capacity` bytes, moved back to a character
// boundary where the platform's texts are UTF-8. Returns the stored length.
int StoreText(char* bytes, int capacity, std::string_view source);
// The largest cut of `source` at or below `limit` bytes that ends on a character
// boundary of the platform's encoding (UTF-8 on POSIX, single bytes on Windows).
int CharacterBoundaryCut(std::string_view source, int limit);

// The destination holds the source's characters (cut to capacity) and nothing else.
template <int N>
void TextCopy(FixedText<N>& destination, std::string_view source) {
  StoreText(destination.bytes, N, source);
}

// Appends one character; the byte 0 (a terminator read past the end) changes nothing,
// and so does an append to a full text.
template <int N>
void TextAppendChar(FixedText<N>& destination, char character) {
  const int length = destination.length();
  if (character == '\0' || length >= N) return;
  destination.bytes[length] = character;
  destination.bytes[length + 1] = '\0';
}

std::string TextJoin(std::string_view a, std::string_view b);
int TextLength(std::string_view text);
// The byte at 0-based position; the terminator 0 at (or past) the end.
unsigned char CharAt(std::string_view text, int position);
// 1-based position of the first occurrence of `pattern` at or after `start`, or 0.
int TextFind(std::string_view text, std::string_view pattern, int start);
std::string TextLeft(std::string_view text, int count);
// Characters from 1-based `start`; a negative count means the rest.
std::string TextMid(std::string_view text, int start, int count);
// Without leading (TrimLeft) or trailing (TrimRight) spaces and tabs.
std::string TextTrimLeft(std::string_view text);
std::string TextTrimRight(std::string_view text);
// Capital letters made small; the length never changes. Platform-specific.
std::string TextLower(std::string_view text);
// Exact, case-sensitive byte equality of the whole texts.
bool TextEquals(std::string_view a, std::string_view b);
// " %d" for whole numbers, " %.2f" otherwise.
std::string NumberText(double number);

}  // namespace talewick
