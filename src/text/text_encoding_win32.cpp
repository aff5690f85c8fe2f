// Text rules that depend on the platform's character set. Windows texts are in
// the single-byte ANSI code page: every byte is a whole character, and
// lower-casing is the system's CharLowerBuffA for the user's locale.
#include <windows.h>

#include <algorithm>

#include "text/bounded_text.h"

namespace talewick {

int CharacterBoundaryCut(std::string_view source, int limit) {
  if (limit <= 0) return 0;
  return static_cast<int>(std::min<size_t>(source.size(), static_cast<size_t>(limit)));
}

std::string TextLower(std::string_view text) {
  std::string lower(text);
  if (!lower.empty()) CharLowerBuffA(lower.data(), static_cast<DWORD>(lower.size()));
  return lower;
}

}  // namespace talewick
