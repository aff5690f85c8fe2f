// The in-memory index, built at every start; there is no index file. The Windows
// service answers from it (no SQLite there), and the tests run it on Linux too.
#include <iostream>

#include "corpus_files.h"
#include "memory_index.h"
#include "open_index.h"

namespace talewick::search {

std::unique_ptr<CorpusIndex> OpenCorpusIndex(const std::string& corpus,
                                             const std::string& index_file, bool /*rebuild*/) {
  if (!index_file.empty()) std::cerr << "index: kept in memory; --index is not used\n";
  return OpenMemoryIndex(PathFromUtf8(corpus), std::cerr);
}

}  // namespace talewick::search
