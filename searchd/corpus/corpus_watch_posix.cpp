// The corpus watch on Linux: inotify, one watch per folder (the corpus folder
// and each site folder, those made later too), read on a thread of its own that
// a pipe wakes to stop.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <thread>
#include <unordered_map>

#include "base/system_error.h"
#include "base/utf8_system.h"
#include "searchd/corpus/corpus_watch.h"

namespace talewick::search {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM |
                                  IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF |
                                  IN_ONLYDIR;

// File systems whose changes may be made by another machine, which inotify
// never hears of (statfs's f_type).
bool ChangedElsewhere(long type) {
  switch (type) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x65735546:  // FUSE
    case 0x01021997:  // 9P
    case 0x564C:      // NCP
    case 0x47504653:  // GPFS
    case 0x0BD00BD0:  // Lustre
      return true;
    default:
      return false;
  }
}

// Why the watch cannot vouch for a text of the site folder `folder` that is a
// link: inotify tells of changes to the link, not to the file it names. Empty
// when none is. One readdir pass, the kind of each entry as it tells it: a site
// folder may hold a hundred thousand texts, and this comes before the start's
// own listing.
std::string LinkedText(const fs::path& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return {};
  std::string linked;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() < 4 || name.substr(name.size() - 4) != ".txt") continue;
    struct stat info {};
    const bool link = entry->d_type == DT_LNK ||
                      (entry->d_type == DT_UNKNOWN &&
                       fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISLNK(info.st_mode));
    if (link) {
      linked = Utf8Of(folder / entry->d_name) +
               " is a link, and changes to the file it names are not told";
      break;
    }
  }
  closedir(dir);
  return linked;
}

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

struct CorpusWatch::State {
  fs::path corpus;
  std::vector<fs::path> ignored;
  Notify notify;
  Fd inotify;
  std::array<Fd, 2> wake;                     // written to stop the thread
  std::unordered_map<int, fs::path> folders;  // by watch: relative to the corpus, "" for itself
  std::thread thread;

  ~State() {
    if (thread.joinable()) {
      const char stop = 0;
      while (write(wake[1].fd, &stop, 1) < 0 && errno == EINTR) {
      }
      thread.join();
    }
  }

  // Watches the folder `relative` (under the corpus), unless the system cannot;
  // with `linksToo`, a site folder, unless a text there is a link. A name that is
  // not a folder (any more) is no failure.
  Failure Add(const fs::path& relative, bool linksToo) {
    const fs::path path = relative.empty() ? corpus : corpus / relative;
    struct statfs where {};
    if (statfs(path.c_str(), &where) == 0 && ChangedElsewhere(static_cast<long>(where.f_type))) {
      return Failed(Utf8Of(path) +
                    " lies on a network or FUSE file system, whose changes this machine is not "
                    "told of");
    }
    const int watch = inotify_add_watch(inotify.fd, path.c_str(), kEvents);
    if (watch >= 0) {
      folders[watch] = relative;
      if (relative.empty() || !linksToo) return {};
      std::string linked = LinkedText(path);
      return linked.empty() ? Failure{} : Failed(std::move(linked));
    }
    const int error = errno;
    if (!relative.empty() && (error == ENOTDIR || error == ENOENT)) return {};
    std::string why = "cannot watch " + Utf8Of(path) + ": " + SystemErrorText(error);
    if (error == ENOSPC) {
      why +=
          " (the system's limit of inotify watches is reached: raise it with "
          "sysctl fs.inotify.max_user_watches=N)";
    }
    return Failed(std::move(why));
  }

  // Watches every site folder there is now (again, after notices were lost).
  Failure AddSites(bool linksToo) {
    std::error_code ec;
    for (fs::directory_iterator it(corpus, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code kind;
      if (!it->is_directory(kind)) continue;
      if (Failure failure = Add(it->path().filename(), linksToo); !failure.Done()) return failure;
    }
    return {};
  }

  void Run() {
    alignas(inotify_event) std::array<char, std::size_t{64} * 1024> buffer{};
    std::array<pollfd, 2> waits{pollfd{inotify.fd, POLLIN, 0}, pollfd{wake[0].fd, POLLIN, 0}};
    for (;;) {
      if (poll(waits.data(), waits.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return notify("the watch failed: " + SystemErrorText(errno));
      }
      if (waits[1].revents != 0) return;
      const ssize_t got = read(inotify.fd, buffer.data(), buffer.size());
      if (got < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return notify("the watch failed: " + SystemErrorText(errno));
      }
      bool concerned = false;
      for (ssize_t at = 0; at < got;) {
        inotify_event event{};
        std::memcpy(&event, buffer.data() + at, sizeof event);
        const char* name = buffer.data() + at + sizeof event;
        at += static_cast<ssize_t>(sizeof event + event.len);
        if ((event.mask & IN_Q_OVERFLOW) != 0) {
          // Folders may have been made unseen: all of them are watched again.
          if (Failure failure = AddSites(true); !failure.Done()) return notify(failure.reason);
          concerned = true;
          continue;
        }
        const auto folder = folders.find(event.wd);
        if (folder == folders.end()) continue;
        if ((event.mask & IN_IGNORED) != 0) {
          folders.erase(folder);
          continue;
        }
        if (event.len == 0) {
          // The folder itself went: its entry in the corpus folder tells it too.
          concerned = concerned || folder->second.empty();
          continue;
        }
        const fs::path relative = folder->second / fs::path(name);
        if (!ConcernsCorpus(relative, ignored)) continue;
        // A file beside the site folders is no site's text, and may be the
        // service's own log, whatever its path was called at the start.
        std::error_code kind;
        if (folder->second.empty() && (event.mask & (IN_DELETE | IN_MOVED_FROM | IN_ISDIR)) == 0 &&
            !fs::is_directory(corpus / relative, kind)) {
          continue;
        }
        concerned = true;
        if (!folder->second.empty() && (event.mask & (IN_CREATE | IN_MOVED_TO)) != 0 &&
            fs::is_symlink(corpus / relative, kind)) {
          return notify(Utf8Of(corpus / relative) +
                        " is a link, and changes to the file it names are not told");
        }
        // A site folder made or moved in gets its watch before the change is
        // told, so that the listing that follows misses nothing in it.
        if (folder->second.empty() && (event.mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
          if (Failure failure = Add(relative, true); !failure.Done()) return notify(failure.reason);
        }
      }
      if (concerned) notify("");
    }
  }
};

CorpusWatch::CorpusWatch() = default;
CorpusWatch::~CorpusWatch() = default;
void CorpusWatch::Stop() { state_.reset(); }

Failure CorpusWatch::Start(const fs::path& corpus, const std::vector<fs::path>& ignored,
                           Notify notify) {
  auto state = std::make_unique<State>();
  state->corpus = corpus;
  state->ignored = ignored;
  state->notify = std::move(notify);
  state->inotify.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (state->inotify.fd < 0) {
    const int error = errno;
    std::string why = "inotify cannot be used: " + SystemErrorText(error);
    if (error == EMFILE) {
      why +=
          " (the system's limit of inotify instances is reached: raise it with sysctl "
          "fs.inotify.max_user_instances=N)";
    }
    return Failed(std::move(why));
  }
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    return Failed("the watch's thread cannot be made: " + SystemErrorText(errno));
  }
  state->wake[0].fd = ends[0];
  state->wake[1].fd = ends[1];
  Failure failure = state->Add({}, false);
  if (failure.Done()) failure = state->AddSites(false);
  if (!failure.Done()) return failure;
  State* running = state.get();
  state->thread = std::thread([running] { running->Run(); });
  state_ = std::move(state);
  linked_ = std::async(std::launch::async, [corpus] { return LinkedEntry(corpus); });
  return {};
}

std::string LinkedEntry(const fs::path& corpus) {
  std::error_code ec;
  for (fs::directory_iterator it(corpus, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code kind;
    if (!it->is_directory(kind)) continue;
    if (std::string linked = LinkedText(it->path()); !linked.empty()) return linked;
  }
  return {};
}

}  // namespace talewick::search
