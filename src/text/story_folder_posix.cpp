// POSIX: the user's folders of the XDG base directory rules, folders made
// private to the user, and the word list shipped in ../share/talewick/ beside
// the program's bin/ folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/user_folders.h"
#include "text/os_file.h"
#include "text/story_folder.h"

namespace talewick {

std::string UserStoryFolderPath() {
  if (const std::string data = FolderNamedBy("XDG_DATA_HOME"); !data.empty())
    return data + "talewick/";
  const std::string home = FolderNamedBy("HOME");
  return home.empty() ? home : home + ".local/share/talewick/";
}

std::string_view UserFolderVariables() { return "XDG_DATA_HOME or HOME"; }

std::string ShippedWordListPath(const std::string& programFolder) {
  return programFolder + "../share/talewick/dictionary.txt";
}

// Private to the user, as the base directory rules ask of the folders they make.
bool MakeFolder(const std::string& folder) {
  struct stat info;
  return ::mkdir(folder.c_str(), 0700) == 0 ||
         (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

// access() would not do: it lets root "write" to /proc and to folders of
// read-only media that refuse every new file.
bool CanCreateFilesIn(const std::string& folder) {
  std::string probe = folder + ".talewick-probe-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

void CopyIntoPlace(const std::string& source, const std::string& target) {
  OsFileHandle in{};
  if (!OsOpen(source, OsOpenMode::kRead, in)) return;
  std::string part = target + ".XXXXXX";
  const int out = ::mkstemp(part.data());
  bool copied = out >= 0;
  if (copied) ::fchmod(out, 0644);
  char buffer[64 * 1024];
  while (copied) {
    const int64_t got = OsRead(in, buffer, sizeof buffer);
    if (got <= 0) {
      copied = got == 0;
      break;
    }
    copied = OsWrite(OsFileHandle{out}, buffer, got) == got;
  }
  OsClose(in);
  if (out < 0) return;
  ::close(out);
  if (!copied || ::rename(part.c_str(), target.c_str()) != 0) ::unlink(part.c_str());
}

}  // namespace talewick
