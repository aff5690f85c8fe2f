// The index file kept between starts: it follows the corpus, is written by one
// service at a time, and its cache folder keeps what may come back.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "search_files.h"
#include "searchd/corpus/corpus_watch.h"
#include "searchd/sqlite/index_cache.h"
#include "searchd/sqlite/index_lock.h"
#include "searchd/sqlite/sqlite_index.h"
#include "searchd/text/service_log.h"

namespace talewick::search {
namespace {

namespace fs = std::filesystem;

// The index file, kept between starts, and shared by services.
TEST(SqliteIndex, FollowsTheCorpusAndIsWrittenByOneServiceAtATime) {
  const fs::path dir = FreshFolder("index_file");
  const fs::path corpus = dir / "corpus";
  const fs::path file = dir / "index.sqlite";
  std::unique_ptr<SqliteIndex> index;
  std::ostringstream said;  // while answering
  // Opens `path` on the corpus as it stands, which must log `logged`: the hits of
  // "the cat" in s.org.
  const auto reopen = [&](const fs::path& path, const std::string& logged) {
    index.reset();
    std::ostringstream log;
    index = SqliteIndex::Open(corpus, path, log, {.servingLog = &said});
    EXPECT_NE(log.str().find(logged), std::string::npos) << log.str();
    return index ? Sentences(index->Search("s.org", {"the", "cat"}, 100)) : Strings{"no index"};
  };
  WriteFile(corpus / "s.org" / "a.txt", "The cat sat in a. One. Two. Three.");
  WriteFile(corpus / "s.org" / "b.txt", "The cat sat in b.");
  WriteFile(corpus / "s.org" / "c.txt", "The cat sat in c.");
  WriteFile(corpus / "s.org" / "0.txt", "");  // no sentences, so no id of its own
  EXPECT_EQ(reopen(file, "4 files added, 0 changed, 0 removed"),
            (Strings{"The cat sat in a.", "The cat sat in b.", "The cat sat in c."}));
  // Sentences are read back from the files: one edited in place to the same size,
  // or replaced by another file of the same text, both with their times put back,
  // gives none, and one line, until the next start indexes it again. (The files
  // are kept from that first search: c.txt's new file looks the same.)
  const auto timeOf = [&](const char* name) {
    return fs::last_write_time(corpus / "s.org" / name);
  };
  const auto bTime = timeOf("b.txt");
  std::fstream(corpus / "s.org" / "b.txt", std::ios::in | std::ios::out | std::ios::binary)
      << "The dog";
  fs::last_write_time(corpus / "s.org" / "b.txt", bTime);
  WriteFile(corpus / "s.org" / "c.new", "The cat sat in c.");
  fs::last_write_time(corpus / "s.org" / "c.new", timeOf("c.txt"));
  fs::rename(corpus / "s.org" / "c.new", corpus / "s.org" / "c.txt");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Sentences(index->Search("s.org", {"the", "cat"}, 100)), Strings{"The cat sat in a."});
  }
  std::string lines;
  for (const char* name : {"b", "c"}) {
    lines += "index: " + (corpus / "s.org" / (std::string(name) + ".txt")).string() +
             " changed since it was indexed; its sentences are left out of answers until the "
             "next start indexes it again\n";
  }
  EXPECT_EQ(said.str(), lines);
  EXPECT_EQ(reopen(file, "0 files added, 2 changed, 0 removed"),
            (Strings{"The cat sat in a.", "The cat sat in c."}));

  Rewrite(corpus / "s.org" / "b.txt", "The cat sat in the new b. The cat ran.");
  fs::remove(corpus / "s.org" / "c.txt");
  fs::remove(corpus / "s.org" / "0.txt");
  WriteFile(corpus / "t.org" / "d.txt", "The cat sat in d.");
  EXPECT_EQ(reopen(file, "1 files added, 1 changed, 2 removed"),
            (Strings{"The cat sat in a.", "The cat sat in the new b.", "The cat ran."}));
  EXPECT_EQ(Sentences(index->Search("t.org", {"sat", "in"}, 100)), (Strings{"The cat sat in d."}));

  // When most of it is out of date, the index is built anew.
  Rewrite(corpus / "s.org" / "a.txt", "The cat sat in the new a.");
  const Strings now{"The cat sat in the new a.", "The cat sat in the new b.", "The cat ran."};
  EXPECT_EQ(reopen(file, "most of the corpus changed since"), now);

  // While one service answers from the index, a second one answers from it as it
  // stands: it neither updates it nor builds it anew.
  WriteFile(corpus / "s.org" / "e.txt", "The cat sat in e.");
  const std::string before = ReadAll(file);
  {
    std::ostringstream log;
    const auto second = SqliteIndex::Open(corpus, file, log);
    ASSERT_NE(second, nullptr) << log.str();
    EXPECT_NE(log.str().find(file.string() +
                             " cannot be brought up to date (another talewick-search answers "
                             "from it); answering from it as it stands, without the files "
                             "changed since: 1 added, 0 changed, 0 removed"),
              std::string::npos)
        << log.str();
    EXPECT_EQ(Sentences(second->Search("s.org", {"the", "cat"}, 100)), now);
  }
  index.reset();
  EXPECT_EQ(ReadAll(file), before);

  // While one builds it, another waits, then finds it up to date.
  auto builder = std::make_unique<IndexLock>();
  const IndexLock::Opened opened = builder->Open(file.string() + ".lock");
  ASSERT_EQ(opened.place, IndexLock::Place::kWritable) << opened.why;
  ASSERT_TRUE(builder->TryExclusive());
  const fs::path waiterLog = dir / "waiter.log";
  std::unique_ptr<SqliteIndex> waited;
  std::thread waiter([&] {
    std::ofstream log(waiterLog);
    waited = SqliteIndex::Open(corpus, file, log);
  });
  const std::string waiting =
      "index: another talewick-search is building " + file.string() + "; waiting for it to finish";
  for (int i = 0; i < 1000 && ReadAll(waiterLog).find(waiting) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  builder.reset();
  waiter.join();
  EXPECT_EQ(ReadAll(waiterLog).find(waiting), 0u) << ReadAll(waiterLog);
  EXPECT_NE(ReadAll(waiterLog).find("1 files added, 0 changed, 0 removed"), std::string::npos);
  ASSERT_NE(waited, nullptr);
  waited.reset();

  // An index file in the corpus, named like a text, is not one of its texts.
  const fs::path inside = corpus / "s.org" / "index.txt";
  EXPECT_EQ(reopen(inside, "4 files added, 0 changed, 0 removed").size(), 4u);
  EXPECT_EQ(reopen(inside, "0 files added, 0 changed, 0 removed").size(), 4u);
  index.reset();
  for (const char* suffix : {"", ".lock"}) fs::remove(inside.string() + suffix);

  // A corpus emptied behind the index's back leaves it as it is.
  const std::string last = ReadAll(file);
  fs::remove_all(corpus);
  fs::create_directories(corpus / "s.org");
  std::ostringstream emptied;
  EXPECT_EQ(SqliteIndex::Open(corpus, file, emptied), nullptr);
  EXPECT_NE(emptied.str().find("corpus: no .txt files under"), std::string::npos) << emptied.str();
  EXPECT_TRUE(ReadAll(file) == last) << "the index was written";
  fs::remove_all(dir);
}

// While the corpus watch tells of no change since the index was brought up to
// date, a hit's file is not looked at again: the text kept from an earlier search
// is answered. From the first notice on, it is looked at once a search, the
// answer kept for a query too.
TEST(SqliteIndex, TrustsItsFilesOnlyWhileTheWatchTellsOfNoChange) {
  const fs::path dir = FreshFolder("watched");
  const fs::path corpus = dir / "corpus";
  const fs::path a = corpus / "s.org" / "a.txt";
  WriteFile(a, "The cat sat in a.");
  std::atomic<std::uint64_t> notices = 7;
  std::ostringstream log, said;
  auto index = SqliteIndex::Open(corpus, dir / "index.sqlite", log,
                                 {.servingLog = &said, .notices = {&notices, 7}});
  ASSERT_NE(index, nullptr) << log.str();
  const auto search = [&](const std::string& word) {
    return Sentences(index->Search("s.org", {word, "sat"}, 100));
  };
  EXPECT_EQ(search("cat"), Strings{"The cat sat in a."});
  const auto time = fs::last_write_time(a);
  std::fstream(a, std::ios::in | std::ios::out | std::ios::binary) << "The dog";
  fs::last_write_time(a, time);
  EXPECT_EQ(search("cat"), Strings{"The cat sat in a."});
  ++notices;
  EXPECT_EQ(search("cat"), Strings{});
  EXPECT_EQ(said.str(), "index: " + a.string() +
                            " changed since it was indexed; its sentences are left out of "
                            "answers until the index is brought up to date\n");
  index.reset();  // Windows removes no file held open
  fs::remove_all(dir);
}

// What the watch tells of: the corpus's own entries and the texts of its sites,
// never the service's own files, wherever they lie.
TEST(CorpusWatch, TellsOfWhatTheCorpusLists) {
  const fs::path dir = FreshFolder("watch_paths");
  const fs::path corpus = dir / "corpus";
  fs::create_directories(corpus / "s.org");
  const std::vector<fs::path> own = UnderCorpus(
      corpus,
      {corpus / "s.org" / "index.txt", dir / "log.txt", corpus / "x" / ".." / "service.log"});
  EXPECT_EQ(own, (std::vector<fs::path>{fs::path("s.org") / "index.txt", "service.log"}));
  const std::vector<std::pair<fs::path, bool>> table{
      {"s.org", true},
      {"new site", true},
      {fs::path("s.org") / "a.txt", true},
      {fs::path("s.org") / "a.txt~", false},
      {fs::path("s.org") / "deeper" / "b.txt", false},
      {fs::path("s.org") / "index.txt", false},
      {fs::path("s.org") / "index.txt-journal", false},
      {fs::path("s.org") / "index.txt.lock", false},
      {"service.log", false},
      {fs::path("..") / "c.txt", false}};
  for (const auto& [path, concerns] : table) {
    EXPECT_EQ(ConcernsCorpus(path, own), concerns) << path;
  }
  fs::remove_all(dir);
}

// A text that is a link is read through it, but its changes are told to the
// folder of the file it names: the watch refuses such a corpus rather than vouch
// for it.
TEST(CorpusWatch, RefusesACorpusWithALinkedText) {
  const fs::path dir = FreshFolder("watch_link");
  WriteFile(dir / "elsewhere" / "b.txt", "The cat sat in b.");
  WriteFile(dir / "corpus" / "s.org" / "a.txt", "The cat sat in a.");
  std::error_code ec;
  fs::create_symlink(dir / "elsewhere" / "b.txt", dir / "corpus" / "s.org" / "b.txt", ec);
  if (ec) GTEST_SKIP() << "no link can be made here: " << ec.message();
  Failure refused;
  {
    CorpusWatch watch;
    refused = watch.Start(dir / "corpus", {}, [](const std::string&) {});
    if (refused.Done()) refused = watch.Vouch();
  }
  EXPECT_EQ(refused.outcome, Outcome::kFailed);
  EXPECT_NE(refused.reason.find("b.txt is a link"), std::string::npos) << refused.reason;
  fs::remove_all(dir);
}

// Threads say their lines on the standard log at once (serving threads, the
// updater, the watch): a line begun on one thread goes out whole, after the
// lines another finished meanwhile.
TEST(StandardLog, SendsEachThreadsLinesWhole) {
  testing::internal::CaptureStderr();
  std::thread([] { StandardLog() << "begun "; }).join();  // a thread that ends sends it
  StandardLog() << "the main thread's line begun, ";
  std::thread([] { StandardLog() << "another's line " << 2 << "\n"; }).join();
  StandardLog() << "and ended\n";
  StandardLog() << "a progress line" << std::flush;
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "begun another's line 2\nthe main thread's line begun, and ended\na progress line");
}

// The cache folder keeps the index of a corpus folder that is away, and loses it
// once it has gone unused for long, or the least recently used indexes once they
// take more than the cache's room; never one that a service holds, the one being
// opened, or a file that is not an index.
TEST(SqliteIndex, TheCacheKeepsWhatMayComeBackWithinItsRoom) {
  const fs::path dir = FreshFolder("cache");
  const fs::path cache = dir / "cache";
  const auto indexOf = [&](const std::string& name) { return DefaultIndexFile(cache, dir / name); };
  WriteFile(cache / "notes.sqlite", "my notes\n");
  std::unique_ptr<SqliteIndex> held;  // the last one opened stays open
  const auto now = fs::file_time_type::clock::now();
  const auto daysAgo = [&](const std::string& name, int days) {
    fs::last_write_time(LockFileOf(indexOf(name)), now - std::chrono::hours(24 * days));
  };
  for (const char* name : {"old", "away", "here", "current", "held"}) {
    WriteFile(dir / name / "s.org" / "a.txt", "The cat sat.");
    std::ostringstream log;
    held = SqliteIndex::Open(dir / name, indexOf(name), log);
    ASSERT_NE(held, nullptr) << log.str();
  }
  for (const char* name : {"old", "away", "held"}) fs::remove_all(dir / name);
  for (const char* name : {"old", "here", "current", "held"}) daysAgo(name, 100);
  daysAgo("away", 10);
  // An index of another version is of no use: it would be built anew.
  const fs::path other = cache / "other-version.sqlite";
  fs::copy_file(indexOf("here"), other);
  std::fstream(other, std::ios::in | std::ios::out | std::ios::binary).seekp(60)
      << std::string("\0\0\0\4", 4);
  std::ostringstream log;
  TidyIndexCache(cache, indexOf("current"), log);
  EXPECT_EQ(log.str(), "index: removed from " + cache.string() +
                           " the indexes of another version, or cut short: " + other.string() +
                           "\nindex: removed from " + cache.string() +
                           " the index of each corpus folder gone and unused for 90 days: " +
                           FullCorpusPath(dir / "old") + "\n");
  EXPECT_FALSE(fs::exists(other));
  EXPECT_FALSE(fs::exists(indexOf("old")) || fs::exists(LockFileOf(indexOf("old"))));
  for (const char* name : {"away", "here", "current", "held"}) {
    EXPECT_TRUE(fs::exists(indexOf(name))) << name;
  }
  held.reset();  // let go, it goes
  log.str("");
  TidyIndexCache(cache, indexOf("current"), log);
  EXPECT_FALSE(fs::exists(indexOf("held")));
  // Room for two indexes: the least recently used others go first.
  const std::uintmax_t bytes = fs::file_size(indexOf("here"));
  daysAgo("away", 50);
  log.str("");
  TidyIndexCache(cache, indexOf("current"), log, {.budgetBytes = 2 * bytes});
  EXPECT_EQ(log.str(), "index: removed from " + cache.string() +
                           " the least recently used indexes, to keep it within " +
                           std::to_string(2 * bytes >> 20) +
                           " MB: " + FullCorpusPath(dir / "here") + "\n");
  EXPECT_TRUE(fs::exists(indexOf("away")) && fs::exists(indexOf("current")) &&
              fs::exists(cache / "notes.sqlite"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace talewick::search
