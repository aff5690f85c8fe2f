// Data files that are not plain files (POSIX only): a named pipe with no writer,
// a link to an endless device, a link left where the download's temporary file
// goes; and a program folder whose path is too long for the page's path. Opening
// a pipe blocks until someone writes, and a device never reaches its end, so
// either would freeze the program; each must be refused like a file that cannot
// be opened. Every case runs in a child process with an alarm, so a hang fails
// the test instead of stopping it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/result_analysis.h"
#include "app/scripted_window.h"
#include "app/startup.h"
#include "core/story_state.h"
#include "core/window_layer.h"
#include "query/input_words.h"
#include "query/page_download.h"
#include "support/local_http_server.h"
#include "support/program_files.h"
#include "text/os_file.h"
#include "text/text_file.h"

namespace {

constexpr unsigned kAlarmSeconds = 10;
// The data files, and the download's temporary page.
constexpr const char* kDataFiles[] = {"dictionary.txt", "googleblog.htm", "OutPutTextFile.txt",
                                      "googleblog.htm.part", "victim.txt"};

class SpecialFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const char* name : kDataFiles) RemoveProgramFile(name);
    ResetScriptedWindow();
    StartUp();
  }
  void TearDown() override {
    ShutDown();
    for (const char* name : kDataFiles) RemoveProgramFile(name);
  }
  static void MakePipe(const std::string& name) {
    ASSERT_EQ(::mkfifo((ProgramFolder() + name).c_str(), 0600), 0);
  }
  static void LinkToZeroDevice(const std::string& name) {
    ASSERT_EQ(::symlink("/dev/zero", (ProgramFolder() + name).c_str()), 0);
  }
  // The download's temporary page, and a page search to download.
  static std::string Temporary() { return ProgramFolder() + "googleblog.htm.part"; }
  void ServePage() {
    server_.Serve("/search", PageResponse(kPage));
    TextCopy(Story.SearchUrl, server_.BaseUrl() + "/search?q=the+cat");
    TextCopy(Story.DownloadTarget, Story.ResultPagePath);
  }

  static constexpr const char* kPage = "<b>the cat</b> sat on the mat.\r\n";
  LocalHttpServer server_;
};

// A child process: the statement must finish within the alarm, and then exit 0
// when `check` holds.
#define EXPECT_FINISHES(statement, check) \
  EXPECT_EXIT(                            \
      {                                   \
        ::alarm(kAlarmSeconds);           \
        statement;                        \
        ::_exit((check) ? 0 : 1);         \
      },                                  \
      ::testing::ExitedWithCode(0), "")

TEST_F(SpecialFilesTest, AWordListThatIsAPipeOrADeviceIsReportedNotWaitedFor) {
  MakePipe("dictionary.txt");
  TextCopy(Story.InputText, "the cat");
  EXPECT_FINISHES(DisectInput(), Story.WordCount == 1 && Scripted().messageBoxes.size() == 2 &&
                                     GetControlText(kStatusBar) == "bad word");

  RemoveProgramFile("dictionary.txt");
  LinkToZeroDevice("dictionary.txt");
  EXPECT_FINISHES(DisectInput(), Story.WordCount == 1 && Scripted().messageBoxes.size() == 2);
}

TEST_F(SpecialFilesTest, AResultPageThatIsAPipeOrADeviceIsNotScanned) {
  TextCopy(Story.SearchWords, "the cat");
  MakePipe("googleblog.htm");
  EXPECT_FINISHES(SecondPartDLF(), Story.NextInput.view() == "and" && !Story.PageFile.open);

  RemoveProgramFile("googleblog.htm");
  LinkToZeroDevice("googleblog.htm");
  EXPECT_FINISHES(SecondPartDLF(), Story.NextInput.view() == "and");
}

// A story file that is a pipe would take lines until its buffer is full and then
// block the next append; a device would swallow them. Neither is a story file.
TEST_F(SpecialFilesTest, AStoryFileThatIsAPipeIsReportedAndNotWrittenTo) {
  WriteProgramFile("googleblog.htm", "<b>the cat</b> sat on the mat.\r\n");
  MakePipe("OutPutTextFile.txt");
  TextCopy(Story.SearchWords, "the cat");
  EXPECT_FINISHES(
      for (int i = 0; i < 5000; ++i) {  // 80 kB: more than a pipe's buffer
        TextCopy(Story.SearchWords, "the cat");
        SecondPartDLF();
      },
      GetControlText(kStatusBar) == "error writing to file: OutPutTextFile.txt" &&
          Story.NextInput.view() == "sat on the mat");
}

// The download writes the page to "googleblog.htm.part" first. Whatever stands
// under that name is the program's own leftover: a link there must not lead the
// page into another file, and a pipe there must not block the download.
TEST_F(SpecialFilesTest, ALinkOrAPipeWhereTheTemporaryPageGoesIsNotFollowed) {
  ServePage();
  WriteProgramFile("victim.txt", "not a page\n");
  ASSERT_EQ(::symlink((ProgramFolder() + "victim.txt").c_str(), Temporary().c_str()), 0);
  DownLoadFile();
  EXPECT_EQ(ReadProgramFile("victim.txt"), "not a page\n") << "the page went through the link";
  EXPECT_EQ(ReadProgramFile("googleblog.htm"), kPage);
  EXPECT_EQ(Story.KeepRunning, 1);

  RemoveProgramFile("googleblog.htm");
  ASSERT_EQ(::mkfifo(Temporary().c_str(), 0600), 0);
  EXPECT_FINISHES(DownLoadFile(),
                  Story.KeepRunning == 1 && ReadProgramFile("googleblog.htm") == kPage);
}

// A program folder whose path, with "googleblog.htm", passes the 254 characters
// of a text: a cut path would name another file, even one outside the folder.
// The test runs a copy of itself from such a folder (InnerCycle, below) and
// then looks for files written anywhere but beside that copy. The page has no
// path then: every download fails, and the page is never read.
TEST(DeepFolderTest, APagePathThatDoesNotFitNamesNoOtherFile) {
  namespace fs = std::filesystem;
  const fs::path top = ProgramFolder() + "deep";
  fs::remove_all(top);
  const fs::path folder = top / std::string(120, 'd') / std::string(120, 'e');
  fs::create_directories(folder);
  const fs::path copy = folder / "device_files_test";
  fs::copy_file(OsExecutablePath(), copy);
  const std::string command = "TALEWICK_INNER_CYCLE=1 '" + copy.string() +
                              "' --gtest_filter=DeepFolderTest.InnerCycle --gtest_brief=1"
                              " >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << "the cycle in the deep folder failed";
  std::vector<std::string> written;
  for (const auto& entry : fs::recursive_directory_iterator(top)) {
    // Beside the copy is where its files belong; anywhere else is a stray.
    if (entry.is_regular_file() && entry.path().parent_path() != folder)
      written.push_back(entry.path().string());
  }
  EXPECT_EQ(written, std::vector<std::string>{}) << "a file was written under a cut path";
  fs::remove_all(top);
}

TEST(DeepFolderTest, InnerCycle) {
  if (std::getenv("TALEWICK_INNER_CYCLE") == nullptr) GTEST_SKIP() << "run by the test above";
  LocalHttpServer server;
  server.Serve("/search", PageResponse("<b>the cat</b> sat on the mat.\r\n"));
  ResetScriptedWindow();
  StartUp();
  ASSERT_GT(TextLength(TextJoin(StartFolder(), "googleblog.htm")), kTextCapacity);
  TextCopy(Story.SearchUrl, server.BaseUrl() + "/search?q=the+cat");
  TextCopy(Story.DownloadTarget, Story.ResultPagePath);
  TextCopy(Story.SearchWords, "the cat");
  DownLoadFile();
  EXPECT_EQ(Story.KeepRunning, 0) << "a page was stored under a cut path";
  EXPECT_EQ(GetControlText(kStatusBar), "error downloading");
  SecondPartDLF();
  EXPECT_EQ(Story.NextInput.view(), "and");
  ShutDown();
}

}  // namespace
