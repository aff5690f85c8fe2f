// The phrase index kept in an SQLite file with an FTS5 table, so that a corpus is
// indexed once: later starts only index the files added or changed since, by
// size and modification time, and drop the sentences of files removed.
//
// A sentence's id is its site's number times 2^40 plus its place in the site, so
// an id range picks one site; a fresh index numbers sentences in corpus order, and
// files indexed later are numbered after the rest. FTS5 rows hold a few sentences
// of one file each, under the id of the first.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "corpus_index.h"
#include "sqlite_db.h"

namespace talewick::search {

class SqliteIndex final : public CorpusIndex {
 public:
  // Opens the index `file` (building it anew when it is not an index of this
  // program, or is damaged, with a line saying so) and brings it up to date with
  // the files under `corpus`, with a progress line while files are indexed and a
  // summary line at the end, on `log`. Null, after saying why, when the file
  // cannot be written or the corpus holds no file.
  static std::unique_ptr<SqliteIndex> Open(const std::filesystem::path& corpus,
                                           const std::filesystem::path& file, std::ostream& log);

 protected:
  std::optional<IdRange> SiteIds(const std::string& site) const override;
  std::vector<SearchHit> Matches(const std::string& site, const std::vector<std::string>& words,
                                 IdRange range, std::size_t count) const override;

 private:
  SqliteIndex() = default;
  bool LoadSitesAndTitles();
  const std::string& TitleOf(std::uint64_t id) const;

  SqliteDb db_;
  SqliteStatement search_;
  mutable std::mutex search_mutex_;  // the service answers on several threads
  std::map<std::string, IdRange> sites_;
  std::vector<std::pair<std::uint64_t, std::string>> titles_;  // first id of each file
};

}  // namespace talewick::search
