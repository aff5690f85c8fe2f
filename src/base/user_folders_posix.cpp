// POSIX: the folders of the XDG base directory rules.
#include "base/user_folders.h"

#include "base/utf8_system.h"

namespace talewick {

std::string FolderNamedBy(const char* variable) {
  std::string path = Utf8Environment(variable);
  if (path.empty() || path.front() != '/') return {};
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path + '/';
}

std::string IndexCacheFolder() {
  if (const std::string cache = FolderNamedBy("XDG_CACHE_HOME"); !cache.empty())
    return cache + "talewick/";
  const std::string home = FolderNamedBy("HOME");
  return home.empty() ? home : home + ".cache/talewick/";
}

}  // namespace talewick
