// Small RAII and helper layer over SQLite's C interface, for the SQLite index.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace talewick::search {

struct SqliteCloser {
  void operator()(sqlite3* db) const;
};
struct SqliteFinalizer {
  void operator()(sqlite3_stmt* statement) const;
};
using SqliteDb = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteFinalizer>;

SqliteStatement Prepare(sqlite3* db, const char* sql);  // null on error
bool Exec(sqlite3* db, const char* sql);
// Steps a statement that writes and resets it; true when it ran to the end.
bool StepDone(sqlite3_stmt* statement);
std::string ColumnText(sqlite3_stmt* statement, int column);
void BindText(sqlite3_stmt* statement, int index, std::string_view text);
// The first column of the first row of `sql`.
std::optional<std::int64_t> ReadNumber(sqlite3* db, const char* sql);

// Runs `sql` and hands each row to `onRow`; true when every row was read.
template <typename OnRow>
bool ForEachRow(sqlite3* db, const char* sql, OnRow&& onRow) {
  const SqliteStatement statement = Prepare(db, sql);
  if (!statement) return false;
  int rc = sqlite3_step(statement.get());
  for (; rc == SQLITE_ROW; rc = sqlite3_step(statement.get())) onRow(statement.get());
  return rc == SQLITE_DONE;
}

}  // namespace talewick::search
