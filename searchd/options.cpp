// Options come as "--name value" pairs; --help and --version stand alone and win
// over everything else on the line.
#include "options.h"

#include <boost/asio/ip/address.hpp>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>

#include "base/command_options.h"
#include "searchd/sqlite/index_cache.h"

namespace talewick::search {

namespace {

std::optional<long> ParseNumber(const std::string& text, long low, long high) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < low || value > high) return std::nullopt;
  return value;
}

// Sets the option `name` to `value`; what is wrong with the value, or "".
std::string Take(ServiceOptions& options, std::string_view name, const std::string& value) {
  if (name == "--corpus") {
    options.corpus = value;
  } else if (name == "--index") {
    options.index = value;
  } else if (name == "--listen") {
    boost::system::error_code notAnAddress;
    boost::asio::ip::make_address(value, notAnAddress);
    if (notAnAddress)
      return "--listen takes an IP address such as 127.0.0.1 or 0.0.0.0, not '" + value + "'";
    options.listen = value;
  } else if (name == "--port") {
    const auto port = ParseNumber(value, 0, 65535);
    if (!port) return "--port takes a number from 0 to 65535, not '" + value + "'";
    options.port = static_cast<int>(*port);
  } else if (name == "--watch") {
    if (value != "on" && value != "off") return "--watch takes on or off, not '" + value + "'";
    options.watch = value == "on";
  } else if (name == "--memory") {
    const auto megabytes = ParseNumber(value, 16, 65536);
    if (!megabytes) return "--memory takes megabytes from 16 to 65536, not '" + value + "'";
    options.memoryMB = static_cast<std::size_t>(*megabytes);
  } else {
    const auto results = ParseNumber(value, 1, 100000);
    if (!results) return "--results takes a number from 1 to 100000, not '" + value + "'";
    options.results = static_cast<std::size_t>(*results);
  }
  return "";
}

CommandLine Refuse(std::string error) {
  CommandLine line;
  line.action = CommandLine::Action::kRefuse;
  line.error = std::move(error);
  return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  const Standalone standalone = StandaloneOption(arguments);
  if (standalone != Standalone::kNone) {
    line.action = standalone == Standalone::kHelp ? CommandLine::Action::kHelp
                                                  : CommandLine::Action::kVersion;
    return line;
  }
  static constexpr ValueOption kOptions[] = {{"--corpus", "a value", "a folder"},
                                             {"--index", "a value", "a file"},
                                             {"--port", "a value"},
                                             {"--results", "a value"},
                                             {"--listen", "a value"},
                                             {"--memory", "a value"},
                                             {"--watch", "on or off"}};
  ServiceOptions& options = line.options;
  std::string error = WalkValueOptions(
      arguments, kOptions,
      [&](std::string_view name, const std::string& value) { return Take(options, name, value); });
  return error.empty() ? line : Refuse(std::move(error));
}

std::string HelpText() {
  const ServiceOptions defaults;
  const CacheRule cache;
  return "usage: talewick-search [--corpus DIR] [--index FILE] [--port N] [--results N]\n"
         "                       [--listen ADDR] [--memory MB] [--watch off]\n"
         "\n"
         "A local search service for Talewick. It answers GET /search?q=WORDS+site:DOMAIN\n"
         "on 127.0.0.1 (or the address --listen names) with an HTML result page whose\n"
         "snippets hold WORDS in <b></b>. WORDS are UTF-8, or Windows-1252 when they\n"
         "are not valid UTF-8; the page comes in the same character set.\n"
         "GET /health answers 200 and one line once the index is open and the corpus\n"
         "listed, 503 while the index is being built or once it was found damaged and\n"
         "could not be built anew: a balancer may ask it twice a second.\n"
         "\n"
         "  --corpus DIR   folder of plain-text files, one sub-folder per site (DOMAIN)\n"
         "                 (default: the shipped corpus, in the program's folder as\n"
         "                 corpus/, or in ../share/talewick/corpus beside it)\n"
         "  --index FILE   the corpus's index file, built at the first start and brought\n"
         "                 up to date at each later one (default: a file named after\n"
         "                 the corpus in the cache folder: $XDG_CACHE_HOME/talewick/ or\n"
         "                 ~/.cache/talewick/; on Windows %LOCALAPPDATA%\\Talewick\\cache\\)\n"
         "  --port N       port to listen on; 0 takes a free one (default: " +
         std::to_string(defaults.port) +
         ")\n"
         "  --results N    most results on one page, 1 to 100000 (default: " +
         std::to_string(defaults.results) +
         ")\n"
         "  --listen ADDR  the IP address to listen on: 0.0.0.0 (or ::) for every one of\n"
         "                 this machine, for a balancer on another (default: " +
         defaults.listen +
         ")\n"
         "  --memory MB    what the caches take at most while serving: answers, text\n"
         "                 and index pages kept to be used again (default: " +
         std::to_string(defaults.memoryMB) +
         ")\n"
         "  --watch off    do not watch the corpus: by default its changes are indexed\n"
         "                 while the service answers, within seconds; off, at the next\n"
         "                 start only (for read-only media, and to measure without it)\n"
         "  --help         show this help and exit\n"
         "  --version      show the version and exit\n"
         "\n"
         "The cache folder keeps the index of a corpus folder that is away (renamed, on a\n"
         "drive not plugged in) for its return: each start removes an index unused for " +
         std::to_string(cache.unused.count() / 24) +
         "\ndays whose corpus folder is gone, and the least recently used indexes while\n"
         "they take more than " +
         std::to_string(cache.budgetBytes >> 30) +
         " GB. The first line on standard output is \"listening on\n"
         "ADDR:PORT\", once the index is ready; standard error tells the indexing's\n"
         "progress, then logs each request as one line (but for /health answered 200).\n";
}

}  // namespace talewick::search
