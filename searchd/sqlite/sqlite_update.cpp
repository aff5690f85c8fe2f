// Bringing the SQLite index up to date with the corpus folder.
#include "searchd/sqlite/sqlite_update.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "searchd/corpus/sentence_offsets.h"
#include "searchd/index/corpus_index.h"
#include "searchd/sqlite/checked_vfs.h"
#include "searchd/sqlite/index_header.h"
#include "searchd/sqlite/sqlite_words.h"

namespace talewick::search {

namespace {

// Files are committed in batches of about this much text, so that an index cut
// short (the service stopped, the disk full) keeps what it had done.
constexpr std::uint64_t kBatchBytes = std::uint64_t{64} * 1024 * 1024;
constexpr const char* kBuildingCache = "PRAGMA cache_size = -131072";
// A fresh index is written with no journal and no syncs. Its version reads 0 until
// it is complete, so that one cut short is built anew at the next start.
constexpr const char* kFastWrites =
    "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA user_version = 0";
constexpr const char* kSafeWrites =
    "PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL; PRAGMA user_version = 11";
static_assert(kSchemaVersion == 11, "kSafeWrites writes it");
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
// the machine (disk full, no permission, another process holding the lock). A page
// that does not match its checksum reads as an I/O error, but is damage.
bool IsDamage(sqlite3* db) {
  if (FoundDamagedPage(db)) return true;
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

// Reads files and cuts them into sentences on a thread of its own, ahead of the
// inserts, which keep the other core busy. A file comes in pieces of about
// kPieceBytes, and no more than kAheadBytes of text wait in the queue, so the
// memory this takes is bounded whatever the size of a file.
class SentenceReader {
 public:
  struct Piece {
    bool last = false;                   // the end of its file
    bool failed = false;                 // the file could not be read: drop what came of it
    CorpusFile opened;                   // the file as it was opened and read, with its stamp
    std::string notText;                 // why the file is not text (WhyNotText), read no further
    std::uint64_t bytes = 0;             // bytes of the file read into this piece
    TokenizedText tokens;                // of all its sentences, one after the other
    std::vector<std::size_t> ends;       // where each sentence's tokens end in `tokens`
    std::string offsets;                 // the sentences' places (sentence_offsets.h)
    std::vector<std::size_t> rowStarts;  // where a row of places starts in `offsets`
  };

  SentenceReader(const CorpusListing& listing, std::vector<const CorpusFile*> files)
      : listing_(listing),
        files_(std::move(files)),
        thread_([this](const std::stop_token& stop) { Run(stop); }) {}

  // The next piece, files in the order given, each file's pieces in order.
  Piece Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !queue_.empty(); });
    Piece piece = std::move(queue_.front());
    queue_.pop_front();
    queuedBytes_ -= Weight(piece);
    ready_.notify_all();
    return piece;
  }

 private:
  static constexpr std::uint64_t kReadBytes = std::uint64_t{1} << 20;
  static constexpr std::uint64_t kPieceBytes = std::uint64_t{1} << 20;
  static constexpr std::uint64_t kAheadBytes = std::uint64_t{8} << 20;

  // The memory a piece takes, against kAheadBytes: a megabyte of tiny sentences
  // takes eight times more than one of prose. An empty one counts a little, so that
  // a folder of empty files cannot pile up.
  static std::uint64_t Weight(const Piece& piece) {
    return piece.tokens.lower.size() + piece.tokens.tokens.size() * sizeof(FtsToken) +
           (piece.ends.size() + piece.rowStarts.size()) * sizeof(std::size_t) +
           piece.offsets.size() + 4096;
  }

  // Each file is opened without waiting (a pipe or a device put in its place since
  // it was listed is refused, never read) and read as far as its size at the open.
  void Run(const std::stop_token& stop) {
    std::string block;
    std::vector<std::string> sentences;
    std::vector<SentenceSpan> spans;
    for (const CorpusFile* listed : files_) {
      CorpusFileReader in;
      CorpusFile opened = *listed;
      bool failed = !in.Open(listing_.PathOf(*listed), opened);
      SentenceSplitter splitter(sentences, &spans);
      Piece piece;
      std::uint64_t done = 0;
      std::uint64_t endBefore = 0;
      std::uint64_t sentence = 0;  // of the file
      while (!failed && done < opened.size) {
        block.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(kReadBytes, opened.size - done)));
        if (!in.ReadAt(done, block)) {
          failed = true;
          break;
        }
        if (done == 0) piece.notText = WhyNotText(block);
        if (!piece.notText.empty()) break;
        done += block.size();
        piece.bytes += block.size();
        splitter.Feed(block);
        if (done == opened.size) splitter.Finish();
        for (std::size_t i = 0; i < sentences.size(); ++i) {
          AppendDocumentTokens(sentences[i], piece.tokens);
          piece.ends.push_back(piece.tokens.tokens.size());
          if (sentence++ % kSpansPerRow == 0) {
            piece.rowStarts.push_back(piece.offsets.size());
            endBefore = 0;
          }
          AppendSentenceSpan(piece.offsets, endBefore, spans[i]);
          endBefore = spans[i].end;
        }
        sentences.clear();
        spans.clear();
        if (done < opened.size && piece.bytes >= kPieceBytes) {
          if (!Push(std::move(piece), stop)) return;
          piece = {};
        }
      }
      piece.last = true;
      piece.failed = failed;
      piece.opened = std::move(opened);
      if (!Push(std::move(piece), stop)) return;
    }
  }

  bool Push(Piece piece, const std::stop_token& stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    // One piece always goes in, however big, so that a big one cannot wait for ever.
    if (!ready_.wait(lock, stop, [this] { return queue_.empty() || queuedBytes_ < kAheadBytes; }))
      return false;
    queuedBytes_ += Weight(piece);
    queue_.push_back(std::move(piece));
    ready_.notify_all();
    return true;
  }

  const CorpusListing& listing_;
  std::vector<const CorpusFile*> files_;
  std::mutex mutex_;
  std::condition_variable_any ready_;
  std::deque<Piece> queue_;
  std::uint64_t queuedBytes_ = 0;
  std::jthread thread_;  // last: it starts once the rest is there, and stops first
};

// Which files of the listing are to be indexed (added or changed since) and which
// dropped (removed), counted in `counts`; marks the files of `state` still listed.
struct UpdatePlan {
  std::vector<const CorpusFile*> toIndex;
  std::vector<std::string> toRemove;
};

UpdatePlan PlanUpdate(IndexState& state, const CorpusListing& listing, UpdateCounts& counts) {
  UpdatePlan plan;
  // The listing and the files as listed, side by side; a file out of step with
  // them is looked up, so the plan is right whatever their order.
  const std::vector<IndexState::Files::value_type*>& asListed = state.asListed;
  std::size_t next = 0;
  std::size_t listed = 0;
  for (const CorpusFile& file : listing.files) {
    while (next < asListed.size() && ListedBefore(asListed[next]->first, file.key)) ++next;
    IndexState::Files::value_type* known = nullptr;
    if (next < asListed.size() && asListed[next]->first == file.key) {
      known = asListed[next++];
    } else if (const auto found = state.files.find(file.key); found != state.files.end()) {
      known = &*found;
    }
    if (known == nullptr) {
      ++counts.added;
      plan.toIndex.push_back(&file);
      continue;
    }
    FileRow& row = known->second;
    if (!row.listed) ++listed;
    row.listed = true;
    if (row.stamp != file) {
      ++counts.changed;
      plan.toIndex.push_back(&file);
    }
  }
  // Every file still listed is the common case, and a walk of them all is not cheap.
  for (auto row = state.files.begin(); listed < state.files.size() && row != state.files.end();
       ++row) {
    if (!row->second.listed) {
      ++counts.removed;
      plan.toRemove.push_back(row->first);
    }
  }
  state.asListed.clear();
  return plan;
}

// Brings the index up to date with the corpus listing.
class Updater {
 public:
  Updater(sqlite3* db, IndexState& state, std::ostream& log, bool terminal, bool progress,
          UpdateCounts& counts)
      : db_(db),
        state_(state),
        log_(log),
        terminal_(terminal),
        progress_(progress),
        counts_(counts) {}

  Failure Run(const CorpusListing& listing) {
    const UpdatePlan plan = PlanUpdate(state_, listing, counts_);
    const auto& [toIndex, toRemove] = plan;
    if (toIndex.empty() && toRemove.empty()) return {};
    // Rows of files changed or removed stay in the FTS5 table, and queries step
    // over them; once they would be most of it, the index is built anew.
    std::uint64_t indexed = 0;
    for (const auto& [name, site] : state_.sites) indexed += site.nextSeq;
    std::uint64_t stale = indexed;
    for (const auto& [key, row] : state_.files) stale -= row.count;
    for (const std::string& key : toRemove) stale += state_.files.at(key).count;
    for (const CorpusFile* file : toIndex) {
      const auto known = state_.files.find(file->key);
      if (known != state_.files.end()) stale += known->second.count;
    }
    if (stale * 2 > indexed) return {Outcome::kStale, ""};

    const bool fresh = state_.files.empty() && indexed == 0;
    if (!Exec(db_, kBuildingCache) || (fresh && !Exec(db_, kFastWrites)) || !Prepare() ||
        !Exec(db_, "BEGIN IMMEDIATE"))
      return Fail(db_);
    for (const std::string& key : toRemove) {
      if (!Remove(key)) return Fail(db_);
    }
    std::uint64_t total = 0;
    for (const CorpusFile* file : toIndex) total += file->size;
    std::uint64_t corpusBytes = 0;
    for (const CorpusFile& file : listing.files) corpusBytes += file.size;
    // When most of the index is new, its segments are merged once at the end
    // rather than again and again as it grows.
    const bool bulk = total * 4 >= corpusBytes;
    if (bulk && !Exec(db_, kMergeAtTheEnd)) return Fail(db_);
    IndexProgress progress(log_, terminal_, toIndex.size(), total, progress_);
    SentenceReader reader(listing, toIndex);
    std::uint64_t batch = 0;
    for (const CorpusFile* file : toIndex) {
      const bool known = state_.files.count(file->key) != 0;
      if (known && !Remove(file->key)) return Fail(db_);
      SiteRow& site = SiteOf(file->site);
      const std::uint64_t first =
          (static_cast<std::uint64_t>(site.id) << kSiteShift) + site.nextSeq;
      Adding adding{first, 0, first, {}};
      for (bool last = false; !last;) {
        const SentenceReader::Piece piece = reader.Next();
        last = piece.last;
        if (piece.failed || !piece.notText.empty()) {
          if (!Discard(*file, site, adding)) return Fail(db_);
          const std::string path = Utf8Of(listing.PathOf(*file));
          progress.Say(piece.failed
                           ? "corpus: " + path + ": cannot read"
                           : "corpus: " + path + " is not text (" + piece.notText + "); skipped");
          --(known ? counts_.changed : counts_.added);
          ++counts_.skipped;
          break;
        }
        if (!AddRows(adding, piece)) return Fail(db_);
        if (last && !Record(piece.opened, site, adding)) return Fail(db_);
        batch += piece.bytes;
        if (last) {
          progress.FileDone(piece.bytes);
        } else {
          progress.BytesDone(piece.bytes);
        }
      }
      // Commits fall between files, so that no file is ever half in the index.
      if (batch >= kBatchBytes) {
        batch = 0;
        if (!Exec(db_, "COMMIT") || !SavePageStamps(db_) || !Exec(db_, "BEGIN IMMEDIATE"))
          return Fail(db_);
      }
    }
    if (bulk) {
      progress.Merging();
      if (!Exec(db_, kOptimize) || !Exec(db_, kMergeAsItGrows)) return Fail(db_);
    }
    // The merges leave the pages of the segments merged free: a fresh index is
    // copied without them, which takes less than a tenth of the build.
    if (!Exec(db_, "COMMIT") || (fresh && !Exec(db_, "VACUUM")) || !SavePageStamps(db_) ||
        (fresh && !Exec(db_, kSafeWrites)))
      return Fail(db_);
    if (!toIndex.empty()) progress.Finish();
    return {};
  }

 private:
  bool Prepare() {
    insertSentence_ =
        talewick::search::Prepare(db_, "INSERT INTO sentences(rowid, text) VALUES(?1, ?2)");
    insertFile_ = talewick::search::Prepare(
        db_, "INSERT OR REPLACE INTO files VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    insertPlaces_ = talewick::search::Prepare(db_, "INSERT OR REPLACE INTO places VALUES(?1, ?2)");
    deleteFile_ = talewick::search::Prepare(db_, "DELETE FROM files WHERE key = ?1");
    deletePlaces_ =
        talewick::search::Prepare(db_, "DELETE FROM places WHERE first BETWEEN ?1 AND ?2");
    saveSite_ = talewick::search::Prepare(db_, "INSERT OR REPLACE INTO sites VALUES(?1, ?2, ?3)");
    return insertSentence_ && insertFile_ && insertPlaces_ && deleteFile_ && deletePlaces_ &&
           saveSite_;
  }

  bool Remove(const std::string& key) {
    const auto it = state_.files.find(key);
    BindText(deleteFile_.get(), 1, key);
    if (!StepDone(deleteFile_.get())) return false;
    // A file without sentences has no places; its first id is the next file's.
    if (!DropPlaces(it->second.first, it->second.count)) return false;
    state_.files.erase(it);
    return true;
  }

  // Drops the rows of places of the `count` sentences from `first` on.
  bool DropPlaces(std::uint64_t first, std::uint64_t count) {
    if (count == 0) return true;
    sqlite3_bind_int64(deletePlaces_.get(), 1, static_cast<sqlite3_int64>(first));
    sqlite3_bind_int64(deletePlaces_.get(), 2, static_cast<sqlite3_int64>(first + count - 1));
    return StepDone(deletePlaces_.get());
  }

  // A file on its way in: its first sentence's id, how much of it is in, and
  // where its sentences stand, as far as the row of places not yet written.
  struct Adding {
    std::uint64_t first;
    std::uint64_t sentences = 0;
    std::uint64_t rowFirst;  // the id of the first sentence of `row`
    std::string row;
  };

  SiteRow& SiteOf(const std::string& name) {
    auto site = state_.sites.find(name);
    if (site == state_.sites.end()) {
      std::int64_t id = 1;
      for (const auto& [known, row] : state_.sites) id = std::max(id, row.id + 1);
      site = state_.sites.emplace(name, SiteRow{id, 0}).first;
    }
    return site->second;
  }

  bool AddRows(Adding& adding, const SentenceReader::Piece& piece) {
    sqlite3_stmt* insert = insertSentence_.get();
    // The table keeps no text: FTS5 is given a stand-in, and takes the tokens made
    // by the reader.
    static constexpr char kStandIn = '-';
    sqlite3_bind_text(insert, 2, &kStandIn, 1, SQLITE_STATIC);
    std::size_t firstToken = 0;
    for (std::size_t i = 0; i < piece.ends.size(); ++i) {
      const std::uint64_t id = adding.first + adding.sentences + i;
      sqlite3_bind_int64(insert, 1, static_cast<sqlite3_int64>(id));
      const PreparedTokens prepared(piece.tokens, firstToken, piece.ends[i]);
      if (!StepDone(insert)) return false;
      firstToken = piece.ends[i];
    }
    adding.sentences += piece.ends.size();
    std::size_t from = 0;
    for (const std::size_t start : piece.rowStarts) {
      adding.row.append(piece.offsets, from, start - from);
      if (!WriteRow(adding)) return false;
      from = start;
    }
    adding.row.append(piece.offsets, from);
    return true;
  }

  // Writes the row of places of the file on its way in, if it has any.
  bool WriteRow(Adding& adding) {
    if (adding.row.empty()) return true;
    sqlite3_stmt* places = insertPlaces_.get();
    sqlite3_bind_int64(places, 1, static_cast<sqlite3_int64>(adding.rowFirst));
    sqlite3_bind_blob64(places, 2, adding.row.data(), adding.row.size(), SQLITE_STATIC);
    if (!StepDone(places)) return false;
    adding.rowFirst += kSpansPerRow;
    adding.row.clear();
    return true;
  }

  // Gives up a file that could not be read to its end: its rows of sentences stay,
  // under ids that are not given again.
  bool Discard(const CorpusFile& file, SiteRow& site, const Adding& adding) {
    site.nextSeq += adding.sentences;
    return adding.sentences == 0 ||
           (DropPlaces(adding.first, adding.sentences) && SaveSite(file, site));
  }

  bool SaveSite(const CorpusFile& file, const SiteRow& site) {
    sqlite3_stmt* save = saveSite_.get();
    sqlite3_bind_int64(save, 1, site.id);
    BindText(save, 2, file.site);
    sqlite3_bind_int64(save, 3, static_cast<sqlite3_int64>(site.nextSeq));
    return StepDone(save);
  }

  // Records a file whose sentences are all in.
  bool Record(const CorpusFile& file, SiteRow& site, Adding& adding) {
    site.nextSeq += adding.sentences;
    if (!SaveSite(file, site)) return false;

    sqlite3_stmt* record = insertFile_.get();
    BindText(record, 1, file.key);
    sqlite3_bind_int64(record, 2, site.id);
    sqlite3_bind_int64(record, 3, static_cast<sqlite3_int64>(file.size));
    sqlite3_bind_int64(record, 4, file.modified);
    sqlite3_bind_int64(record, 5, static_cast<sqlite3_int64>(file.id));
    sqlite3_bind_int64(record, 6, file.changed);
    sqlite3_bind_int64(record, 7, static_cast<sqlite3_int64>(adding.first));
    sqlite3_bind_int64(record, 8, static_cast<sqlite3_int64>(adding.sentences));
    if (!StepDone(record) || !WriteRow(adding)) return false;
    state_.files[file.key] = {site.id, file, adding.first, adding.sentences, true};
    return true;
  }

  sqlite3* db_;
  IndexState& state_;
  std::ostream& log_;
  bool terminal_;
  bool progress_;
  UpdateCounts& counts_;
  SqliteStatement insertSentence_;
  SqliteStatement insertFile_;
  SqliteStatement insertPlaces_;
  SqliteStatement deleteFile_;
  SqliteStatement deletePlaces_;
  SqliteStatement saveSite_;
};

}  // namespace

Failure Fail(sqlite3* db) {
  if (FoundDamagedPage(db)) {
    return {Outcome::kDamaged,
            "a page of it fails its check: damaged, out of place, or older than the one written "
            "there"};
  }
  return {IsDamage(db) ? Outcome::kDamaged : Outcome::kFailed, sqlite3_errmsg(db)};
}

void SortAsListed(IndexState& state) {
  const auto before = [](const IndexState::Files::value_type* a,
                         const IndexState::Files::value_type* b) {
    return ListedBefore(a->first, b->first);
  };
  if (!std::is_sorted(state.asListed.begin(), state.asListed.end(), before))
    std::sort(state.asListed.begin(), state.asListed.end(), before);
}

UpdateCounts PendingChanges(IndexState& state, const CorpusListing& listing) {
  UpdateCounts counts;
  PlanUpdate(state, listing, counts);
  return counts;
}

Failure UpdateIndex(sqlite3* db, IndexState& state, const CorpusListing& listing, std::ostream& log,
                    bool terminal, UpdateCounts& counts, bool progress) {
  return Updater(db, state, log, terminal, progress, counts).Run(listing);
}

}  // namespace talewick::search
