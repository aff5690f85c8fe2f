// End-to-end test of talewick-search: starts the real program on a free port
// against a small corpus written here and asks it over HTTP, with each index kind
// the build has (on Linux the SQLite file and the in-memory one; in the Windows
// build talewick-search.exe, in memory, under Wine).
#include <gtest/gtest.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/child_process.h"
#include "support/http_client.h"
#include "support/program_files.h"

namespace {

namespace fs = std::filesystem;
namespace asio = boost::asio;

// Generous: a program under Wine can take seconds to start.
constexpr int kProgramMs = 30'000;

// The service programs to test, one per index kind ("a|b").
std::vector<std::string> Services() {
  std::vector<std::string> services;
  std::istringstream list(TALEWICK_SEARCH_EXES);
  for (std::string exe; std::getline(list, exe, '|');) services.push_back(exe);
  return services;
}

fs::path WorkFolder() { return fs::path(ProgramFolder()) / "service_test"; }

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Finished {
  std::optional<int> status;
  std::string out;
  std::string err;
};

// Runs the service with options that end it at once.
Finished RunToEnd(const std::vector<std::string>& arguments) {
  fs::create_directories(WorkFolder());
  const fs::path errors = WorkFolder() / "stderr.txt";
  ChildProcess program(Services().front(), arguments, errors.string());
  Finished finished;
  finished.out = program.ReadRest(kProgramMs);
  finished.status = program.Wait(kProgramMs);
  finished.err = ReadWholeFile(errors);
  return finished;
}

// One service, of the kind the test's parameter names, for each test.
class SearchServiceTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    const fs::path corpus = WorkFolder() / "corpus";
    fs::remove_all(WorkFolder());
    fs::create_directories(corpus / "talewick.org");
    std::ofstream(corpus / "talewick.org" / "cats.txt")
        << "The cat sat on the mat. A dog & a bird <watched>.\n"
           "Then the cat ran home, and the cat slept.\n";
    service_ = std::make_unique<ChildProcess>(
        GetParam(),
        std::vector<std::string>{"--corpus", corpus.string(), "--port", "0", "--results", "5",
                                 "--index", (WorkFolder() / "index.sqlite").string()},
        Log().string());
    const std::string line = service_->ReadLine(kProgramMs).value_or("(nothing)");
    const std::string prefix = "listening on 127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << "first line: " << line << "\n" << ReadWholeFile(Log());
    port_ = std::stoi(line.substr(prefix.size()));
  }

  void TearDown() override { service_.reset(); }

  static fs::path Log() { return WorkFolder() / "service.log"; }

  // The log line of a request comes once the answer is out, maybe just after
  // the client has read it.
  static bool Logged(const std::string& line) {
    for (int tries = 0; tries < 100; ++tries) {
      if (ReadWholeFile(Log()).find("\n" + line) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  std::string Body(const std::string& target) const {
    const HttpResponse response = HttpGet(port_, target);
    EXPECT_EQ(response.status, 200) << target;
    return response.body;
  }

  std::unique_ptr<ChildProcess> service_;
  int port_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Kinds, SearchServiceTest, ::testing::ValuesIn(Services()),
                         [](const auto& info) { return "kind" + std::to_string(info.index); });

TEST_P(SearchServiceTest, AnswersWithHighlightedSnippetsOrAnEmptyPage) {
  for (const char* q : {"the%20cat+site%3Atalewick.org", "The+Cat+site:talewick.org"}) {
    const std::string body =
        Body(std::string("/search?hl=en&q=") + q + "&btnG=Google+Search&meta=");
    EXPECT_NE(body.find("<b>The cat</b> sat on the mat.\n"), std::string::npos) << body;
    EXPECT_NE(body.find("Then <b>the cat</b> ran home, and <b>the cat</b> slept.\n"),
              std::string::npos)
        << body;
  }
  const std::string escaped = Body("/search?q=a+dog+site%3Atalewick.org");
  EXPECT_NE(escaped.find("<b>A dog</b> &amp; a bird &lt;watched&gt;.\n"), std::string::npos)
      << escaped;
  // An unknown site, no site or no match: an empty page.
  for (const char* target : {"/search?q=the+cat+site%3Aelsewhere.org", "/search?q=the+cat",
                             "/search?q=the+unicorn+site%3Atalewick.org"}) {
    const std::string body = Body(target);
    EXPECT_NE(body.find("No results"), std::string::npos) << target;
    EXPECT_EQ(body.find("<b>"), std::string::npos) << target;
  }
  EXPECT_TRUE(Logged("GET /search?q=a+dog+site%3Atalewick.org 200 results=1 "));
}

TEST_P(SearchServiceTest, RefusesOtherPathsMethodsAndMalformedQueries) {
  EXPECT_EQ(HttpGet(port_, "/").status, 404);
  EXPECT_EQ(HttpGet(port_, "/searchx?q=the").status, 404);
  EXPECT_EQ(HttpRequest(port_, "POST", "/search?q=the+cat+site%3Atalewick.org").status, 404);
  for (const std::string& bad : std::vector<std::string>{
           "/search?hl=en", "/search?q=the%2", "/search?q=%zzcat+site%3Atalewick.org",
           "/search?q=" + std::string(10000, 'a') + "+site%3Atalewick.org",
           "/search?q=the%00%FF%01cat",
           "/search?q=the\x01\xfe\x80"
           "cat"}) {
    EXPECT_EQ(HttpGet(port_, bad).status, 400) << bad;
  }
  EXPECT_TRUE(Logged("POST /search?q=the+cat+site%3Atalewick.org 404 results=- "));
  EXPECT_TRUE(Logged("GET /search?q=the%2 400 results=- "));
  // Still serving after all of that.
  EXPECT_NE(Body("/search?q=the+cat+site%3Atalewick.org").find("<b>The cat</b>"),
            std::string::npos);
}

TEST_P(SearchServiceTest, AStalledOrVanishedClientHoldsUpNoOne) {
  asio::io_context io;
  const asio::ip::tcp::endpoint service(asio::ip::address_v4::loopback(),
                                        static_cast<unsigned short>(port_));
  asio::ip::tcp::socket stalled(io);
  stalled.connect(service);
  asio::write(stalled, asio::buffer(std::string("GET /search?q=the+cat")));
  {
    asio::ip::tcp::socket vanished(io);
    vanished.connect(service);
    asio::write(vanished, asio::buffer(std::string("GET /search?q=the HTTP/1.1\r\nHost: a\r\n")));
  }
  // Served well within the stalled request's time-out.
  EXPECT_EQ(HttpRequest(port_, "GET", "/search?q=the+cat+site%3Atalewick.org", 3'000).status, 200);
  // The stalled client is dropped once its time is up.
  char byte = 0;
  boost::system::error_code ended;
  stalled.async_read_some(asio::buffer(&byte, 1), [&](const boost::system::error_code& error,
                                                      std::size_t) { ended = error; });
  io.run_for(std::chrono::seconds(20));
  EXPECT_TRUE(ended) << "the stalled connection is still open";
}

TEST(SearchServiceCommandTest, ShowsHelpAndVersionAndRefusesBadOptions) {
  const Finished help = RunToEnd({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* text : {"--corpus DIR", "--port N", "(default: 8080)", "--results N",
                           "(default: 100)", "--version"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text << " in\n" << help.out;
  }
  const Finished version = RunToEnd({"--port", "1", "--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.substr(0, version.out.find_first_of("\r\n")),
            "talewick-search " TALEWICK_VERSION);

  for (const auto& [arguments, named] :
       std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--colour", "red"}, "'--colour'"},
           {{"--port", "65536"}, "--port"},
           {{"--port"}, "--port"}}) {
    const Finished refused = RunToEnd(arguments);
    EXPECT_EQ(refused.status, 2) << named;
    EXPECT_NE(refused.err.find(named), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("try --help"), std::string::npos) << refused.err;
  }
}

// Without --corpus the service takes the corpus shipped beside it, then finds its
// port taken.
TEST_P(SearchServiceTest, ATakenPortIsReportedWithTheSystemsReason) {
  const Finished taken = RunToEnd({"--port", std::to_string(port_)});
  EXPECT_EQ(taken.status, 1);
  EXPECT_EQ(taken.out, "");
  const std::string expected =
      "talewick-search: cannot listen on 127.0.0.1:" + std::to_string(port_) + ": ";
  const size_t at = taken.err.find(expected);
  ASSERT_NE(at, std::string::npos) << taken.err;
  EXPECT_GT(taken.err.find_first_of("\r\n", at), at + expected.size()) << "no reason given";
}

// The index file: built at the first start, reused at the next, and a folder
// that cannot be written is an error. Only where the service keeps one.
TEST(SearchServiceIndexTest, StartsFromItsIndexAndStopsWhenItsFolderCannotBeWritten) {
  const std::string exe = TALEWICK_SEARCH_FILE_INDEX_EXE;
  if (exe.empty()) GTEST_SKIP() << "this build keeps its index in memory";
  const fs::path dir = WorkFolder() / "index";
  fs::remove_all(dir);
  fs::create_directories(dir / "corpus" / "s.org");
  std::ofstream(dir / "corpus" / "s.org" / "a.txt") << "The cat sat.";
  std::ofstream(dir / "in-the-way") << "a file where the index folder should be";
  const auto start = [&](const fs::path& index) {
    return std::make_unique<ChildProcess>(
        exe,
        std::vector<std::string>{"--corpus", (dir / "corpus").string(), "--port", "0", "--index",
                                 index.string()},
        (dir / "errors").string());
  };
  for (const char* added : {"1 files added", "0 files added"}) {
    const auto service = start(dir / "cache" / "index.sqlite");
    EXPECT_EQ(service->ReadLine(kProgramMs).value_or("").rfind("listening on ", 0), 0u);
    EXPECT_NE(ReadWholeFile(dir / "errors").find(added), std::string::npos)
        << ReadWholeFile(dir / "errors");
  }
  const auto refused = start(dir / "in-the-way" / "index.sqlite");
  EXPECT_EQ(refused->Wait(kProgramMs), 1);
  EXPECT_NE(ReadWholeFile(dir / "errors")
                .find("index: cannot write to the folder " + (dir / "in-the-way").string()),
            std::string::npos)
      << ReadWholeFile(dir / "errors");
}

}  // namespace
