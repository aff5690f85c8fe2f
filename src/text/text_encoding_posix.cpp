// Text rules that depend on the platform's character set. POSIX texts are UTF-8:
// a cut never keeps half a character, and lower-casing covers ASCII and the
// two-byte Latin-1 capitals (U+00C0..U+00DE except U+00D7), so no length changes.
#include "text/bounded_text.h"

namespace talewick {

namespace {

bool IsContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

int CharacterBoundaryCut(std::string_view source, int limit) {
  if (limit <= 0) return 0;
  if (static_cast<size_t>(limit) >= source.size()) return static_cast<int>(source.size());
  // source[limit] is the first byte left out; if it continues a character that
  // starts inside the kept part, move the cut back to that character's start.
  // A UTF-8 character has at most 3 continuation bytes, so its start is at most 3
  // bytes back; a longer run is not UTF-8 and is cut at the byte limit (going back
  // further would make a cut line look short enough to be a whole one).
  int cut = limit;
  int back = cut;
  while (back > 0 && back > cut - 3 && IsContinuationByte(static_cast<unsigned char>(source[back])))
    --back;
  if (back == cut) return cut;
  // back is now the lead byte (or a stray continuation at 0); the character
  // it starts runs past the limit, so it is left out whole.
  const unsigned char lead = static_cast<unsigned char>(source[back]);
  if (lead >= 0xC0) return back;
  return cut;  // not valid UTF-8 there: cut at the byte limit
}

std::string TextLower(std::string_view text) {
  std::string lower(text);
  for (size_t i = 0; i < lower.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(lower[i]);
    if (c >= 'A' && c <= 'Z') {
      lower[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < lower.size()) {
      // U+00C0..U+00DE are C3 80..C3 9E; their small letters are C3 A0..C3 BE.
      // Only a continuation byte belongs to the character; any other byte (not
      // valid UTF-8 here) is examined on its own in the next round.
      const unsigned char next = static_cast<unsigned char>(lower[i + 1]);
      if ((next & 0xC0) != 0x80) continue;
      if (next <= 0x9E && next != 0x97) lower[i + 1] = static_cast<char>(next + 0x20);
      ++i;
    }
  }
  return lower;
}

}  // namespace talewick
