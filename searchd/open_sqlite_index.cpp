// The SQLite index, kept in a file: by default in $XDG_CACHE_HOME/talewick/ (~/.cache when
// unset), one file per corpus folder. The Linux service answers from it.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "open_index.h"
#include "sqlite_index.h"

namespace talewick::search {

namespace fs = std::filesystem;

namespace {

// The default index file of a corpus: named after the folder and a hash of its
// full path, so that two corpora never share one.
fs::path DefaultIndexFile(const fs::path& corpus) {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  fs::path folder;
  if (cache != nullptr && *cache == '/') {
    folder = cache;
  } else if (home != nullptr && *home != '\0') {
    folder = fs::path(home) / ".cache";
  } else {
    return {};
  }
  std::error_code ec;
  fs::path full = fs::weakly_canonical(fs::absolute(corpus, ec), ec);
  if (ec) full = corpus;
  std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
  for (const char c : full.string()) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  }
  char name[40];
  std::snprintf(name, sizeof name, "-%016llx.sqlite", static_cast<unsigned long long>(hash));
  std::string stem = full.filename().string();
  if (stem.empty()) stem = "corpus";
  return folder / "talewick" / (stem + name);
}

}  // namespace

std::unique_ptr<CorpusIndex> OpenCorpusIndex(const std::string& corpus,
                                             const std::string& index_file) {
  const fs::path file = index_file.empty() ? DefaultIndexFile(corpus) : fs::path(index_file);
  if (file.empty()) {
    std::cerr << "index: no place for the index file: set HOME or XDG_CACHE_HOME, or give "
                 "--index FILE\n";
    return nullptr;
  }
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || access(folder.c_str(), W_OK | X_OK) != 0) {
    std::cerr << "index: cannot write to the folder " << folder.string() << ": "
              << (ec ? ec.message() : std::strerror(errno)) << "\n";
    return nullptr;
  }
  return SqliteIndex::Open(corpus, file, std::cerr);
}

}  // namespace talewick::search
