// Which changes under the corpus folder the watch tells of, on every platform.
#include "searchd/corpus/corpus_watch.h"

#include <system_error>

namespace talewick::search {

namespace fs = std::filesystem;

Failure CorpusWatch::Vouch() {
  if (!linked_.valid()) return {};
  std::string linked = linked_.get();
  if (linked.empty()) return {};
  Stop();
  return Failed(std::move(linked));
}

bool ConcernsCorpus(const fs::path& relative, const std::vector<fs::path>& ignored) {
  const fs::path changed = relative.lexically_normal().make_preferred();
  for (const fs::path& own : ignored) {
    if (changed.native().starts_with(fs::path(own).make_preferred().native())) return false;
  }
  std::size_t depth = 0;
  for (const fs::path& piece : changed) {
    if (piece.empty() || piece == ".") continue;
    if (piece == "..") return false;
    ++depth;
  }
  // The listing reads site folders and the .txt files in them, nothing deeper.
  if (depth == 1) return true;
  return depth == 2 && changed.extension() == ".txt";
}

std::vector<fs::path> UnderCorpus(const fs::path& corpus, const std::vector<fs::path>& files) {
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(fs::absolute(corpus, ec), ec);
  std::vector<fs::path> under;
  if (ec) return under;
  for (const fs::path& file : files) {
    if (file.empty()) continue;
    const fs::path full = fs::weakly_canonical(fs::absolute(file, ec), ec);
    if (ec) continue;
    const fs::path relative = full.lexically_relative(root);
    if (relative.empty() || *relative.begin() == ".." || relative == ".") continue;
    under.push_back(relative);
  }
  return under;
}

}  // namespace talewick::search
