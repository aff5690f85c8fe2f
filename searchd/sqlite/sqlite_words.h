// How the SQLite index cuts text into FTS5 tokens: the service's own words,
// lower-cased, and the pairs and some of the threes they make, through an FTS5
// tokenizer named "talewick".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace talewick::search {

// A token's byte range in the text; the index keeps no places, so a token needs
// no place of its own.
struct FtsToken {
  std::uint32_t start;
  std::uint32_t end;
};

struct TokenizedText {
  std::string lower;  // the text lower-cased; tokens are ranges of it
  std::vector<FtsToken> tokens;
};

// The tokens of a document: each word, each pair of words one blank apart ("her
// dog", "home again"; not "cat. the" nor "cat, the", which the phrase check
// refuses too), and each three words one blank apart whose first two are common
// English words ("and the council").
TokenizedText TokenizeDocument(std::string_view text);

// TokenizeDocument for many documents in one TokenizedText: appends the document
// `text` lower-cased to `into.lower` and its tokens to `into.tokens`.
void AppendDocumentTokens(std::string_view text, TokenizedText& into);

// The tokens of a query string: its three words when they are a token of a
// document, else each pair of words one blank apart and each word in no pair.
// PhraseQuery makes strings of one token.
TokenizedText TokenizeQuery(std::string_view text);

// The FTS5 query for the sentences that hold `words` (lower-case) one blank
// apart: the pairs they make (or the three words that start with a pair of
// common words), all of them, or the one word. It finds every such sentence, and
// for more than two words perhaps some that hold them apart.
std::string PhraseQuery(const std::vector<std::string>& words);

// The strings PhraseQuery is made of, each one token: the query of one list.
std::vector<std::string> PhraseStrings(const std::vector<std::string>& words);

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
