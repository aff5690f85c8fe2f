// The local test server: an accept loop on one thread and one thread per
// connection, which reads the request head, looks its path up in the canned
// routes and acts out the route's answer or fault, then closes the connection.
#include "support/local_http_server.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "support/test_socket.h"

namespace {

// No stalled request outlives this, even if the test never stops the server.
constexpr auto kLongestStall = std::chrono::seconds(120);
constexpr auto kRequestHeadLimit = std::chrono::seconds(10);
constexpr size_t kRequestHeadMaxBytes = 64 * 1024;
constexpr int kPollMs = 50;

const char* ReasonPhrase(int status) {
  static const std::map<int, const char*> phrases = {{200, "OK"},
                                                     {301, "Moved Permanently"},
                                                     {302, "Found"},
                                                     {400, "Bad Request"},
                                                     {401, "Unauthorized"},
                                                     {404, "Not Found"},
                                                     {407, "Proxy Authentication Required"},
                                                     {429, "Too Many Requests"},
                                                     {500, "Internal Server Error"},
                                                     {503, "Service Unavailable"}};
  const auto found = phrases.find(status);
  return found == phrases.end() ? "Status" : found->second;
}

std::string ResponseHead(const CannedResponse& canned, bool withLength) {
  std::string head = "HTTP/1.1 " + std::to_string(canned.status) + " " +
                     ReasonPhrase(canned.status) +
                     "\r\nContent-Type: text/html\r\nConnection: close\r\n";
  if (withLength) head += "Content-Length: " + std::to_string(canned.body.size()) + "\r\n";
  for (const auto& [name, value] : canned.headers) head += name + ": " + value + "\r\n";
  head += "\r\n";
  return head;
}

void SendText(TestSocket connection, const std::string& bytes) {
  SendAll(connection, bytes.data(), bytes.size());
}

// The target of a request line "METHOD SP target SP version".
std::string RequestTarget(const std::string& head) {
  const std::string line = head.substr(0, head.find("\r\n"));
  const size_t first = line.find(' ');
  const size_t last = line.rfind(' ');
  if (first == std::string::npos || last <= first) return {};
  return line.substr(first + 1, last - first - 1);
}

}  // namespace

CannedResponse PageResponse(std::string body, int status) {
  CannedResponse response;
  response.status = status;
  response.body = std::move(body);
  return response;
}

CannedResponse FaultResponse(ServerFault fault, std::string body) {
  CannedResponse response = PageResponse(std::move(body));
  response.fault = fault;
  return response;
}

struct LocalHttpServer::State {
  TestSocket listener = kNoSocket;
  int port = 0;
  std::thread acceptor;

  mutable std::mutex mutex;
  std::condition_variable released;
  bool stopping = false;
  // Threads of the connections; a finished one is joined when the next
  // connection arrives, so a long test does not keep thousands of dead threads.
  struct Connection {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };
  std::vector<Connection> connections;
  std::map<std::string, CannedResponse> routes;
  std::vector<std::string> targets;

  bool Stopping() const {
    std::lock_guard lock(mutex);
    return stopping;
  }

  // Holds a request until the server stops (or the bound passes).
  void Stall() {
    std::unique_lock lock(mutex);
    released.wait_for(lock, kLongestStall, [this] { return stopping; });
  }

  void AcceptLoop() {
    while (!Stopping()) {
      if (!WaitReadable(listener, kPollMs)) continue;
      const TestSocket connection = AcceptConnection(listener);
      if (connection == kNoSocket) continue;
      JoinFinishedConnections();
      auto finished = std::make_shared<std::atomic<bool>>(false);
      std::thread thread([this, connection, finished] {
        std::string head;
        if (ReadRequestHead(connection, head)) Answer(connection, head);
        CloseSocket(connection);
        *finished = true;
      });
      connections.push_back(Connection{std::move(thread), std::move(finished)});
    }
  }

  // Only the acceptor thread touches `connections` until it has ended.
  void JoinFinishedConnections() {
    std::erase_if(connections, [](Connection& connection) {
      if (!*connection.finished) return false;
      connection.thread.join();
      return true;
    });
  }

  bool ReadRequestHead(TestSocket connection, std::string& head) {
    const auto deadline = std::chrono::steady_clock::now() + kRequestHeadLimit;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      if (Stopping() || std::chrono::steady_clock::now() > deadline ||
          head.size() > kRequestHeadMaxBytes) {
        return false;
      }
      if (!WaitReadable(connection, kPollMs)) continue;
      const long received = ReceiveSome(connection, buffer, sizeof(buffer));
      if (received <= 0) return false;
      head.append(buffer, static_cast<size_t>(received));
    }
    return true;
  }

  void Answer(TestSocket connection, const std::string& head) {
    const std::string target = RequestTarget(head);
    CannedResponse canned = PageResponse("no such page", 404);
    {
      std::lock_guard lock(mutex);
      targets.push_back(target);
      const auto route = routes.find(target.substr(0, target.find('?')));
      if (route != routes.end()) canned = route->second;
    }
    const std::string& body = canned.body;
    switch (canned.fault) {
      case ServerFault::kNone:
        SendText(connection, ResponseHead(canned, true) + body);
        break;
      case ServerFault::kNeverAnswer:
        Stall();
        break;
      case ServerFault::kStallAfterHeaders:
        SendText(connection, ResponseHead(canned, true));
        Stall();
        break;
      case ServerFault::kCutHalfWay:
        SendText(connection, ResponseHead(canned, true) + body.substr(0, body.size() / 2));
        break;
      case ServerFault::kNoContentLength:
        SendText(connection, ResponseHead(canned, false));
        SendText(connection, body);
        break;
    }
  }
};

LocalHttpServer::LocalHttpServer() : state_(std::make_unique<State>()) {
  State& state = *state_;
  state.listener = ListenOnLoopback(state.port);
  if (state.listener == kNoSocket) return;
  state.acceptor = std::thread([&state] { state.AcceptLoop(); });
}

LocalHttpServer::~LocalHttpServer() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->released.notify_all();
  if (state_->acceptor.joinable()) state_->acceptor.join();
  // The acceptor has ended, so nothing adds connections any more.
  for (State::Connection& connection : state_->connections) connection.thread.join();
  CloseSocket(state_->listener);
}

int LocalHttpServer::Port() const { return state_->port; }

std::string LocalHttpServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(state_->port);
}

void LocalHttpServer::Serve(const std::string& path, CannedResponse response) {
  std::lock_guard lock(state_->mutex);
  state_->routes[path] = std::move(response);
}

void LocalHttpServer::Redirect(const std::string& path, const std::string& location, int status) {
  CannedResponse response = PageResponse({}, status);
  response.headers.emplace_back("Location", location);
  Serve(path, std::move(response));
}

std::vector<std::string> LocalHttpServer::RequestTargets() const {
  std::lock_guard lock(state_->mutex);
  return state_->targets;
}
