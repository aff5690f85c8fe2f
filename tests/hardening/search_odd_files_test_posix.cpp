// Files of the search service that are not plain files, and descriptors that run
// out (POSIX only): a corpus file replaced by a named pipe once the corpus is
// listed, and an index named where a pipe, a folder or a device stands. Opening a
// pipe blocks until someone writes, so a service that opened it would hang,
// holding the index's lock; a device given as the index must be left as it is,
// with nothing made beside it. Each case runs in a child process with an alarm,
// so a hang fails the test instead of stopping it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "searchd/sqlite/sqlite_index.h"
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

TEST(SearchOddFiles, AFilePutInPlaceOfAPipeAfterTheListingIsNotWaitedFor) {
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
    // Skipped with a line, and counted as such.
    const bool said =
        log.str().find("corpus: " + pipe.string() + ": cannot read") != std::string::npos &&
        log.str().find("corpus: 2 files (1 indexed, 1 skipped)") != std::string::npos;
    ::_exit(index && said && index->Search("s.org", {"the", "cat"}, 100).size() == 1 ? 0 : 1);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
  fs::remove_all(dir);
}

TEST(SearchOddFiles, AnIndexThatIsNoRegularFileIsLeftAsItIs) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const fs::path dir = FreshFolder("index");
  std::ofstream(dir / "corpus" / "s.org" / "a.txt") << "The cat sat.";
  const fs::path pipe = dir / "pipe.sqlite";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  fs::create_directory(dir / "folder.sqlite");
  std::vector<fs::path> files{pipe, dir / "folder.sqlite"};
  // A device of its own, where this process may make one (as root).
  if (::mknod((dir / "null.sqlite").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
    files.push_back(dir / "null.sqlite");
  }
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    const auto child = [&] {
      ::alarm(kAlarmSeconds);
      std::ostringstream log;
      const bool opened = SqliteIndex::Open(dir / "corpus", file, log) != nullptr;
      ::_exit(!opened && log.str().find("index: " + file.string() +
                                        " is not a regular file (a folder, a pipe or a device), "
                                        "so it is left as it is") != std::string::npos
                  ? 0
                  : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
    for (const char* beside : {"-journal", ".lock"}) {
      EXPECT_FALSE(fs::exists(file.string() + beside)) << beside;
    }
  }
  fs::remove_all(dir);
}

// The service with few descriptors, held by idle connections: it cannot accept
// more, and says so at most once a second, with how many times it failed.
TEST(SearchOddFiles, DescriptorsThatRunOutAreSaidAtMostOnceASecond) {
  const fs::path dir = FreshFolder("descriptors");
  std::ofstream(dir / "corpus" / "s.org" / "a.txt") << "The cat sat.";
  const fs::path log = dir / "service.log";
  FILE* service = ::popen(("ulimit -n 64; echo $$; exec " TALEWICK_SEARCH_EXE " --corpus '" +
                           (dir / "corpus").string() + "' --index '" +
                           (dir / "index.sqlite").string() + "' --port 0 2>'" + log.string() + "'")
                              .c_str(),
                          "r");
  int pid = 0;
  int port = 0;
  ASSERT_EQ(std::fscanf(service, "%d listening on 127.0.0.1:%d", &pid, &port), 2);
  const sockaddr_in address{
      AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
  std::vector<int> idle;
  for (int i = 0; i < 100; ++i) {
    idle.push_back(::socket(AF_INET, SOCK_STREAM, 0));
    ::connect(idle.back(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  ::kill(pid, SIGTERM);
  ::pclose(service);
  for (const int socket : idle) ::close(socket);
  std::ifstream in(log);
  int lines = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("accept: ")) {
      ++lines;
      EXPECT_NE(line.find(" times since the last such line)"), std::string::npos) << line;
    }
  }
  EXPECT_TRUE(lines >= 1 && lines <= 4) << lines;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace talewick::search
