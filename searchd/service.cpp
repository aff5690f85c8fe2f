// The service's answer to a request, its rebuild of a damaged index, and its
// updater.
#include "service.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "base/utf8_system.h"
#include "searchd/corpus/corpus_files.h"
#include "searchd/http/query_decode.h"
#include "searchd/http/result_page.h"
#include "searchd/platform/service_platform.h"
#include "searchd/text/failure.h"
#include "searchd/text/service_log.h"

namespace talewick::search {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Changes come in bursts (a folder copied in, an editor's save): the index is
// brought up to date once they settle, this long after the last notice, but no
// later than kLongestWait after the first.
constexpr auto kQuiet = std::chrono::milliseconds(300);
constexpr auto kLongestWait = std::chrono::seconds(1);

// May throw IndexFault.
HttpReply AnswerRequest(const CorpusIndex& index, std::size_t maxResults, std::string_view method,
                        std::string_view target) {
  const std::size_t question = target.find('?');
  if ((method != "GET" && method != "HEAD") || target.substr(0, question) != "/search")
    return {404, RenderErrorPage(404, "Not Found")};
  const std::string_view rawQuery =
      question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
  const auto parsed = ParseSearchQuery(rawQuery);
  if (!parsed.ok) return {400, RenderErrorPage(400, "Bad Request: " + parsed.error)};
  const auto hits = parsed.terms.site.empty()
                        ? std::vector<SearchHit>()
                        : index.Search(parsed.terms.site, parsed.terms.words, maxResults);
  return {200, RenderResultPage(parsed.q, hits, parsed.charset), std::to_string(hits.size()),
          std::string("text/html; charset=") + CharsetName(parsed.charset)};
}

HttpReply Unavailable() { return {503, RenderErrorPage(503, "Service Unavailable")}; }

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

// Takes what changed in the corpus into the index; requests wait meanwhile, as
// the index file is written. /health stays ready, as the wait is short.
void Update(Service& service, std::uint64_t seen) {
  const std::unique_lock<std::shared_mutex> updating(Writing(service));
  if (service.health == Health::kDamaged) return;
  Reopen(service, IndexOpen::kUpdate, seen);
  if (!service.index) {
    service.health = Health::kBuilding;
    StandardLog() << "talewick-search: the index could not be brought up to date; searches are "
                     "refused until the corpus changes again\n";
    return;
  }
  service.health = Health::kReady;
  service.index->ReleaseStartMemory();
  ReturnFreeMemory();
}

void SayCannotWatch(const Service& service, const std::string& why) {
  StandardLog() << "corpus: cannot watch " << service.corpus << " for changes: " << why
                << "; changes made while the service runs are taken in at its next start, and "
                   "each hit's file is looked at before it is answered (start with --watch off "
                   "to go without it)\n";
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
    StandardLog() << "corpus: the watch on the corpus stopped (" << lost
                  << "); its changes are taken in at the next start, and each hit's file is "
                     "looked at before it is answered\n";
  }
  service.noticed.notify_all();
}

}  // namespace

std::shared_lock<std::shared_mutex> Reading(Service& service) {
  const std::lock_guard<std::mutex> passing(service.gate);
  return std::shared_lock<std::shared_mutex>(service.indexGuard);
}

std::unique_lock<std::shared_mutex> Writing(Service& service) {
  const std::lock_guard<std::mutex> passing(service.gate);
  return std::unique_lock<std::shared_mutex>(service.indexGuard);
}

void Reopen(Service& service, IndexOpen why, std::uint64_t seen) {
  service.index.reset();  // releases its shared lock, so that it may be written
  service.index =
      OpenCorpusIndex(service.corpus, service.indexFile, service.memory, why,
                      service.watched ? ShelfNotices{&service.notices, seen} : ShelfNotices{});
}

void KeepUpToDate(Service& service, std::uint64_t done, const std::stop_token& stop) {
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

bool WatchCorpus(Service& service, CorpusWatch& watch) {
  const std::string indexFile = IndexFileOf(service.corpus, service.indexFile);
  std::vector<fs::path> ownFiles;
  if (!indexFile.empty()) ownFiles.push_back(PathFromUtf8(indexFile));
  const std::string log = StandardErrorFile();
  if (!log.empty()) ownFiles.push_back(PathFromUtf8(log));
  service.watched = true;  // before the watch may say it stopped
  const Failure watching =
      watch.Start(PathFromUtf8(service.corpus), UnderCorpus(PathFromUtf8(service.corpus), ownFiles),
                  [&service](const std::string& lost) { Noticed(service, lost); });
  if (watching.Done()) return true;
  SayCannotWatch(service, watching.reason);
  service.watched = false;
  return false;
}

bool VouchForCorpus(Service& service, CorpusWatch& watch) {
  const Failure vouched = watch.Vouch();
  if (vouched.Done()) return true;
  {
    const std::lock_guard<std::mutex> told(service.noticeMutex);
    service.watched = false;
    ++service.notices;  // the index opened trusting the watch trusts it no more
  }
  SayCannotWatch(service, vouched.reason);
  return false;
}

HttpReply Answer(Service& service, std::string_view method, std::string_view target) {
  if (IsHealthCheck(method, target)) return HealthReply(service.health);
  for (int attempt = 0;; ++attempt) {
    std::uint64_t damagedBuild = 0;
    {
      const std::shared_lock<std::shared_mutex> reading = Reading(service);
      if (!service.index) return Unavailable();
      try {
        return AnswerRequest(*service.index, service.maxResults, method, target);
      } catch (const IndexFault& fault) {
        StandardLog() << "index: a query failed: " << fault.what() << "\n";
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
      StandardLog() << "talewick-search: stopping: the index is damaged and could not be built "
                       "anew\n";
      service.status = 1;
      service.server->Stop();
      return Unavailable();
    }
    service.health = Health::kReady;
    service.index->ReleaseStartMemory();
    ReturnFreeMemory();
  }
}

}  // namespace talewick::search
