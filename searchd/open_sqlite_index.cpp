// The index the service answers from: an SQLite file, by default one per corpus
// folder in the user's cache folder, which is tidied at each start.
#include <filesystem>
#include <iostream>

#include "base/system_error.h"
#include "base/user_folders.h"
#include "base/utf8_system.h"
#include "corpus_files.h"
#include "index_cache.h"
#include "open_index.h"
#include "service_platform.h"
#include "sqlite_index.h"

namespace talewick::search {

namespace fs = std::filesystem;

std::unique_ptr<CorpusIndex> OpenCorpusIndex(const std::string& corpus,
                                             const std::string& indexFile,
                                             const CacheBudget& memory, bool rebuild) {
  const fs::path corpusPath = PathFromUtf8(corpus);
  const fs::path cache = PathFromUtf8(IndexCacheFolder());
  fs::path file = PathFromUtf8(indexFile);
  if (indexFile.empty()) {
    if (cache.empty()) {
      std::cerr << "index: no place for the index file: " << IndexCacheFolderHint()
                << ", or give --index FILE\n";
      return nullptr;
    }
    file = DefaultIndexFile(cache, corpusPath);
  }
  if (!rebuild && !cache.empty()) TidyIndexCache(cache, file, std::cerr);
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  std::error_code ec;
  if (!fs::create_directories(folder, ec) && !fs::is_directory(folder)) {
    std::cerr << "index: cannot write to the folder " << Utf8Of(folder) << ": "
              << (ec ? ErrorCodeText(ec) : "it is not a folder") << "\n";
    return nullptr;
  }
  auto index = SqliteIndex::Open(corpusPath, file, std::cerr,
                                 {.ownPlace = indexFile.empty(),
                                  .rebuild = rebuild,
                                  .terminal = StandardErrorIsTerminal(),
                                  .memory = memory});
  if (index) MarkUsed(file);
  return index;
}

}  // namespace talewick::search
