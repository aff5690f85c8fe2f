// The in-memory phrase index.
#include "memory_index.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "corpus_files.h"
#include "words.h"

namespace talewick::search {

namespace {

// Sorted list `list` holds `id`, searching from `*cursor` on; the cursor only moves
// forward because the ids asked for grow.
bool AdvanceTo(const std::vector<std::uint32_t>& list, std::size_t* cursor, std::uint32_t id) {
  auto it = std::lower_bound(list.begin() + static_cast<std::ptrdiff_t>(*cursor), list.end(), id);
  *cursor = static_cast<std::size_t>(it - list.begin());
  return it != list.end() && *it == id;
}

}  // namespace

void MemoryIndex::AddDocument(const std::string& site, const std::string& title,
                              std::string_view text) {
  SiteIndex& index = sites_[site];
  const auto title_id = static_cast<std::uint32_t>(index.titles.size());
  index.titles.push_back(title);
  for (std::string& sentence : SplitSentences(text)) {
    const auto id = static_cast<std::uint32_t>(index.sentences.size());
    const std::string lower = LowerAscii(sentence);
    const std::vector<WordSpan> words = SplitWords(lower);
    std::uint32_t previous_word = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
      const auto [it, added] =
          index.word_ids.try_emplace(lower.substr(words[i].offset, words[i].length),
                                     static_cast<std::uint32_t>(index.word_postings.size()));
      if (added) index.word_postings.emplace_back();
      const std::uint32_t word = it->second;
      AddPosting(index.word_postings[word], id);
      // Only words one blank apart can be part of a phrase match.
      if (i > 0 && words[i].offset == words[i - 1].offset + words[i - 1].length + 1 &&
          lower[words[i].offset - 1] == ' ') {
        AddPosting(index.pair_postings[PairKey(previous_word, word)], id);
      }
      previous_word = word;
    }
    index.sentences.push_back({std::move(sentence), title_id});
  }
}

std::size_t MemoryIndex::SentenceCount() const {
  std::size_t count = 0;
  for (const auto& [site, index] : sites_) count += index.sentences.size();
  return count;
}

std::optional<IdRange> MemoryIndex::SiteIds(const std::string& site) const {
  const auto it = sites_.find(site);
  if (it == sites_.end() || it->second.sentences.empty()) return std::nullopt;
  return IdRange{0, it->second.sentences.size() - 1};
}

std::vector<SearchHit> MemoryIndex::Matches(const std::string& site,
                                            const std::vector<std::string>& words, IdRange range,
                                            std::size_t count) const {
  std::vector<SearchHit> hits;
  const auto site_it = sites_.find(site);
  if (site_it == sites_.end() || words.empty() || count == 0) return hits;
  const SiteIndex& index = site_it->second;

  std::vector<std::uint32_t> ids;
  for (const std::string& word : words) {
    const auto it = index.word_ids.find(word);
    if (it == index.word_ids.end()) return hits;
    ids.push_back(it->second);
  }
  std::vector<const Postings*> lists;
  if (ids.size() == 1) lists.push_back(&index.word_postings[ids[0]]);
  for (std::size_t i = 1; i < ids.size(); ++i) {
    const auto it = index.pair_postings.find(PairKey(ids[i - 1], ids[i]));
    if (it == index.pair_postings.end()) return hits;
    lists.push_back(&it->second);
  }
  std::sort(lists.begin(), lists.end(),
            [](const auto* a, const auto* b) { return a->size() < b->size(); });

  const Postings& rarest = *lists.front();
  auto it = std::lower_bound(rarest.begin(), rarest.end(), range.first);
  std::vector<std::size_t> cursors(lists.size(), 0);
  for (; it != rarest.end() && *it <= range.last; ++it) {
    const std::uint32_t id = *it;
    bool in_all = true;
    for (std::size_t i = 1; i < lists.size() && in_all; ++i) {
      in_all = AdvanceTo(*lists[i], &cursors[i], id);
    }
    if (!in_all) continue;
    const Sentence& sentence = index.sentences[id];
    std::vector<PhraseMatch> matches = FindPhrase(LowerAscii(sentence.text), words);
    if (matches.empty()) continue;
    hits.push_back({id, index.titles[sentence.title], sentence.text, std::move(matches)});
    if (hits.size() == count) break;
  }
  return hits;
}

std::unique_ptr<MemoryIndex> OpenMemoryIndex(const std::filesystem::path& corpus,
                                             std::ostream& log) {
  const auto started = std::chrono::steady_clock::now();
  const CorpusListing listing = ListCorpusFiles(corpus);
  for (const std::string& error : listing.errors) log << "corpus: " << error << "\n";
  std::uint64_t total = 0;
  for (const CorpusFile& file : listing.files) total += file.size;

  auto index = std::make_unique<MemoryIndex>();
  IndexProgress progress(log, listing.files.size(), total);
  std::size_t files = 0;
  std::uint64_t bytes = 0;
  for (const CorpusFile& file : listing.files) {
    const auto content = ReadWholeFile(listing.PathOf(file));
    if (!content) {
      log << "corpus: " << Utf8Of(listing.PathOf(file)) << ": cannot read\n";
      continue;
    }
    index->AddDocument(file.site, file.Title(), *content);
    ++files;
    bytes += content->size();
    progress.FileDone(content->size());
  }
  progress.Finish();
  if (files == 0) {
    log << "corpus: no .txt files under " << Utf8Of(corpus) << "/<site>/\n";
    return nullptr;
  }
  char line[200];
  std::snprintf(
      line, sizeof line, "corpus: %zu files, %llu bytes, %zu sentences, %zu sites, %.0f ms\n",
      files, static_cast<unsigned long long>(bytes), index->SentenceCount(), index->SiteCount(),
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
          .count());
  log << line << std::flush;
  return index;
}

}  // namespace talewick::search
