// The index the service answers from: an SQLite file, by default one per corpus
// folder in the user's cache folder, which is tidied at each start.
#include <filesystem>
#include <iostream>

#include "corpus_files.h"
#include "index_cache.h"
#include "open_index.h"
#include "service_platform.h"
#include "sqlite_index.h"
#include "text/story_folder.h"

namespace talewick::search {

namespace fs = std::filesystem;

std::unique_ptr<CorpusIndex> OpenCorpusIndex(const std::string& corpus,
                                             const std::string& index_file, bool rebuild) {
  const fs::path corpus_path = PathFromUtf8(corpus);
  const fs::path cache = PathFromSystemText(IndexCacheFolder());
  fs::path file = PathFromUtf8(index_file);
  if (index_file.empty()) {
    if (cache.empty()) {
      std::cerr << "index: no place for the index file: " << IndexCacheFolderHint()
                << ", or give --index FILE\n";
      return nullptr;
    }
    file = DefaultIndexFile(cache, corpus_path);
  }
  if (!rebuild && !cache.empty()) RemoveIndexesOfMissingCorpora(cache, std::cerr);
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  std::error_code ec;
  if (!fs::create_directories(folder, ec) && !fs::is_directory(folder)) {
    std::cerr << "index: cannot write to the folder " << Utf8Of(folder) << ": "
              << (ec ? ec.message() : "it is not a folder") << "\n";
    return nullptr;
  }
  return SqliteIndex::Open(
      corpus_path, file, std::cerr,
      {.own_place = index_file.empty(), .rebuild = rebuild, .terminal = StandardErrorIsTerminal()});
}

}  // namespace talewick::search
