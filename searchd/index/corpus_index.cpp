// The choice of hits for one page.
#include "searchd/index/corpus_index.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "searchd/index/page_budget.h"

namespace talewick::search {

namespace {

// The first id of slice `j` when `width` ids are cut into `count` even slices,
// without forming width * j, which could overflow.
std::uint64_t SliceStart(std::uint64_t width, std::uint64_t count, std::uint64_t j) {
  return (width / count) * j + (width % count) * j / count;
}

// Cuts `ids` into `count` even slices and takes the first match of each
// (`firstMatch` of a range); slices that held one are then asked for their next,
// round after round, until there are `count` hits or no slice has more. In id
// order.
template <typename FirstMatch>
std::vector<SearchHit> SpreadOver(IdRange ids, std::size_t count, FirstMatch firstMatch) {
  const std::uint64_t width = ids.last - ids.first + 1;
  std::vector<IdRange> open;  // what is left of each slice
  for (std::uint64_t j = 0; j < count; ++j) {
    open.push_back(
        {ids.first + SliceStart(width, count, j), ids.first + SliceStart(width, count, j + 1) - 1});
  }
  std::vector<SearchHit> hits;
  while (hits.size() < count && !open.empty()) {
    std::vector<IdRange> stillOpen;
    for (const IdRange& slice : open) {
      if (hits.size() == count) break;
      std::optional<SearchHit> hit = firstMatch(slice);
      if (!hit) continue;
      if (hit->id < slice.last) stillOpen.push_back({hit->id + 1, slice.last});
      hits.push_back(std::move(*hit));
    }
    open = std::move(stillOpen);
  }
  std::sort(hits.begin(), hits.end(),
            [](const SearchHit& a, const SearchHit& b) { return a.id < b.id; });
  return hits;
}

}  // namespace

std::vector<SearchHit> CorpusIndex::Search(const std::string& site,
                                           const std::vector<std::string>& words,
                                           std::size_t limit) const {
  const auto ids = words.empty() || limit == 0 ? std::nullopt : SiteIds(site);
  if (!ids) return {};
  const std::unique_ptr<PhraseReader> reader = StartSearch(words);
  const std::string key = AnswerCache::KeyOf(site, words, limit);
  if (const AnswerCache::Hits known = answers_.Find(key)) {
    if (std::all_of(known->begin(), known->end(),
                    [&](const SearchHit& hit) { return reader->Sound(hit.id); })) {
      return *known;
    }
    // A file it came from changed: the answer is found anew without it.
    answers_.Drop(key);
  }
  std::vector<SearchHit> hits = Find(*reader, *ids, limit);
  // An answer that left out a changed file is not kept: the file may come back.
  if (!reader->SawChange()) answers_.Keep(key, hits);
  return hits;
}

std::vector<SearchHit> CorpusIndex::MatchesOf(PhraseReader& reader,
                                              const std::vector<std::uint64_t>& candidates) {
  std::vector<SearchHit> hits;
  for (const std::uint64_t id : candidates) {
    if (std::optional<SearchHit> hit = reader.MatchOf(id)) hits.push_back(std::move(*hit));
  }
  return hits;
}

std::vector<SearchHit> CorpusIndex::Find(PhraseReader& reader, IdRange ids,
                                         std::size_t limit) const {
  // When even the longest results of `limit` + 1 hits fit on the page, the page
  // never cuts the answer: it is every match when they are `limit` or fewer, and
  // the spread of `limit` otherwise, which is also every match when they are
  // fewer. A count of what the index names, with nothing read, tells which is the
  // shorter way to it.
  if (limit < kMaxHitBytes / MostResultBlockBytes(LongestTitleBytes(), kMostSentenceBytes)) {
    // The candidates, read once: when they are few, they are checked as they
    // stand, without asking the index again.
    std::vector<std::uint64_t> candidates = reader.CandidateIds(ids, limit + 1);
    if (candidates.size() <= limit) return MatchesOf(reader, candidates);
    // When the first of them say that all of them are not many more, all their
    // ids are read in one pass and the spread is drawn from them: a hundred asks,
    // one for each slice, cost more than reading a few thousand ids. When they
    // are many, the spread asks for the first match of each slice alone. (Measured
    // at 1 GB, 300 real phrases asked once: p50 5.9-7.5 ms -> 4.0-5.0 ms, the
    // same pages.)
    const std::size_t readAhead = reader.ReadAhead(ids);
    const std::size_t most = readAhead * (limit + 1);
    const std::uint64_t seen = candidates.back() - ids.first;  // ids read past
    if (readAhead > 0 && seen >= (ids.last - ids.first) / readAhead) {
      const std::vector<std::uint64_t> rest =
          reader.CandidateIds({candidates.back() + 1, ids.last}, most + 1 - candidates.size());
      candidates.insert(candidates.end(), rest.begin(), rest.end());
      if (candidates.size() <= most) return SpreadOf(reader, ids, limit, candidates);
    }
    return Spread(reader, ids, limit);
  }
  // Else the first matches in id order, a batch at a time, until there are more
  // than the page holds. When all of them fit, they are the answer.
  constexpr std::size_t kBatch = 512;
  std::vector<SearchHit> hits;
  std::size_t bytes = 0;
  std::size_t fitting = 0;
  std::uint64_t from = ids.first;
  while (hits.size() <= limit && bytes <= kMaxHitBytes) {
    const std::size_t wanted = std::min(limit + 1 - hits.size(), kBatch);
    std::vector<SearchHit> batch = reader.Matches({from, ids.last}, wanted);
    for (SearchHit& hit : batch) {
      bytes += ResultBlockBytes(hit);
      if (bytes <= kMaxHitBytes) ++fitting;
      hits.push_back(std::move(hit));
    }
    if (batch.size() < wanted) return FitOnPage(std::move(hits));
    from = hits.back().id + 1;
  }
  return FitOnPage(Spread(reader, ids, std::clamp<std::size_t>(fitting, 1, limit)));
}

// Each slice's first match asked of the index: at most 2 * count + (matches
// taken) asks.
std::vector<SearchHit> CorpusIndex::Spread(PhraseReader& reader, IdRange ids, std::size_t count) {
  return SpreadOver(ids, count, [&reader](IdRange slice) -> std::optional<SearchHit> {
    std::vector<SearchHit> first = reader.Matches(slice, 1);
    if (first.empty()) return std::nullopt;
    return std::move(first.front());
  });
}

// The same spread, each slice's first match found among the candidates: each
// sentence is read back in the order the asks would have read it, so the hits are
// the same, and so is the count of sentences read in vain.
std::vector<SearchHit> CorpusIndex::SpreadOf(PhraseReader& reader, IdRange ids, std::size_t count,
                                             const std::vector<std::uint64_t>& candidates) {
  return SpreadOver(ids, count, [&](IdRange slice) -> std::optional<SearchHit> {
    for (auto id = std::lower_bound(candidates.begin(), candidates.end(), slice.first);
         id != candidates.end() && *id <= slice.last; ++id) {
      if (std::optional<SearchHit> hit = reader.MatchOf(*id)) return hit;
    }
    return std::nullopt;
  });
}

}  // namespace talewick::search
