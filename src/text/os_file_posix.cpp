// The POSIX file service behind text_file.cpp: plain descriptors, opened with
// O_CLOEXEC, every call retried when a signal interrupts it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "text/os_file.h"

namespace talewick {

namespace {

int Descriptor(OsFileHandle handle) { return static_cast<int>(handle.value); }

int OpenFlags(OsOpenMode mode) {
  switch (mode) {
    case OsOpenMode::kRead:
      return O_RDONLY;
    case OsOpenMode::kWrite:
      return O_RDWR | O_CREAT | O_TRUNC;
    case OsOpenMode::kAppend:
      // O_APPEND: every write lands at the end even if another program appended
      // since the open, so two writers never overwrite each other's lines.
      return O_RDWR | O_CREAT | O_APPEND;
  }
  return O_RDONLY;
}

// Only regular files are data files. A named pipe would block the open until
// someone writes to it (O_NONBLOCK prevents that, and means nothing for a regular
// file), and a device such as /dev/zero never reaches its end: both would freeze
// the program, so they are refused like a file that cannot be opened.
bool IsRegularFile(int fd) {
  struct stat info;
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool OsOpen(std::string_view path, OsOpenMode mode, OsFileHandle& handle) {
  const std::string terminated(path);
  int fd;
  do {
    fd = ::open(terminated.c_str(), OpenFlags(mode) | O_CLOEXEC | O_NONBLOCK, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  if (!IsRegularFile(fd)) {
    ::close(fd);
    return false;
  }
  if (mode == OsOpenMode::kAppend && ::lseek(fd, 0, SEEK_END) < 0) {
    ::close(fd);
    return false;
  }
  handle.value = fd;
  return true;
}

int64_t OsRead(OsFileHandle handle, char* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (count > SSIZE_MAX) count = SSIZE_MAX;
  ssize_t got;
  do {
    got = ::read(Descriptor(handle), buffer, static_cast<size_t>(count));
  } while (got < 0 && errno == EINTR);
  return got;
}

namespace {

// Where the next write lands: the end for a file opened to append, else the position.
off_t WriteStart(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || (flags & O_APPEND) == 0) return ::lseek(fd, 0, SEEK_CUR);
  struct stat info;
  return ::fstat(fd, &info) == 0 ? info.st_size : -1;
}

// Takes back the `done` bytes written from `start` when they are still the end of
// the file, so that a write cut short (a full disk) leaves no half line behind.
void UndoPartialWrite(int fd, off_t start, int64_t done) {
  struct stat info;
  if (start < 0 || ::fstat(fd, &info) != 0 || info.st_size != start + done) return;
  if (::ftruncate(fd, start) == 0) ::lseek(fd, start, SEEK_SET);
}

}  // namespace

int64_t OsWrite(OsFileHandle handle, const char* buffer, int64_t count) {
  // write() may take only part of the bytes (a signal, a nearly full disk): carry
  // on with the rest, so the caller's one call writes all or nothing.
  const int fd = Descriptor(handle);
  const off_t start = WriteStart(fd);
  int64_t done = 0;
  while (done < count) {
    const ssize_t put = ::write(fd, buffer + done, static_cast<size_t>(count - done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (done > 0) UndoPartialWrite(fd, start, done);
      return -1;
    }
    done += put;
  }
  return done;
}

bool OsSeek(OsFileHandle handle, int64_t offset) {
  return ::lseek(Descriptor(handle), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

int64_t OsSize(OsFileHandle handle) {
  struct stat info;
  if (::fstat(Descriptor(handle), &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

// close() is not retried on EINTR: Linux releases the descriptor either way, and
// a second close could hit a descriptor that another open has reused meanwhile.
void OsClose(OsFileHandle handle) { ::close(Descriptor(handle)); }

std::string OsExecutablePath() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < path.size()) {
      path.resize(static_cast<size_t>(length));
      return path;
    }
    path.resize(path.size() * 2);  // possibly cut: ask again with more room
  }
}

char OsPathSeparator() { return '/'; }

}  // namespace talewick
