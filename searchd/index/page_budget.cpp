// The sizes of results on a page, counted without rendering them.
#include "searchd/index/page_budget.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace talewick::search {

namespace {

// Bytes of `text` escaped for HTML text: '&' as "&amp;", '<' and '>' as "&lt;"
// and "&gt;"; quotes stay as they are.
std::size_t EscapedTextBytes(std::string_view text) {
  std::size_t bytes = text.size();
  for (const char c : text) {
    if (c == '&') bytes += 4;
    if (c == '<' || c == '>') bytes += 3;
  }
  return bytes;
}

}  // namespace

std::size_t ResultBlockBytes(const SearchHit& hit) {
  return kResultBlockFrameBytes + EscapedTextBytes(hit.title) + EscapedTextBytes(hit.sentence) +
         kMatchMarkBytes * hit.matches.size();
}

std::size_t MostResultBlockBytes(std::size_t titleBytes, std::size_t sentenceBytes) {
  // Escaping makes a byte at most five ("&amp;"); matches are whole words one
  // blank apart at least, so a sentence holds at most one "<b></b>" per two bytes.
  constexpr std::size_t kFrame = 80;
  return kFrame + 5 * titleBytes + 5 * sentenceBytes + 7 * (sentenceBytes / 2 + 1);
}

std::vector<std::size_t> FittingBlocks(const std::vector<std::size_t>& sizes) {
  std::size_t total = 0;
  for (const std::size_t size : sizes) total += size;
  const std::size_t n = sizes.size();
  std::vector<std::size_t> kept;
  if (total <= kMaxHitBytes) {
    for (std::size_t i = 0; i < n; ++i) kept.push_back(i);
    return kept;
  }
  auto keep = static_cast<std::size_t>(static_cast<double>(n) * kMaxHitBytes / total);
  while (keep > 0) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < keep; ++i) bytes += sizes[i * n / keep];
    if (bytes <= kMaxHitBytes) {
      for (std::size_t i = 0; i < keep; ++i) kept.push_back(i * n / keep);
      return kept;
    }
    keep -= std::max<std::size_t>(1, keep / 16);
  }
  return kept;
}

std::vector<SearchHit> FitOnPage(std::vector<SearchHit> hits) {
  std::vector<std::size_t> sizes;
  sizes.reserve(hits.size());
  for (const SearchHit& hit : hits) sizes.push_back(ResultBlockBytes(hit));
  const std::vector<std::size_t> fitting = FittingBlocks(sizes);
  std::vector<SearchHit> kept;
  kept.reserve(fitting.size());
  for (const std::size_t i : fitting) kept.push_back(std::move(hits[i]));
  return kept;
}

}  // namespace talewick::search
