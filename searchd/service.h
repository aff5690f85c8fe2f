// The service's state and how it answers: requests from the index under a
// shared hold, an index found damaged built anew under the exclusive one, and
// the updater that takes in what the corpus watch tells of.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <stop_token>
#include <string>
#include <string_view>

#include "searchd/corpus/corpus_watch.h"
#include "searchd/http/http_server.h"
#include "searchd/index/corpus_index.h"
#include "searchd/index/memory_budget.h"
#include "searchd/sqlite/open_index.h"

namespace talewick::search {

// What GET /health tells a balancer: whether searches are answered now.
enum class Health { kBuilding, kReady, kDamaged };

// One running service: its index and how it is shared, and its watch.
struct Service {
  std::string corpus;  // UTF-8
  std::string indexFile;
  std::size_t maxResults;
  CacheBudget memory{};
  // Requests share the index; building it anew takes it from all of them. Both
  // pass `gate` on the way in (Reading, Writing).
  std::shared_mutex indexGuard{};
  std::mutex gate{};
  std::unique_ptr<CorpusIndex> index{};  // none once it could not be built anew
  std::uint64_t builds = 0;              // times it was built anew
  std::atomic<Health> health = Health::kBuilding;
  HttpServer* server = nullptr;
  int status = 0;  // the process's, once the server stops
  // The watch on the corpus: notices counted, the last one's time, and whether it
  // is live (it may stop, or never start); the updater waits on `noticed`.
  std::atomic<std::uint64_t> notices = 0;
  std::atomic<bool> watched = false;
  std::mutex noticeMutex{};
  std::condition_variable_any noticed{};
  std::chrono::steady_clock::time_point lastNotice{};
};

// The index shared with other requests. A writer waits at the gate while it
// waits for the index, so that a stream of requests keeps no update waiting.
std::shared_lock<std::shared_mutex> Reading(Service& service);
std::unique_lock<std::shared_mutex> Writing(Service& service);

// Opens the index anew (the exclusive hold of `indexGuard` is the caller's), the
// corpus listed after `seen` notices of its watch.
void Reopen(Service& service, IndexOpen why, std::uint64_t seen);

// The updater's thread: brings the index up to date once the watch's notices
// settle, until the service stops. `done`: the notices the start took in.
void KeepUpToDate(Service& service, std::uint64_t done, const std::stop_token& stop);

// Starts the watch on the corpus, or says once why it cannot.
bool WatchCorpus(Service& service, CorpusWatch& watch);

// Whether the watch WatchCorpus started can vouch for the corpus; else says once
// why not, and the index no longer trusts it. Called before any search is
// answered: the look it waits for ran while the index was opened.
bool VouchForCorpus(Service& service, CorpusWatch& watch);

// Answers one request (on any serving thread). When a query finds the index
// damaged, the index is built anew, as at a start (requests wait meanwhile), and
// the request is answered from the new one; when it cannot be built, the service
// stops.
HttpReply Answer(Service& service, std::string_view method, std::string_view target);

}  // namespace talewick::search
