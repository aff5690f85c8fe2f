// What one serving thread holds of the SQLite index: its own connection, its
// prepared queries, and the corpus files it has read.
#pragma once

#include <cstddef>

#include "searchd/corpus/kept_files.h"
#include "searchd/sqlite/sqlite_db.h"
#include "searchd/sqlite/sqlite_index.h"

namespace talewick::search {

struct SqliteIndex::Connection {
  explicit Connection(std::size_t keptBytes) : kept(keptBytes) {}

  SqliteDb db;
  SqliteStatement match;   // the rowids of a phrase in a range
  SqliteStatement places;  // where a row of a file's sentences stand
  // By the id of their first sentence. (Only the Reader uses it, which
  // cppcheck does not see.)
  // cppcheck-suppress unusedStructMember
  KeptFiles kept;
};

}  // namespace talewick::search
