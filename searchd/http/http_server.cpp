// One io_context run by a small pool of threads: an accept loop, and a session per
// connection that reads a request, answers it and then reads the next one on the
// same connection until the client closes it, asks for the close, or goes quiet.
// Each session runs on a strand of its own, so its steps never overlap, while
// different sessions are served side by side.
#include "searchd/http/http_server.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/percent_encoding.h"
#include "searchd/http/result_page.h"
#include "searchd/platform/service_platform.h"
#include "searchd/text/service_log.h"

namespace talewick::search {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

// A client has this long to send a whole request, and to take a whole answer.
constexpr auto kReadTimeout = std::chrono::seconds(5);
constexpr auto kWriteTimeout = std::chrono::seconds(5);
// The program's requests are a few hundred bytes; a head beyond this (an endless
// request line, say) is refused with 400, a body beyond the other with 413.
constexpr std::uint32_t kMaxHeadBytes = 8 * 1024;
constexpr std::uint64_t kMaxBodyBytes = std::uint64_t{64} * 1024;
// After a refusal, what the client still sends is read and dropped for a moment:
// closing with unread bytes would reset the connection, and the client could lose
// the answer.
constexpr auto kDrainTime = std::chrono::seconds(1);
constexpr std::size_t kMaxDrainBytes = std::size_t{256} * 1024;
// When a connection cannot be accepted (no descriptors left, say), the next try
// waits this long instead of spinning, and the failure is said at most once a
// second.
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);
constexpr auto kAcceptReport = std::chrono::seconds(1);
// At most this many connections are open at once. Each takes a descriptor, and a
// process is often given only 256: the cap leaves the rest to the index, its
// journal and lock and the corpus files, and is far above what the program needs
// (one connection at a time). One more is answered 503 at once and closed.
constexpr std::size_t kMaxConnections = 128;
constexpr auto kRefusalReport = std::chrono::seconds(10);

// One serving thread per core, at least two (so that one long search does not
// hold up every other client on a single core) and at most eight (the index
// gives each thread a connection of its own, and its caches a share of one
// budget, and the program asks one thing at a time).
unsigned ServingThreads() { return std::clamp(std::thread::hardware_concurrency(), 2u, 8u); }

// Trouble that may come many times a second (a flood of connections, no
// descriptors left), said at once and then at most once every `every`, with how
// many times it came since it was last said.
class Repeated {
 public:
  explicit Repeated(Clock::duration every) : every_(every) {}

  // Counts one more time; true when it is to be said now, with `times` since the
  // last time it was.
  bool Due(std::size_t& times) {
    ++times_;
    const Clock::time_point now = Clock::now();
    if (said_ != Clock::time_point{} && now - said_ < every_) return false;
    times = std::exchange(times_, 0);
    said_ = now;
    return true;
  }

 private:
  Clock::duration every_;
  std::size_t times_ = 0;
  Clock::time_point said_{};
};

// Request text as it may go into a log line: bytes outside printable ASCII as %XX,
// and no more than a few hundred of them, so that a hostile request cannot flood the log.
std::string Printable(std::string_view text) {
  static const ByteSet kPrintable =
      BytesWhere([](unsigned char byte) { return byte > 0x20 && byte < 0x7f; });
  constexpr std::size_t kMaxLogged = 300;
  std::string out = PercentEncode(text.substr(0, kMaxLogged), kPrintable);
  if (text.size() > kMaxLogged) out += "...";
  return out.empty() ? "-" : out;
}

// A request that cannot be parsed, as opposed to a client that went away mid-way.
bool IsMalformed(const beast::error_code& error) {
  return error.category() == http::make_error_code(http::error::bad_target).category() &&
         error != http::error::end_of_stream && error != http::error::partial_message;
}

class Session : public std::enable_shared_from_this<Session> {
 public:
  // `open` counts the sessions alive.
  Session(tcp::socket socket, const HttpHandler& handler, std::atomic<std::size_t>& open)
      : stream_(std::move(socket)), handler_(handler), open_(open) {
    ++open_;
  }
  ~Session() { --open_; }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The first step on the session's strand, where every later one runs.
  void Start() {
    asio::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->ReadRequest(); });
  }

 private:
  void ReadRequest() {
    parser_.emplace();
    parser_->header_limit(kMaxHeadBytes);
    parser_->body_limit(kMaxBodyBytes);
    stream_.expires_after(kReadTimeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](const beast::error_code& error, std::size_t) {
                       self->OnRequest(error);
                     });
  }

  void OnRequest(const beast::error_code& error) {
    started_ = Clock::now();
    const auto& request = parser_->get();
    // Method and target are known once the request line has been read, even
    // when something after it is refused.
    method_ = request.method_string();
    target_ = request.target();
    if (!error) {
      HttpReply reply = handler_(method_, target_);
      Send(std::move(reply), request.version(), request.keep_alive());
    } else if (error == http::error::body_limit) {
      Send({413, RenderErrorPage(413, "Payload Too Large")}, 11, false);
    } else if (IsMalformed(error)) {
      Send({400, RenderErrorPage(400, "Bad Request")}, 11, false);
    }
    // Otherwise the client has gone, stalled or broken the connection: there is
    // no one to answer, and the session ends here.
  }

  void Send(HttpReply reply, unsigned version, bool keepAlive) {
    resultCount_ = std::move(reply.resultCount);
    logged_ = reply.logged;
    response_ = {};
    response_.version(version);
    response_.result(static_cast<unsigned>(reply.status));
    response_.set(http::field::content_type, reply.contentType);
    response_.keep_alive(keepAlive);
    response_.body() = std::move(reply.body);
    response_.prepare_payload();
    if (method_ == "HEAD") response_.body().clear();  // the length stays announced
    stream_.expires_after(kWriteTimeout);
    http::async_write(stream_, response_,
                      [self = shared_from_this()](const beast::error_code& error, std::size_t) {
                        self->OnSent(error);
                      });
  }

  void OnSent(const beast::error_code& error) {
    if (logged_) {
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started_).count();
      char took[32];
      std::snprintf(took, sizeof took, "%.2f", ms);
      StandardLog() << Printable(method_) << ' ' << Printable(target_) << ' '
                    << response_.result_int() << " results=" << resultCount_ << ' ' << took
                    << " ms\n";
    }
    if (error) return;
    if (response_.keep_alive()) {
      ReadRequest();
      return;
    }
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kDrainTime);
    Drain();
  }

  void Drain() {
    stream_.async_read_some(
        asio::buffer(drain_),
        [self = shared_from_this()](const beast::error_code& error, std::size_t bytes) {
          self->drained_ += bytes;
          if (!error && self->drained_ < kMaxDrainBytes) self->Drain();
        });
  }

  beast::tcp_stream stream_;
  const HttpHandler& handler_;
  std::atomic<std::size_t>& open_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> response_;
  std::string method_;
  std::string target_;
  std::string resultCount_;
  bool logged_ = true;
  Clock::time_point started_;
  std::array<char, 4096> drain_{};
  std::size_t drained_ = 0;
};

// The answer to a connection beyond the cap.
const std::string& BusyAnswer() {
  static const std::string answer = [] {
    const std::string body = RenderErrorPage(503, "Service Unavailable: too many connections");
    return "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/html; charset=utf-8\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  }();
  return answer;
}

// Answers 503 and closes, without waiting on the client: what it has sent is read
// first (closing on unread bytes would reset the connection, and the client could
// lose the answer), as far as it has come.
void Refuse(tcp::socket socket) {
  beast::error_code ignored;
  socket.non_blocking(true, ignored);
  std::array<char, 4096> unread;
  while (socket.read_some(asio::buffer(unread), ignored) > 0) {
  }
  socket.write_some(asio::buffer(BusyAnswer()), ignored);
  socket.shutdown(tcp::socket::shutdown_both, ignored);
  socket.close(ignored);
}

}  // namespace

struct HttpServer::State {
  // These outlive the io_context and every session in it. Only the accept loop
  // (one step at a time) touches what is not atomic.
  std::atomic<std::size_t> open = 0;  // sessions alive
  Repeated refused{kRefusalReport};
  Repeated acceptFailed{kAcceptReport};
  HttpHandler handler;
  unsigned threads = ServingThreads();
  asio::io_context io{static_cast<int>(threads)};
  tcp::acceptor acceptor{io};
  asio::steady_timer acceptRetry{io};

  void Accept() {
    // The new connection comes on a strand of its own.
    const auto strand = asio::make_strand(io);
    acceptor.async_accept(strand, [this](const beast::error_code& error, tcp::socket socket) {
      if (error) {
        if (std::size_t times = 0; acceptFailed.Due(times)) {
          StandardLog() << "accept: " << error.message() << " (" << times
                        << " times since the last such line)\n";
        }
        acceptRetry.expires_after(kAcceptRetry);
        acceptRetry.async_wait([this](const beast::error_code&) { Accept(); });
        return;
      }
      if (open < kMaxConnections) {
        std::make_shared<Session>(std::move(socket), handler, open)->Start();
      } else {
        Refuse(std::move(socket));
        // A line at most every few seconds, however long the flood.
        if (std::size_t times = 0; refused.Due(times)) {
          StandardLog() << "connections: " << kMaxConnections << " open, the most there may be; "
                        << times << " refused since the last such line\n";
        }
      }
      Accept();
    });
  }
};

HttpServer::HttpServer(HttpHandler handler) : state_(std::make_unique<State>()) {
  state_->handler = std::move(handler);
}

HttpServer::~HttpServer() = default;

Failure HttpServer::Listen(const std::string& host, int port) {
  beast::error_code error;
  const tcp::endpoint endpoint(asio::ip::make_address(host, error),
                               static_cast<unsigned short>(port));
  tcp::acceptor& acceptor = state_->acceptor;
  if (!error) acceptor.open(endpoint.protocol(), error);
  if (!error) {
    PrepareListener(acceptor);
    acceptor.bind(endpoint, error);
  }
  if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (error) return Failed(ErrorText(error));
  state_->Accept();
  return {};
}

int HttpServer::Port() const {
  beast::error_code error;
  return state_->acceptor.local_endpoint(error).port();
}

unsigned HttpServer::Threads() const { return state_->threads; }

void HttpServer::Stop() { state_->io.stop(); }

void HttpServer::Run() {
  // A handler that throws (out of memory, say) loses its own connection only:
  // its thread goes on where it stopped.
  asio::io_context& io = state_->io;
  const auto serve = [&io] {
    for (;;) {
      try {
        io.run();
        return;
      } catch (const std::exception& failure) {
        StandardLog() << "talewick-search: " << failure.what() << "\n";
      }
    }
  };
  std::vector<std::jthread> helpers;
  for (unsigned i = 1; i < state_->threads; ++i) {
    try {
      helpers.emplace_back(serve);
    } catch (const std::system_error& failure) {
      // Fewer threads serve as well, only slower.
      StandardLog() << "talewick-search: serving on " << i << " threads: " << failure.what()
                    << "\n";
      break;
    }
  }
  serve();
  // Stop ends run() on every thread; the helpers are joined as they go.
}

}  // namespace talewick::search
