// A small HTTP/1.1 client for tests: one request on a connection of its own to a
// port of 127.0.0.1, the method and target sent exactly as given (malformed ones
// included), with one time-out over the whole exchange.
#pragma once

#include <string>

struct HttpResponse {
  int status = 0;  // 0 when no answer came
  std::string body;
};

HttpResponse HttpRequest(int port, const std::string& method, const std::string& target,
                         int timeoutMs = 10'000);
inline HttpResponse HttpGet(int port, const std::string& target) {
  return HttpRequest(port, "GET", target);
}
