// The launcher's rules as plain functions: its command line, the site folder it
// chooses in a --corpus, and the site the program is pointed at.
#include "launcher/launch_options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/utf8_system.h"

using namespace talewick;

namespace {

namespace fs = std::filesystem;

TEST(LaunchLine, OptionsComeInPairsAndHelpWinsOverEverything) {
  using Action = LaunchLine::Action;
  const struct {
    std::vector<std::string> arguments;
    Action action;
    std::string corpus, site, error;
  } cases[] = {
      {{"start"}, Action::kStart, "", "", ""},
      {{"start", "--corpus", "Bücher Łódź – Café", "--site", "a.org"},
       Action::kStart,
       "Bücher Łódź – Café",
       "a.org",
       ""},
      {{"start", "--colour", "red", "--help"}, Action::kHelp, "", "", ""},
      {{"start", "--corpus", "x", "--version"}, Action::kVersion, "", "", ""},
      {{"start", "--colour", "red"}, Action::kRefuse, "", "", "unknown option '--colour'"},
      {{"start", "--corpus"}, Action::kRefuse, "", "", "--corpus needs a folder"},
      {{"start", "--site", ""}, Action::kRefuse, "", "", "--site needs a site name"},
      {{"start", "shelf"}, Action::kRefuse, "", "", "unknown option 'shelf'"},
  };
  for (const auto& c : cases) {
    const LaunchLine line = ParseLaunchLine(c.arguments);
    EXPECT_EQ(line.action, c.action) << c.arguments.back();
    EXPECT_EQ(line.corpus, c.corpus) << c.arguments.back();
    EXPECT_EQ(line.site, c.site) << c.arguments.back();
    EXPECT_EQ(line.error, c.error) << c.arguments.back();
  }
}

class ChooseSiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / PathFromUtf8("launch Bücher Łódź – Café");
    fs::remove_all(root_);
    for (const char* site : {"one/Łódź.org", "two/B.org", "two/a.org", "none"}) {
      fs::create_directories(root_ / PathFromUtf8(site));
    }
    std::ofstream(root_ / PathFromUtf8("one/Łódź.org/tale.txt")) << "The cat sat.";
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string Folder(const std::string& name) const {
    return Utf8Of((root_ / PathFromUtf8(name)).make_preferred());
  }

  fs::path root_;
};

TEST_F(ChooseSiteTest, TheOnlySiteOrTheNamedOneElseWhatToDo) {
  const std::string one = Folder("one"), two = Folder("two"), none = Folder("none");
  const std::string sep = Utf8Of(fs::path("/").make_preferred());
  const struct {
    std::string corpus, wanted, site, problem;
  } cases[] = {
      {one, "", "Łódź.org", ""},
      {one + sep, "", "Łódź.org", ""},
      {two, "b.ORG", "B.org", ""},
      {two, "", "", two + " has 2 site folders: B.org, a.org; choose one with --site NAME."},
      {two, "c.org", "", two + " has no site folder c.org; its site folders: B.org, a.org."},
      {none, "", "",
       none + " has no site folder: the texts go in a sub-folder named after their site; make " +
           none + sep + "mysite.org" + sep + " and put your .txt files in it."},
      {none, "x.org", "",
       none + " has no site folder x.org; make " + none + sep + "x.org" + sep +
           " and put your .txt files in it."},
      {Folder("one/Łódź.org"), "", "",
       Folder("one/Łódź.org") +
           " holds texts, not site folders; did you mean talewick-start --corpus \"" + one +
           "\" --site Łódź.org?"},
  };
  for (const auto& c : cases) {
    const SiteChoice chosen = ChooseSite(c.corpus, c.wanted);
    EXPECT_EQ(chosen.site, c.site) << c.corpus << " " << c.wanted;
    EXPECT_EQ(chosen.problem, c.problem) << c.corpus << " " << c.wanted;
  }
  EXPECT_EQ(ChooseSite(one + sep, "").corpus, one);
  EXPECT_NE(ChooseSite(Folder("missing"), "").problem.find("cannot read " + Folder("missing")),
            std::string::npos);
}

TEST(SiteToSearch, CorpusThenSiteThenTheShippedOneForAServiceOfItsOwn) {
  const SiteChoice chosen{"/shelf", "one.org", ""};
  const LaunchLine corpus{LaunchLine::Action::kStart, "/shelf", "x.org", ""};
  const LaunchLine site{LaunchLine::Action::kStart, "", "x.org", ""};
  const LaunchLine plain{};
  EXPECT_EQ(SiteToSearch(corpus, chosen, true, "mine.org"), "one.org");
  EXPECT_EQ(SiteToSearch(site, {}, false, "mine.org"), "x.org");
  EXPECT_EQ(SiteToSearch(plain, {}, true, ""), "talewick.org");
  EXPECT_EQ(SiteToSearch(plain, {}, true, "mine.org"), "");
  EXPECT_EQ(SiteToSearch(plain, {}, false, ""), "");
}

}  // namespace
