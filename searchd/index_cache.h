// The index files of the service: the default one of a corpus folder, in the
// service's cache folder; the files that go with an index file; and the tidying of
// the cache folder, where an index outlives the corpus folder it was made for.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

namespace talewick::search {

// The corpus folder's full path (UTF-8), as the index records it and its default
// name is worked out from.
std::string FullCorpusPath(const std::filesystem::path& corpus);

// The default index file of `corpus` in the cache folder `cache`: named after the
// corpus folder and a hash of its full path, so that two corpora never share one.
std::filesystem::path DefaultIndexFile(const std::filesystem::path& cache,
                                       const std::filesystem::path& corpus);

// The lock file of the index `file` (index_lock.h), beside it.
std::filesystem::path LockFileOf(const std::filesystem::path& file);

// Removes the index `file` and its journal; its lock file stays.
void RemoveIndexFiles(const std::filesystem::path& file);

// The corpus folder that the index `file` records, read without writing to it;
// nothing when it records none (an index made before indexes did) or cannot be read.
std::optional<std::string> RecordedCorpus(const std::filesystem::path& file);

// Removes from `cache` the indexes (with their lock files) whose corpus folder
// no longer exists, and says so on `log` in one line. Leaves every index that
// another service holds, and every file that is not an index of this program.
void RemoveIndexesOfMissingCorpora(const std::filesystem::path& cache, std::ostream& log);

}  // namespace talewick::search
