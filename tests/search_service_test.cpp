// End-to-end test of talewick-search: starts the real program, with either index
// kind, on a free port against a small corpus written here, and asks it over HTTP.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The program started with `args`, its standard output read up to the first line
// and its standard error going to a file.
class Service {
 public:
  Service(const char* exe, const std::vector<std::string>& args, const fs::path& errors) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err, STDERR_FILENO);
      std::vector<char*> argv{const_cast<char*>(exe)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(exe, argv.data());
      _exit(127);
    }
    close(out[1]);
    // The program prints one line when it is ready; each read waits at most 10 s.
    char c = 0;
    pollfd ready{out[0], POLLIN, 0};
    while (line_.size() < 200 && poll(&ready, 1, 10'000) > 0 && read(out[0], &c, 1) == 1 &&
           c != '\n')
      line_ += c;
    close(out[0]);
    const std::string prefix = "listening on 127.0.0.1:";
    if (line_.rfind(prefix, 0) == 0) port_ = std::stoi(line_.substr(prefix.size()));
  }
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;
  ~Service() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int waited = 0;
    while (waitpid(pid_, nullptr, WNOHANG) == 0 && ++waited < 1000) usleep(10'000);
    if (waited == 1000) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // The exit status when the program ended without serving, else -1.
  int ExitStatus() {
    int status = 0;
    if (port_ != 0 || pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& line() const { return line_; }

  // The request target goes on the wire exactly as given.
  httplib::Client Client() const {
    httplib::Client client("127.0.0.1", port_);
    client.set_url_encode(false);
    client.set_read_timeout(10, 0);
    return client;
  }
  httplib::Result Get(const std::string& target) const { return Client().Get(target.c_str()); }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string line_;
};

int Status(const httplib::Result& result) { return result ? result->status : 0; }

std::string ReadText(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

class SearchServiceTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) /
           ("talewick_service_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "corpus" / "talewick.org");
    std::ofstream(dir_ / "corpus" / "talewick.org" / "cats.txt")
        << "The cat sat on the mat. A dog & a bird <watched>.\n"
           "Then the cat ran home, and the cat slept.\n";
    service_ = std::make_unique<Service>(
        GetParam(),
        std::vector<std::string>{"--corpus", (dir_ / "corpus").string(), "--port", "0", "--results",
                                 "5", "--index", (dir_ / "index.sqlite").string()},
        dir_ / "errors.txt");
    ASSERT_NE(service_->line().rfind("listening on ", 0), std::string::npos)
        << "startup line: " << service_->line() << "\n"
        << ReadText(dir_ / "errors.txt");
  }
  void TearDown() override {
    service_.reset();
    fs::remove_all(dir_);
  }

  std::string Body(const std::string& target) const {
    const auto result = service_->Get(target);
    EXPECT_EQ(Status(result), 200) << target;
    return result ? result->body : "";
  }

  fs::path dir_;
  std::unique_ptr<Service> service_;
};

INSTANTIATE_TEST_SUITE_P(Kinds, SearchServiceTest,
                         ::testing::Values(TALEWICK_SEARCH_EXE, TALEWICK_SEARCH_MEMORY_EXE),
                         [](const auto& info) {
                           return std::string(info.index == 0 ? "sqlite" : "memory");
                         });

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
}

TEST_P(SearchServiceTest, RefusesOtherPathsMethodsAndMalformedQueries) {
  EXPECT_EQ(Status(service_->Get("/")), 404);
  EXPECT_EQ(Status(service_->Get("/searchx?q=the")), 404);
  EXPECT_EQ(
      Status(service_->Client().Post("/search?q=the+cat+site%3Atalewick.org", "", "text/plain")),
      404);
  for (const std::string& bad : std::vector<std::string>{
           "/search?hl=en", "/search?q=the%2", "/search?q=%zzcat+site%3Atalewick.org",
           "/search?q=" + std::string(10000, 'a') + "+site%3Atalewick.org",
           "/search?q=the%00%FF%01cat",
           "/search?q=the\x01\xfe\x80"
           "cat"}) {
    EXPECT_EQ(Status(service_->Get(bad)), 400) << bad;
  }
  // Still serving after all of that.
  EXPECT_NE(Body("/search?q=the+cat+site%3Atalewick.org").find("<b>The cat</b>"),
            std::string::npos);
}

TEST(SearchServiceIndex, StartsFromItsIndexAndStopsWhenItsFolderCannotBeWritten) {
  const fs::path dir =
      fs::path(testing::TempDir()) / ("talewick_service_index_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "corpus" / "s.org");
  std::ofstream(dir / "corpus" / "s.org" / "a.txt") << "The cat sat.";
  std::ofstream(dir / "in-the-way") << "a file where the index folder should be";
  const auto Args = [&](const fs::path& index) {
    return std::vector<std::string>{
        "--corpus", (dir / "corpus").string(), "--port", "0", "--index", index.string()};
  };
  for (const char* added : {"1 files added", "0 files added"}) {
    Service service(TALEWICK_SEARCH_EXE, Args(dir / "cache" / "index.sqlite"), dir / "errors");
    EXPECT_EQ(service.line().rfind("listening on ", 0), 0u) << ReadText(dir / "errors");
    EXPECT_NE(ReadText(dir / "errors").find(added), std::string::npos) << ReadText(dir / "errors");
  }
  Service refused(TALEWICK_SEARCH_EXE, Args(dir / "in-the-way" / "index.sqlite"), dir / "errors");
  EXPECT_EQ(refused.ExitStatus(), 1);
  EXPECT_NE(ReadText(dir / "errors")
                .find("index: cannot write to the folder " + (dir / "in-the-way").string()),
            std::string::npos)
      << ReadText(dir / "errors");
  fs::remove_all(dir);
}

}  // namespace
