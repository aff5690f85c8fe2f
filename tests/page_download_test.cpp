// DownLoadFile against the local server: the log lines and status texts of each
// outcome, KeepRunning, and that a failure leaves the earlier page as it was.
#include "query/page_download.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/scripted_window.h"
#include "app/startup.h"
#include "core/debug_log.h"
#include "core/story_state.h"
#include "core/window_layer.h"
#include "query/url_download.h"
#include "support/local_http_server.h"
#include "support/program_files.h"

namespace {

const std::string kEarlierPage = "<b>the cat</b> sat on the mat.\r\nearlier page\r\n";

// Each DebugLog message with the status text that stood when it was written.
std::vector<std::pair<std::string, std::string>>& Journal() {
  static std::vector<std::pair<std::string, std::string>> journal;
  return journal;
}

void Record(const std::string& line) {
  const size_t end = line.find("] ");
  Journal().emplace_back(line.substr(end + 2), GetControlText(kStatusBar));
}

class PageDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLimits_ = CurrentDownloadLimits();
    CurrentDownloadLimits().connectTimeoutMs = 2'000;
    CurrentDownloadLimits().totalTimeoutMs = 2'000;
    ResetScriptedWindow();
    StartUp();
    TextCopy(Story.DownloadTarget, Story.ResultPagePath);
    WriteProgramFile("googleblog.htm", kEarlierPage);
    Journal().clear();
    SetDebugLogObserver(Record);
  }
  void TearDown() override {
    SetDebugLogObserver(nullptr);
    ShutDown();
    CurrentDownloadLimits() = savedLimits_;
    RemoveProgramFile("googleblog.htm");
  }

  // Runs the stage on `path` of the server, with KeepRunning as a cycle leaves it.
  void DownloadFrom(const std::string& path, uint8_t keepRunning = 1) {
    TextCopy(Story.SearchUrl, server_.BaseUrl() + path);
    Story.KeepRunning = keepRunning;
    SetControlText(kStatusBar, "ready");
    Journal().clear();
    DownLoadFile();
  }

  static std::string Status() { return GetControlText(kStatusBar); }

  LocalHttpServer server_;
  DownloadLimits savedLimits_;
};

TEST_F(PageDownloadTest, ASuccessfulDownloadReplacesThePageAndKeepsTheStoryRunning) {
  const std::string page = "<b>the cat</b> sat on the hat.\r\nnew page\r\n";
  server_.Serve("/search", PageResponse(page));
  server_.Serve("/empty", PageResponse(""));
  for (const auto& [path, body] : {std::pair{"/search?q=the cat", page}, {"/empty", ""}}) {
    DownloadFrom(path, 0);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"DownLoadFile", "ready"},
        {"download sofar OK...", "Downloading file..."},
        {"all OK", "download sofar OK..."}};
    EXPECT_EQ(Journal(), expected);
    EXPECT_EQ(Status(), "download sofar OK...all OK");
    EXPECT_EQ(Story.KeepRunning, 1);
    EXPECT_FALSE(Story.ProbeFile.open);
    EXPECT_TRUE(ProgramFileExists("googleblog.htm"));
    EXPECT_EQ(ReadProgramFile("googleblog.htm"), body);
    // The stage hands the service copies; the fields stay as they were.
    EXPECT_EQ(Story.SearchUrl.view(), server_.BaseUrl() + path);
    EXPECT_EQ(Story.DownloadTarget.view(), Story.ResultPagePath.view());
  }
}

// Which faults count is the URL download's business; here one of each kind
// (status, time-out, cut body, refused redirect) must end the story.
TEST_F(PageDownloadTest, EveryFailedDownloadStopsTheStoryAndKeepsTheEarlierPage) {
  server_.Serve("/down", PageResponse("<html>try later</html>", 503));
  server_.Serve("/silent", FaultResponse(ServerFault::kNeverAnswer));
  server_.Serve("/cut", FaultResponse(ServerFault::kCutHalfWay, std::string(100'000, 'c')));
  server_.Redirect("/to-file", "file:///etc/hostname");

  for (const char* path : {"/down", "/silent", "/cut", "/to-file"}) {
    SCOPED_TRACE(path);
    DownloadFrom(path);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"DownLoadFile", "ready"}, {"error downloading", "Downloading file..."}};
    EXPECT_EQ(Journal(), expected);
    EXPECT_EQ(Status(), "error downloading");
    EXPECT_EQ(Story.KeepRunning, 0);
    EXPECT_EQ(ReadProgramFile("googleblog.htm"), kEarlierPage);
  }
  // With no earlier page, a failure leaves none.
  RemoveProgramFile("googleblog.htm");
  DownloadFrom("/down");
  EXPECT_EQ(Story.KeepRunning, 0);
  EXPECT_FALSE(ProgramFileExists("googleblog.htm"));
}

}  // namespace
