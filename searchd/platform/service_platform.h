// What the service needs from the operating system. One implementation per
// platform: service_platform_posix.cpp and service_platform_win32.cpp.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <string>

namespace talewick::search {

// What to set when IndexCacheFolder() is empty: the environment names no cache folder.
const char* IndexCacheFolderHint();

// True when standard error is a terminal, where a progress line may be redrawn in
// place; a log file gets whole lines.
bool StandardErrorIsTerminal();

// The file standard error is written to (UTF-8), when it is one and the system
// tells which: the service must not take its own log for a change of the corpus.
std::string StandardErrorFile();

// A client that hangs up while its answer is being written must not end the
// service.
void IgnoreBrokenPipes();

// Gives the memory the C library holds freed back to the system: indexing a
// corpus takes some 300 MB, which serving never needs again.
void ReturnFreeMemory();

// Has the C library serve every thread's memory from a few pools: with one pool a
// serving thread, as glibc would make them, what one thread frees no other can
// take, and the service's memory grows well past what its caches hold.
void ShareMemoryPools();

// The system's text for a socket error.
std::string ErrorText(const boost::system::error_code& error);

// Sets the options of the listening socket that go before it is bound, where
// the system has them.
void PrepareListener(boost::asio::ip::tcp::acceptor& acceptor);

}  // namespace talewick::search
