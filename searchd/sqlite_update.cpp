// Bringing the SQLite index up to date with the corpus folder.
#include "sqlite_update.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "corpus_index.h"
#include "sqlite_words.h"

namespace talewick::search {

namespace {

// Files are committed in batches of about this much text, so that an index cut
// short (the service stopped, the disk full) keeps what it had done.
constexpr std::uint64_t kBatchBytes = std::uint64_t{64} * 1024 * 1024;
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
  Updater(sqlite3* db, IndexState& state, std::ostream& log, UpdateCounts& counts)
      : db_(db), state_(state), log_(log), counts_(counts) {}

  Failure Run(const CorpusListing& listing) {
    std::vector<const CorpusFile*> to_index;
    for (const CorpusFile& file : listing.files) {
      const auto known = state_.files.find(file.key);
      if (known != state_.files.end()) known->second.listed = true;
      if (known == state_.files.end()) {
        ++counts_.added;
        to_index.push_back(&file);
      } else if (known->second.size != file.size || known->second.modified != file.modified) {
        ++counts_.changed;
        to_index.push_back(&file);
      }
    }
    std::vector<std::string> to_remove;
    for (const auto& [key, row] : state_.files) {
      if (!row.listed) {
        ++counts_.removed;
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
  UpdateCounts& counts_;
  SqliteStatement insert_sentence_;
  SqliteStatement delete_sentences_;
  SqliteStatement insert_file_;
  SqliteStatement delete_file_;
  SqliteStatement save_site_;
};

}  // namespace

Failure Fail(sqlite3* db) {
  return {IsDamage(db) ? Outcome::kDamaged : Outcome::kFailed, sqlite3_errmsg(db)};
}

Failure UpdateIndex(sqlite3* db, IndexState& state, const CorpusListing& listing, std::ostream& log,
                    UpdateCounts& counts) {
  return Updater(db, state, log, counts).Run(listing);
}

}  // namespace talewick::search
