// What a kept file is counted as.
#include "kept_files.h"

#include <utility>

namespace talewick::search {

KeptFile& KeptFiles::Add(std::uint64_t key, std::unique_ptr<KeptFile> file,
                         std::size_t offsetBytes) {
  // Read in full, places take at most 16 bytes for every two bytes of numbers.
  const std::size_t bytes = (file->text ? file->text->size() : 0) + offsetBytes * 9 + 256;
  return *files_.Add(key, std::move(file), bytes);
}

}  // namespace talewick::search
