// The portable text operations. Positions follow the house rules: 1-based for
// TextFind and TextMid, 0-based for CharAt; a search that finds nothing gives 0;
// out-of-range positions and counts are clamped, never errors.
#include "text/bounded_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace talewick {

int StoreText(char* bytes, int capacity, std::string_view source) {
  int length = static_cast<int>(std::min<size_t>(source.size(), static_cast<size_t>(capacity)));
  if (length < static_cast<int>(source.size())) length = CharacterBoundaryCut(source, capacity);
  // memmove: the source may be a view of the destination itself.
  std::memmove(bytes, source.data(), static_cast<size_t>(length));
  bytes[length] = '\0';
  return length;
}

std::string TextJoin(std::string_view a, std::string_view b) {
  std::string joined;
  joined.reserve(a.size() + b.size());
  joined.append(a);
  joined.append(b);
  return joined;
}

int TextLength(std::string_view text) { return static_cast<int>(text.size()); }

unsigned char CharAt(std::string_view text, int position) {
  if (position < 0 || position >= static_cast<int>(text.size())) return 0;
  return static_cast<unsigned char>(text[static_cast<size_t>(position)]);
}

int TextFind(std::string_view text, std::string_view pattern, int start) {
  if (start < 1) start = 1;
  if (pattern.empty() || start > static_cast<int>(text.size())) return 0;
  const size_t found = text.find(pattern, static_cast<size_t>(start - 1));
  return found == std::string_view::npos ? 0 : static_cast<int>(found) + 1;
}

std::string TextLeft(std::string_view text, int count) {
  count = std::clamp(count, 0, static_cast<int>(text.size()));
  return std::string(text.substr(0, static_cast<size_t>(count)));
}

std::string TextMid(std::string_view text, int start, int count) {
  const int length = static_cast<int>(text.size());
  if (start > length) start = length + 1;
  if (start < 1) start = 1;
  if (count < 0) count = length - start + 1;
  if (static_cast<long long>(start) + count > length) count = length - start + 1;
  return std::string(text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count)));
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string TextTrimLeft(std::string_view text) {
  size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  return std::string(text.substr(first));
}

std::string TextTrimRight(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(0, end));
}

bool TextEquals(std::string_view a, std::string_view b) { return a == b; }

std::string NumberText(double number) {
  char buffer[400];
  const double whole = std::trunc(number);
  if (number == whole && whole >= -2147483648.0 && whole <= 2147483647.0) {
    std::snprintf(buffer, sizeof buffer, " %d", static_cast<int>(whole));
  } else {
    std::snprintf(buffer, sizeof buffer, " %.*f", 2, number);
  }
  return buffer;
}

}  // namespace talewick
