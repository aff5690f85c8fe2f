// Windows: the user's folders under %APPDATA% and %LOCALAPPDATA%, read from the
// wide environment.
#include "base/user_folders.h"

#include "base/utf8_system.h"

namespace talewick {

// A full path is a drive's root (C:\) or a share (\\server\).
std::string FolderNamedBy(const char* variable) {
  std::string path = Utf8Environment(variable);
  const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
  if (!drive && !path.starts_with("\\\\")) return {};
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  if (path.back() != '\\') path += '\\';
  return path;
}

std::string IndexCacheFolder() {
  const std::string local = FolderNamedBy("LOCALAPPDATA");
  return local.empty() ? local : local + "Talewick\\cache\\";
}

}  // namespace talewick
