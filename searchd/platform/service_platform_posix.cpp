// POSIX: SIGPIPE ignored, and an address that is still in TIME_WAIT after a restart may be listened
// on again.
#include <malloc.h>
#include <unistd.h>

#include <array>
#include <csignal>

#include "searchd/platform/service_platform.h"

namespace talewick::search {

const char* IndexCacheFolderHint() { return "set HOME or XDG_CACHE_HOME to a full path"; }

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

std::string StandardErrorFile() {
  std::array<char, 4096> path{};
  const ssize_t length = readlink("/proc/self/fd/2", path.data(), path.size() - 1);
  if (length <= 0 || path[0] != '/') return {};  // "pipe:[...]", or no /proc
  return std::string(path.data(), static_cast<std::size_t>(length));
}

void IgnoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

void ReturnFreeMemory() { malloc_trim(0); }

void ShareMemoryPools() { mallopt(M_ARENA_MAX, 2); }

std::string ErrorText(const boost::system::error_code& error) { return error.message(); }

void PrepareListener(boost::asio::ip::tcp::acceptor& acceptor) {
  boost::system::error_code ignored;
  acceptor.set_option(boost::asio::socket_base::reuse_address(true), ignored);
}

}  // namespace talewick::search
