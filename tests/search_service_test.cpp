// End-to-end test of talewick-search: starts the real program on a free port
// against a small corpus written here, and asks it over HTTP.
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class SearchServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    corpus_ = fs::path(testing::TempDir()) / ("talewick_service_test_" + std::to_string(getpid()));
    fs::create_directories(corpus_ / "talewick.org");
    std::ofstream(corpus_ / "talewick.org" / "cats.txt")
        << "The cat sat on the mat. A dog & a bird <watched>.\n"
           "Then the cat ran home, and the cat slept.\n";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      const std::string dir = corpus_.string();
      execl(TALEWICK_SEARCH_EXE, TALEWICK_SEARCH_EXE, "--corpus", dir.c_str(), "--port", "0",
            "--results", "5", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    // The program prints one line when it is ready; each read waits at most 10 s.
    std::string line;
    char c = 0;
    pollfd ready{out[0], POLLIN, 0};
    while (line.size() < 200 && poll(&ready, 1, 10'000) > 0 && read(out[0], &c, 1) == 1 &&
           c != '\n')
      line += c;
    close(out[0]);
    const std::string prefix = "listening on 127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << "startup line: " << line;
    port_ = std::stoi(line.substr(prefix.size()));
  }

  static void TearDownTestSuite() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int waited = 0;
      while (waitpid(pid_, nullptr, WNOHANG) == 0 && ++waited < 1000) usleep(10'000);
      if (waited == 1000) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
    fs::remove_all(corpus_);
  }

  // The request target goes on the wire exactly as given.
  static httplib::Client Client() {
    httplib::Client client("127.0.0.1", port_);
    client.set_url_encode(false);
    client.set_read_timeout(10, 0);
    return client;
  }
  static int Status(const httplib::Result& result) { return result ? result->status : 0; }
  static std::string Body(const std::string& target) {
    const auto result = Client().Get(target.c_str());
    EXPECT_EQ(Status(result), 200) << target;
    return result ? result->body : "";
  }

  static inline fs::path corpus_;
  static inline pid_t pid_ = -1;
  static inline int port_ = 0;
};

TEST_F(SearchServiceTest, AnswersWithHighlightedSnippetsOrAnEmptyPage) {
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
}

TEST_F(SearchServiceTest, RefusesOtherPathsMethodsAndMalformedQueries) {
  EXPECT_EQ(Status(Client().Get("/")), 404);
  EXPECT_EQ(Status(Client().Get("/searchx?q=the")), 404);
  EXPECT_EQ(Status(Client().Post("/search?q=the+cat+site%3Atalewick.org", "", "text/plain")), 404);
  for (const std::string& bad : std::vector<std::string>{
           "/search?hl=en", "/search?q=the%2", "/search?q=%zzcat+site%3Atalewick.org",
           "/search?q=" + std::string(10000, 'a') + "+site%3Atalewick.org",
           "/search?q=the%00%FF%01cat",
           "/search?q=the\x01\xfe\x80"
           "cat"}) {
    EXPECT_EQ(Status(Client().Get(bad.c_str())), 400) << bad;
  }
  // Still serving after all of that.
  EXPECT_NE(Body("/search?q=the+cat+site%3Atalewick.org").find("<b>The cat</b>"),
            std::string::npos);
}

}  // namespace
