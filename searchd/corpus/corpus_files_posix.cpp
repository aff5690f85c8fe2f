// Reading a folder on POSIX systems: one readdir pass and one fstatat per entry,
// relative to the open folder, so that no full path is walked again.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "base/system_error.h"
#include "searchd/corpus/corpus_files.h"

namespace talewick::search {

namespace {

std::int64_t Ticks(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

FileStamp StampOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_size), Ticks(info.st_mtim),
          static_cast<std::uint64_t>(info.st_ino), Ticks(info.st_ctim)};
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool EndsWith(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
}

}  // namespace

std::vector<FolderEntry> ReadFolder(const std::filesystem::path& dir, std::string_view suffix,
                                    std::error_code& ec, std::vector<std::string>& skipped) {
  std::vector<FolderEntry> entries;
  const std::unique_ptr<DIR, DirCloser> folder(opendir(dir.c_str()));
  if (!folder) {
    ec.assign(errno, std::generic_category());
    return entries;
  }
  ec.clear();
  errno = 0;
  while (const dirent* entry = readdir(folder.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    const bool maybeFolder =
        entry->d_type == DT_DIR || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
    if (!maybeFolder && !EndsWith(name, suffix)) continue;
    struct stat info {};
    if (fstatat(dirfd(folder.get()), entry->d_name, &info, 0) != 0) {
      skipped.push_back(std::string(name) + ": " + LastSystemErrorText());  // a dangling link
      errno = 0;  // readdir tells its own end from an error by errno alone
      continue;
    }
    if (S_ISDIR(info.st_mode)) {
      entries.push_back({std::string(name), true, {}});
    } else if (S_ISREG(info.st_mode) && EndsWith(name, suffix)) {
      entries.push_back({std::string(name), false, StampOf(info)});
    }
    errno = 0;
  }
  if (errno != 0) ec.assign(errno, std::generic_category());
  return entries;
}

CorpusFileReader::~CorpusFileReader() {
  if (handle_ != -1) close(static_cast<int>(handle_));
}

bool CorpusFileReader::Open(const std::filesystem::path& path, FileStamp& stamp) {
  // Not blocking on a pipe put in the file's place.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd == -1) return false;
  handle_ = fd;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  stamp = StampOf(info);
  return true;
}

bool CorpusFileReader::ReadAt(std::uint64_t offset, std::string& bytes) const {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t got = pread(static_cast<int>(handle_), bytes.data() + done, bytes.size() - done,
                              static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool CorpusFileReader::Names(const std::filesystem::path& path, const FileStamp& stamp) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && StampOf(info) == stamp;
}

// Opening a file is a system call, less than reading a whole small file and keeping it
// (measured at 1 GB: first asks p50 4.7-5.9 ms kept, 4.1-4.2 ms not).
bool CorpusFileReader::OpeningIsDear() { return false; }

}  // namespace talewick::search
