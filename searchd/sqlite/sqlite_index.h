// The phrase index kept in an SQLite file with an FTS5 table, so that a corpus is
// indexed once: later starts only index the files added or changed since (by
// their stamps, corpus_files.h), and drop the sentences of files removed.
//
// A sentence's id is its site's number times 2^40 plus its place in the site, so
// an id range picks one site; a fresh index numbers sentences in corpus order, and
// files indexed later are numbered after the rest. The FTS5 table has a row for
// each sentence, under its id, and keeps no text: a table beside the files keeps
// where each file's sentences stand in it, and a hit's sentence is read back from
// the corpus file, after checking that the file is as it was indexed.
//
// Searches may run on several threads at once: each thread reads through an
// SQLite connection of its own, made on its first search.
//
// The file's pages carry checksums (checked_vfs.h): a query that reads a damaged
// page throws IndexFault instead of answering from it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "searchd/corpus/corpus_files.h"
#include "searchd/index/corpus_index.h"
#include "searchd/index/memory_budget.h"
#include "searchd/sqlite/checked_vfs.h"
#include "searchd/sqlite/index_lock.h"
#include "searchd/sqlite/sqlite_db.h"

namespace talewick::search {

struct CorpusListing;
struct IndexState;

struct IndexOpening {
  // The file lies where this program puts its indexes (a name of its own in its
  // cache folder), so whatever is there is an index of its, if a damaged one: it
  // is built anew even when its header is past knowing. A file named by the user
  // is only ever replaced when its header shows it is an index of this program.
  bool ownPlace = false;
  // A query found the index damaged: build it anew whatever its header says.
  bool rebuild = false;
  // The log is a terminal: the progress line is redrawn in place.
  bool terminal = false;
  // Progress is shown while files are indexed; else only the summary at the end
  // (and what goes wrong), as for an update while the service answers.
  bool progress = true;
  // Where lines said while answering go (a corpus file changed since it was
  // indexed); the standard log when null.
  std::ostream* servingLog = nullptr;
  // What the caches may take while the index answers (memory_budget.h).
  CacheBudget memory = ShareMemory(kDefaultMemoryMB << 20, 2);
  // Answers are kept to be given again (answer_cache.h); off, every search finds
  // its hits anew, as a benchmark of that wants.
  bool keepAnswers = true;
  // A small file read for a search is kept for the next ones where opening a
  // file is dear; else only the sentence wanted is read (a test takes either way).
  bool keepTexts = CorpusFileReader::OpeningIsDear();
  // The corpus watch's notices: while none came since the corpus was listed, an
  // index that was brought up to date looks at no hit's file before it reads it.
  ShelfNotices notices{};
  // Called once the corpus is listed, before a file of it is read: a test changes
  // the corpus there, as a user may at any moment.
  std::function<void(const CorpusListing&)> afterListing = nullptr;
};

class SqliteIndex final : public CorpusIndex {
 public:
  // Opens the index `file` and brings it up to date with the files under `corpus`,
  // with progress while files are indexed and a summary line at the end, on `log`;
  // records `corpus` in it (index_cache.h). A missing file, or this program's index when damaged or
  // of another version, is built anew (with a line saying so); any other file is left as it is and
  // refused. While another service builds the index, it waits for it (and says so). When the index
  // cannot be written (its folder is read-only, or another service answers from it), it is served
  // as it stands, with a line that says what it misses. Null, after saying why, when there is no
  // index to serve or the corpus holds no file.
  static std::unique_ptr<SqliteIndex> Open(const std::filesystem::path& corpus,
                                           const std::filesystem::path& file, std::ostream& log,
                                           const IndexOpening& opening = {});

  ~SqliteIndex() override;

  void ReleaseStartMemory() override;

 protected:
  std::optional<IdRange> SiteIds(const std::string& site) const override;
  std::size_t LongestTitleBytes() const override { return longestTitle_; }
  std::unique_ptr<PhraseReader> StartSearch(const std::vector<std::string>& words) const override;

 private:
  struct IndexedFile {
    std::uint64_t first;  // id of its first sentence
    std::uint64_t count;
    std::string key;
    FileStamp stamp;  // as it was indexed
  };
  struct Connection;
  class Reader;

  explicit SqliteIndex(const IndexOpening& opening);
  // Takes in what `state` knows of the files, in place of what was known before.
  void LoadFiles(const IndexState& state);
  // The file that holds the sentence `id`; null for a row of a file that was
  // changed or removed since.
  const IndexedFile* FileOf(std::uint64_t id) const;
  Connection& ConnectionOfThisThread() const;
  // Says once that `file` is no longer as indexed.
  void SayChanged(const IndexedFile& file) const;
  // Whether every file is known to be as it was indexed, without looking.
  bool ShelfUnchanged() const {
    return upToDate_ && notices_.count != nullptr &&
           notices_.count->load(std::memory_order_acquire) == notices_.seen;
  }

  IndexLock lock_;  // held shared while the index answers; first member, so released last
  std::filesystem::path file_;
  std::filesystem::path corpus_;
  std::ostream* servingLog_ = nullptr;
  std::map<std::string, IdRange> sites_;
  std::vector<IndexedFile> files_;            // by first id
  std::size_t longestTitle_ = 0;              // bytes at most: the longest file name
  std::shared_ptr<const PageStamps> stamps_;  // of the file's pages, shared by the connections
  CacheBudget memory_;
  bool keepTexts_;
  ShelfNotices notices_;
  bool upToDate_ = false;     // written as the corpus was listed, not served as it stood
  mutable std::mutex mutex_;  // for the two below
  mutable std::unordered_map<std::thread::id, std::unique_ptr<Connection>> connections_;
  mutable std::set<std::string> saidChanged_;  // keys
  // What the start read and listed: some 200,000 small blocks for a big corpus.
  std::unique_ptr<IndexState> startState_;
  std::unique_ptr<CorpusListing> startListing_;
};

}  // namespace talewick::search
