// Reading a folder on Windows, through std::filesystem, whose paths are wide
// there: names become UTF-8 here.
#include <exception>

#include "corpus_files.h"

namespace talewick::search {

std::vector<FolderEntry> ReadFolder(const std::filesystem::path& dir, std::string_view suffix,
                                    std::error_code& ec, std::vector<std::string>& skipped) {
  namespace fs = std::filesystem;
  std::vector<FolderEntry> entries;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name;
    try {
      name = Utf8Of(it->path().filename());
    } catch (const std::exception&) {
      skipped.emplace_back("(a name that is not valid Unicode)");
      continue;
    }
    std::error_code entry_ec;
    const bool folder = it->is_directory(entry_ec);
    if (entry_ec) {
      skipped.push_back(name + ": " + entry_ec.message());  // a dangling link
      continue;
    }
    if (folder) {
      entries.push_back({name, true, 0, 0});
      continue;
    }
    if (!it->is_regular_file(entry_ec) || name.size() < suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    const std::uint64_t size = it->file_size(entry_ec);
    const auto modified = entry_ec ? fs::file_time_type() : it->last_write_time(entry_ec);
    if (entry_ec) {
      skipped.push_back(name + ": " + entry_ec.message());
      continue;
    }
    entries.push_back(
        {name, false, size, static_cast<std::int64_t>(modified.time_since_epoch().count())});
  }
  return entries;
}

}  // namespace talewick::search
