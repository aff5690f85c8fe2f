// An SQLite VFS that keeps a checksum in the last bytes of every page of an index
// file: written with each page, checked on each read. SQLite checks the structure
// of what it reads, not the bytes: a sentence or a posting list damaged on disk
// would be read as data and served. Through this VFS a damaged page reads as the
// error SQLITE_IOERR_DATA, so damage shows wherever a query reads it.
#pragma once

struct sqlite3;

namespace talewick::search {

// The bytes each page keeps for its checksum: a database that is to be checked is
// made with this many reserved bytes per page (SetUpChecksums), before its first
// write. Files made otherwise pass through unchecked.
inline constexpr int kChecksumBytes = 8;

// The name of the VFS to open index files with; registered on the first call.
const char* CheckedVfsName();

// Makes the pages of the new, empty database `db` keep checksums.
bool SetUpChecksums(sqlite3* db);

// True once a page of `db`'s file has failed its checksum. (An error on the way
// up through FTS5 may keep only the primary code, SQLITE_IOERR, which a failing
// disk gives too.)
bool FoundDamagedPage(sqlite3* db);

}  // namespace talewick::search
