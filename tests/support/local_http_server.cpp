// The local test server: one io_context on a thread of its own accepts
// connections and runs a session for each, which reads the request head with
// Beast, looks its path up in the canned routes and writes the route's answer or
// fault as raw bytes, then closes the connection.
#include "support/local_http_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// No stalled request outlives this, even if the test never stops the server.
constexpr auto kLongestStall = std::chrono::seconds(120);
constexpr auto kRequestHeadLimit = std::chrono::seconds(10);
constexpr std::uint32_t kRequestHeadMaxBytes = 64 * 1024;

std::string ResponseHead(const CannedResponse& canned, bool withLength) {
  http::response_header<> head;
  head.version(11);
  head.result(static_cast<unsigned>(canned.status));
  head.set(http::field::content_type, "text/html");
  head.set(http::field::connection, "close");
  if (withLength) head.set(http::field::content_length, std::to_string(canned.body.size()));
  for (const auto& [name, value] : canned.headers) head.insert(name, value);
  std::ostringstream text;
  text << head;
  return text.str();
}

}  // namespace

CannedResponse PageResponse(std::string body, int status) {
  return {status, std::move(body), {}, ServerFault::kNone};
}

CannedResponse FaultResponse(ServerFault fault, std::string body) {
  return {200, std::move(body), {}, fault};
}

struct LocalHttpServer::State {
  mutable std::mutex mutex;
  std::map<std::string, CannedResponse> routes;
  std::vector<std::string> targets;

  asio::io_context io{1};
  tcp::acceptor acceptor{io};
  int port = 0;
  std::thread thread;

  // What a request for `target` gets, noting the target.
  CannedResponse Route(const std::string& target) {
    std::lock_guard lock(mutex);
    targets.push_back(target);
    const auto route = routes.find(target.substr(0, target.find('?')));
    return route == routes.end() ? PageResponse("no such page", 404) : route->second;
  }

  void Accept() {
    acceptor.async_accept([this](const beast::error_code& error, tcp::socket socket) {
      if (error == asio::error::operation_aborted) return;
      if (!error) std::make_shared<Session>(std::move(socket), *this)->ReadRequest();
      Accept();
    });
  }

  class Session : public std::enable_shared_from_this<Session> {
   public:
    Session(tcp::socket socket, State& state) : stream_(std::move(socket)), state_(state) {}

    void ReadRequest() {
      parser_.header_limit(kRequestHeadMaxBytes);
      stream_.expires_after(kRequestHeadLimit);
      http::async_read_header(
          stream_, buffer_, parser_,
          [self = shared_from_this()](const beast::error_code& error, std::size_t) {
            if (!error) self->Answer();
          });
    }

   private:
    void Answer() {
      const CannedResponse canned = state_.Route(std::string(parser_.get().target()));
      const std::string& body = canned.body;
      switch (canned.fault) {
        case ServerFault::kNone:
          Write(ResponseHead(canned, true) + body, &Session::Close);
          break;
        case ServerFault::kNeverAnswer:
          Stall();
          break;
        case ServerFault::kStallAfterHeaders:
          Write(ResponseHead(canned, true), &Session::Stall);
          break;
        case ServerFault::kCutHalfWay:
          Write(ResponseHead(canned, true) + body.substr(0, body.size() / 2), &Session::Close);
          break;
        case ServerFault::kNoContentLength:
          Write(ResponseHead(canned, false) + body, &Session::Close);
          break;
        case ServerFault::kTrickle:
          trickle_ = body;
          Write(ResponseHead(canned, true), &Session::TrickleNext);
          break;
      }
    }

    // Sends the next piece of the body after a pause; closes after the last.
    void TrickleNext() {
      if (trickle_.empty()) return Close();
      stall_.expires_after(std::chrono::milliseconds(250));
      stall_.async_wait([self = shared_from_this()](const beast::error_code& error) {
        if (error) return;
        std::string piece = self->trickle_.substr(0, 1024);
        self->trickle_.erase(0, piece.size());
        self->Write(std::move(piece), &Session::TrickleNext);
      });
    }

    void Write(std::string bytes, void (Session::*then)()) {
      out_ = std::move(bytes);
      stream_.expires_after(kLongestStall);
      asio::async_write(
          stream_, asio::buffer(out_),
          [self = shared_from_this(), then](const beast::error_code& error, std::size_t) {
            if (!error) ((*self).*then)();
          });
    }

    // Holds the connection open, saying nothing, until the server stops (which
    // drops every session) or the bound passes.
    void Stall() {
      stall_.expires_after(kLongestStall);
      stall_.async_wait([self = shared_from_this()](const beast::error_code&) { self->Close(); });
    }

    // The end of the stream first, so that a body without a length ends there.
    void Close() {
      beast::error_code ignored;
      stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
      stream_.socket().close(ignored);
    }

    beast::tcp_stream stream_;
    State& state_;
    beast::flat_buffer buffer_;
    http::request_parser<http::string_body> parser_;
    std::string out_;
    std::string trickle_;  // the part of a trickled body not sent yet
    asio::steady_timer stall_{stream_.get_executor()};
  };
};

LocalHttpServer::LocalHttpServer() : state_(std::make_unique<State>()) {
  State& state = *state_;
  beast::error_code error;
  const tcp::endpoint loopback(asio::ip::address_v4::loopback(), 0);  // the system picks the port
  state.acceptor.open(loopback.protocol(), error);
  if (!error) state.acceptor.bind(loopback, error);
  if (!error) state.acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (error) return;
  state.port = state.acceptor.local_endpoint(error).port();
  state.Accept();
  state.thread = std::thread([&state] { state.io.run(); });
}

LocalHttpServer::~LocalHttpServer() {
  state_->io.stop();
  if (state_->thread.joinable()) state_->thread.join();
  // The io_context then goes with the state, and with it every session and its
  // connection, stalled ones included.
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
