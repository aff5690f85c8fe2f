// The FTS5 tokenizer of the SQLite index.
//
// A common English word is indexed alone and also paired with each neighbour it
// stands one blank apart from, and a phrase query asks for its pairs. So "her
// dog" is one token, read straight from its own short list, and "and home again"
// two ("and home", "home again"): a common word alone in an FTS5 phrase would
// have FTS5 walk its long list, a page of it for every sentence that holds the
// rarer words, to find the few where they stand together. Only a phrase of one
// word asks for a common word alone.
#include "searchd/sqlite/sqlite_words.h"

#include <sqlite3.h>

#include <iterator>
#include <unordered_set>

#include "searchd/sqlite/sqlite_db.h"
#include "searchd/text/words.h"

namespace talewick::search {

namespace {

// Changing the list changes what an index file holds: raise its schema version too.
constexpr std::string_view kCommonWords[] = {
    "a",     "about", "after", "again",  "against", "all",   "also",    "am",    "an",      "and",
    "any",   "are",   "as",    "at",     "back",    "be",    "because", "been",  "before",  "being",
    "both",  "but",   "by",    "came",   "can",     "come",  "could",   "did",   "do",      "does",
    "down",  "each",  "even",  "every",  "for",     "from",  "had",     "has",   "have",    "he",
    "her",   "here",  "him",   "his",    "how",     "i",     "if",      "in",    "into",    "is",
    "it",    "its",   "just",  "like",   "made",    "may",   "me",      "more",  "most",    "much",
    "must",  "my",    "never", "no",     "nor",     "not",   "now",     "of",    "off",     "on",
    "once",  "one",   "only",  "or",     "other",   "our",   "out",     "over",  "said",    "same",
    "saw",   "see",   "she",   "should", "so",      "some",  "such",    "than",  "that",    "the",
    "their", "them",  "then",  "there",  "these",   "they",  "this",    "those", "through", "to",
    "too",   "two",   "under", "until",  "up",      "upon",  "us",      "very",  "was",     "we",
    "went",  "were",  "what",  "when",   "where",   "which", "while",   "who",   "whom",    "why",
    "will",  "with",  "would", "you",    "your"};

bool IsCommon(std::string_view word) {
  static const std::unordered_set<std::string_view> common(std::begin(kCommonWords),
                                                           std::end(kCommonWords));
  return word.size() <= 7 && common.count(word) != 0;
}

struct Word {
  WordSpan span;
  bool paired;  // this word and the one before stand one blank apart, and one is common
};

std::vector<Word> PairedWords(std::string_view lower) {
  std::vector<Word> words;
  bool commonBefore = false;
  std::size_t endBefore = std::string::npos;
  ForEachWord(lower, [&](std::size_t offset, std::size_t length) {
    const bool common = IsCommon(lower.substr(offset, length));
    const bool paired = (common || commonBefore) && endBefore != std::string::npos &&
                        offset == endBefore + 1 && lower[endBefore] == ' ';
    words.push_back({{offset, length}, paired});
    commonBefore = common;
    endBefore = offset + length;
  });
  return words;
}

FtsToken Span(const WordSpan& first, const WordSpan& last, bool colocated) {
  return {static_cast<std::uint32_t>(first.offset),
          static_cast<std::uint32_t>(last.offset + last.length), colocated};
}

// The tokens made ahead for the text FTS5 is about to cut, if any.
thread_local const TokenizedText* preparedTokens = nullptr;
thread_local std::size_t preparedFirst = 0;
thread_local std::size_t preparedLast = 0;

// The text of every gap token: no word holds a control character.
constexpr char kGap[] = "\x01";

int Emit(const TokenizedText& tokenized, std::size_t first, std::size_t last, void* context,
         int (*token)(void*, int, const char*, int, int, int)) {
  for (std::size_t i = first; i < last; ++i) {
    const FtsToken& t = tokenized.tokens[i];
    const char* text = t.gap ? kGap : tokenized.lower.data() + t.start;
    const int length = t.gap ? 1 : static_cast<int>(t.end - t.start);
    const int rc = token(context, t.colocated ? FTS5_TOKEN_COLOCATED : 0, text, length,
                         static_cast<int>(t.start), static_cast<int>(t.end));
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

char tokenizerInstance;  // FTS5 wants a non-null tokenizer; this one has no state

int CreateTokenizer(void*, const char**, int, Fts5Tokenizer** out) {
  *out = reinterpret_cast<Fts5Tokenizer*>(&tokenizerInstance);
  return SQLITE_OK;
}

void DeleteTokenizer(Fts5Tokenizer*) {}

int Tokenize(Fts5Tokenizer*, void* context, int flags, const char* text, int length,
             int (*token)(void*, int, const char*, int, int, int)) {
  if (preparedTokens != nullptr && (flags & FTS5_TOKENIZE_DOCUMENT) != 0) {
    return Emit(*preparedTokens, preparedFirst, preparedLast, context, token);
  }
  if (text == nullptr || length <= 0) return SQLITE_OK;
  const std::string_view view(text, static_cast<std::size_t>(length));
  const TokenizedText made =
      (flags & FTS5_TOKENIZE_QUERY) != 0 ? TokenizeQuery(view) : TokenizeDocument(view);
  return Emit(made, 0, made.tokens.size(), context, token);
}

}  // namespace

TokenizedText TokenizeDocument(std::string_view text) {
  TokenizedText out;
  AppendDocumentTokens(text, out);
  return out;
}

void AppendDocumentTokens(std::string_view text, TokenizedText& into) {
  const std::size_t base = into.lower.size();
  for (const char c : text)
    into.lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
  const std::vector<Word> words = PairedWords(std::string_view(into.lower).substr(base));
  const auto shifted = [base](WordSpan span) { return WordSpan{span.offset + base, span.length}; };
  for (std::size_t i = 0; i < words.size(); ++i) {
    const WordSpan word = shifted(words[i].span);
    if (i > 0) {
      const WordSpan before = shifted(words[i - 1].span);
      const std::size_t end = before.offset + before.length;
      if (word.offset != end + 1 || into.lower[end] != ' ') {
        into.tokens.push_back({static_cast<std::uint32_t>(end),
                               static_cast<std::uint32_t>(word.offset), false, true});
      }
    }
    into.tokens.push_back(Span(word, word, false));
    if (words[i].paired) into.tokens.push_back(Span(shifted(words[i - 1].span), word, true));
  }
}

TokenizedText TokenizeQuery(std::string_view text) {
  TokenizedText out{LowerAscii(text), {}};
  const std::vector<Word> words = PairedWords(out.lower);
  // A first word that starts a pair needs no place of its own.
  const std::size_t first = words.size() >= 2 && words[1].paired ? 1 : 0;
  for (std::size_t i = first; i < words.size(); ++i) {
    out.tokens.push_back(Span(words[words[i].paired ? i - 1 : i].span, words[i].span, false));
  }
  return out;
}

std::string PhraseQuery(const std::vector<std::string>& words) {
  // One FTS5 phrase of all the words (no word holds a double quote); the
  // tokenizer makes its pairs.
  std::string query = "\"";
  for (const std::string& word : words) {
    if (query.size() > 1) query += ' ';
    query += word;
  }
  return query + '"';
}

bool RegisterTokenizer(sqlite3* db) {
  fts5_api* api = nullptr;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &raw, nullptr) != SQLITE_OK) return false;
  const SqliteStatement statement(raw);
  sqlite3_bind_pointer(raw, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
  sqlite3_step(raw);
  if (api == nullptr) return false;
  fts5_tokenizer tokenizer{CreateTokenizer, DeleteTokenizer, Tokenize};
  return api->xCreateTokenizer(api, "talewick", nullptr, &tokenizer, nullptr) == SQLITE_OK;
}

PreparedTokens::PreparedTokens(const TokenizedText& tokenized, std::size_t first,
                               std::size_t last) {
  preparedTokens = &tokenized;
  preparedFirst = first;
  preparedLast = last;
}

PreparedTokens::~PreparedTokens() { preparedTokens = nullptr; }

}  // namespace talewick::search
