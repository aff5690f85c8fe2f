// Bringing the SQLite index up to date with the corpus folder: files added or
// changed (by their stamps, corpus_files.h) are indexed, files removed dropped.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "searchd/corpus/corpus_files.h"
#include "searchd/sqlite/sqlite_db.h"
#include "searchd/text/failure.h"

namespace talewick::search {

// A sentence's id is its site's number shifted by kSiteShift plus its place in
// the site. Ids are never given twice: the FTS5 table keeps no text, so rows of a
// file changed or removed cannot be taken out of it (it would need their text);
// they stay, under ids that no file holds any more, until the index is built anew.
inline constexpr int kSiteShift = 40;

struct FileRow {
  std::int64_t site;
  FileStamp stamp;  // as the file was read
  std::uint64_t first;
  std::uint64_t count;
  bool listed = false;  // still in the corpus
};

struct SiteRow {
  std::int64_t id;
  std::uint64_t nextSeq;  // ids given so far, to files in the index or not
};

// What the index knew at the start.
struct IndexState {
  using Files = std::unordered_map<std::string, FileRow>;
  Files files;                           // by key
  std::map<std::string, SiteRow> sites;  // by name
  // The files, to be put in the order a listing gives them (SortAsListed) while
  // the corpus is listed: the update's plan then walks the two side by side instead
  // of looking up every listed file, which is most of a start's work once the
  // listing is in. The plan empties it; it is not kept up to date after.
  std::vector<Files::value_type*> asListed;
};

// Sorts `state.asListed` in the listing's order. The files table is written in
// that order, so files read in table order are most often in it already.
void SortAsListed(IndexState& state);

// The outcome of the last error on `db`, with SQLite's words for it.
Failure Fail(sqlite3* db);

struct UpdateCounts {
  std::size_t added = 0;
  std::size_t changed = 0;
  std::size_t removed = 0;
  std::size_t skipped = 0;  // listed, but not in the index: not text, or unreadable

  bool Any() const { return added + changed + removed + skipped > 0; }
};

// What bringing an index that holds `state` up to date with `listing` would do.
UpdateCounts PendingChanges(IndexState& state, const CorpusListing& listing);

// Brings `db`, which holds `state`, up to date with `listing`, with progress on
// `log` while files are indexed (a line redrawn in place when it is a `terminal`).
Failure UpdateIndex(sqlite3* db, IndexState& state, const CorpusListing& listing, std::ostream& log,
                    bool terminal, UpdateCounts& counts, bool progress = true);

}  // namespace talewick::search
