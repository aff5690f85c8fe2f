// Connect, write, read, each step started from the last one's completion, on an
// io_context of the call's own; the stream's deadline covers all three.
#include "support/http_client.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <utility>

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

}  // namespace

HttpResponse HttpRequest(int port, const std::string& method, const std::string& target,
                         int timeoutMs) {
  asio::io_context io;
  beast::tcp_stream stream(io);
  beast::flat_buffer buffer;
  http::request<http::empty_body> request;
  request.method_string(method);
  request.target(target);
  request.version(11);
  request.set(http::field::host, "127.0.0.1");
  request.set(http::field::connection, "close");
  http::response<http::string_body> response;
  HttpResponse result;

  stream.expires_after(std::chrono::milliseconds(timeoutMs));
  const tcp::endpoint server(asio::ip::address_v4::loopback(), static_cast<unsigned short>(port));
  stream.async_connect(server, [&](const beast::error_code& connectError) {
    if (connectError) return;
    http::async_write(stream, request, [&](const beast::error_code& writeError, std::size_t) {
      if (writeError) return;
      http::async_read(stream, buffer, response,
                       [&](const beast::error_code& readError, std::size_t) {
                         if (readError) return;
                         result.status = response.result_int();
                         result.body = std::move(response.body());
                       });
    });
  });
  io.run();
  return result;
}
