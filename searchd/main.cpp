// talewick-search: a small local search service over a folder of text files, one
// sub-folder per site, answering /search?q=WORDS+site:DOMAIN with an HTML result page.
// `talewick-search --help` lists the options.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "base/utf8_system.h"
#include "corpus_files.h"
#include "corpus_index.h"
#include "http_server.h"
#include "open_index.h"
#include "options.h"
#include "query_decode.h"
#include "result_page.h"
#include "service_platform.h"
#include "text/story_folder.h"

namespace {

namespace fs = std::filesystem;
using talewick::search::CorpusIndex;
using talewick::search::HttpReply;

// The shipped corpus: beside the program (the Windows folder, the build tree),
// else where a Linux install puts it.
std::optional<fs::path> FindShippedCorpus(const fs::path& programFolder) {
  if (programFolder.empty()) return std::nullopt;
  for (const fs::path& candidate :
       {programFolder / "corpus", programFolder / ".." / "share" / "talewick" / "corpus"}) {
    std::error_code error;
    if (fs::is_directory(candidate, error)) return candidate.lexically_normal();
  }
  return std::nullopt;
}

// May throw IndexFault.
HttpReply AnswerRequest(const CorpusIndex& index, std::size_t maxResults, std::string_view method,
                        std::string_view target) {
  const std::size_t question = target.find('?');
  if ((method != "GET" && method != "HEAD") || target.substr(0, question) != "/search")
    return {404, talewick::search::RenderErrorPage(404, "Not Found")};
  const std::string_view rawQuery =
      question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
  const auto parsed = talewick::search::ParseSearchQuery(rawQuery);
  if (!parsed.ok)
    return {400, talewick::search::RenderErrorPage(400, "Bad Request: " + parsed.error)};
  const auto hits = parsed.terms.site.empty()
                        ? std::vector<talewick::search::SearchHit>()
                        : index.Search(parsed.terms.site, parsed.terms.words, maxResults);
  return {200, talewick::search::RenderResultPage(parsed.q, hits, parsed.charset),
          std::to_string(hits.size()),
          std::string("text/html; charset=") + talewick::search::CharsetName(parsed.charset)};
}

HttpReply Unavailable() {
  return {503, talewick::search::RenderErrorPage(503, "Service Unavailable")};
}

// What GET /health tells a balancer: whether searches are answered now.
enum class Health { kBuilding, kReady, kDamaged };

bool IsHealthCheck(std::string_view method, std::string_view target) {
  return (method == "GET" || method == "HEAD") && target.substr(0, target.find('?')) == "/health";
}

// One line, from what the service keeps at hand: no index is asked. A ready
// answer is not logged, as a balancer asks for it twice a second.
HttpReply HealthReply(Health health) {
  constexpr const char* kText = "text/plain; charset=utf-8";
  switch (health) {
    case Health::kReady:
      return {.status = 200, .body = "ready\n", .contentType = kText, .logged = false};
    case Health::kBuilding:
      return {.status = 503, .body = "building the index\n", .contentType = kText};
    case Health::kDamaged:
      break;
  }
  return {.status = 503,
          .body = "the index is damaged and could not be built anew\n",
          .contentType = kText};
}

struct Service {
  std::string corpus;  // UTF-8
  std::string indexFile;
  std::size_t maxResults;
  talewick::search::CacheBudget memory{};
  // Requests share the index; building it anew takes it from all of them.
  std::shared_mutex indexGuard{};
  std::unique_ptr<CorpusIndex> index{};  // none once it could not be built anew
  std::uint64_t builds = 0;              // times it was built anew
  std::atomic<Health> health = Health::kBuilding;
  talewick::search::HttpServer* server = nullptr;
  int status = 0;  // the process's, once the server stops
};

// Answers one request (on any serving thread). When a query finds the index
// damaged, the index is built anew, as at a start (requests wait meanwhile), and
// the request is answered from the new one; when it cannot be built, the service
// stops.
HttpReply Answer(Service& service, std::string_view method, std::string_view target) {
  if (IsHealthCheck(method, target)) return HealthReply(service.health);
  for (int attempt = 0;; ++attempt) {
    std::uint64_t damagedBuild = 0;
    {
      std::shared_lock<std::shared_mutex> reading(service.indexGuard);
      if (!service.index) return Unavailable();
      try {
        return AnswerRequest(*service.index, service.maxResults, method, target);
      } catch (const talewick::search::IndexFault& fault) {
        std::fprintf(stderr, "index: a query failed: %s\n", fault.what());
        if (!fault.damaged() || attempt > 0) return Unavailable();
      }
      damagedBuild = service.builds;
    }
    std::unique_lock<std::shared_mutex> building(service.indexGuard);
    // Another request found it damaged too and has built it anew meanwhile.
    if (service.builds != damagedBuild || !service.index) continue;
    ++service.builds;
    service.health = Health::kBuilding;
    service.index.reset();
    service.index =
        talewick::search::OpenCorpusIndex(service.corpus, service.indexFile, service.memory, true);
    if (!service.index) {
      service.health = Health::kDamaged;
      std::fprintf(stderr,
                   "talewick-search: stopping: the index is damaged and could not be built anew\n");
      service.status = 1;
      service.server->Stop();
      return Unavailable();
    }
    service.health = Health::kReady;
    service.index->ReleaseStartMemory();
    talewick::search::ReturnFreeMemory();
  }
}

}  // namespace

int main(int argc, char** argv) {
  using talewick::search::CommandLine;
  const CommandLine line = talewick::search::ParseCommandLine(Utf8CommandLine(argc, argv));
  switch (line.action) {
    case CommandLine::Action::kHelp:
      std::fputs(talewick::search::HelpText().c_str(), stdout);
      return 0;
    case CommandLine::Action::kVersion:
      std::printf("talewick-search %s\n", TALEWICK_VERSION);
      return 0;
    case CommandLine::Action::kRefuse:
      std::fprintf(stderr, "talewick-search: %s; try --help\n", line.error.c_str());
      return 2;
    case CommandLine::Action::kServe:
      break;
  }
  const auto& options = line.options;

  Service service{
      .corpus = options.corpus, .indexFile = options.index, .maxResults = options.results};
  if (service.corpus.empty()) {
    const fs::path programFolder = PathFromUtf8(ProgramFolder());
    const auto shipped = FindShippedCorpus(programFolder);
    if (!shipped) {
      std::fprintf(stderr,
                   "talewick-search: no corpus given and none shipped in %s (corpus/ or "
                   "../share/talewick/corpus/); name a folder of texts with --corpus DIR\n",
                   Utf8Of(programFolder).c_str());
      return 1;
    }
    service.corpus = Utf8Of(*shipped);
  }

  talewick::search::IgnoreBrokenPipes();
  talewick::search::ShareMemoryPools();
  talewick::search::HttpServer server([&service](std::string_view method, std::string_view target) {
    return Answer(service, method, target);
  });
  service.server = &server;
  // The port is taken before the corpus is loaded, so that a port in use is
  // reported at once. Requests are served meanwhile: /health says the index is
  // being built, and searches wait until it is ready.
  const std::string host =
      options.listen.find(':') == std::string::npos ? options.listen : "[" + options.listen + "]";
  std::string reason;
  if (!server.Listen(options.listen, options.port, reason)) {
    std::fprintf(stderr, "talewick-search: cannot listen on %s:%d: %s\n", host.c_str(),
                 options.port, reason.c_str());
    return 1;
  }
  service.memory = talewick::search::ShareMemory(options.memoryMB << 20, server.Threads());
  std::jthread serving([&server] { server.Run(); });
  {
    const std::unique_lock<std::shared_mutex> opening(service.indexGuard);
    service.index =
        talewick::search::OpenCorpusIndex(service.corpus, service.indexFile, service.memory);
  }
  if (!service.index) {
    server.Stop();
    return 1;
  }
  service.health = Health::kReady;
  std::cout << "listening on " << host << ":" << server.Port() << std::endl;
  service.index->ReleaseStartMemory();
  talewick::search::ReturnFreeMemory();
  serving.join();
  return service.status;
}
