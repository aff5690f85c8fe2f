// Corpus loading, sentence cutting, the word index and phrase search.
#include "corpus_index.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "words.h"

namespace talewick::search {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool IsStop(char c) { return c == '.' || c == '!' || c == '?'; }
bool IsCloser(char c) { return c == '"' || c == '\'' || c == ')' || c == ']'; }

class SentenceBuilder {
 public:
  explicit SentenceBuilder(std::vector<std::string>& out) : out_(out) {}

  void Char(char c) {
    if (IsSpace(c)) {
      pending_space_ = !current_.empty();
      return;
    }
    if (pending_space_) current_.push_back(' ');
    pending_space_ = false;
    current_.push_back(c);
  }
  bool Long() const { return current_.size() >= kMaxSentenceBytes; }

  void Flush() {
    pending_space_ = false;
    if (!SplitWords(current_).empty()) out_.push_back(current_);
    current_.clear();
  }

 private:
  std::vector<std::string>& out_;
  std::string current_;
  bool pending_space_ = false;
};

// True when a blank line starts at `pos` (a line end, blanks, another line end).
bool BlankLineAt(std::string_view text, std::size_t pos) {
  if (text[pos] != '\n') return false;
  for (std::size_t i = pos + 1; i < text.size() && IsSpace(text[i]); ++i) {
    if (text[i] == '\n') return true;
  }
  return false;
}

std::string TitleFromFileName(const std::filesystem::path& file) {
  std::string title = file.stem().string();
  std::replace_if(
      title.begin(), title.end(), [](char c) { return c == '_' || c == '-'; }, ' ');
  return title;
}

// Sorted list `list` holds `id`, searching from `*cursor` on; the cursor only moves
// forward because the ids asked for grow.
bool AdvanceTo(const std::vector<std::uint32_t>& list, std::size_t* cursor, std::uint32_t id) {
  auto it = std::lower_bound(list.begin() + static_cast<std::ptrdiff_t>(*cursor), list.end(), id);
  *cursor = static_cast<std::size_t>(it - list.begin());
  return it != list.end() && *it == id;
}

}  // namespace

std::vector<std::string> SplitSentences(std::string_view text) {
  std::vector<std::string> sentences;
  SentenceBuilder builder(sentences);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    if (BlankLineAt(text, pos)) {
      builder.Flush();
      ++pos;
      continue;
    }
    if (IsSpace(c) && builder.Long()) {
      builder.Flush();
      ++pos;
      continue;
    }
    builder.Char(c);
    ++pos;
    if (!IsStop(c)) continue;
    while (pos < text.size() && (IsStop(text[pos]) || IsCloser(text[pos]))) {
      builder.Char(text[pos]);
      ++pos;
    }
    if (pos == text.size() || IsSpace(text[pos])) builder.Flush();
  }
  builder.Flush();
  return sentences;
}

std::vector<PhraseMatch> FindPhrase(std::string_view lower_text, std::string_view phrase) {
  std::vector<PhraseMatch> matches;
  if (phrase.empty()) return matches;
  std::size_t from = 0;
  while (true) {
    const std::size_t at = lower_text.find(phrase, from);
    if (at == std::string_view::npos) break;
    const std::size_t end = at + phrase.size();
    const bool starts_word = at == 0 || !IsWordByte(lower_text, at - 1);
    if (starts_word && !IsWordByte(lower_text, end)) {
      matches.push_back({at, phrase.size()});
      from = end;
    } else {
      from = at + 1;
    }
  }
  return matches;
}

void CorpusIndex::AddDocument(const std::string& site, const std::string& title,
                              std::string_view text) {
  SiteIndex& index = sites_[site];
  const auto title_id = static_cast<std::uint32_t>(index.titles.size());
  index.titles.push_back(title);
  for (std::string& sentence : SplitSentences(text)) {
    const auto id = static_cast<std::uint32_t>(index.sentences.size());
    std::string lower = LowerAscii(sentence);
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
    index.sentences.push_back({std::move(sentence), std::move(lower), title_id});
  }
}

std::vector<SearchHit> CorpusIndex::Search(const std::string& site,
                                           const std::vector<std::string>& words,
                                           std::size_t limit) const {
  std::vector<SearchHit> hits;
  const auto site_it = sites_.find(site);
  if (site_it == sites_.end() || words.empty() || limit == 0) return hits;
  const SiteIndex& index = site_it->second;

  std::vector<std::uint32_t> ids;
  std::string phrase;
  for (const std::string& word : words) {
    const auto it = index.word_ids.find(word);
    if (it == index.word_ids.end()) return hits;
    ids.push_back(it->second);
    if (!phrase.empty()) phrase.push_back(' ');
    phrase += word;
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

  std::vector<std::size_t> cursors(lists.size(), 0);
  for (const std::uint32_t id : *lists.front()) {
    bool in_all = true;
    for (std::size_t i = 1; i < lists.size() && in_all; ++i) {
      in_all = AdvanceTo(*lists[i], &cursors[i], id);
    }
    if (!in_all) continue;
    const Sentence& sentence = index.sentences[id];
    std::vector<PhraseMatch> matches = FindPhrase(sentence.lower, phrase);
    if (matches.empty()) continue;
    hits.push_back({index.titles[sentence.title], sentence.text, std::move(matches)});
    if (hits.size() >= limit) break;
  }
  return hits;
}

std::size_t CorpusIndex::SentenceCount() const {
  std::size_t count = 0;
  for (const auto& [site, index] : sites_) count += index.sentences.size();
  return count;
}

std::vector<std::string> CorpusIndex::Sites() const {
  std::vector<std::string> names;
  for (const auto& [site, index] : sites_) names.push_back(site);
  return names;
}

CorpusLoadReport LoadCorpusFolder(const std::filesystem::path& root, CorpusIndex& index) {
  namespace fs = std::filesystem;
  CorpusLoadReport report;
  std::error_code ec;
  std::vector<fs::path> site_dirs;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec)) site_dirs.push_back(it->path());
  }
  if (ec) {
    report.errors.push_back(root.string() + ": " + ec.message());
    return report;
  }
  std::sort(site_dirs.begin(), site_dirs.end());
  for (const fs::path& dir : site_dirs) {
    std::vector<fs::path> files;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec) && it->path().extension() == ".txt") files.push_back(it->path());
    }
    if (ec) {
      report.errors.push_back(dir.string() + ": " + ec.message());
      continue;
    }
    std::sort(files.begin(), files.end());
    const std::string site = LowerAscii(dir.filename().string());
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      const std::string content{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
      if (!in.is_open() || in.bad()) {
        report.errors.push_back(file.string() + ": cannot read");
        continue;
      }
      index.AddDocument(site, TitleFromFileName(file), content);
      ++report.files;
      report.bytes += content.size();
    }
  }
  return report;
}

}  // namespace talewick::search
