// talewick-search: a small local search service over a folder of text files, one
// sub-folder per site, answering /search?q=WORDS+site:DOMAIN with an HTML result page.
//
//   talewick-search --corpus DIR --port N [--results N] [--index FILE]
#include <httplib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "open_index.h"
#include "query_decode.h"
#include "result_page.h"

namespace {

using talewick::search::CorpusIndex;

struct Options {
  std::string corpus;
  std::string index;  // empty: the default place
  int port = -1;
  std::size_t results = 100;
};

constexpr const char* kUsage =
    "usage: talewick-search --corpus DIR --port N [--results N] [--index FILE]\n";

std::optional<long> ParseNumber(const std::string& text, long low, long high) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < low || value > high) return std::nullopt;
  return value;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) return std::nullopt;
    const std::string value = argv[++i];
    if (name == "--corpus") {
      options.corpus = value;
    } else if (name == "--index") {
      options.index = value;
    } else if (name == "--port") {
      const auto port = ParseNumber(value, 0, 65535);
      if (!port) return std::nullopt;
      options.port = static_cast<int>(*port);
    } else if (name == "--results") {
      const auto results = ParseNumber(value, 1, 100000);
      if (!results) return std::nullopt;
      options.results = static_cast<std::size_t>(*results);
    } else {
      return std::nullopt;
    }
  }
  if (options.corpus.empty() || options.port < 0) return std::nullopt;
  return options;
}

// Per-request start time, for the log line. httplib runs the pre-routing handler,
// the route and the logger of one request on the same worker thread.
thread_local std::chrono::steady_clock::time_point request_start;
thread_local bool request_started = false;

constexpr const char* kResultCountHeader = "X-Result-Count";

void HandleSearch(const CorpusIndex& index, std::size_t max_results, const httplib::Request& req,
                  httplib::Response& res) {
  const std::size_t question = req.target.find('?');
  const std::string_view raw_query = question == std::string::npos
                                         ? std::string_view()
                                         : std::string_view(req.target).substr(question + 1);
  const auto parsed = talewick::search::ParseSearchQuery(raw_query);
  if (!parsed.ok) {
    res.status = 400;
    res.set_content(talewick::search::RenderErrorPage(400, "Bad Request: " + parsed.error),
                    "text/html; charset=utf-8");
    return;
  }
  const auto hits = parsed.terms.site.empty()
                        ? std::vector<talewick::search::SearchHit>()
                        : index.Search(parsed.terms.site, parsed.terms.words, max_results);
  res.set_header(kResultCountHeader, std::to_string(hits.size()));
  res.set_content(talewick::search::RenderResultPage(parsed.q, hits), "text/html; charset=utf-8");
}

// Request text as it may go into a log line: bytes outside printable ASCII as %XX,
// and no more than a few hundred of them, so that a hostile request cannot flood the log.
std::string Printable(const std::string& text) {
  static const char* kHex = "0123456789ABCDEF";
  constexpr std::size_t kMaxLogged = 300;
  std::string out;
  for (const char c : text.substr(0, kMaxLogged)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7f) {
      out.push_back(c);
    } else {
      out += {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  if (text.size() > kMaxLogged) out += "...";
  return out.empty() ? "-" : out;
}

void LogRequest(const httplib::Request& req, const httplib::Response& res) {
  double ms = 0.0;
  if (request_started) {
    ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - request_start)
             .count();
  }
  request_started = false;
  const std::string count =
      res.has_header(kResultCountHeader) ? res.get_header_value(kResultCountHeader) : "-";
  // A request line that httplib refused before parsing leaves method and target empty.
  std::fprintf(stderr, "%s %s %d results=%s %.2f ms\n", Printable(req.method).c_str(),
               Printable(req.target).c_str(), res.status, count.c_str(), ms);
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = ParseOptions(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  const auto index = talewick::search::OpenCorpusIndex(options->corpus, options->index);
  if (!index) return 1;

  // A client that hangs up while its answer is being written must not end the service.
  std::signal(SIGPIPE, SIG_IGN);

  httplib::Server server;
  server.set_read_timeout(5, 0);
  server.set_write_timeout(5, 0);
  server.set_payload_max_length(size_t{64} * 1024);
  server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    request_start = std::chrono::steady_clock::now();
    request_started = true;
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.Get("/search", [&](const httplib::Request& req, httplib::Response& res) {
    HandleSearch(*index, options->results, req, res);
  });
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    // httplib refuses over-long request lines itself with 414; the service
    // answers every malformed query with 400.
    if (res.status == 414) res.status = 400;
    if (res.body.empty()) {
      const char* reason = res.status == 404   ? "Not Found"
                           : res.status == 400 ? "Bad Request"
                                               : "Error";
      res.set_content(talewick::search::RenderErrorPage(res.status, reason),
                      "text/html; charset=utf-8");
    }
  });
  server.set_logger(LogRequest);

  const char* host = "127.0.0.1";
  int port = options->port;
  if (port == 0) {
    port = server.bind_to_any_port(host);
  } else if (!server.bind_to_port(host, port)) {
    port = -1;
  }
  if (port <= 0) {
    std::fprintf(stderr, "cannot listen on %s:%d\n", host, options->port);
    return 1;
  }
  std::cout << "listening on " << host << ":" << port << std::endl;
  return server.listen_after_bind() ? 0 : 1;
}
