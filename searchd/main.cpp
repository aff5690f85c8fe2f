// talewick-search: a small local search service over a folder of text files, one
// sub-folder per site, answering /search?q=WORDS+site:DOMAIN with an HTML result page.
// `talewick-search --help` lists the options.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "base/utf8_system.h"
#include "options.h"
#include "searchd/corpus/corpus_files.h"
#include "searchd/corpus/corpus_watch.h"
#include "searchd/http/http_server.h"
#include "searchd/http/query_decode.h"
#include "searchd/http/result_page.h"
#include "searchd/index/corpus_index.h"
#include "searchd/platform/service_platform.h"
#include "searchd/sqlite/open_index.h"
#include "text/story_folder.h"

namespace {

namespace fs = std::filesystem;
using talewick::search::CorpusIndex;
using talewick::search::HttpReply;
using talewick::search::IndexOpen;
using Clock = std::chrono::steady_clock;

// Changes come in bursts (a folder copied in, an editor's save): the index is
// brought up to date once they settle, this long after the last notice, but no
// later than kLongestWait after the first.
constexpr auto kQuiet = std::chrono::milliseconds(300);
constexpr auto kLongestWait = std::chrono::seconds(1);

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
  // Requests share the index; building it anew takes it from all of them. Both
  // pass `gate` on the way in (Reading, Writing).
  std::shared_mutex indexGuard{};
  std::mutex gate{};
  std::unique_ptr<CorpusIndex> index{};  // none once it could not be built anew
  std::uint64_t builds = 0;              // times it was built anew
  std::atomic<Health> health = Health::kBuilding;
  talewick::search::HttpServer* server = nullptr;
  int status = 0;  // the process's, once the server stops
  // The watch on the corpus: notices counted, the last one's time, and whether it
  // is live (it may stop, or never start); the updater waits on `noticed`.
  std::atomic<std::uint64_t> notices = 0;
  std::atomic<bool> watched = false;
  std::mutex noticeMutex{};
  std::condition_variable_any noticed{};
  Clock::time_point lastNotice{};
};

// The index shared with other requests. A writer waits at the gate while it
// waits for the index, so that a stream of requests keeps no update waiting.
std::shared_lock<std::shared_mutex> Reading(Service& service) {
  const std::lock_guard<std::mutex> passing(service.gate);
  return std::shared_lock<std::shared_mutex>(service.indexGuard);
}

std::unique_lock<std::shared_mutex> Writing(Service& service) {
  const std::lock_guard<std::mutex> passing(service.gate);
  return std::unique_lock<std::shared_mutex>(service.indexGuard);
}

// Opens the index anew (the exclusive hold of `indexGuard` is the caller's), the
// corpus listed after `seen` notices of its watch.
void Reopen(Service& service, IndexOpen why, std::uint64_t seen) {
  service.index.reset();  // releases its shared lock, so that it may be written
  service.index = talewick::search::OpenCorpusIndex(
      service.corpus, service.indexFile, service.memory, why,
      service.watched ? talewick::search::ShelfNotices{&service.notices, seen}
                      : talewick::search::ShelfNotices{});
}

// Takes what changed in the corpus into the index; requests wait meanwhile, as
// the index file is written. /health stays ready, as the wait is short.
void Update(Service& service, std::uint64_t seen) {
  const std::unique_lock<std::shared_mutex> updating = Writing(service);
  if (service.health == Health::kDamaged) return;
  Reopen(service, IndexOpen::kUpdate, seen);
  if (!service.index) {
    service.health = Health::kBuilding;
    std::fprintf(stderr,
                 "talewick-search: the index could not be brought up to date; searches are "
                 "refused until the corpus changes again\n");
    return;
  }
  service.health = Health::kReady;
  service.index->ReleaseStartMemory();
  talewick::search::ReturnFreeMemory();
}

// The updater's thread: brings the index up to date once the watch's notices
// settle, until the service stops. `done`: the notices the start took in.
void KeepUpToDate(Service& service, std::uint64_t done, std::stop_token stop) {
  std::unique_lock<std::mutex> waiting(service.noticeMutex);
  while (service.noticed.wait(waiting, stop, [&] { return service.notices != done; })) {
    const Clock::time_point first = Clock::now();
    for (;;) {
      const Clock::time_point until = std::min(service.lastNotice + kQuiet, first + kLongestWait);
      if (Clock::now() >= until) break;
      service.noticed.wait_until(waiting, stop, until, [] { return false; });
      if (stop.stop_requested()) return;
    }
    // Read before the update lists the corpus: a notice after it comes to be
    // taken in by the next one.
    done = service.notices;
    waiting.unlock();
    Update(service, done);
    waiting.lock();
  }
}

// Called by the watch on its thread.
void Noticed(Service& service, const std::string& lost) {
  {
    const std::lock_guard<std::mutex> told(service.noticeMutex);
    service.lastNotice = Clock::now();
    if (!lost.empty()) service.watched = false;
    ++service.notices;
  }
  if (!lost.empty()) {
    std::fprintf(stderr,
                 "corpus: the watch on the corpus stopped (%s); its changes are taken in at "
                 "the next start, and each hit's file is looked at before it is answered\n",
                 lost.c_str());
  }
  service.noticed.notify_all();
}

// Starts the watch on the corpus, or says once why it cannot.
bool WatchCorpus(Service& service, talewick::search::CorpusWatch& watch) {
  const std::string indexFile = talewick::search::IndexFileOf(service.corpus, service.indexFile);
  std::vector<fs::path> ownFiles;
  if (!indexFile.empty()) ownFiles.push_back(PathFromUtf8(indexFile));
  const std::string log = talewick::search::StandardErrorFile();
  if (!log.empty()) ownFiles.push_back(PathFromUtf8(log));
  std::string why;
  service.watched = true;  // before the watch may say it stopped
  if (watch.Start(
          PathFromUtf8(service.corpus),
          talewick::search::UnderCorpus(PathFromUtf8(service.corpus), ownFiles),
          [&service](const std::string& lost) { Noticed(service, lost); }, why)) {
    return true;
  }
  std::fprintf(stderr,
               "corpus: cannot watch %s for changes: %s; changes made while the service runs are "
               "taken in at its next start, and each hit's file is looked at before it is "
               "answered (start with --watch off to go without it)\n",
               service.corpus.c_str(), why.c_str());
  service.watched = false;
  return false;
}

// Answers one request (on any serving thread). When a query finds the index
// damaged, the index is built anew, as at a start (requests wait meanwhile), and
// the request is answered from the new one; when it cannot be built, the service
// stops.
HttpReply Answer(Service& service, std::string_view method, std::string_view target) {
  if (IsHealthCheck(method, target)) return HealthReply(service.health);
  for (int attempt = 0;; ++attempt) {
    std::uint64_t damagedBuild = 0;
    {
      const std::shared_lock<std::shared_mutex> reading = Reading(service);
      if (!service.index) return Unavailable();
      try {
        return AnswerRequest(*service.index, service.maxResults, method, target);
      } catch (const talewick::search::IndexFault& fault) {
        std::fprintf(stderr, "index: a query failed: %s\n", fault.what());
        if (!fault.damaged() || attempt > 0) return Unavailable();
      }
      damagedBuild = service.builds;
    }
    const std::unique_lock<std::shared_mutex> building = Writing(service);
    // Another request found it damaged too and has built it anew meanwhile.
    if (service.builds != damagedBuild || !service.index) continue;
    ++service.builds;
    service.health = Health::kBuilding;
    Reopen(service, IndexOpen::kRebuild, service.notices);
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
  // The watch starts before the corpus is listed, so that no change is missed.
  talewick::search::CorpusWatch watch;
  const bool watching = options.watch && WatchCorpus(service, watch);
  const std::uint64_t seen = service.notices;
  {
    const std::unique_lock<std::shared_mutex> opening = Writing(service);
    Reopen(service, IndexOpen::kStart, seen);
  }
  if (!service.index) {
    server.Stop();
    return 1;
  }
  std::jthread updating;
  if (watching) {
    updating =
        std::jthread([&service, seen](std::stop_token stop) { KeepUpToDate(service, seen, stop); });
  }
  service.health = Health::kReady;
  std::cout << "listening on " << host << ":" << server.Port() << std::endl;
  {
    // A request that found the index damaged, or an update, may have replaced
    // it meanwhile.
    const std::shared_lock<std::shared_mutex> reading = Reading(service);
    if (service.index) service.index->ReleaseStartMemory();
  }
  talewick::search::ReturnFreeMemory();
  serving.join();
  return service.status;
}
