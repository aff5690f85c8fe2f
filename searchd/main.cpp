// talewick-search: a small local search service over a folder of text files, one
// sub-folder per site, answering /search?q=WORDS+site:DOMAIN with an HTML result page.
// `talewick-search --help` lists the options.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "base/utf8_system.h"
#include "options.h"
#include "searchd/corpus/corpus_watch.h"
#include "searchd/http/http_server.h"
#include "searchd/index/memory_budget.h"
#include "searchd/platform/service_platform.h"
#include "searchd/text/failure.h"
#include "searchd/text/service_log.h"
#include "service.h"
#include "text/story_folder.h"

namespace {

namespace fs = std::filesystem;
using talewick::search::Failure;
using talewick::search::Health;
using talewick::search::IndexOpen;
using talewick::search::Service;
using talewick::search::StandardLog;

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

}  // namespace

int main(int argc, char** argv) {
  using talewick::search::CommandLine;
  const CommandLine line =
      talewick::search::ParseCommandLine(talewick::Utf8CommandLine(argc, argv));
  switch (line.action) {
    case CommandLine::Action::kHelp:
      std::fputs(talewick::search::HelpText().c_str(), stdout);
      return 0;
    case CommandLine::Action::kVersion:
      std::printf("talewick-search %s\n", TALEWICK_VERSION);
      return 0;
    case CommandLine::Action::kRefuse:
      StandardLog() << "talewick-search: " << line.error << "; try --help\n";
      return 2;
    case CommandLine::Action::kServe:
      break;
  }
  const auto& options = line.options;

  Service service{
      .corpus = options.corpus, .indexFile = options.index, .maxResults = options.results};
  if (service.corpus.empty()) {
    const fs::path programFolder = talewick::PathFromUtf8(talewick::ProgramFolder());
    const auto shipped = FindShippedCorpus(programFolder);
    if (!shipped) {
      StandardLog() << "talewick-search: no corpus given and none shipped in "
                    << talewick::Utf8Of(programFolder)
                    << " (corpus/ or ../share/talewick/corpus/); name a folder of texts with "
                       "--corpus DIR\n";
      return 1;
    }
    service.corpus = talewick::Utf8Of(*shipped);
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
  if (const Failure listening = server.Listen(options.listen, options.port); !listening.Done()) {
    StandardLog() << "talewick-search: cannot listen on " << host << ":" << options.port << ": "
                  << listening.reason << "\n";
    return 1;
  }
  service.memory = talewick::search::ShareMemory(options.memoryMB << 20, server.Threads());
  std::jthread serving([&server] { server.Run(); });
  // The watch starts before the corpus is listed, so that no change is missed.
  talewick::search::CorpusWatch watch;
  bool watching = options.watch && WatchCorpus(service, watch);
  const std::uint64_t seen = service.notices;
  {
    const std::unique_lock<std::shared_mutex> opening = Writing(service);
    Reopen(service, IndexOpen::kStart, seen);
    watching = watching && VouchForCorpus(service, watch);
  }
  if (!service.index) {
    server.Stop();
    return 1;
  }
  std::jthread updating;
  if (watching) {
    updating = std::jthread(
        [&service, seen](const std::stop_token& stop) { KeepUpToDate(service, seen, stop); });
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
