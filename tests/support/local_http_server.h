// A small HTTP/1.1 server on 127.0.0.1 for tests, run on threads of the test
// executable (natively and under Wine). It serves canned responses by path,
// logs the raw request target of every request, and can misbehave on demand:
// never answer, stall after the headers, cut the body, send a body without
// Content-Length, send the body slowly in small pieces. Beast reads the
// requests; the answers go out as raw bytes, so that every fault is exactly what
// goes over the wire; one connection per request.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

enum class ServerFault {
  kNone,
  kNeverAnswer,        // read the request, then send nothing until the server stops
  kStallAfterHeaders,  // send the headers (with Content-Length), then nothing
  kCutHalfWay,         // declare the whole length, send half the body, close
  kNoContentLength,    // send the body without a Content-Length, ended by closing
  kTrickle,            // send the headers, then the body 1 KiB at a time, 250 ms apart
};

struct CannedResponse {
  int status = 200;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  ServerFault fault = ServerFault::kNone;
};

// Shorthands for the usual answers.
CannedResponse PageResponse(std::string body, int status = 200);
CannedResponse FaultResponse(ServerFault fault, std::string body = {});

class LocalHttpServer {
 public:
  // Listens on a free port of 127.0.0.1 and serves from a thread of its own.
  LocalHttpServer();
  // Releases every stalled request, stops the server and joins its threads.
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  int Port() const;
  // "http://127.0.0.1:<port>", without a trailing slash.
  std::string BaseUrl() const;

  // What a request for `path` (the target without its query) answers. Unknown
  // paths get 404.
  void Serve(const std::string& path, CannedResponse response);
  void Redirect(const std::string& path, const std::string& location, int status = 302);

  // The request targets exactly as they stood in the request lines, in order.
  std::vector<std::string> RequestTargets() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};
