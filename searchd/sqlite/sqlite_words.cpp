// The FTS5 tokenizer of the SQLite index.
//
// Every word is indexed alone, and every two words that stand one blank apart
// are indexed once more as a pair. The index keeps no places (FTS5's
// detail=none): a phrase is asked as the pairs it is made of, so "her dog" is
// one token read straight from its own short list, and "called the baker" two
// ("called the", "the baker") whose lists are merged. A two-word phrase is then
// found exactly, and a longer one almost so; the read-back checks the rest.
//
// A pair of two common words ("and the") is in so many sentences that it rules
// out little beside another pair, and most of what it lets through is read back
// in vain: so two common words are also indexed with the word that follows them,
// and "and the council" is one token. (At 1 GB, 300 real phrases asked once: p99
// 10-14 -> 7 ms; the index 20% larger, its building a quarter longer.)
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

// Each word of `lower`, whether it stands one blank after the word before, and
// whether it is common.
struct Word {
  WordSpan span;
  bool paired;
  bool common;
};

std::vector<Word> PairedWords(std::string_view lower) {
  std::vector<Word> words;
  std::size_t endBefore = std::string::npos;
  ForEachWord(lower, [&](std::size_t offset, std::size_t length) {
    const bool paired =
        endBefore != std::string::npos && offset == endBefore + 1 && lower[endBefore] == ' ';
    words.push_back({{offset, length}, paired, IsCommon(lower.substr(offset, length))});
    endBefore = offset + length;
  });
  return words;
}

// Whether words[i] ends a run of three words one blank apart whose first two
// are common: the three are a token of their own.
bool EndsTriple(const std::vector<Word>& words, std::size_t i) {
  return i >= 2 && i < words.size() && words[i].paired && words[i - 1].paired &&
         words[i - 1].common && words[i - 2].common;
}

FtsToken Span(const WordSpan& first, const WordSpan& last) {
  return {static_cast<std::uint32_t>(first.offset),
          static_cast<std::uint32_t>(last.offset + last.length)};
}

// The tokens made ahead for the text FTS5 is about to cut, if any.
thread_local const TokenizedText* preparedTokens = nullptr;
thread_local std::size_t preparedFirst = 0;
thread_local std::size_t preparedLast = 0;

int Emit(const TokenizedText& tokenized, std::size_t first, std::size_t last, void* context,
         int (*token)(void*, int, const char*, int, int, int)) {
  for (std::size_t i = first; i < last; ++i) {
    const FtsToken& t = tokenized.tokens[i];
    const int rc =
        token(context, 0, tokenized.lower.data() + t.start, static_cast<int>(t.end - t.start),
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
  const auto at = [&](std::size_t i) {
    return WordSpan{words[i].span.offset + base, words[i].span.length};
  };
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (EndsTriple(words, i)) into.tokens.push_back(Span(at(i - 2), at(i)));
    if (words[i].paired) into.tokens.push_back(Span(at(i - 1), at(i)));
    into.tokens.push_back(Span(at(i), at(i)));
  }
}

TokenizedText TokenizeQuery(std::string_view text) {
  TokenizedText out{LowerAscii(text), {}};
  const std::vector<Word> words = PairedWords(out.lower);
  if (words.size() == 3 && EndsTriple(words, 2)) {
    out.tokens.push_back(Span(words[0].span, words[2].span));
    return out;
  }
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i].paired) {
      out.tokens.push_back(Span(words[i - 1].span, words[i].span));
    } else if (i + 1 == words.size() || !words[i + 1].paired) {
      out.tokens.push_back(Span(words[i].span, words[i].span));
    }
  }
  return out;
}

std::vector<std::string> PhraseStrings(const std::vector<std::string>& words) {
  // No word holds a double quote.
  const auto quoted = [&](std::size_t first, std::size_t last) {
    std::string text = "\"" + words[first];
    for (std::size_t i = first + 1; i <= last; ++i) text += ' ' + words[i];
    return text + '"';
  };
  if (words.size() == 1) return {quoted(0, 0)};
  // Each pair, or the three words it starts or ends when two common words start
  // them; a pair whose three are asked is not asked again.
  std::vector<std::string> strings;
  std::size_t askedTo = 0;  // words before it are in a string asked
  for (std::size_t i = 0; i + 1 < words.size(); ++i) {
    if (i + 2 < words.size() && IsCommon(words[i]) && IsCommon(words[i + 1])) {
      strings.push_back(quoted(i, i + 2));
      askedTo = i + 3;
    } else if (askedTo < i + 2) {
      strings.push_back(quoted(i, i + 1));
      askedTo = i + 2;
    }
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
