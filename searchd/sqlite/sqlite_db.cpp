// Small RAII and helper layer over SQLite's C interface.
#include "searchd/sqlite/sqlite_db.h"

namespace talewick::search {

void SqliteCloser::operator()(sqlite3* db) const { sqlite3_close_v2(db); }
void SqliteFinalizer::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }

SqliteStatement Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  return SqliteStatement(raw);
}

bool Exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

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

std::optional<std::int64_t> ReadNumber(sqlite3* db, const char* sql) {
  const SqliteStatement statement = Prepare(db, sql);
  if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return std::nullopt;
  return sqlite3_column_int64(statement.get(), 0);
}

}  // namespace talewick::search
