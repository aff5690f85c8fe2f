// How much of a result page the hits of one answer may take, in bytes, without
// the page itself: the index picks its hits by these sizes, and the page
// (http/result_page.h) holds to them when it renders the hits.
#pragma once

#include <cstddef>
#include <vector>

#include "searchd/index/search_hit.h"

namespace talewick::search {

// The program refuses a result page above this size.
inline constexpr std::size_t kMaxPageBytes = std::size_t{8} * 1024 * 1024;
// Room for the results on one page: the rest is the frame around them, which
// holds the query text three times, escaped.
inline constexpr std::size_t kMaxHitBytes = kMaxPageBytes - std::size_t{64} * 1024;

// The markup of a result block around its escaped title and snippet; the page
// checks its own markup against this when it is built.
inline constexpr std::size_t kResultBlockFrameBytes = 65;
// The markup around each match in a snippet ("<b>" and "</b>").
inline constexpr std::size_t kMatchMarkBytes = 7;

// The bytes of the result block of `hit`, as the page renders it in UTF-8.
std::size_t ResultBlockBytes(const SearchHit& hit);

// The most bytes ResultBlockBytes gives for a hit whose title and sentence are
// no longer than these.
std::size_t MostResultBlockBytes(std::size_t titleBytes, std::size_t sentenceBytes);

// The positions of the results to keep, of those whose blocks are `sizes` bytes
// long: all when they fit in kMaxHitBytes, else as many as fit, evenly spaced.
std::vector<std::size_t> FittingBlocks(const std::vector<std::size_t>& sizes);

// `hits` when their results fit in kMaxHitBytes; otherwise as many of them as fit,
// taken evenly spaced from the list so that they still come from all of it.
std::vector<SearchHit> FitOnPage(std::vector<SearchHit> hits);

}  // namespace talewick::search
