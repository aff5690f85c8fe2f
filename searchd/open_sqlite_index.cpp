// The SQLite index, kept in a file: by default in the user's cache folder
// ($XDG_CACHE_HOME/talewick/, ~/.cache when unset, on Linux), one file per corpus
// folder. The Linux service answers from it.
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "corpus_files.h"
#include "open_index.h"
#include "service_platform.h"
#include "sqlite_index.h"

namespace talewick::search {

namespace fs = std::filesystem;

namespace {

// The default index file of a corpus: named after the folder and a hash of its
// full path, so that two corpora never share one.
fs::path DefaultIndexFile(const fs::path& corpus) {
  const fs::path folder = UserCacheFolder();
  if (folder.empty()) return {};
  std::error_code ec;
  fs::path full = fs::weakly_canonical(fs::absolute(corpus, ec), ec);
  if (ec) full = corpus;
  std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
  for (const char c : Utf8Of(full)) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  }
  char name[40];
  std::snprintf(name, sizeof name, "-%016llx.sqlite", static_cast<unsigned long long>(hash));
  std::string stem = Utf8Of(full.filename());
  if (stem.empty()) stem = "corpus";
  return folder / "talewick" / PathFromUtf8(stem + name);
}

}  // namespace

std::unique_ptr<CorpusIndex> OpenCorpusIndex(const std::string& corpus,
                                             const std::string& index_file, bool rebuild) {
  const fs::path corpus_path = PathFromUtf8(corpus);
  const fs::path file =
      index_file.empty() ? DefaultIndexFile(corpus_path) : PathFromUtf8(index_file);
  if (file.empty()) {
    std::cerr << "index: no place for the index file: " << UserCacheFolderHint()
              << ", or give --index FILE\n";
    return nullptr;
  }
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  std::error_code ec;
  if (!fs::create_directories(folder, ec) && !fs::is_directory(folder)) {
    std::cerr << "index: cannot write to the folder " << Utf8Of(folder) << ": "
              << (ec ? ec.message() : "it is not a folder") << "\n";
    return nullptr;
  }
  return SqliteIndex::Open(corpus_path, file, std::cerr,
                           {.own_place = index_file.empty(), .rebuild = rebuild});
}

}  // namespace talewick::search
