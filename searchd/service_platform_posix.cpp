// POSIX: the executable from /proc, the command line as it is (UTF-8), the XDG
// cache folder, SIGPIPE ignored, and an address that is still in TIME_WAIT after
// a restart may be listened on again.
#include <csignal>
#include <cstdlib>
#include <system_error>

#include "service_platform.h"

namespace talewick::search {

std::filesystem::path ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : exe.parent_path();
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::filesystem::path UserCacheFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && *cache == '/') return cache;
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::filesystem::path(home) / ".cache";
  return {};
}

const char* UserCacheFolderHint() { return "set HOME or XDG_CACHE_HOME"; }

void IgnoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

std::string ErrorText(const boost::system::error_code& error) { return error.message(); }

void PrepareListener(boost::asio::ip::tcp::acceptor& acceptor) {
  boost::system::error_code ignored;
  acceptor.set_option(boost::asio::socket_base::reuse_address(true), ignored);
}

}  // namespace talewick::search
