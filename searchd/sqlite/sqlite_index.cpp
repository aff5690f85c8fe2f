// The SQLite phrase index: opening and checking the file, and each serving
// thread's connection to it (its queries: sqlite_reader.cpp).
#include "searchd/sqlite/sqlite_index.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <ostream>
#include <system_error>
#include <unordered_map>

#include "searchd/corpus/corpus_files.h"
#include "searchd/corpus/kept_files.h"
#include "searchd/corpus/sentence_offsets.h"
#include "searchd/platform/block_cache.h"
#include "searchd/sqlite/checked_vfs.h"
#include "searchd/sqlite/index_cache.h"
#include "searchd/sqlite/index_header.h"
#include "searchd/sqlite/sqlite_connection.h"
#include "searchd/sqlite/sqlite_update.h"
#include "searchd/sqlite/sqlite_words.h"
#include "searchd/text/service_log.h"
#include "searchd/text/words.h"

namespace talewick::search {

namespace fs = std::filesystem;

namespace {

// Nothing writes the index while it is served (the index lock sees to that), so
// its file's shared lock is taken once and held, rather than taken and let go at
// each step of a query, which costs a call to the system each time (one to the
// wineserver under Wine): a page of a common phrase takes hundreds of steps. The
// page cache is the connection's share of the memory budget (the build uses a
// larger one for its merges).
std::string ServingPragmas(const CacheBudget& memory) {
  return "PRAGMA cache_size = -" +
         std::to_string(std::max<std::size_t>(memory.pagesPerThread >> 10, 64)) +
         "; PRAGMA locking_mode = EXCLUSIVE";
}

constexpr const char* kSchema = R"(
  PRAGMA application_id = 1415007025;
  PRAGMA user_version = 11;
  CREATE TABLE sites(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, next_seq INTEGER NOT NULL);
  CREATE TABLE files(key TEXT PRIMARY KEY, site INTEGER NOT NULL, size INTEGER NOT NULL,
                     modified INTEGER NOT NULL, id INTEGER NOT NULL, changed INTEGER NOT NULL,
                     first INTEGER NOT NULL, count INTEGER NOT NULL) WITHOUT ROWID;
  CREATE TABLE places(first INTEGER PRIMARY KEY, offsets BLOB NOT NULL);
  CREATE TABLE corpus(id INTEGER PRIMARY KEY, path TEXT NOT NULL);
  CREATE VIRTUAL TABLE sentences USING fts5(text, tokenize = 'talewick', content = '',
                                            columnsize = 0, detail = none);
  INSERT INTO sentences(sentences, rank) VALUES('pgsz', 1000);
)";
static_assert(kApplicationId == 1415007025 && kSchemaVersion == 11, "kSchema writes both");
// FTS5 keeps its posting lists in blobs of about 'pgsz' bytes (4050 by default).
// Without places, a blob of that size holds about 2000 sentence ids, walked one
// by one to find the first id of a slice of the shelf, and a list gets an index
// of its blobs only from four blobs on, so an ask of a list of 8000 ids reads it
// from its start. Blobs of 1000 bytes, four to a page, make each such walk a
// quarter as long ("the town" asked first at 100 MB: 12 -> 2 ms) for 2% more
// index.

Failure OpenDatabase(const fs::path& file, bool write, SqliteDb& db) {
  sqlite3* raw = nullptr;
  // A connection is only ever used by one thread at a time: it needs no mutex.
  const int flags = SQLITE_OPEN_NOMUTEX |
                    (write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY);
  const int rc = sqlite3_open_v2(Utf8Of(file).c_str(), &raw, flags, CheckedVfsName());
  db.reset(raw);
  if (rc != SQLITE_OK) {
    return Failed(raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
  }
  if (write && sqlite3_db_readonly(raw, "main") == 1) {
    return Failed("the file is read-only");
  }
  sqlite3_busy_timeout(raw, 5000);
  // A page freed in the transaction that made it is then left unwritten, and
  // the file keeps a hole where it stood: read again when it is reused, it
  // fails its check. Freed pages are written (as zeros) instead. (Debian's
  // SQLite does so by default; the one built for Windows does not.)
  if (write && !Exec(raw, "PRAGMA secure_delete = ON")) return Fail(raw);
  if (!RegisterTokenizer(raw)) return Failed("FTS5 is not available");
  return {};
}

// Checks that `db` is an index of this program, or (when it may write) makes an
// empty file one, and reads what it holds.
Failure ReadState(sqlite3* db, bool write, IndexState& state) {
  const auto application = ReadNumber(db, "PRAGMA application_id");
  const auto version = ReadNumber(db, "PRAGMA user_version");
  const auto tables = ReadNumber(db, "SELECT count(*) FROM sqlite_master");
  if (!application || !version || !tables) return Fail(db);
  if (*application == 0 && *tables == 0) {
    if (!write) return {Outcome::kDamaged, "it is empty"};
    if (!SetUpChecksums(db) || !Exec(db, "BEGIN") || !Exec(db, kSchema) ||
        !Exec(db, kPageStampsTable) || !Exec(db, "COMMIT"))
      return Fail(db);
  } else if (*application != kApplicationId) {
    return {Outcome::kDamaged, "made by another program"};
  } else if (*version != kSchemaVersion) {
    return {Outcome::kDamaged, DescribeVersion(*version)};
  }
  // Every page read from here on is checked against the stamp it was written with.
  if (!LoadPageStamps(db)) return Fail(db);
  const bool read =
      ForEachRow(db, "SELECT id, name, next_seq FROM sites",
                 [&](sqlite3_stmt* row) {
                   state.sites[ColumnText(row, 1)] = {
                       sqlite3_column_int64(row, 0),
                       static_cast<std::uint64_t>(sqlite3_column_int64(row, 2))};
                 }) &&
      ForEachRow(db, "SELECT key, site, size, modified, id, changed, first, count FROM files",
                 [&](sqlite3_stmt* row) {
                   const auto number = [row](int column) {
                     return static_cast<std::uint64_t>(sqlite3_column_int64(row, column));
                   };
                   const FileStamp stamp{number(2), sqlite3_column_int64(row, 3), number(4),
                                         sqlite3_column_int64(row, 5)};
                   const auto [file, added] = state.files.insert_or_assign(
                       ColumnText(row, 0),
                       FileRow{sqlite3_column_int64(row, 1), stamp, number(6), number(7), false});
                   if (added) state.asListed.push_back(&*file);
                 }) &&
      // One query for a word that sorts first and is not there reads the FTS5
      // structure, and no more: a common word would read the index of its long
      // list of rows too. Every page read so far had its checksum checked:
      // damage elsewhere shows when a query reads it.
      ForEachRow(db, "SELECT rowid FROM sentences WHERE sentences MATCH '\"00000000\"' LIMIT 1",
                 [](sqlite3_stmt*) {});
  if (!read) return Fail(db);
  SortAsListed(state);
  return {};
}

// Records the corpus folder in the index, for the tidying of the cache folder
// (index_cache.h).
bool RecordCorpus(sqlite3* db, const std::string& corpus) {
  const SqliteStatement statement =
      Prepare(db,
              "INSERT INTO corpus VALUES(1, ?1) ON CONFLICT(id) DO UPDATE SET path = excluded.path "
              "WHERE path <> excluded.path");
  if (!statement) return false;
  BindText(statement.get(), 1, corpus);
  return StepDone(statement.get());
}

// How the index's lock was taken: exclusive, to write the index, or shared, to
// answer from it as it stands, for the reason `why`.
struct Locked {
  bool exclusive = false;
  std::string why;
};

// Takes the lock of the index `file`: exclusive when its place can be written and
// no other service holds it; else shared. Waits while another service builds the
// index.
Locked TakeLock(IndexLock& lock, const fs::path& file, std::ostream& log) {
  const IndexLock::Opened opened = lock.Open(LockFileOf(file));
  const IndexLock::Place place = opened.place;
  Locked locked;
  if (place != IndexLock::Place::kWritable)
    locked.why = "its folder cannot be written to: " + opened.why;
  if (place == IndexLock::Place::kUnlocked) return locked;
  for (bool said = false;; said = true) {
    if (place == IndexLock::Place::kWritable && lock.TryExclusive()) return {true, {}};
    if (lock.TryShared()) {
      if (place == IndexLock::Place::kWritable)
        locked.why = "another talewick-search answers from it";
      return locked;
    }
    if (!said) {
      log << "index: another talewick-search is building " << Utf8Of(file)
          << "; waiting for it to finish\n"
          << std::flush;
    }
    if (!lock.WaitShared()) {
      log << "index: cannot lock " << Utf8Of(LockFileOf(file))
          << " (the file system has no locks?); going on without\n";
      locked.exclusive = place == IndexLock::Place::kWritable;
      return locked;
    }
    lock.Unlock();
  }
}

// The corpus listed on a thread of its own: a later start spends most of its time
// listing the corpus, and what the index holds is read meanwhile.
class SideListing {
 public:
  SideListing(const fs::path& corpus, const fs::path& index, std::ostream& log,
              std::function<void(const CorpusListing&)> afterListing)
      : corpus_(corpus),
        index_(index),
        log_(log),
        afterListing_(std::move(afterListing)),
        task_(std::async(std::launch::async | std::launch::deferred,
                         [corpus] { return ListCorpusFiles(corpus); })) {}

  // The listing, once it is done, with its errors said; null, after saying so,
  // when the corpus holds no file.
  const CorpusListing* Listed() {
    if (!listing_) {
      listing_ = task_.get();
      LeaveOutIndex();
      if (afterListing_) afterListing_(*listing_);
      for (const std::string& error : listing_->errors) log_ << "corpus: " << error << "\n";
      if (listing_->files.empty()) {
        log_ << NothingToIndex(corpus_) << "\n";
      }
    }
    return listing_->files.empty() ? nullptr : &*listing_;
  }

  std::optional<CorpusListing> Release() { return std::move(listing_); }

 private:
  // An index file named like a text and put in the corpus is not one of its texts:
  // it would be indexed, and so changed, at every start.
  void LeaveOutIndex() {
    const std::string name = "/" + Utf8Of(index_.filename());
    std::error_code ec;
    const fs::path index = fs::weakly_canonical(index_, ec);
    std::erase_if(listing_->files, [&](const CorpusFile& file) {
      std::error_code fileEc;
      return file.key.ends_with(name) && !ec &&
             fs::weakly_canonical(listing_->PathOf(file), fileEc) == index && !fileEc;
    });
  }

  fs::path corpus_;
  fs::path index_;
  std::ostream& log_;
  std::function<void(const CorpusListing&)> afterListing_;
  std::future<CorpusListing> task_;
  std::optional<CorpusListing> listing_;
};

// What is done with the index's state as read, while the corpus is still listed.
using WhileListing = std::function<void(const IndexState&)>;

// Opens the index `file` to write it, and builds it (anew when it is damaged) or
// brings it up to date with the corpus, as `state` then tells. False, after
// saying why, when it cannot, or the corpus holds no file. Nothing is removed
// before the corpus is known to hold files.
bool OpenForWriting(const fs::path& file, SideListing& side, std::ostream& log,
                    const IndexOpening& opening, const WhileListing& whileListing, SqliteDb& db,
                    IndexState& state, UpdateCounts& counts) {
  const std::string name = Utf8Of(file);
  const IndexHeader header = ReadIndexHeader(file);
  std::string anew;  // the line that says why the index is built anew
  const auto unsound = [&](const std::string& reason) {
    return "index: " + name + " is not a sound talewick-search index (" + reason +
           "); building it anew\n";
  };
  if (header.kind == IndexHeader::Kind::kNotAFile) {
    log << "index: " << name << " is not a regular file (a folder, a pipe or a device), so it is "
        << "left as it is: give --index the name of a new file\n";
    return false;
  }
  if (header.kind == IndexHeader::Kind::kForeign ||
      (header.kind == IndexHeader::Kind::kUnknown && !opening.ownPlace)) {
    log << "index: " << name << " is not a talewick-search index (" << header.reason
        << "), so it is left as it is: give --index the name of a new file, or remove " << name
        << " if it was an index that is damaged\n";
    return false;
  }
  if (header.kind == IndexHeader::Kind::kUnknown || header.kind == IndexHeader::Kind::kDamaged) {
    anew = unsound(header.reason);
  }
  if (opening.rebuild) anew = unsound("damaged pages found while answering");
  for (int attempt = 0;; ++attempt) {
    if (!anew.empty()) {
      if (side.Listed() == nullptr) return false;
      log << anew;
      db.reset();
      RemoveIndexFiles(file);
    }
    state = {};
    counts = {};
    Failure failure = OpenDatabase(file, true, db);
    if (failure.Done()) failure = ReadState(db.get(), true, state);
    if (failure.Done()) whileListing(state);
    const CorpusListing* listing = side.Listed();
    if (listing == nullptr) return false;
    if (failure.Done() && !RecordCorpus(db.get(), FullCorpusPath(listing->root)))
      failure = Fail(db.get());
    if (failure.Done())
      failure =
          UpdateIndex(db.get(), state, *listing, log, opening.terminal, counts, opening.progress);
    if (failure.Done() && !SavePageStamps(db.get())) failure = Fail(db.get());
    if (failure.Done()) return true;
    if (failure.outcome == Outcome::kFailed || attempt > 0) {
      log << "index: cannot use " << name << ": " << failure.reason << "\n";
      return false;
    }
    anew = failure.outcome == Outcome::kStale
               ? "index: most of the corpus changed since " + name + " was made; building it anew\n"
               : unsound(failure.reason);
  }
}

// Opens the index `file` read-only, to answer from it as it stands: it cannot be
// written, for the reason `why`. False, after saying why, when there is no sound
// index there, or the corpus holds no file; else `state` tells what it holds,
// and `counts` the files listed that it does not hold as they are.
bool OpenAsItStands(const fs::path& file, SideListing& side, std::ostream& log,
                    const std::string& why, const WhileListing& whileListing, SqliteDb& db,
                    IndexState& state, UpdateCounts& counts) {
  const std::string name = Utf8Of(file);
  const IndexHeader header = ReadIndexHeader(file);
  Failure failure;
  if (header.kind == IndexHeader::Kind::kMissing) {
    failure = Failed("there is no index there yet");
  } else if (header.kind != IndexHeader::Kind::kIndex) {
    failure = {Outcome::kDamaged,
               "it is not a sound talewick-search index (" + header.reason + ")"};
  } else {
    failure = OpenDatabase(file, false, db);
    if (failure.Done()) failure = ReadState(db.get(), false, state);
    if (failure.Done()) whileListing(state);
  }
  if (!failure.Done()) {
    log << "index: cannot use " << name << ": " << why << ", and " << failure.reason << "\n";
    return false;
  }
  const CorpusListing* listing = side.Listed();
  if (listing == nullptr) return false;
  const UpdateCounts missed = PendingChanges(state, *listing);
  if (missed.Any()) {
    log << "index: " << name << " cannot be brought up to date (" << why
        << "); answering from it as it stands, without the files changed since: " << missed.added
        << " added, " << missed.changed << " changed, " << missed.removed << " removed\n";
  }
  counts.skipped = missed.added + missed.changed;
  return true;
}

}  // namespace

std::unique_ptr<SqliteIndex> SqliteIndex::Open(const fs::path& corpus, const fs::path& file,
                                               std::ostream& log, const IndexOpening& opening) {
  const auto started = std::chrono::steady_clock::now();
  SideListing side(corpus, file, log, opening.afterListing);
  // With no index there yet, nothing is read meanwhile, and nothing is made for a
  // corpus without files.
  if (ReadIndexHeader(file).kind != IndexHeader::Kind::kIndex && side.Listed() == nullptr) {
    return nullptr;
  }

  std::unique_ptr<SqliteIndex> index(new SqliteIndex(opening));
  index->file_ = file;
  index->corpus_ = corpus;
  index->servingLog_ = opening.servingLog;
  SqliteDb db;
  IndexState state;
  UpdateCounts counts;
  const WhileListing loadFiles = [&index](const IndexState& read) { index->LoadFiles(read); };
  const auto [exclusive, why] = TakeLock(index->lock_, file, log);
  if (exclusive) {
    if (!OpenForWriting(file, side, log, opening, loadFiles, db, state, counts)) {
      // A lock file made for a file that is not an index goes with the refusal.
      std::error_code ec;
      if (index->lock_.Made() && ReadIndexHeader(file).kind != IndexHeader::Kind::kIndex) {
        fs::remove(LockFileOf(file), ec);
      }
      return nullptr;
    }
    index->lock_.Downgrade();
    index->upToDate_ = true;
  } else if (opening.rebuild) {
    log << "index: " << Utf8Of(file) << " is damaged, and cannot be built anew now (" << why
        << ")\n";
    return nullptr;
  } else if (!OpenAsItStands(file, side, log, why, loadFiles, db, state, counts)) {
    return nullptr;
  }
  index->stamps_ = PageStampsOf(db.get());
  db.reset();  // each thread that searches opens its own, and checks its pages by these stamps
  // The files were taken in while the corpus was listed, as the index held them.
  if (counts.Any()) index->LoadFiles(state);

  const std::string name = Utf8Of(file);
  const CorpusListing& listing = *side.Listed();
  std::uint64_t bytes = 0;
  for (const CorpusFile& listed : listing.files) bytes += listed.size;
  std::error_code ec;
  const auto indexBytes = fs::file_size(file, ec);
  char line[400];
  std::snprintf(
      line, sizeof line,
      "corpus: %zu files (%zu indexed, %zu skipped), %llu bytes, %zu sites; index %s (%.0f MB): "
      "%zu files added, %zu changed, %zu removed, %.0f ms\n",
      listing.files.size(), listing.files.size() - counts.skipped, counts.skipped,
      static_cast<unsigned long long>(bytes), index->sites_.size(), name.c_str(),
      ec ? 0.0 : static_cast<double>(indexBytes) / 1048576.0, counts.added, counts.changed,
      counts.removed,
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
          .count());
  log << line << std::flush;
  index->startState_ = std::make_unique<IndexState>(std::move(state));
  if (std::optional<CorpusListing> listed = side.Release())
    index->startListing_ = std::make_unique<CorpusListing>(std::move(*listed));
  return index;
}

void SqliteIndex::LoadFiles(const IndexState& state) {
  sites_.clear();
  files_.clear();
  longestTitle_ = 0;
  std::unordered_map<std::int64_t, const std::string*> siteNames;
  for (const auto& [name, site] : state.sites) siteNames[site.id] = &name;
  files_.reserve(state.files.size());
  for (const auto& [key, row] : state.files) {
    const auto site = siteNames.find(row.site);
    if (row.count == 0 || site == siteNames.end()) continue;
    const IdRange ids{row.first, row.first + row.count - 1};
    const auto [range, added] = sites_.try_emplace(*site->second, ids);
    if (!added) {
      range->second.first = std::min(range->second.first, ids.first);
      range->second.last = std::max(range->second.last, ids.last);
    }
    // A title is never longer than its file's name.
    longestTitle_ = std::max(longestTitle_, key.size() - key.rfind('/') - 1);
    files_.push_back({row.first, row.count, key, row.stamp});
  }
  std::sort(files_.begin(), files_.end(),
            [](const IndexedFile& a, const IndexedFile& b) { return a.first < b.first; });
}

SqliteIndex::SqliteIndex(const IndexOpening& opening)
    : CorpusIndex(opening.keepAnswers ? opening.memory.answers : 0),
      memory_(opening.memory),
      keepTexts_(opening.keepTexts),
      notices_(opening.notices) {}

SqliteIndex::~SqliteIndex() = default;

void SqliteIndex::ReleaseStartMemory() {
  startState_.reset();
  startListing_.reset();
  KeepFreeBlocksUpTo(memory_.freeBlocks);
}

const SqliteIndex::IndexedFile* SqliteIndex::FileOf(std::uint64_t id) const {
  // The last file that starts at or before `id`, if it reaches it.
  const auto it = std::upper_bound(
      files_.begin(), files_.end(), id,
      [](std::uint64_t value, const IndexedFile& file) { return value < file.first; });
  if (it == files_.begin()) return nullptr;
  const IndexedFile& file = *std::prev(it);
  return id - file.first < file.count ? &file : nullptr;
}

std::optional<IdRange> SqliteIndex::SiteIds(const std::string& site) const {
  const auto it = sites_.find(site);
  if (it == sites_.end()) return std::nullopt;
  return it->second;
}

void SqliteIndex::SayChanged(const IndexedFile& file) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!saidChanged_.insert(file.key).second) return;
  // Said on the thread that found it: the standard log is one stream per thread.
  std::ostream& log = servingLog_ != nullptr ? *servingLog_ : StandardLog();
  log << "index: " << Utf8Of((corpus_ / PathFromUtf8(file.key)).make_preferred())
      << " changed since it was indexed; its sentences are left out of answers until "
      << (notices_.count != nullptr ? "the index is brought up to date"
                                    : "the next start indexes it again")
      << "\n"
      << std::flush;
}

SqliteIndex::Connection& SqliteIndex::ConnectionOfThisThread() const {
  const std::thread::id thread = std::this_thread::get_id();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = connections_.find(thread);
    if (it != connections_.end()) return *it->second;
  }
  auto made = std::make_unique<Connection>(memory_.filesPerThread);
  Failure failure = OpenDatabase(file_, false, made->db);
  sqlite3* db = made->db.get();
  if (failure.Done() && !UsePageStamps(db, stamps_)) failure = Fail(db);
  if (failure.Done()) {
    made->match = Prepare(db,
                          "SELECT rowid FROM sentences WHERE sentences MATCH ?1 AND rowid "
                          "BETWEEN ?2 AND ?3");
    made->places = Prepare(db, "SELECT offsets FROM places WHERE first = ?1");
    if (!Exec(db, ServingPragmas(memory_).c_str()) || !made->match || !made->places)
      failure = Fail(db);
  }
  if (!failure.Done()) {
    throw IndexFault(failure.outcome == Outcome::kDamaged, failure.reason);
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  return *connections_.emplace(thread, std::move(made)).first->second;
}

}  // namespace talewick::search
