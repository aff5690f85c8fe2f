// End-to-end test of talewick-search: starts the real program on a free port
// against a small corpus written here, and talks raw HTTP to it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWaitMs = 10000;  // bound on every wait in this file

// True once `raw` holds a whole response with a Content-Length body.
bool WholeResponse(const std::string& raw) {
  const std::size_t end = raw.find("\r\n\r\n");
  if (end == std::string::npos) return false;
  const std::size_t length = raw.find("Content-Length: ");
  if (length == std::string::npos || length > end) return false;
  return raw.size() - end - 4 >= std::stoul(raw.substr(length + 16));
}

// Reads from `fd` until `done` holds for what was read, the peer closes, or the
// bounded wait runs out.
template <typename Done>
void ReadUntil(int fd, std::string* out, Done done) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
  char buffer[4096];
  while (!done(*out)) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd pfd{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return;
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return;
    out->append(buffer, static_cast<std::size_t>(n));
  }
}

struct HttpReply {
  int status = 0;  // 0 when no answer came
  std::string body;
};

// Sends `request` as it is and returns the status and body of the answer.
HttpReply SendRaw(int port, const std::string& request) {
  HttpReply reply;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return reply;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string raw;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size())) {
    ReadUntil(fd, &raw, WholeResponse);
  }
  close(fd);
  if (raw.rfind("HTTP/1.1 ", 0) == 0) reply.status = std::atoi(raw.c_str() + 9);
  const std::size_t body = raw.find("\r\n\r\n");
  if (body != std::string::npos) reply.body = raw.substr(body + 4);
  return reply;
}

HttpReply Get(int port, const std::string& target) {
  return SendRaw(port,
                 "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

class SearchServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    corpus_ = fs::path(testing::TempDir()) / ("talewick_service_test_" + std::to_string(getpid()));
    fs::create_directories(corpus_ / "talewick.org");
    std::ofstream(corpus_ / "talewick.org" / "cats.txt")
        << "The cat sat on the mat. A dog & a bird <watched>.\n"
           "Then the cat ran home, and the cat slept.\n";

    int out_pipe[2];
    ASSERT_EQ(pipe(out_pipe), 0);
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      dup2(out_pipe[1], STDOUT_FILENO);
      close(out_pipe[0]);
      close(out_pipe[1]);
      const std::string dir = corpus_.string();
      execl(TALEWICK_SEARCH_EXE, TALEWICK_SEARCH_EXE, "--corpus", dir.c_str(), "--port", "0",
            "--results", "5", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out_pipe[1]);
    // The program prints one line when it is ready and keeps its stdout open.
    std::string line;
    ReadUntil(out_pipe[0], &line,
              [](const std::string& text) { return text.find('\n') != std::string::npos; });
    close(out_pipe[0]);
    const std::string prefix = "listening on 127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << "startup line: " << line;
    port_ = std::atoi(line.c_str() + prefix.size());
    ASSERT_GT(port_, 0);
  }

  static void TearDownTestSuite() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      const auto deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
      while (waitpid(pid_, nullptr, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
          kill(pid_, SIGKILL);
          waitpid(pid_, nullptr, 0);
          break;
        }
        usleep(10000);
      }
    }
    fs::remove_all(corpus_);
  }

  static inline fs::path corpus_;
  static inline pid_t pid_ = -1;
  static inline int port_ = 0;
};

TEST_F(SearchServiceTest, AnswersTheProgramsQueryWithHighlightedSnippets) {
  for (const char* q : {"the%20cat+site%3Atalewick.org", "The+Cat+site:talewick.org"}) {
    const HttpReply reply =
        Get(port_, std::string("/search?hl=en&q=") + q + "&btnG=Google+Search&meta=");
    ASSERT_EQ(reply.status, 200) << q;
    EXPECT_NE(reply.body.find("<b>The cat</b> sat on the mat.\n"), std::string::npos) << reply.body;
    EXPECT_NE(reply.body.find("Then <b>the cat</b> ran home, and <b>the cat</b> slept.\n"),
              std::string::npos)
        << reply.body;
  }
  const HttpReply escaped = Get(port_, "/search?q=a+dog+site%3Atalewick.org");
  EXPECT_NE(escaped.body.find("<b>A dog</b> &amp; a bird &lt;watched&gt;.\n"), std::string::npos)
      << escaped.body;
}

TEST_F(SearchServiceTest, UnknownSiteOrNoSiteGivesAnEmptyPage) {
  for (const char* target : {"/search?q=the+cat+site%3Aelsewhere.org", "/search?q=the+cat",
                             "/search?q=the+unicorn+site%3Atalewick.org"}) {
    const HttpReply reply = Get(port_, target);
    EXPECT_EQ(reply.status, 200) << target;
    EXPECT_NE(reply.body.find("No results"), std::string::npos) << target;
    EXPECT_EQ(reply.body.find("<b>"), std::string::npos) << target;
  }
}

TEST_F(SearchServiceTest, RefusesOtherPathsMethodsAndMalformedQueries) {
  EXPECT_EQ(Get(port_, "/").status, 404);
  EXPECT_EQ(Get(port_, "/searchx?q=the").status, 404);
  EXPECT_EQ(SendRaw(port_,
                    "POST /search?q=the+cat+site%3Atalewick.org HTTP/1.1\r\nHost: x\r\n"
                    "Content-Length: 0\r\nConnection: close\r\n\r\n")
                .status,
            404);

  EXPECT_EQ(Get(port_, "/search?hl=en").status, 400);
  EXPECT_EQ(Get(port_, "/search?q=the%2").status, 400);
  EXPECT_EQ(Get(port_, "/search?q=%zzcat+site%3Atalewick.org").status, 400);
  EXPECT_EQ(Get(port_, "/search?q=" + std::string(10000, 'a') + "+site%3Atalewick.org").status,
            400);
  EXPECT_EQ(Get(port_, "/search?q=the%00%FF%01cat").status, 400);
  EXPECT_EQ(Get(port_, std::string("/search?q=the\x01\xfe\x80"
                                   "cat"))
                .status,
            400);

  // Still serving after all of that.
  const HttpReply after = Get(port_, "/search?q=the+cat+site%3Atalewick.org");
  EXPECT_EQ(after.status, 200);
  EXPECT_NE(after.body.find("<b>The cat</b>"), std::string::npos);
}

}  // namespace
