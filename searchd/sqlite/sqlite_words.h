// How the SQLite index cuts text into FTS5 tokens: the service's own words,
// lower-cased, and pairs with common words, through an FTS5 tokenizer named
// "talewick".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace talewick::search {

struct FtsToken {
  std::uint32_t start;  // byte range in the text
  std::uint32_t end;
  bool colocated;    // at the place of the token before
  bool gap = false;  // a place between words that are not one blank apart
};

struct TokenizedText {
  std::string lower;  // the text lower-cased; tokens are ranges of it
  std::vector<FtsToken> tokens;
};

// The tokens of a document: each word, and each pair of words one blank apart of
// which one is common ("of the", "her dog", "home again") as one more token at the
// second word's place. Between two words that are not one blank apart ("cat. The",
// "cat, the") stands a token that no query holds, so that FTS5 finds as a phrase
// only the words that the phrase check accepts, never words that meet across
// punctuation.
TokenizedText TokenizeDocument(std::string_view text);

// TokenizeDocument for many documents in one TokenizedText: appends the document
// `text` lower-cased to `into.lower` and its tokens to `into.tokens`.
void AppendDocumentTokens(std::string_view text, TokenizedText& into);

// The tokens of a phrase query: one per place, the pair where there is one.
TokenizedText TokenizeQuery(std::string_view text);

// The FTS5 query for the sentences that hold `words` (lower-case) one blank
// apart: the words as one phrase, whose pairs the tokenizer makes.
std::string PhraseQuery(const std::vector<std::string>& words);

// Makes the tokenizer known to the FTS5 of `db`; every connection needs it.
bool RegisterTokenizer(sqlite3* db);

// While one lives, FTS5 takes the tokens of the next document it cuts on this
// thread, whatever its text, from tokens [first, last) of `tokenized`, made ahead
// on another thread. So an index that does not keep its text is given a stand-in
// for it, and no text is cut or compared twice.
class PreparedTokens {
 public:
  PreparedTokens(const TokenizedText& tokenized, std::size_t first, std::size_t last);
  PreparedTokens(const PreparedTokens&) = delete;
  PreparedTokens& operator=(const PreparedTokens&) = delete;
  ~PreparedTokens();
};

}  // namespace talewick::search
