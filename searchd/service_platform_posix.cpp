// POSIX: the executable from /proc, SIGPIPE ignored, and an address that is
// still in TIME_WAIT after a restart may be listened on again.
#include <csignal>
#include <system_error>

#include "service_platform.h"

namespace talewick::search {

std::filesystem::path ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : exe.parent_path();
}

void IgnoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

std::string ErrorText(const boost::system::error_code& error) { return error.message(); }

void PrepareListener(boost::asio::ip::tcp::acceptor& acceptor) {
  boost::system::error_code ignored;
  acceptor.set_option(boost::asio::socket_base::reuse_address(true), ignored);
}

}  // namespace talewick::search
