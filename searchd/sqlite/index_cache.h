// The index files of the service: the default one of a corpus folder, in the
// service's cache folder; the files that go with an index file; and the tidying of
// the cache folder, where an index may outlive the corpus folder it was made for.
#pragma once

#include <chrono>
#include <cstdint>
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

// When the indexes of the cache folder are removed: a corpus folder may be away
// for a while (renamed, on a drive not plugged in), and its index is worth keeping
// for its return, but not for ever, nor beyond the room a cache may take.
struct CacheRule {
  // An index unused this long whose corpus folder is gone is removed.
  std::chrono::hours unused{24 * 90};
  // While the indexes take more than this, the least recently used go.
  std::uint64_t budgetBytes = std::uint64_t{10} << 30;
};

// Marks the index `file` as used now, for the rule above: the time of its lock file.
void MarkUsed(const std::filesystem::path& file);

// Tidies `cache` by `rule`: removes the indexes (with their lock files) of another
// version or cut short (which would be built anew), those unused for longer than the
// rule says whose corpus folder is gone, then, while the indexes there take more
// than its budget, the least recently used of the others; never
// `current` (the one about to be opened), an index that another service holds, or a
// file that is not an index of this program. Says what it removed on `log`, one
// line for each reason.
void TidyIndexCache(const std::filesystem::path& cache, const std::filesystem::path& current,
                    std::ostream& log, const CacheRule& rule = {});

}  // namespace talewick::search
