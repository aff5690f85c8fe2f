// Sentence places as variable-length numbers.
#include "searchd/corpus/sentence_offsets.h"

namespace talewick::search {

namespace {

void AppendNumber(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>((value & 0x7f) | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

bool ReadNumber(std::string_view in, std::size_t& pos, std::uint64_t& value) {
  value = 0;
  for (int shift = 0; pos < in.size() && shift < 64; shift += 7) {
    const auto byte = static_cast<unsigned char>(in[pos++]);
    value |= std::uint64_t{byte & 0x7fu} << shift;
    if (byte < 0x80) return true;
  }
  return false;
}

}  // namespace

void AppendSentenceSpan(std::string& offsets, std::uint64_t endBefore, SentenceSpan span) {
  AppendNumber(offsets, span.start - endBefore);
  AppendNumber(offsets, span.end - span.start);
}

std::optional<SentenceSpan> SentenceSpans::At(std::size_t n) {
  while (spans_.size() <= n) {
    const std::uint64_t end = spans_.empty() ? 0 : spans_.back().end;
    std::uint64_t gap = 0;
    std::uint64_t length = 0;
    if (!ReadNumber(offsets_, read_, gap) || !ReadNumber(offsets_, read_, length)) {
      return std::nullopt;
    }
    spans_.push_back({end + gap, end + gap + length});
  }
  return spans_[n];
}

std::optional<std::string> SentenceAt(std::string_view bytes) {
  std::vector<std::string> sentences = SplitSentences(bytes);
  if (sentences.size() != 1) return std::nullopt;
  return std::move(sentences.front());
}

}  // namespace talewick::search
