// Index file names, and the removal of indexes whose corpus folder is gone.
#include "searchd/sqlite/index_cache.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <system_error>
#include <vector>

#include "searchd/corpus/corpus_files.h"
#include "searchd/sqlite/checked_vfs.h"
#include "searchd/sqlite/index_header.h"
#include "searchd/sqlite/index_lock.h"
#include "searchd/sqlite/sqlite_db.h"

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

void MarkUsed(const fs::path& file) {
  std::error_code ec;
  fs::last_write_time(LockFileOf(file), fs::file_time_type::clock::now(), ec);
}

namespace {

// An index of the cache folder that no other service holds, held here while the
// folder is tidied.
struct CachedIndex {
  fs::path file;
  std::string corpus;  // as it records it, else the index file
  bool useless;        // of another version, or cut short
  bool corpusGone;
  fs::file_time_type used;
  std::uint64_t bytes;
  std::unique_ptr<IndexLock> lock;
};

void SayRemoved(std::ostream& log, const fs::path& cache, const std::string& why,
                const std::vector<std::string>& corpora) {
  if (corpora.empty()) return;
  log << "index: removed from " << Utf8Of(cache) << " " << why << ":";
  for (std::size_t i = 0; i < corpora.size(); ++i) log << (i == 0 ? " " : ", ") << corpora[i];
  log << "\n";
}

}  // namespace

void TidyIndexCache(const fs::path& cache, const fs::path& current, std::ostream& log,
                    const CacheRule& rule) {
  std::error_code ec;
  std::vector<CachedIndex> free;  // others may be removed
  std::uint64_t bytes = 0;        // of every index there
  for (fs::directory_iterator it(cache, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& file = it->path();
    std::error_code entryEc;
    if (file.extension() != ".sqlite" || !it->is_regular_file(entryEc)) continue;
    const IndexHeader::Kind kind = ReadIndexHeader(file).kind;
    if (kind != IndexHeader::Kind::kIndex && kind != IndexHeader::Kind::kDamaged) continue;
    const std::uint64_t size = it->file_size(entryEc);
    bytes += entryEc ? 0 : size;
    if (fs::equivalent(file, current, entryEc)) continue;
    // Held, whether shared or exclusive, by a service that answers from it or builds it.
    auto lock = std::make_unique<IndexLock>();
    if (lock->Open(LockFileOf(file)).place != IndexLock::Place::kWritable ||
        !lock->TryExclusive()) {
      continue;
    }
    // One of another version, or cut short, would be built anew: it is of no use.
    const bool useless = kind == IndexHeader::Kind::kDamaged;
    const std::string corpus = useless ? "" : RecordedCorpus(file).value_or("");
    const bool gone = !corpus.empty() && !fs::exists(PathFromUtf8(corpus), entryEc) && !entryEc;
    fs::file_time_type used = fs::last_write_time(LockFileOf(file), entryEc);
    if (entryEc) used = fs::last_write_time(file, entryEc);
    free.push_back({file, corpus.empty() ? Utf8Of(file) : corpus, useless, gone, used,
                    entryEc ? 0 : size, std::move(lock)});
  }
  const auto remove = [&bytes](CachedIndex& index) {
    std::error_code removeEc;
    RemoveIndexFiles(index.file);
    index.lock.reset();
    fs::remove(LockFileOf(index.file), removeEc);
    bytes -= std::min(bytes, index.bytes);
  };
  // The least recently used first.
  std::sort(free.begin(), free.end(),
            [](const CachedIndex& a, const CachedIndex& b) { return a.used < b.used; });
  const auto now = fs::file_time_type::clock::now();
  std::vector<std::string> useless;
  std::vector<std::string> unused;
  std::vector<std::string> oldest;
  for (CachedIndex& index : free) {
    if (index.useless || (index.corpusGone && now - index.used > rule.unused)) {
      remove(index);
      (index.useless ? useless : unused).push_back(index.corpus);
    }
  }
  for (CachedIndex& index : free) {
    if (bytes <= rule.budgetBytes) break;
    if (!index.lock) continue;  // removed already
    remove(index);
    oldest.push_back(index.corpus);
  }
  SayRemoved(log, cache, "the indexes of another version, or cut short", useless);
  const auto days = std::chrono::duration_cast<std::chrono::hours>(rule.unused).count() / 24;
  SayRemoved(
      log, cache,
      "the index of each corpus folder gone and unused for " + std::to_string(days) + " days",
      unused);
  SayRemoved(log, cache,
             "the least recently used indexes, to keep it within " +
                 std::to_string(rule.budgetBytes >> 20) + " MB",
             oldest);
}

}  // namespace talewick::search
