// Data files that are not plain files (POSIX only): a named pipe with no writer,
// a link to an endless device, a link left where the download's temporary file
// goes. Opening a pipe blocks until someone writes, and a device never reaches
// its end, so either would freeze the program; each must be refused like a file
// that cannot be opened. Every case runs in a child process with an alarm, so a
// hang fails the test instead of stopping it.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "analysis/result_analysis.h"
#include "query/input_words.h"
#include "query/page_download.h"
#include "support/fresh_story.h"

using namespace talewick;

namespace {

constexpr unsigned kAlarmSeconds = 10;

class OddFilesTest : public ServedStoryTest {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    RemoveOthers();
    ServedStoryTest::SetUp();
  }
  void TearDown() override {
    ServedStoryTest::TearDown();
    RemoveOthers();
  }
  // The download's temporary page, and the file a link there would lead to.
  static void RemoveOthers() {
    for (const char* name : {"googleblog.htm.part", "victim.txt"}) RemoveProgramFile(name);
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

TEST_F(OddFilesTest, AWordListThatIsAPipeOrADeviceIsReportedNotWaitedFor) {
  MakePipe("dictionary.txt");
  TextCopy(Story.InputText, "the cat");
  EXPECT_FINISHES(DisectInput(), Story.WordCount == 1 && Scripted().messageBoxes.size() == 2 &&
                                     GetControlText(kStatusBar) == "bad word");

  RemoveProgramFile("dictionary.txt");
  LinkToZeroDevice("dictionary.txt");
  EXPECT_FINISHES(DisectInput(), Story.WordCount == 1 && Scripted().messageBoxes.size() == 2);
}

TEST_F(OddFilesTest, AResultPageThatIsAPipeOrADeviceIsNotScanned) {
  TextCopy(Story.SearchWords, "the cat");
  MakePipe("googleblog.htm");
  EXPECT_FINISHES(SecondPartDLF(), Story.NextInput.view() == "and" && !Story.PageFile.open);

  RemoveProgramFile("googleblog.htm");
  LinkToZeroDevice("googleblog.htm");
  EXPECT_FINISHES(SecondPartDLF(), Story.NextInput.view() == "and");
}

// A story file that is a pipe would take lines until its buffer is full and then
// block the next append; a device would swallow them. Neither is a story file.
TEST_F(OddFilesTest, AStoryFileThatIsAPipeIsReportedAndNotWrittenTo) {
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
TEST_F(OddFilesTest, ALinkOrAPipeWhereTheTemporaryPageGoesIsNotFollowed) {
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

}  // namespace
