#include "search_files.h"

#include <chrono>
#include <fstream>
#include <iterator>

#include "text/story_folder.h"

namespace talewick::search {

namespace fs = std::filesystem;

Strings Sentences(const std::vector<SearchHit>& hits) {
  Strings out;
  for (const SearchHit& hit : hits) out.push_back(hit.sentence);
  return out;
}

fs::path FreshFolder(const std::string& name) {
  const fs::path dir = fs::path(ProgramFolder()) / ("work_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

void Rewrite(const fs::path& path, const std::string& text) {
  WriteFile(path, text);
  fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
}

}  // namespace talewick::search
