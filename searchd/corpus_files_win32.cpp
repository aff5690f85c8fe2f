// Reading a folder on Windows, through std::filesystem.
#include "corpus_files.h"

namespace talewick::search {

std::vector<FolderEntry> ReadFolder(const std::filesystem::path& dir, std::string_view suffix,
                                    std::error_code& ec) {
  namespace fs = std::filesystem;
  std::vector<FolderEntry> entries;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entry_ec;
    const std::string name = it->path().filename().string();
    if (it->is_directory(entry_ec)) {
      entries.push_back({name, true, 0, 0});
      continue;
    }
    if (!it->is_regular_file(entry_ec) || name.size() < suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    const std::uint64_t size = it->file_size(entry_ec);
    if (entry_ec) continue;
    const auto modified = it->last_write_time(entry_ec).time_since_epoch().count();
    if (entry_ec) continue;
    entries.push_back({name, false, size, static_cast<std::int64_t>(modified)});
  }
  return entries;
}

}  // namespace talewick::search
