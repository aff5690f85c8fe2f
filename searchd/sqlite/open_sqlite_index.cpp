// The index the service answers from: an SQLite file, by default one per corpus
// folder in the user's cache folder, which is tidied at each start.
#include <filesystem>

#include "base/system_error.h"
#include "base/user_folders.h"
#include "base/utf8_system.h"
#include "searchd/corpus/corpus_files.h"
#include "searchd/platform/service_platform.h"
#include "searchd/sqlite/index_cache.h"
#include "searchd/sqlite/open_index.h"
#include "searchd/sqlite/sqlite_index.h"
#include "searchd/text/service_log.h"

namespace talewick::search {

namespace fs = std::filesystem;

std::string IndexFileOf(const std::string& corpus, const std::string& indexFile) {
  if (!indexFile.empty()) return indexFile;
  const fs::path cache = PathFromUtf8(IndexCacheFolder());
  return cache.empty() ? std::string() : Utf8Of(DefaultIndexFile(cache, PathFromUtf8(corpus)));
}

std::unique_ptr<CorpusIndex> OpenCorpusIndex(const std::string& corpus,
                                             const std::string& indexFile,
                                             const CacheBudget& memory, IndexOpen why,
                                             ShelfNotices notices) {
  const fs::path corpusPath = PathFromUtf8(corpus);
  const fs::path cache = PathFromUtf8(IndexCacheFolder());
  const fs::path file = PathFromUtf8(IndexFileOf(corpus, indexFile));
  if (file.empty()) {
    StandardLog() << "index: no place for the index file: " << IndexCacheFolderHint()
                  << ", or give --index FILE\n";
    return nullptr;
  }
  if (why == IndexOpen::kStart && !cache.empty()) TidyIndexCache(cache, file, StandardLog());
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  std::error_code ec;
  if (!fs::create_directories(folder, ec) && !fs::is_directory(folder)) {
    StandardLog() << "index: cannot write to the folder " << Utf8Of(folder) << ": "
                  << (ec ? ErrorCodeText(ec) : "it is not a folder") << "\n";
    return nullptr;
  }
  auto index = SqliteIndex::Open(corpusPath, file, StandardLog(),
                                 {.ownPlace = indexFile.empty(),
                                  .rebuild = why == IndexOpen::kRebuild,
                                  .terminal = StandardErrorIsTerminal(),
                                  .progress = why != IndexOpen::kUpdate,
                                  .memory = memory,
                                  .notices = notices});
  if (index) MarkUsed(file);
  return index;
}

}  // namespace talewick::search
