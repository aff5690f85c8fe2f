// Phrase queries of the SQLite index through FTS5, each hit read back from its
// corpus file.
#include "searchd/sqlite/sqlite_index.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "searchd/corpus/corpus_files.h"
#include "searchd/corpus/kept_files.h"
#include "searchd/corpus/sentence_offsets.h"
#include "searchd/sqlite/checked_vfs.h"
#include "searchd/sqlite/sqlite_connection.h"
#include "searchd/sqlite/sqlite_update.h"
#include "searchd/sqlite/sqlite_words.h"
#include "searchd/text/sentences.h"
#include "searchd/text/words.h"

namespace talewick::search {

// One search on one connection, inside one read transaction. A hit's sentence is
// read from its corpus file, which is looked at once per search.
class SqliteIndex::Reader final : public CorpusIndex::PhraseReader {
 public:
  Reader(const SqliteIndex& index, Connection& connection, const std::vector<std::string>& words)
      : index_(index), connection_(connection), words_(words) {
    BindText(connection_.match.get(), 1, PhraseQuery(words));
  }

  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  ~Reader() override {
    sqlite3_reset(connection_.match.get());
    if (begun_) Exec(connection_.db.get(), "COMMIT");
  }

  std::vector<std::uint64_t> CandidateIds(IdRange range, std::size_t most) override {
    std::vector<std::uint64_t> ids;
    sqlite3_stmt* statement = Bound(range);
    int rc = SQLITE_ROW;
    while (ids.size() < most && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
      ids.push_back(static_cast<std::uint64_t>(sqlite3_column_int64(statement, 0)));
    }
    sqlite3_reset(statement);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Throw();
    return ids;
  }

  // The ids of one list are read one after the other for little, where a
  // slice's ask of a short list reads it from its start: for a phrase of one
  // token, the spread is drawn from up to 128 times a page's ids. Where lists
  // meet, reading every candidate walks each list whole, which costs more than
  // the asks when one of them is long ("and the" in "and the council").
  std::size_t ReadAhead(IdRange range) override {
    constexpr std::size_t kReadAhead = 128;
    constexpr std::size_t kProbe = 101;
    constexpr std::uint64_t kLongList = 1024;  // the probe's ids reach less than this share
    const std::vector<std::string> strings = PhraseStrings(words_);
    if (strings.size() == 1) return kReadAhead;
    bool longList = false;
    for (const std::string& token : strings) {
      BindText(connection_.match.get(), 1, token);
      const std::vector<std::uint64_t> ids = CandidateIds(range, kProbe);
      longList =
          ids.size() == kProbe && ids.back() - range.first < (range.last - range.first) / kLongList;
      if (longList) break;
    }
    BindText(connection_.match.get(), 1, PhraseQuery(words_));
    return longList ? 0 : kReadAhead;
  }

  std::optional<SearchHit> MatchOf(std::uint64_t id) override {
    if (rejected_ >= kMostRejected) return std::nullopt;
    return Read(id);
  }

  std::vector<SearchHit> Matches(IdRange range, std::size_t count) override {
    std::vector<SearchHit> hits;
    sqlite3_stmt* statement = Bound(range);
    int rc = SQLITE_ROW;
    while (hits.size() < count && rejected_ < kMostRejected &&
           (rc = sqlite3_step(statement)) == SQLITE_ROW) {
      const auto id = static_cast<std::uint64_t>(sqlite3_column_int64(statement, 0));
      if (std::optional<SearchHit> hit = Read(id)) hits.push_back(std::move(*hit));
    }
    sqlite3_reset(statement);
    // No part of the answer is given: a page of it may be what is damaged.
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Throw();
    return hits;
  }

  bool Sound(std::uint64_t id) override {
    const IndexedFile* file = index_.FileOf(id);
    if (file == nullptr) return false;
    Looked& looked = looked_[file];
    return looked.sound && Named(*file, looked);
  }

  bool SawChange() const override { return sawChange_; }

 private:
  // The sentence `id`, found by the index to hold the phrase, or nothing when it
  // does not hold it or its file changed since it was indexed.
  std::optional<SearchHit> Read(std::uint64_t id) {
    const IndexedFile* file = index_.FileOf(id);
    if (file == nullptr) return std::nullopt;
    Looked& looked = looked_[file];
    std::string read;
    const std::optional<std::string_view> bytes = BytesOf(*file, id - file->first, looked, read);
    if (!bytes) return std::nullopt;
    // The index names the sentences that hold each pair of the phrase, perhaps
    // apart: the page wants the whole phrase, its words one blank apart. A
    // sentence that does not hold it is told from its bytes as they stand, before
    // they are cut into a sentence (white space between words is one blank once
    // they are).
    if (FindPhrase(LowerAscii(*bytes), words_).empty()) {
      ++rejected_;
      return std::nullopt;
    }
    std::optional<std::string> sentence = SentenceAt(*bytes);
    std::vector<PhraseMatch> matches;
    if (sentence) matches = FindPhrase(LowerAscii(*sentence), words_);
    if (matches.empty()) {
      Changed(*file, looked);  // the bytes no longer hold one sentence
      return std::nullopt;
    }
    return SearchHit{id, TitleOf(file->key), std::move(*sentence), std::move(matches)};
  }

  // Every statement of the search reads inside one transaction, begun by the
  // first: a search answered from kept hits needs none.
  void Begin() {
    if (begun_) return;
    if (!Exec(connection_.db.get(), "BEGIN")) Throw();
    begun_ = true;
  }

  sqlite3_stmt* Bound(IdRange range) {
    Begin();
    sqlite3_stmt* statement = connection_.match.get();
    sqlite3_bind_int64(statement, 2, static_cast<sqlite3_int64>(range.first));
    sqlite3_bind_int64(statement, 3, static_cast<sqlite3_int64>(range.last));
    return statement;
  }

  [[noreturn]] void Throw() {
    const Failure failure = Fail(connection_.db.get());
    throw IndexFault(failure.outcome == Outcome::kDamaged, failure.reason);
  }

  // What this search found of a file: whether it was looked at and is as it was
  // indexed, and the file open when it is too big to be kept.
  struct Looked {
    bool checked = false;
    bool named = false;  // its path was found to name it as it was indexed
    bool sound = true;
    std::unique_ptr<CorpusFileReader> in;
  };

  // The bytes of sentence `place` of `file` (in its kept text, or in `read`), or
  // nothing when the file changed since it was indexed.
  std::optional<std::string_view> BytesOf(const IndexedFile& file, std::uint64_t place,
                                          Looked& looked, std::string& read) {
    if (!Checked(file, looked)) return std::nullopt;
    const SentenceSpan span = PlaceOf(file, place);
    // The text kept may have gone since the file was checked, to make room for
    // another's: the file is then opened again (and its text kept again).
    const std::string* text = connection_.kept.Text(file.first);
    if (text == nullptr && Opened(file, looked)) text = connection_.kept.Text(file.first);
    if (text != nullptr && span.end <= text->size()) {
      return std::string_view(*text).substr(span.start, span.end - span.start);
    }
    if (text == nullptr && looked.in != nullptr) {
      read.assign(span.end - span.start, '\0');
      if (looked.in->ReadAt(span.start, read)) return read;
    }
    if (looked.sound) Changed(file, looked);
    return std::nullopt;
  }

  // Whether `file` is as it was indexed, looked at once in a search: by what its
  // path names when its text is kept, else by opening it.
  bool Checked(const IndexedFile& file, Looked& looked) {
    if (looked.checked) return looked.sound;
    looked.checked = true;
    if (connection_.kept.Text(file.first) == nullptr) return Opened(file, looked);
    return Named(file, looked);
  }

  // Whether `file`'s path names a file of the stamp it was indexed with,
  // looked at once in a search, unless the watch says nothing changed: a call to
  // the system per hit is most of a search's time on some systems.
  bool Named(const IndexedFile& file, Looked& looked) {
    if (!looked.named && index_.ShelfUnchanged()) looked.named = true;
    if (!looked.named) {
      looked.named = true;
      const std::filesystem::path path = index_.corpus_ / PathFromUtf8(file.key);
      if (!CorpusFileReader::Names(path, file.stamp)) Changed(file, looked);
    }
    return looked.sound;
  }

  // Opens `file` for this search, and keeps its text when it is small and opening
  // is dear (it is then closed again); false, after saying so, when it is not as
  // it was indexed.
  bool Opened(const IndexedFile& file, Looked& looked) {
    if (!looked.sound) return false;
    if (looked.in != nullptr) return true;
    looked.in = std::make_unique<CorpusFileReader>();
    FileStamp stamp;
    if (!looked.in->Open(index_.corpus_ / PathFromUtf8(file.key), stamp) || stamp != file.stamp) {
      Changed(file, looked);
      return false;
    }
    looked.named = true;
    if (index_.keepTexts_ && file.stamp.size <= kMostKeptFileBytes) {
      std::string text(file.stamp.size, '\0');
      if (!looked.in->ReadAt(0, text)) {
        Changed(file, looked);
        return false;
      }
      if (connection_.kept.KeepText(file.first, std::move(text)) != nullptr) looked.in.reset();
    }
    return true;
  }

  // Where sentence `place` of `file` stands, from its row of places.
  SentenceSpan PlaceOf(const IndexedFile& file, std::uint64_t place) {
    const std::uint64_t row = file.first + place / kSpansPerRow * kSpansPerRow;
    SentenceSpans* places = connection_.kept.Places(row);
    if (places == nullptr) {
      Begin();
      sqlite3_stmt* statement = connection_.places.get();
      sqlite3_bind_int64(statement, 1, static_cast<sqlite3_int64>(row));
      const int rc = sqlite3_step(statement);
      if (rc == SQLITE_ROW) {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, 0));
        const auto bytes = static_cast<std::size_t>(sqlite3_column_bytes(statement, 0));
        SentenceSpans read(std::string(data == nullptr ? "" : data, bytes));
        places = connection_.kept.KeepPlaces(row, std::move(read), bytes);
        if (places == nullptr) {
          unkept_.emplace(std::string(data == nullptr ? "" : data, bytes));
          places = &*unkept_;
        }
      }
      sqlite3_reset(statement);
      if (rc != SQLITE_ROW && rc != SQLITE_DONE) Throw();
    }
    // Every sentence has its place: one missing is the index's damage, not a change
    // of the file.
    const std::optional<SentenceSpan> span =
        places != nullptr ? places->At(place % kSpansPerRow) : std::nullopt;
    if (!span) throw IndexFault(true, "the places of " + file.key + " are missing");
    return *span;
  }

  void Changed(const IndexedFile& file, Looked& looked) {
    sawChange_ = true;
    if (looked.sound) index_.SayChanged(file);
    looked.sound = false;
    looked.in.reset();
    connection_.kept.DropText(file.first);
  }

  const SqliteIndex& index_;
  Connection& connection_;
  const std::vector<std::string>& words_;
  std::unordered_map<const IndexedFile*, Looked> looked_;  // files asked for in this search
  std::optional<SentenceSpans> unkept_;  // the last places read that were not kept
  std::size_t rejected_ = 0;             // sentences read that do not hold the phrase
  bool begun_ = false;                   // the read transaction
  bool sawChange_ = false;
};

std::unique_ptr<CorpusIndex::PhraseReader> SqliteIndex::StartSearch(
    const std::vector<std::string>& words) const {
  return std::make_unique<Reader>(*this, ConnectionOfThisThread(), words);
}

}  // namespace talewick::search
