// The HTTP side of talewick-search: listens on one address, reads each request
// under a time-out and size caps, hands the well-formed ones to a handler, writes
// the answers and logs one line per request on standard error. A few threads (one
// per core, 2 to 8) serve every connection, waiting on none, so a client that
// stalls holds up only itself and a slow search only its own thread; connections
// beyond a cap are refused at once, so that a flood of them cannot take every
// descriptor the process has.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "searchd/text/failure.h"

namespace talewick::search {

struct HttpReply {
  int status = 200;
  std::string body;               // an HTML page, unless contentType says otherwise
  std::string resultCount = "-";  // for the log line
  std::string contentType = "text/html; charset=utf-8";
  bool logged = true;  // false: no log line (a balancer's health check, asked twice a second)
};

// Called for every well-formed request, with its method and its raw target, from
// any of the serving threads, several at once.
using HttpHandler = std::function<HttpReply(std::string_view method, std::string_view target)>;

class HttpServer {
 public:
  explicit HttpServer(HttpHandler handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on host:port (port 0: a free one); when it cannot, the failure holds
  // the system's text for why.
  Failure Listen(const std::string& host, int port);
  int Port() const;
  // The threads that serve requests (and search the index), one per core, 2 to 8.
  unsigned Threads() const;
  // Serves until the process ends, or Stop is called; returns once every serving
  // thread has ended.
  void Run();
  // Makes Run return (from a handler, say): no more requests are answered.
  // Callable from any thread.
  void Stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace talewick::search
