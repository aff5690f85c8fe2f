// Files of the search service that are not plain files (POSIX only): a corpus file
// replaced by a named pipe once the corpus is listed. Opening a pipe blocks until
// someone writes, so a service that opened it would hang, holding the index's lock;
// it must be refused like a file that cannot be read. Each case runs in a child
// process with an alarm, so a hang fails the test instead of stopping it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "sqlite_index.h"
#include "text/story_folder.h"

namespace talewick::search {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kAlarmSeconds = 20;

fs::path FreshFolder(const std::string& name) {
  const fs::path dir = fs::path(ProgramFolder()) / ("work_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir / "corpus" / "s.org");
  return dir;
}

std::vector<std::string> Sentences(const CorpusIndex& index) {
  std::vector<std::string> out;
  for (const SearchHit& hit : index.Search("s.org", {"the", "cat"}, 100)) {
    out.push_back(hit.sentence);
  }
  return out;
}

TEST(SearchSpecialFiles, AFilePutInPlaceOfAPipeAfterTheListingIsNotWaitedFor) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const fs::path dir = FreshFolder("pipe");
  const fs::path corpus = dir / "corpus";
  std::ofstream(corpus / "s.org" / "a.txt") << "The cat sat.";
  std::ofstream(corpus / "s.org" / "b.txt") << "The cat ran.";
  const fs::path pipe = corpus / "s.org" / "b.txt";
  const auto child = [&] {
    ::alarm(kAlarmSeconds);
    std::ostringstream log;
    const auto index = SqliteIndex::Open(corpus, dir / "index.sqlite", log,
                                         {.afterListing = [&](const CorpusListing&) {
                                           fs::remove(pipe);
                                           if (::mkfifo(pipe.c_str(), 0600) != 0) ::_exit(2);
                                         }});
    const bool said =
        log.str().find("corpus: " + pipe.string() + ": cannot read") != std::string::npos;
    ::_exit(index && said && Sentences(*index) == std::vector<std::string>{"The cat sat."} ? 0 : 1);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
  // The pipe gone, the next start indexes the file that is there.
  fs::remove(pipe);
  std::ofstream(pipe) << "The cat ran.";
  std::ostringstream log;
  const auto index = SqliteIndex::Open(corpus, dir / "index.sqlite", log);
  ASSERT_NE(index, nullptr) << log.str();
  EXPECT_EQ(Sentences(*index), (std::vector<std::string>{"The cat sat.", "The cat ran."}));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace talewick::search
