// POSIX: the user's folders of the XDG base directory rules, folders made
// private to the user, and the word list shipped in ../share/talewick/ beside
// the program's bin/ folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "text/os_file.h"
#include "text/story_folder.h"

namespace {

// The variable's value when it is a full path, without its trailing slashes (so
// that "/" reads as ""); nothing otherwise.
std::optional<std::string> FullPathIn(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr || value[0] != '/') return std::nullopt;
  std::string path = value;
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

// talewick/ in the variable's folder, else in `fallback`'s folder + `below`;
// empty when neither names a full path.
std::string TalewickFolderIn(const char* variable, const char* fallback, const char* below) {
  if (const auto folder = FullPathIn(variable)) return *folder + "/talewick/";
  if (const auto home = FullPathIn(fallback)) return *home + below + "/talewick/";
  return {};
}

}  // namespace

std::string UserStoryFolderPath() {
  return TalewickFolderIn("XDG_DATA_HOME", "HOME", "/.local/share");
}

std::string_view UserFolderVariables() { return "XDG_DATA_HOME or HOME"; }

std::string ShippedWordListPath(const std::string& programFolder) {
  return programFolder + "../share/talewick/dictionary.txt";
}

std::string IndexCacheFolder() { return TalewickFolderIn("XDG_CACHE_HOME", "HOME", "/.cache"); }

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
