// The SQLite phrase index: opening and checking the file, bringing it up to date
// with the corpus, and phrase queries through FTS5.
#include "sqlite_index.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <stop_token>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "corpus_files.h"
#include "sqlite_words.h"
#include "words.h"

namespace talewick::search {

namespace fs = std::filesystem;

void SqliteCloser::operator()(sqlite3* db) const { sqlite3_close_v2(db); }
void SqliteFinalizer::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }

namespace {

constexpr int kApplicationId = 0x54574b31;  // "TWK1" in the file header
constexpr int kSchemaVersion = 1;
constexpr int kSiteShift = 40;
// An FTS5 row holds this many sentences of one file (its rowid is the first one's
// id), joined by line ends, which no sentence holds: fewer rows make a much
// quicker build, and a query reads a few sentences more.
constexpr std::uint64_t kRowSentences = 32;
constexpr char kSentenceEnd = '\n';
// Files are committed in batches of about this much text, so that an index cut
// short (the service stopped, the disk full) keeps what it had done.
constexpr std::uint64_t kBatchBytes = std::uint64_t{64} * 1024 * 1024;
// Page cache while serving; the build uses a larger one for its merges.
constexpr const char* kServingCache = "PRAGMA cache_size = -16384";
constexpr const char* kBuildingCache = "PRAGMA cache_size = -131072";

// FTS5 merges its segments as they pile up (its defaults: automerge 4, crisismerge
// 16). A query asks every segment, so a freshly built index is merged into one at
// the end, and merged as little as it can be before.
constexpr const char* kMergeAtTheEnd =
    "INSERT INTO sentences(sentences, rank) VALUES('automerge', 0);"
    "INSERT INTO sentences(sentences, rank) VALUES('crisismerge', 64)";
constexpr const char* kMergeAsItGrows =
    "INSERT INTO sentences(sentences, rank) VALUES('automerge', 4);"
    "INSERT INTO sentences(sentences, rank) VALUES('crisismerge', 16)";
constexpr const char* kOptimize = "INSERT INTO sentences(sentences) VALUES('optimize')";

constexpr const char* kSchema = R"(
  BEGIN;
  PRAGMA application_id = 1415007025;
  PRAGMA user_version = 1;
  CREATE TABLE sites(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, next_seq INTEGER NOT NULL);
  CREATE TABLE files(key TEXT PRIMARY KEY, site INTEGER NOT NULL, size INTEGER NOT NULL,
                     modified INTEGER NOT NULL, first INTEGER NOT NULL, count INTEGER NOT NULL,
                     title TEXT NOT NULL) WITHOUT ROWID;
  CREATE VIRTUAL TABLE sentences USING fts5(text, tokenize = 'talewick', columnsize = 0);
  COMMIT;
)";
static_assert(kApplicationId == 1415007025 && kSchemaVersion == 1, "kSchema writes both");

// --- small helpers over the C interface ---

SqliteStatement Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  return SqliteStatement(raw);
}

bool Exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Steps a statement that writes; true when it ran to the end.
bool StepDone(sqlite3_stmt* statement) {
  const int rc = sqlite3_step(statement);
  sqlite3_reset(statement);
  return rc == SQLITE_DONE;
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = sqlite3_column_text(statement, column);
  return text == nullptr
             ? std::string()
             : std::string(reinterpret_cast<const char*>(text),
                           static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

void BindText(sqlite3_stmt* statement, int index, std::string_view text) {
  sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Errors that say the file is not a sound index of ours, as opposed to errors of
// the machine (disk full, no permission, another process holding the lock).
bool IsDamage(sqlite3* db) {
  switch (sqlite3_errcode(db) & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_NOMEM:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_PERM:
      return false;
    default:
      return true;
  }
}

struct FileRow {
  std::int64_t site;
  std::uint64_t size;
  std::int64_t modified;
  std::uint64_t first;
  std::uint64_t count;
  bool listed = false;  // still in the corpus
};

struct SiteRow {
  std::int64_t id;
  std::uint64_t next_seq;
};

// What the index knew at the start.
struct IndexState {
  std::unordered_map<std::string, FileRow> files;  // by key
  std::map<std::string, SiteRow> sites;            // by name
};

// kStale: most of what the file holds is out of date.
enum class Outcome { kDone, kDamaged, kStale, kFailed };

struct Failure {
  Outcome outcome = Outcome::kDone;
  std::string reason;
};

Failure Fail(sqlite3* db) {
  return {IsDamage(db) ? Outcome::kDamaged : Outcome::kFailed, sqlite3_errmsg(db)};
}

Failure OpenDatabase(const fs::path& file, SqliteDb& db) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(file.string().c_str(), &raw,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  db.reset(raw);
  if (rc != SQLITE_OK) {
    return {Outcome::kFailed, raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)};
  }
  if (sqlite3_db_readonly(raw, "main") == 1) return {Outcome::kFailed, "the file is read-only"};
  sqlite3_busy_timeout(raw, 5000);
  if (!RegisterTokenizer(raw)) return {Outcome::kFailed, "FTS5 is not available"};
  return {};
}

// Runs `sql` and hands each row to `on_row`; true when every row was read.
template <typename OnRow>
bool ForEachRow(sqlite3* db, const char* sql, OnRow&& on_row) {
  const SqliteStatement statement = Prepare(db, sql);
  if (!statement) return false;
  int rc = sqlite3_step(statement.get());
  for (; rc == SQLITE_ROW; rc = sqlite3_step(statement.get())) on_row(statement.get());
  return rc == SQLITE_DONE;
}

std::optional<std::int64_t> ReadNumber(sqlite3* db, const char* sql) {
  const SqliteStatement statement = Prepare(db, sql);
  if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return std::nullopt;
  return sqlite3_column_int64(statement.get(), 0);
}

// Checks that `db` is an index of this program, or makes an empty file one, and
// reads what it holds.
Failure ReadState(sqlite3* db, IndexState& state) {
  const auto application = ReadNumber(db, "PRAGMA application_id");
  const auto version = ReadNumber(db, "PRAGMA user_version");
  const auto tables = ReadNumber(db, "SELECT count(*) FROM sqlite_master");
  if (!application || !version || !tables) return Fail(db);
  if (*application == 0 && *tables == 0) {
    return Exec(db, kSchema) ? Failure{} : Fail(db);
  }
  if (*application != kApplicationId) return {Outcome::kDamaged, "made by another program"};
  if (*version != kSchemaVersion) {
    return {Outcome::kDamaged, "made by another version of talewick-search"};
  }
  const bool read =
      ForEachRow(db, "SELECT id, name, next_seq FROM sites",
                 [&](sqlite3_stmt* row) {
                   state.sites[ColumnText(row, 1)] = {
                       sqlite3_column_int64(row, 0),
                       static_cast<std::uint64_t>(sqlite3_column_int64(row, 2))};
                 }) &&
      ForEachRow(db, "SELECT key, site, size, modified, first, count FROM files",
                 [&](sqlite3_stmt* row) {
                   state.files[ColumnText(row, 0)] = {
                       sqlite3_column_int64(row, 1),
                       static_cast<std::uint64_t>(sqlite3_column_int64(row, 2)),
                       sqlite3_column_int64(row, 3),
                       static_cast<std::uint64_t>(sqlite3_column_int64(row, 4)),
                       static_cast<std::uint64_t>(sqlite3_column_int64(row, 5)),
                       false};
                 }) &&
      // One phrase query reads the FTS5 structure, which a damaged file rarely survives.
      ForEachRow(db, "SELECT rowid FROM sentences WHERE sentences MATCH '\"the\"' LIMIT 1",
                 [](sqlite3_stmt*) {});
  if (!read) return Fail(db);
  return {};
}

void RemoveIndexFiles(const fs::path& file) {
  std::error_code ec;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    fs::remove(fs::path(file.string() + suffix), ec);
  }
}

// Reads files and cuts them into sentences on a thread of its own, a few files
// ahead of the inserts, which keep the other core busy.
class SentenceReader {
 public:
  struct File {
    bool read = false;
    std::uint64_t bytes = 0;
    std::size_t sentences = 0;
    std::vector<std::string> rows;      // kRowSentences sentences each, the last fewer
    std::vector<TokenizedText> tokens;  // of each row
  };

  SentenceReader(const CorpusListing& listing, std::vector<const CorpusFile*> files)
      : listing_(listing),
        files_(std::move(files)),
        thread_([this](const std::stop_token& stop) { Run(stop); }) {}

  // The next file, in the order given.
  File Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !queue_.empty(); });
    File file = std::move(queue_.front());
    queue_.pop_front();
    ready_.notify_all();
    return file;
  }

 private:
  static constexpr std::size_t kAhead = 8;

  void Run(const std::stop_token& stop) {
    for (const CorpusFile* listed : files_) {
      File file;
      if (auto content = ReadWholeFile(listing_.PathOf(*listed))) {
        file.read = true;
        file.bytes = content->size();
        const std::vector<std::string> sentences = SplitSentences(*content);
        file.sentences = sentences.size();
        for (std::size_t i = 0; i < sentences.size(); ++i) {
          if (i % kRowSentences == 0) file.rows.emplace_back();
          if (i % kRowSentences != 0) file.rows.back() += kSentenceEnd;
          file.rows.back() += sentences[i];
        }
        for (const std::string& row : file.rows) file.tokens.push_back(TokenizeDocument(row));
      }
      std::unique_lock<std::mutex> lock(mutex_);
      if (!ready_.wait(lock, stop, [this] { return queue_.size() < kAhead; })) return;
      queue_.push_back(std::move(file));
      ready_.notify_all();
    }
  }

  const CorpusListing& listing_;
  std::vector<const CorpusFile*> files_;
  std::mutex mutex_;
  std::condition_variable_any ready_;
  std::deque<File> queue_;
  std::jthread thread_;  // last: it starts once the rest is there, and stops first
};

// Brings the index up to date with the corpus listing.
class Updater {
 public:
  Updater(sqlite3* db, IndexState& state, std::ostream& log) : db_(db), state_(state), log_(log) {}

  Failure Run(const CorpusListing& listing) {
    std::vector<const CorpusFile*> to_index;
    for (const CorpusFile& file : listing.files) {
      const auto known = state_.files.find(file.key);
      if (known != state_.files.end()) known->second.listed = true;
      if (known == state_.files.end()) {
        ++added_;
        to_index.push_back(&file);
      } else if (known->second.size != file.size || known->second.modified != file.modified) {
        ++changed_;
        to_index.push_back(&file);
      }
    }
    std::vector<std::string> to_remove;
    for (const auto& [key, row] : state_.files) {
      if (!row.listed) {
        ++removed_;
        to_remove.push_back(key);
      }
    }
    if (to_index.empty() && to_remove.empty()) return {};
    // FTS5 deletes a sentence at about the cost of adding it, so when most of the
    // index is out of date, building it anew is quicker.
    std::uint64_t indexed = 0;
    for (const auto& [key, row] : state_.files) indexed += row.count;
    std::uint64_t stale = 0;
    for (const std::string& key : to_remove) stale += state_.files.at(key).count;
    for (const CorpusFile* file : to_index) {
      const auto known = state_.files.find(file->key);
      if (known != state_.files.end()) stale += known->second.count;
    }
    if (stale * 2 > indexed) return {Outcome::kStale, ""};

    if (!Exec(db_, kBuildingCache) || !Prepare() || !Exec(db_, "BEGIN IMMEDIATE")) return Fail(db_);
    for (const std::string& key : to_remove) {
      if (!Remove(key)) return Fail(db_);
    }
    std::uint64_t total = 0;
    for (const CorpusFile* file : to_index) total += file->size;
    std::uint64_t corpus_bytes = 0;
    for (const CorpusFile& file : listing.files) corpus_bytes += file.size;
    // When most of the index is new, its segments are merged once at the end
    // rather than again and again as it grows.
    const bool bulk = total * 4 >= corpus_bytes;
    if (bulk && !Exec(db_, kMergeAtTheEnd)) return Fail(db_);
    IndexProgress progress(log_, to_index.size(), total);
    SentenceReader reader(listing, to_index);
    std::uint64_t batch = 0;
    for (const CorpusFile* file : to_index) {
      if (state_.files.count(file->key) != 0 && !Remove(file->key)) return Fail(db_);
      const SentenceReader::File content = reader.Next();
      if (!content.read) {
        log_ << "\ncorpus: " << listing.PathOf(*file).string() << ": cannot read\n";
        continue;
      }
      if (!Add(*file, content)) return Fail(db_);
      progress.FileDone(file->size);
      batch += content.bytes;
      if (batch >= kBatchBytes) {
        batch = 0;
        if (!Exec(db_, "COMMIT") || !Exec(db_, "BEGIN IMMEDIATE")) return Fail(db_);
      }
    }
    if (bulk) {
      log_ << "\rindex: merging" << std::flush;
      if (!Exec(db_, kOptimize) || !Exec(db_, kMergeAsItGrows)) return Fail(db_);
    }
    if (!Exec(db_, "COMMIT")) return Fail(db_);
    if (!to_index.empty()) progress.Finish();
    return {};
  }

  std::size_t added() const { return added_; }
  std::size_t changed() const { return changed_; }
  std::size_t removed() const { return removed_; }

 private:
  bool Prepare() {
    insert_sentence_ =
        talewick::search::Prepare(db_, "INSERT INTO sentences(rowid, text) VALUES(?1, ?2)");
    delete_sentences_ =
        talewick::search::Prepare(db_, "DELETE FROM sentences WHERE rowid BETWEEN ?1 AND ?2");
    insert_file_ = talewick::search::Prepare(
        db_, "INSERT OR REPLACE INTO files VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    delete_file_ = talewick::search::Prepare(db_, "DELETE FROM files WHERE key = ?1");
    save_site_ = talewick::search::Prepare(db_, "INSERT OR REPLACE INTO sites VALUES(?1, ?2, ?3)");
    return insert_sentence_ && delete_sentences_ && insert_file_ && delete_file_ && save_site_;
  }

  bool Remove(const std::string& key) {
    const auto it = state_.files.find(key);
    const FileRow& row = it->second;
    if (row.count > 0) {
      sqlite3_bind_int64(delete_sentences_.get(), 1, static_cast<sqlite3_int64>(row.first));
      const std::uint64_t last = row.first + row.count - 1;
      sqlite3_bind_int64(delete_sentences_.get(), 2, static_cast<sqlite3_int64>(last));
      if (!StepDone(delete_sentences_.get())) return false;
    }
    BindText(delete_file_.get(), 1, key);
    if (!StepDone(delete_file_.get())) return false;
    state_.files.erase(it);
    return true;
  }

  bool Add(const CorpusFile& file, const SentenceReader::File& content) {
    auto site = state_.sites.find(file.site);
    if (site == state_.sites.end()) {
      std::int64_t id = 1;
      for (const auto& [name, row] : state_.sites) id = std::max(id, row.id + 1);
      site = state_.sites.emplace(file.site, SiteRow{id, 0}).first;
    }
    SiteRow& row = site->second;
    const std::uint64_t first = (static_cast<std::uint64_t>(row.id) << kSiteShift) + row.next_seq;
    sqlite3_stmt* insert = insert_sentence_.get();
    for (std::size_t i = 0; i < content.rows.size(); ++i) {
      const std::uint64_t id = first + i * kRowSentences;
      const std::string& text = content.rows[i];
      sqlite3_bind_int64(insert, 1, static_cast<sqlite3_int64>(id));
      sqlite3_bind_text64(insert, 2, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
      const PreparedTokens prepared(text, content.tokens[i]);
      if (!StepDone(insert)) return false;
    }
    row.next_seq += content.sentences;

    sqlite3_stmt* save = save_site_.get();
    sqlite3_bind_int64(save, 1, row.id);
    BindText(save, 2, file.site);
    sqlite3_bind_int64(save, 3, static_cast<sqlite3_int64>(row.next_seq));
    if (!StepDone(save)) return false;

    sqlite3_stmt* record = insert_file_.get();
    BindText(record, 1, file.key);
    sqlite3_bind_int64(record, 2, row.id);
    sqlite3_bind_int64(record, 3, static_cast<sqlite3_int64>(file.size));
    sqlite3_bind_int64(record, 4, file.modified);
    sqlite3_bind_int64(record, 5, static_cast<sqlite3_int64>(first));
    sqlite3_bind_int64(record, 6, static_cast<sqlite3_int64>(content.sentences));
    BindText(record, 7, file.Title());
    if (!StepDone(record)) return false;
    state_.files[file.key] = {row.id, file.size, file.modified, first, content.sentences, true};
    return true;
  }

  sqlite3* db_;
  IndexState& state_;
  std::ostream& log_;
  std::size_t added_ = 0;
  std::size_t changed_ = 0;
  std::size_t removed_ = 0;
  SqliteStatement insert_sentence_;
  SqliteStatement delete_sentences_;
  SqliteStatement insert_file_;
  SqliteStatement delete_file_;
  SqliteStatement save_site_;
};

}  // namespace

std::unique_ptr<SqliteIndex> SqliteIndex::Open(const fs::path& corpus, const fs::path& file,
                                               std::ostream& log) {
  const auto started = std::chrono::steady_clock::now();
  const CorpusListing listing = ListCorpusFiles(corpus);
  for (const std::string& error : listing.errors) log << "corpus: " << error << "\n";
  if (listing.files.empty()) {
    log << "corpus: no .txt files under " << corpus.string() << "/<site>/\n";
    return nullptr;
  }

  std::unique_ptr<SqliteIndex> index(new SqliteIndex());
  std::size_t added = 0, changed = 0, removed = 0;
  for (int attempt = 0;; ++attempt) {
    IndexState state;
    Failure failure = OpenDatabase(file, index->db_);
    if (failure.outcome == Outcome::kDone) failure = ReadState(index->db_.get(), state);
    Updater updater(index->db_.get(), state, log);
    if (failure.outcome == Outcome::kDone) failure = updater.Run(listing);
    if (failure.outcome == Outcome::kDone) {
      added = updater.added();
      changed = updater.changed();
      removed = updater.removed();
      break;
    }
    if (failure.outcome == Outcome::kFailed || attempt > 0) {
      log << "index: cannot use " << file.string() << ": " << failure.reason << "\n";
      return nullptr;
    }
    if (failure.outcome == Outcome::kStale) {
      log << "index: most of the corpus changed since " << file.string()
          << " was made; building it anew\n";
    } else {
      log << "index: " << file.string() << " is not a sound talewick-search index ("
          << failure.reason << "); building it anew\n";
    }
    index->search_.reset();
    index->db_.reset();
    RemoveIndexFiles(file);
  }

  sqlite3* db = index->db_.get();
  Exec(db, kServingCache);
  sqlite3_db_release_memory(db);
  index->search_ = Prepare(
      db, "SELECT rowid, text FROM sentences WHERE sentences MATCH ?1 AND rowid BETWEEN ?2 AND ?3");
  if (!index->search_ || !index->LoadSitesAndTitles()) {
    log << "index: cannot use " << file.string() << ": " << sqlite3_errmsg(db) << "\n";
    return nullptr;
  }
  std::uint64_t bytes = 0;
  for (const CorpusFile& listed : listing.files) bytes += listed.size;
  std::error_code ec;
  const auto index_bytes = fs::file_size(file, ec);
  char line[400];
  std::snprintf(
      line, sizeof line,
      "corpus: %zu files, %llu bytes, %zu sites; index %s (%.0f MB): %zu files added, "
      "%zu changed, %zu removed, %.0f ms\n",
      listing.files.size(), static_cast<unsigned long long>(bytes), index->sites_.size(),
      file.string().c_str(), ec ? 0.0 : static_cast<double>(index_bytes) / 1048576.0, added,
      changed, removed,
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
          .count());
  log << line << std::flush;
  return index;
}

bool SqliteIndex::LoadSitesAndTitles() {
  const bool read =
      ForEachRow(db_.get(),
                 "SELECT sites.name, first, count, title FROM files "
                 "JOIN sites ON sites.id = files.site WHERE count > 0",
                 [this](sqlite3_stmt* row) {
                   const auto first = static_cast<std::uint64_t>(sqlite3_column_int64(row, 1));
                   const auto count = static_cast<std::uint64_t>(sqlite3_column_int64(row, 2));
                   const IdRange ids{first, first + count - 1};
                   const auto [site, added] = sites_.try_emplace(ColumnText(row, 0), ids);
                   if (!added) {
                     site->second.first = std::min(site->second.first, ids.first);
                     site->second.last = std::max(site->second.last, ids.last);
                   }
                   titles_.emplace_back(first, ColumnText(row, 3));
                 });
  std::sort(titles_.begin(), titles_.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  return read;
}

const std::string& SqliteIndex::TitleOf(std::uint64_t id) const {
  // The last file that starts at or before `id`.
  static const std::string kNone;
  auto it =
      std::upper_bound(titles_.begin(), titles_.end(), id,
                       [](std::uint64_t value, const auto& entry) { return value < entry.first; });
  return it == titles_.begin() ? kNone : std::prev(it)->second;
}

std::optional<IdRange> SqliteIndex::SiteIds(const std::string& site) const {
  const auto it = sites_.find(site);
  if (it == sites_.end()) return std::nullopt;
  return it->second;
}

std::vector<SearchHit> SqliteIndex::Matches(const std::string& /*site: in the ids*/,
                                            const std::vector<std::string>& words, IdRange range,
                                            std::size_t count) const {
  // One FTS5 phrase: the words inside double quotes, which no word can hold.
  std::string phrase = "\"";
  for (const std::string& word : words) {
    if (phrase.size() > 1) phrase += ' ';
    phrase += word;
  }
  phrase += '"';

  std::vector<SearchHit> hits;
  const std::lock_guard<std::mutex> lock(search_mutex_);
  sqlite3_stmt* statement = search_.get();
  BindText(statement, 1, phrase);
  // A row whose first sentence comes before the range may hold sentences in it.
  const std::uint64_t from = range.first - std::min<std::uint64_t>(range.first, kRowSentences - 1);
  sqlite3_bind_int64(statement, 2, static_cast<sqlite3_int64>(from));
  sqlite3_bind_int64(statement, 3, static_cast<sqlite3_int64>(range.last));
  int rc = SQLITE_ROW;
  while (hits.size() < count && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
    const std::string text = ColumnText(statement, 1);
    auto id = static_cast<std::uint64_t>(sqlite3_column_int64(statement, 0));
    for (std::size_t start = 0; start <= text.size() && hits.size() < count; ++id) {
      const std::size_t end = std::min(text.find(kSentenceEnd, start), text.size());
      const std::string_view sentence = std::string_view(text).substr(start, end - start);
      start = end + 1;
      if (id < range.first) continue;
      if (id > range.last) break;
      // FTS5 also matches words with punctuation, or a sentence end, between them;
      // the page wants them one blank apart.
      std::vector<PhraseMatch> matches = FindPhrase(LowerAscii(sentence), words);
      if (!matches.empty()) {
        hits.push_back({id, TitleOf(id), std::string(sentence), std::move(matches)});
      }
    }
  }
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    std::cerr << "index: query failed: " << sqlite3_errmsg(db_.get()) << std::endl;
  }
  sqlite3_reset(statement);
  return hits;
}

}  // namespace talewick::search
