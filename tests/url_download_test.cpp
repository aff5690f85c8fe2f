// The URL download against the local test server: what reaches the server, which
// answers count as failures, and that a failure never touches the earlier page.
#include "query/url_download.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/local_http_server.h"
#include "support/program_files.h"

using namespace talewick;

namespace {

const std::string kEarlierPage = "<html>earlier page\r\n<b>kept</b>\xE9\r\n";

TEST(UrlEscapeTest, EncodesWhatCannotStandInAUrl) {
  EXPECT_EQ(EscapeUrlForWire("http://h/search?hl=en&q=the cat+site%3Ab.com&meta="),
            "http://h/search?hl=en&q=the%20cat+site%3Ab.com&meta=");
  EXPECT_EQ(EscapeUrlForWire("/q=a#b\"c<d>e\\f^g`h{i|j}k"),
            "/q=a%23b%22c%3Cd%3Ee%5Cf%5Eg%60h%7Bi%7Cj%7Dk");
  EXPECT_EQ(EscapeUrlForWire(std::string("\t\r\n\x7F\xC3\xA9", 6)), "%09%0D%0A%7F%C3%A9");
  // A '%' that starts no %XX sequence is encoded itself; %XX stays as it is.
  EXPECT_EQ(EscapeUrlForWire("100%+%zz%4"), "100%25+%25zz%254");
  EXPECT_EQ(EscapeUrlForWire("%41%e9"), "%41%e9");
}

class UrlDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLimits_ = CurrentDownloadLimits();
    CurrentDownloadLimits().connectTimeoutMs = 2'000;
    CurrentDownloadLimits().totalTimeoutMs = 3'000;
    WriteProgramFile("page.htm", kEarlierPage);
    server_.Serve("/silent", FaultResponse(ServerFault::kNeverAnswer));
    server_.Serve("/stall", FaultResponse(ServerFault::kStallAfterHeaders, std::string(5000, 'x')));
    // Redirects from /r6 down to the page /r0.
    server_.Serve("/r0", PageResponse("arrived"));
    for (int i = 1; i <= 6; ++i)
      server_.Redirect("/r" + std::to_string(i), "/r" + std::to_string(i - 1));
  }
  void TearDown() override {
    CurrentDownloadLimits() = savedLimits_;
    RemoveProgramFile("page.htm");
  }

  int Fetch(const std::string& pathAndQuery) {
    return UrlDownloadToFile(server_.BaseUrl() + pathAndQuery, ProgramFolder() + "page.htm");
  }

  LocalHttpServer server_;
  DownloadLimits savedLimits_;
};

TEST_F(UrlDownloadTest, ReplacesOrCreatesThePageWithTheBodyByteForByte) {
  const std::string body = std::string("<b>the cat</b> sat.\r\nline\n\0\xFF end", 31);
  server_.Serve("/page", PageResponse(body));
  EXPECT_EQ(Fetch("/page"), 0);
  EXPECT_EQ(ReadProgramFile("page.htm"), body);

  server_.Serve("/empty", PageResponse(""));
  EXPECT_EQ(Fetch("/empty"), 0);
  EXPECT_TRUE(ProgramFileExists("page.htm"));
  EXPECT_EQ(ReadProgramFile("page.htm"), "");

  // Five redirects are followed, to a page that did not exist before.
  RemoveProgramFile("page.htm");
  EXPECT_EQ(Fetch("/r5"), 0);
  EXPECT_EQ(ReadProgramFile("page.htm"), "arrived");

  // A body of exactly the limit, without Content-Length, is still a page.
  const std::string atLimit(static_cast<size_t>(CurrentDownloadLimits().maxBodyBytes), 'a');
  server_.Serve("/full-chunked", FaultResponse(ServerFault::kNoContentLength, atLimit));
  EXPECT_EQ(Fetch("/full-chunked"), 0);
  EXPECT_EQ(ReadProgramFile("page.htm").size(), atLimit.size());
}

TEST_F(UrlDownloadTest, TheWordsArriveAsTypedAndEveryCallAsksAfresh) {
  // The first answer invites any cache to keep it for an hour.
  CannedResponse cacheable = PageResponse("first answer");
  cacheable.headers = {{"Cache-Control", "public, max-age=3600"},
                       {"Expires", "Fri, 01 Jan 2100 00:00:00 GMT"},
                       {"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}};
  server_.Serve("/search", cacheable);
  const std::string query = "/search?hl=en&q=the cat #1 \"x\"+site%3Ablog.com&meta=";
  ASSERT_EQ(Fetch(query), 0);
  server_.Serve("/search", PageResponse("second answer"));
  ASSERT_EQ(Fetch(query), 0);
  EXPECT_EQ(ReadProgramFile("page.htm"), "second answer");
  const std::string wire = "/search?hl=en&q=the%20cat%20%231%20%22x%22+site%3Ablog.com&meta=";
  EXPECT_EQ(server_.RequestTargets(), (std::vector<std::string>{wire, wire}));
}

TEST_F(UrlDownloadTest, EveryFailureKeepsTheEarlierPageAndLeavesNoTemporaryFile) {
  const size_t limit = static_cast<size_t>(CurrentDownloadLimits().maxBodyBytes);
  ASSERT_EQ(limit, 8u * 1024 * 1024);
  const std::string overLimit(limit + 1, 'o');
  server_.Serve("/cut", FaultResponse(ServerFault::kCutHalfWay, std::string(200'000, 'c')));
  server_.Serve("/big", PageResponse(overLimit));
  server_.Serve("/big-chunked", FaultResponse(ServerFault::kNoContentLength, overLimit));
  server_.Redirect("/loop", "/loop");
  server_.Serve("/nowhere", PageResponse("moved", 301));  // a redirect without a target
  WriteProgramFile("secret.txt", "not for the network");
  const std::string fileUrl = "file://" + ProgramFolder() + "secret.txt";
  server_.Redirect("/to-file", fileUrl);
  server_.Redirect("/to-ftp", "ftp://127.0.0.1:" + std::to_string(server_.Port()) + "/page");

  const std::string deadPort = std::to_string(server_.Port() == 1 ? 2 : 1);
  std::vector<std::string> urls = {
      "/silent",      "/stall",  "/cut",  "/big",
      "/big-chunked", "/r6",     "/loop", "/nowhere",
      "/to-file",     "/to-ftp", fileUrl, "http://127.0.0.1:" + deadPort + "/page"};
  for (int status : {400, 401, 404, 407, 429, 500, 503}) {
    urls.push_back("/" + std::to_string(status));
    server_.Serve(urls.back(), PageResponse("<html>error</html>", status));
  }
  const std::string folder = ProgramFolder();
  for (const std::string& url : urls) {
    const bool local = url[0] == '/';
    EXPECT_NE(UrlDownloadToFile(local ? server_.BaseUrl() + url : url, folder + "page.htm"), 0)
        << url;
    EXPECT_EQ(ReadProgramFile("page.htm"), kEarlierPage) << url;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      EXPECT_FALSE(entry.path().filename().string().starts_with("page.htm.part")) << url;
    }
  }
  RemoveProgramFile("secret.txt");
}

// A server that goes quiet, before or after its headers, is given up once nothing
// has come for the stall time-out, long before the total one; a page that keeps
// coming, however slowly, is waited for.
TEST_F(UrlDownloadTest, AQuietServerIsGivenUpWhileASlowPageIsWaitedFor) {
  CurrentDownloadLimits().totalTimeoutMs = 30'000;
  CurrentDownloadLimits().stallTimeoutMs = 1'000;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_NE(Fetch("/silent"), 0);
  EXPECT_NE(Fetch("/stall"), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  const std::string slow(12 * 1024, 's');  // twelve pieces a quarter of a second apart
  server_.Serve("/slow", FaultResponse(ServerFault::kTrickle, slow));
  EXPECT_EQ(Fetch("/slow"), 0);
  EXPECT_EQ(ReadProgramFile("page.htm"), slow);
}

}  // namespace
