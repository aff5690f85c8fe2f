// Sentence cutting and phrase matching.
#include "searchd/text/sentences.h"

#include <algorithm>
#include <utility>

#include "searchd/text/words.h"

namespace talewick::search {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool IsStop(char c) { return c == '.' || c == '!' || c == '?'; }
bool IsCloser(char c) { return c == '"' || c == '\'' || c == ')' || c == ']'; }

bool HasWord(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const detail::CharAt c = detail::ReadCharFast(text, pos);
    if (c.kind == detail::CharKind::kWord) return true;
    pos += c.length;
  }
  return false;
}

// Whether `words` may stand in `text` one after the other with white space
// between, looked for without cutting the text into words: each word is to be
// followed by white space and the next. (A word found may stand inside a longer
// one: this is what the whole phrase needs, not all it needs.)
bool MayHold(std::string_view text, const std::vector<std::string>& words) {
  for (std::size_t at = text.find(words.front()); at != std::string_view::npos;
       at = text.find(words.front(), at + 1)) {
    std::size_t pos = at;
    std::size_t k = 0;
    for (; k < words.size() && text.compare(pos, words[k].size(), words[k]) == 0; ++k) {
      pos += words[k].size();
      const std::size_t word = pos;
      while (pos < text.size() && IsSpace(text[pos])) ++pos;
      if (pos == word && k + 1 < words.size()) break;
    }
    if (k == words.size()) return true;
  }
  return false;
}

}  // namespace

std::string WhyNotText(std::string_view head) {
  if (head.starts_with("\xff\xfe") || head.starts_with("\xfe\xff")) {
    return "it is UTF-16; save it as UTF-8";
  }
  if (head.find('\0') != std::string_view::npos) return "it holds NUL bytes";
  std::size_t odd = 0;
  for (std::size_t pos = 0; pos < head.size();) {
    const auto c = static_cast<unsigned char>(head[pos]);
    const std::size_t length = c < 0x80 ? 1 : detail::ReadChar(head, pos).length;
    if (c >= 0x80 ? length == 1 : (c < 0x20 && !IsSpace(static_cast<char>(c))) || c == 0x7f) {
      ++odd;
    }
    pos += length;
  }
  return odd * 2 > head.size() ? "most of its bytes are not UTF-8 text" : "";
}

std::vector<std::string> SplitSentences(std::string_view text) {
  std::vector<std::string> sentences;
  SentenceSplitter splitter(sentences);
  splitter.Feed(text);
  splitter.Finish();
  return sentences;
}

void SentenceSplitter::Feed(std::string_view text) {
  for (const char c : text) {
    Take(c);
    ++at_;
  }
}

void SentenceSplitter::Finish() { Flush(); }

void SentenceSplitter::Take(char c) {
  if (inStops_) {
    if (IsStop(c) || IsCloser(c)) {
      Append(c);
      return;
    }
    inStops_ = false;
    if (IsSpace(c)) Flush();
  }
  if (IsSpace(c)) {
    // A line end after a line of nothing but white space ends the sentence, and
    // so does a blank once the sentence is long.
    if (c == '\n' && lineBlank_) Flush();
    if (c == '\n') lineBlank_ = true;
    if (current_.size() >= kMaxSentenceBytes) Flush();
    pendingSpace_ = !current_.empty();
    return;
  }
  lineBlank_ = false;
  Append(c);
  inStops_ = IsStop(c);
}

void SentenceSplitter::Append(char c) {
  const bool continuesCharacter = (static_cast<unsigned char>(c) & 0xc0) == 0x80;
  if (current_.size() >= kMaxSentenceBytes &&
      (!continuesCharacter || current_.size() >= kMaxSentenceBytes + 3)) {
    // A long run with no blank: cut at its last blank, or else here, between
    // characters (a broken character is at most four bytes long).
    // Every blank in `current_` stands for a run of white space in the text.
    const std::size_t blank = current_.rfind(' ');
    std::string rest;
    std::uint64_t restStart = at_;
    if (blank != std::string::npos) {
      rest = current_.substr(blank + 1);
      current_.resize(blank);
      end_ = endBeforeBlank_;
      restStart = startAfterBlank_;
    }
    Flush();
    current_ = std::move(rest);
    start_ = restStart;
  }
  if (current_.empty()) start_ = at_;
  if (pendingSpace_) {
    current_.push_back(' ');
    endBeforeBlank_ = end_;
    startAfterBlank_ = at_;
  }
  pendingSpace_ = false;
  current_.push_back(c);
  end_ = at_ + 1;
}

void SentenceSplitter::Flush() {
  pendingSpace_ = false;
  if (HasWord(current_)) {
    out_.push_back(current_);
    if (spans_ != nullptr) spans_->push_back({start_, end_});
  }
  current_.clear();
}

std::vector<PhraseMatch> FindPhrase(std::string_view lowerText,
                                    const std::vector<std::string>& words) {
  std::vector<PhraseMatch> matches;
  if (words.empty() || !MayHold(lowerText, words)) return matches;
  const std::vector<WordSpan> spans = SplitWords(lowerText);
  std::size_t i = 0;
  while (i + words.size() <= spans.size()) {
    bool found = true;
    for (std::size_t k = 0; k < words.size() && found; ++k) {
      const WordSpan& span = spans[i + k];
      found = lowerText.substr(span.offset, span.length) == words[k];
      if (found && k > 0) {
        const WordSpan& before = spans[i + k - 1];
        const std::size_t end = before.offset + before.length;
        found = span.offset > end &&
                std::all_of(lowerText.begin() + static_cast<std::ptrdiff_t>(end),
                            lowerText.begin() + static_cast<std::ptrdiff_t>(span.offset), IsSpace);
      }
    }
    if (!found) {
      ++i;
      continue;
    }
    const WordSpan& last = spans[i + words.size() - 1];
    matches.push_back({spans[i].offset, last.offset + last.length - spans[i].offset});
    i += words.size();
  }
  return matches;
}

}  // namespace talewick::search
