// Index file names, and the removal of indexes whose corpus folder is gone.
#include "index_cache.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <system_error>
#include <vector>

#include "checked_vfs.h"
#include "corpus_files.h"
#include "index_header.h"
#include "index_lock.h"
#include "sqlite_db.h"

namespace talewick::search {

namespace fs = std::filesystem;

std::string FullCorpusPath(const fs::path& corpus) {
  std::error_code ec;
  fs::path full = fs::weakly_canonical(fs::absolute(corpus, ec), ec);
  if (ec) full = corpus;
  return Utf8Of(full);
}

fs::path DefaultIndexFile(const fs::path& cache, const fs::path& corpus) {
  const std::string full = FullCorpusPath(corpus);
  std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
  for (const char c : full) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  char name[40];
  std::snprintf(name, sizeof name, "-%016llx.sqlite", static_cast<unsigned long long>(hash));
  std::string stem = Utf8Of(PathFromUtf8(full).filename());
  if (stem.empty()) stem = "corpus";
  return cache / PathFromUtf8(stem + name);
}

fs::path LockFileOf(const fs::path& file) {
  return fs::path(file.native() + PathFromUtf8(".lock").native());
}

void RemoveIndexFiles(const fs::path& file) {
  std::error_code ec;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    fs::remove(fs::path(file.native() + PathFromUtf8(suffix).native()), ec);
  }
}

std::optional<std::string> RecordedCorpus(const fs::path& file) {
  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(Utf8Of(file).c_str(), &raw, SQLITE_OPEN_READONLY, CheckedVfsName());
  const SqliteDb db(raw);
  std::optional<std::string> corpus;
  if (rc == SQLITE_OK) {
    ForEachRow(raw, "SELECT path FROM corpus",
               [&](sqlite3_stmt* row) { corpus = ColumnText(row, 0); });
  }
  return corpus;
}

void RemoveIndexesOfMissingCorpora(const fs::path& cache, std::ostream& log) {
  std::error_code ec;
  std::vector<std::string> removed;
  for (fs::directory_iterator it(cache, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& file = it->path();
    std::error_code entryEc;
    if (file.extension() != ".sqlite" || !it->is_regular_file(entryEc) ||
        ReadIndexHeader(file).kind != IndexHeader::Kind::kIndex) {
      continue;
    }
    // Held, whether shared or exclusive, by a service that answers from it or builds it.
    IndexLock lock;
    std::string why;
    if (lock.Open(LockFileOf(file), why) != IndexLock::Place::kWritable || !lock.TryExclusive()) {
      continue;
    }
    const std::optional<std::string> corpus = RecordedCorpus(file);
    if (!corpus || fs::exists(PathFromUtf8(*corpus), entryEc) || entryEc) continue;
    RemoveIndexFiles(file);
    fs::remove(LockFileOf(file), entryEc);
    removed.push_back(*corpus);
  }
  if (removed.empty()) return;
  log << "index: removed from " << Utf8Of(cache) << " the index of each corpus folder that no "
      << "longer exists:";
  for (std::size_t i = 0; i < removed.size(); ++i) log << (i == 0 ? " " : ", ") << removed[i];
  log << "\n";
}

}  // namespace talewick::search
