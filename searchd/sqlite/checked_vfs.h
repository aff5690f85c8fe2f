// An SQLite VFS that keeps a check in the last bytes of every page of an index
// file: written with each page, checked on each read. SQLite checks the structure
// of what it reads, not the bytes: a sentence or a posting list damaged on disk
// would be read as data and served. Through this VFS a damaged page reads as the
// error SQLITE_IOERR_DATA, so damage shows wherever a query reads it.
//
// The check binds a page to its place and its index, not only to its bytes: its
// checksum covers the page's number, the index's salt (a random number chosen when
// the file is made) and the page's stamp, which grows with every write
// transaction. A page read where another belongs (swapped, duplicated), a page of
// another index, and a page older than the one last written there (a write the
// disk lost) all fail. For the last, the index keeps the stamp each page was
// written with in a table of its own (LoadPageStamps, SavePageStamps).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct sqlite3;

namespace talewick::search {

// The bytes each page keeps for its check: a database that is to be checked is
// made with this many reserved bytes per page (SetUpChecksums), before its first
// write. Files made otherwise pass through unchecked.
inline constexpr int kChecksumBytes = 16;

// The stamp each page of a file was last written with, by page number from 0;
// 0 where none is known.
using PageStamps = std::vector<std::uint32_t>;

// The name of the VFS to open index files with; registered on the first call.
const char* CheckedVfsName();

// Makes the pages of the new, empty database `db` keep checks. Its schema is then
// to hold the table that SavePageStamps writes:
inline constexpr const char* kPageStampsTable =
    "CREATE TABLE pages(chunk INTEGER PRIMARY KEY, stamps BLOB NOT NULL)";
bool SetUpChecksums(sqlite3* db);

// Reads the stamps of `db`'s pages from its pages table: from then on no page
// older than its stamp is read without failing, and none read before passed
// either. False, with the file marked damaged, when one of those is older.
bool LoadPageStamps(sqlite3* db);
// Records the stamps of the pages `db` wrote since the file was opened (or since
// the last call) in its pages table, in a transaction of its own. A page written
// later than its recorded stamp passes, so a write cut short between the two
// leaves a sound index.
bool SavePageStamps(sqlite3* db);
// The stamps as `db` knows them, to be shared by other connections that only
// read the same file (UsePageStamps), so that each need not read them again.
std::shared_ptr<const PageStamps> PageStampsOf(sqlite3* db);
// Checks `db`'s pages against `stamps` from now on (and those read before); false
// when one of those read before is older than its stamp.
bool UsePageStamps(sqlite3* db, std::shared_ptr<const PageStamps> stamps);

// True once a page of `db`'s file has failed its check. (An error on the way
// up through FTS5 may keep only the primary code, SQLITE_IOERR, which a failing
// disk gives too.)
bool FoundDamagedPage(sqlite3* db);

}  // namespace talewick::search
