// The URL download against the local test server: what reaches the server, which
// answers count as failures, and that a failure never touches the earlier page.
#include "query/url_download.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "query/url_escape.h"
#include "support/local_http_server.h"
#include "support/program_files.h"

namespace {

const std::string kEarlierPage = "<html>earlier page\r\n<b>kept</b>\xE9\r\n";

// Any temporary download file ("page.htm.part", with or without a number) left in the folder.
bool TemporaryFileLeft() {
  for (const auto& entry : std::filesystem::directory_iterator(ProgramFolder())) {
    if (entry.path().filename().string().starts_with("page.htm.part")) return true;
  }
  return false;
}

TEST(UrlEscapeTest, EncodesWhatCannotStandInAUrlAndKeepsTheRest) {
  EXPECT_EQ(EscapeUrlForWire("http://h/search?hl=en&q=the cat+site%3Ab.com&meta="),
            "http://h/search?hl=en&q=the%20cat+site%3Ab.com&meta=");
  EXPECT_EQ(EscapeUrlForWire("/q=a#b\"c<d>e\\f^g`h{i|j}k"),
            "/q=a%23b%22c%3Cd%3Ee%5Cf%5Eg%60h%7Bi%7Cj%7Dk");
  EXPECT_EQ(EscapeUrlForWire(std::string("\t\r\n\x7F\xC3\xA9", 6)), "%09%0D%0A%7F%C3%A9");
  // A '%' that starts no %XX sequence is encoded itself; %XX stays as it is.
  EXPECT_EQ(EscapeUrlForWire("100%+%zz%4"), "100%25+%25zz%254");
  EXPECT_EQ(EscapeUrlForWire("%41%e9"), "%41%e9");
}

TEST(UrlEscapeTest, OnlyHttpAndHttpsCount) {
  EXPECT_TRUE(IsHttpUrl("http://127.0.0.1/"));
  EXPECT_TRUE(IsHttpUrl("HTTPS://example.org/"));
  EXPECT_FALSE(IsHttpUrl("file:///etc/passwd"));
  EXPECT_FALSE(IsHttpUrl("ftp://example.org/page"));
  EXPECT_FALSE(IsHttpUrl("http:/x"));
  EXPECT_FALSE(IsHttpUrl(""));
}

class UrlDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLimits_ = CurrentDownloadLimits();
    CurrentDownloadLimits().connectTimeoutMs = 2'000;
    CurrentDownloadLimits().totalTimeoutMs = 3'000;
    WriteProgramFile("page.htm", kEarlierPage);
  }
  void TearDown() override {
    CurrentDownloadLimits() = savedLimits_;
    RemoveProgramFile("page.htm");
  }

  int Fetch(const std::string& pathAndQuery) {
    return UrlDownloadToFile(server_.BaseUrl() + pathAndQuery, ProgramFolder() + "page.htm");
  }

  void ExpectFailedAndEarlierPageKept(int result) {
    EXPECT_NE(result, 0);
    EXPECT_EQ(ReadProgramFile("page.htm"), kEarlierPage);
    EXPECT_FALSE(TemporaryFileLeft());
  }

  LocalHttpServer server_;
  DownloadLimits savedLimits_;
};

TEST_F(UrlDownloadTest, ReplacesThePageWithTheBodyByteForByte) {
  const std::string body = std::string("<b>the cat</b> sat.\r\nline\n\0\xFF end", 31);
  server_.Serve("/page", PageResponse(body));
  EXPECT_EQ(Fetch("/page"), 0);
  EXPECT_EQ(ReadProgramFile("page.htm"), body);
  EXPECT_FALSE(TemporaryFileLeft());

  server_.Serve("/empty", PageResponse(""));
  EXPECT_EQ(Fetch("/empty"), 0);
  EXPECT_TRUE(ProgramFileExists("page.htm"));
  EXPECT_EQ(ReadProgramFile("page.htm"), "");
}

TEST_F(UrlDownloadTest, EveryCallAsksTheServerAfreshInsteadOfACache) {
  // The first answer invites any cache to keep it for an hour.
  CannedResponse cacheable = PageResponse("first answer");
  cacheable.headers = {{"Cache-Control", "public, max-age=3600"},
                       {"Expires", "Fri, 01 Jan 2100 00:00:00 GMT"},
                       {"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}};
  server_.Serve("/search", cacheable);
  ASSERT_EQ(Fetch("/search?q=the cat"), 0);
  server_.Serve("/search", PageResponse("second answer"));
  ASSERT_EQ(Fetch("/search?q=the cat"), 0);
  EXPECT_EQ(ReadProgramFile("page.htm"), "second answer");
  EXPECT_EQ(server_.RequestTargets().size(), 2u);
}

TEST_F(UrlDownloadTest, CreatesThePageWhenNoneExisted) {
  RemoveProgramFile("page.htm");
  server_.Serve("/page", PageResponse("fresh"));
  EXPECT_EQ(Fetch("/page"), 0);
  EXPECT_EQ(ReadProgramFile("page.htm"), "fresh");
}

TEST_F(UrlDownloadTest, AnErrorStatusWithABodyFails) {
  for (int status : {400, 401, 404, 407, 429, 500, 503}) {
    SCOPED_TRACE(status);
    server_.Serve("/error", PageResponse("<html>error page</html>", status));
    ExpectFailedAndEarlierPageKept(Fetch("/error"));
  }
}

TEST_F(UrlDownloadTest, TheWordsArriveAsTypedAndNothingAfterAHashIsLost) {
  server_.Serve("/search", PageResponse("ok"));
  ASSERT_EQ(Fetch("/search?hl=en&q=the cat #1 \"x\"+site%3Ablog.com&meta="), 0);
  const auto targets = server_.RequestTargets();
  ASSERT_EQ(targets.size(), 1u);
  EXPECT_EQ(targets[0], "/search?hl=en&q=the%20cat%20%231%20%22x%22+site%3Ablog.com&meta=");
}

TEST_F(UrlDownloadTest, AServerThatNeverAnswersTimesOut) {
  server_.Serve("/silent", FaultResponse(ServerFault::kNeverAnswer));
  ExpectFailedAndEarlierPageKept(Fetch("/silent"));
}

TEST_F(UrlDownloadTest, ABodyThatStallsAfterTheHeadersTimesOut) {
  server_.Serve("/stall", FaultResponse(ServerFault::kStallAfterHeaders, std::string(5000, 'x')));
  ExpectFailedAndEarlierPageKept(Fetch("/stall"));
}

TEST_F(UrlDownloadTest, AConnectionCutHalfWayFails) {
  server_.Serve("/cut", FaultResponse(ServerFault::kCutHalfWay, std::string(200'000, 'c')));
  ExpectFailedAndEarlierPageKept(Fetch("/cut"));
}

TEST_F(UrlDownloadTest, NothingListensOnThePort) {
  const int port = server_.Port();
  const std::string url = "http://127.0.0.1:" + std::to_string(port == 1 ? 2 : 1) + "/page";
  ExpectFailedAndEarlierPageKept(UrlDownloadToFile(url, ProgramFolder() + "page.htm"));
}

TEST_F(UrlDownloadTest, ABodyOverTheLimitIsRefusedWithAndWithoutContentLength) {
  const long long limit = CurrentDownloadLimits().maxBodyBytes;
  ASSERT_EQ(limit, 8LL * 1024 * 1024);
  const std::string atLimit(static_cast<size_t>(limit), 'a');
  const std::string overLimit(static_cast<size_t>(limit) + 1, 'o');

  server_.Serve("/big", PageResponse(overLimit));
  ExpectFailedAndEarlierPageKept(Fetch("/big"));
  server_.Serve("/big-chunked", FaultResponse(ServerFault::kNoContentLength, overLimit));
  ExpectFailedAndEarlierPageKept(Fetch("/big-chunked"));

  server_.Serve("/full-chunked", FaultResponse(ServerFault::kNoContentLength, atLimit));
  EXPECT_EQ(Fetch("/full-chunked"), 0);
  EXPECT_EQ(ReadProgramFile("page.htm").size(), atLimit.size());
}

TEST_F(UrlDownloadTest, FollowsAtMostFiveRedirects) {
  server_.Serve("/r0", PageResponse("arrived"));
  for (int i = 1; i <= 6; ++i) {
    server_.Redirect("/r" + std::to_string(i), "/r" + std::to_string(i - 1));
  }
  EXPECT_EQ(Fetch("/r5"), 0);
  EXPECT_EQ(ReadProgramFile("page.htm"), "arrived");

  WriteProgramFile("page.htm", kEarlierPage);
  ExpectFailedAndEarlierPageKept(Fetch("/r6"));
  server_.Redirect("/loop", "/loop");
  ExpectFailedAndEarlierPageKept(Fetch("/loop"));
  // A redirect that cannot be followed is not the page.
  server_.Serve("/nowhere", PageResponse("moved", 301));
  ExpectFailedAndEarlierPageKept(Fetch("/nowhere"));
}

TEST_F(UrlDownloadTest, OnlyHttpAndHttpsAreFetched) {
  WriteProgramFile("secret.txt", "not for the network");
  const std::string fileUrl = "file://" + ProgramFolder() + "secret.txt";
  server_.Redirect("/to-file", fileUrl);
  ExpectFailedAndEarlierPageKept(Fetch("/to-file"));
  server_.Redirect("/to-ftp", "ftp://127.0.0.1:" + std::to_string(server_.Port()) + "/page");
  ExpectFailedAndEarlierPageKept(Fetch("/to-ftp"));
  ExpectFailedAndEarlierPageKept(UrlDownloadToFile(fileUrl, ProgramFolder() + "page.htm"));
  RemoveProgramFile("secret.txt");
}

}  // namespace
