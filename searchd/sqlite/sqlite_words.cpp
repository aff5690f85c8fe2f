// The FTS5 tokenizer of the SQLite index.
//
// Every word is indexed alone, and every two words that stand one blank apart
// are indexed once more as a pair. The index keeps no places (FTS5's
// detail=none): a phrase is asked as the pairs it is made of, so "her dog" is
// one token read straight from its own short list, and "called the baker" two
// ("called the", "the baker") whose lists are merged. A two-word phrase is then
// found exactly, and a longer one almost so; the read-back checks the rest.
#include "searchd/sqlite/sqlite_words.h"

#include <sqlite3.h>

#include "searchd/sqlite/sqlite_db.h"
#include "searchd/text/words.h"

namespace talewick::search {

namespace {

// Each word of `lower`, and whether it stands one blank after the word before.
struct Word {
  WordSpan span;
  bool paired;
};

std::vector<Word> PairedWords(std::string_view lower) {
  std::vector<Word> words;
  std::size_t endBefore = std::string::npos;
  ForEachWord(lower, [&](std::size_t offset, std::size_t length) {
    const bool paired =
        endBefore != std::string::npos && offset == endBefore + 1 && lower[endBefore] == ' ';
    words.push_back({{offset, length}, paired});
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

int Emit(const TokenizedText& tokenized, std::size_t first, std::size_t last, void* context,
         int (*token)(void*, int, const char*, int, int, int)) {
  for (std::size_t i = first; i < last; ++i) {
    const FtsToken& t = tokenized.tokens[i];
    const int rc = token(context, t.colocated ? FTS5_TOKEN_COLOCATED : 0,
                         tokenized.lower.data() + t.start, static_cast<int>(t.end - t.start),
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
  WordSpan last{};
  for (const Word& word : PairedWords(std::string_view(into.lower).substr(base))) {
    const WordSpan at{word.span.offset + base, word.span.length};
    if (word.paired) into.tokens.push_back(Span(last, at, false));
    into.tokens.push_back(Span(at, at, word.paired));
    last = at;
  }
}

TokenizedText TokenizeQuery(std::string_view text) {
  TokenizedText out{LowerAscii(text), {}};
  const std::vector<Word> words = PairedWords(out.lower);
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i].paired) {
      out.tokens.push_back(Span(words[i - 1].span, words[i].span, false));
    } else if (i + 1 == words.size() || !words[i + 1].paired) {
      out.tokens.push_back(Span(words[i].span, words[i].span, false));
    }
  }
  return out;
}

std::vector<std::string> PhraseStrings(const std::vector<std::string>& words) {
  // No word holds a double quote.
  const auto quoted = [](const std::string& text) { return '"' + text + '"'; };
  if (words.size() == 1) return {quoted(words.front())};
  std::vector<std::string> strings;
  for (std::size_t i = 1; i < words.size(); ++i) {
    strings.push_back(quoted(words[i - 1] + ' ' + words[i]));
  }
  return strings;
}

std::string PhraseQuery(const std::vector<std::string>& words) {
  // FTS5 ANDs its strings: the index keeps no places, so one string of two
  // tokens would be a phrase it cannot answer.
  std::string query;
  for (const std::string& string : PhraseStrings(words)) {
    if (!query.empty()) query += ' ';
    query += string;
  }
  return query;
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
