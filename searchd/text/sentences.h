// How text is cut into sentences, why a file is not text, and where a phrase
// stands in a sentence: the rules the index and the corpus files share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talewick::search {

// A sentence with no stop for this many bytes is cut at its last blank, or where it
// stands when it has none (between two UTF-8 characters), so that one snippet line
// stays small whatever the input file looks like: no sentence passes this by more
// than the bytes of one character.
inline constexpr std::size_t kMaxSentenceBytes = 1000;
// The longest a sentence can be: cut between characters, the last character may
// take up to three bytes more.
inline constexpr std::size_t kMostSentenceBytes = kMaxSentenceBytes + 3;

// Cuts text into sentences with their white space folded to single blanks. A
// sentence ends at '.', '!' or '?' (with any closing quotes or brackets after it)
// followed by white space or the end, and at a blank line. Pieces with no word in
// them are dropped.
std::vector<std::string> SplitSentences(std::string_view text);

// Why a file whose first bytes are `head` is not text to be indexed (a program,
// a picture, or text in another encoding than UTF-8); empty when it is. A NUL
// byte says so, or bytes that are mostly neither UTF-8 nor the controls that
// text holds (tabs, line and page ends).
std::string WhyNotText(std::string_view head);

// Where a sentence stands in the text it was cut from, in bytes: split alone,
// text[start, end) gives that sentence and nothing else.
struct SentenceSpan {
  std::uint64_t start;
  std::uint64_t end;
};

// SplitSentences for text that comes a piece at a time (a file read in blocks):
// the sentences are the same wherever the pieces are cut.
class SentenceSplitter {
 public:
  // Complete sentences are appended to `out`, and their places in the whole text
  // to `spans` when given; the caller may take them away between calls.
  explicit SentenceSplitter(std::vector<std::string>& out,
                            std::vector<SentenceSpan>* spans = nullptr)
      : out_(out), spans_(spans) {}

  void Feed(std::string_view text);
  // The end of the text: the last sentence is complete.
  void Finish();

 private:
  void Take(char c);
  void Append(char c);
  void Flush();

  std::vector<std::string>& out_;
  std::vector<SentenceSpan>* spans_;
  std::string current_;
  // Places in the text: of the character being taken, of the first and past the
  // last character of `current_`, and around its last blank.
  std::uint64_t at_ = 0;
  std::uint64_t start_ = 0;
  std::uint64_t end_ = 0;
  std::uint64_t endBeforeBlank_ = 0;
  std::uint64_t startAfterBlank_ = 0;
  bool pendingSpace_ = false;  // white space after the last character taken
  bool inStops_ = false;       // right after a stop and its closing marks
  bool lineBlank_ = false;     // only white space since the last line end
};

// Where a phrase stands in a sentence, in bytes.
struct PhraseMatch {
  std::size_t offset;
  std::size_t length;
};

// Every place where `words` (lower-case) stand in `lowerText` as whole words with
// nothing but white space between them (in a sentence, one blank), left to
// right, not overlapping.
std::vector<PhraseMatch> FindPhrase(std::string_view lowerText,
                                    const std::vector<std::string>& words);

}  // namespace talewick::search
