// End-to-end test of talewick-search: starts the real program on a free port
// against a small corpus written here and asks it over HTTP (in the Windows build
// talewick-search.exe under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "launcher/process.h"
#include "support/program_files.h"
#include "support/test_environment.h"

using namespace talewick;

namespace {

namespace fs = std::filesystem;
namespace asio = boost::asio;
using namespace std::chrono_literals;
using namespace std::string_literals;
using Strings = std::vector<std::string>;

// Generous: a program under Wine can take seconds to start.
constexpr auto kProgramTime = 30s;

constexpr const char* kService = TALEWICK_SEARCH_EXE;

// A folder per test: under Wine a service just stopped may hold its log open a
// moment longer, so no test clears a folder that another one used.
fs::path WorkFolder() {
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::replace(name.begin(), name.end(), '/', '_');
  return fs::path(ProgramFolder()) / "service_test" / name;
}

// A path as the service's command line takes it, in UTF-8 on every system.
std::string Utf8Path(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Standard output comes back for ReadLine, standard error goes to `errors`. The
// service's cache folder is one of the tests', which it tidies at each start.
bool Start(Child& program, Strings arguments, const fs::path& errors) {
  const std::string cache = (fs::path(ProgramFolder()) / "service_test" / "cache").string();
  SetChildEnvironment("XDG_CACHE_HOME", cache);
  SetChildEnvironment("LOCALAPPDATA", cache);
  arguments.insert(arguments.begin(), kService);
  std::string why;
  const bool started =
      program.Start({.command = arguments, .logPath = errors.string(), .readOutput = true}, why);
  EXPECT_TRUE(started) << kService << ": " << why;
  return started;
}

// The port a service started with "--port 0" listens on, or 0 when it did not
// say.
int ListeningPort(Child& service, const fs::path& log) {
  const std::string prefix = "listening on 127.0.0.1:";
  std::string line;
  EXPECT_EQ(service.ReadLine(kProgramTime, line), Child::Line::kRead) << ReadWholeFile(log);
  if (!line.starts_with(prefix)) return 0;
  return std::stoi(line.substr(prefix.size()));
}

int StartService(Child& service, const Strings& arguments, const fs::path& log) {
  return Start(service, arguments, log) ? ListeningPort(service, log) : 0;
}

struct Finished {
  std::optional<int> status;
  std::string out;
  std::string err;
};

// Runs the service with options that end it at once.
Finished RunToEnd(const Strings& arguments) {
  fs::create_directories(WorkFolder());
  const fs::path errors = WorkFolder() / "stderr.txt";
  Child program;
  Finished finished;
  if (!Start(program, arguments, errors)) return finished;
  for (std::string line; program.ReadLine(kProgramTime, line) == Child::Line::kRead;) {
    finished.out += line + "\n";
  }
  finished.status = program.Wait(kProgramTime);
  finished.err = ReadWholeFile(errors);
  return finished;
}

// One request on a connection of its own, the method and target sent exactly as
// given (malformed ones too): the status (0 when no answer came) and the whole
// answer, head and body.
std::pair<int, std::string> Request(int port, const std::string& target,
                                    const std::string& method = "GET",
                                    std::chrono::seconds timeout = 10s) {
  asio::ip::tcp::iostream server;
  server.expires_after(timeout);
  server.connect("127.0.0.1", std::to_string(port));
  server << method << " " << target << " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"
         << std::flush;
  std::string version;
  int status = 0;
  server >> version >> status;
  std::ostringstream answer;
  answer << server.rdbuf();
  return {status, answer.str()};
}

// One service for each test.
class SearchServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path corpus = WorkFolder() / "corpus";
    fs::remove_all(WorkFolder());
    fs::create_directories(corpus / "talewick.org");
    std::ofstream(corpus / "talewick.org" / "cats&dogs.txt")
        << "The cat sat on the mat & a \"bird\" <watched>.\n"
           "Then the cat ran home, and the cat slept. A caf\xc3\xa9 au lait in "
           "\xc5\x81\xc3\xb3\x64\xc5\xba.\n";
    // More matches than a page holds, so that the page is drawn from all of them.
    std::ofstream tales(corpus / "talewick.org" / "tales.txt");
    for (int i = 0; i < 400; ++i) tales << "Once upon a time " << i << " owls flew. ";
    tales.close();  // whole before the service lists it
    // Names that the ANSI code page of a Windows machine cannot spell.
    fs::create_directories(corpus / u8"sit\u00e9.org");
    std::ofstream(corpus / u8"sit\u00e9.org" / u8"\u03b3\u03ac\u03c4\u03b1.txt")
        << "The cat purred.";
    // The index file's folder does not exist yet.
    port_ = StartService(service_,
                         {"--corpus", corpus.string(), "--port", "0", "--results", "5", "--index",
                          (WorkFolder() / "cache" / "index.sqlite").string()},
                         Log());
    ASSERT_NE(port_, 0) << ReadWholeFile(Log());
  }

  static fs::path Log() { return WorkFolder() / "service.log"; }

  Child service_;
  int port_ = 0;
};

// The program's request and the same words spelt otherwise (in Windows-1252, as
// the Windows program sends them, and its page comes back in) are answered,
// with the text escaped and only the results highlighted; an empty page has no
// site or no match; other paths, methods and malformed queries are refused, and
// the service goes on serving. Clients at once, asking the same over and over,
// get the answers one client got.
TEST_F(SearchServiceTest, AnswersSearchesAndRefusesAllElseToOneClientOrMany) {
  const std::string program =
      "/search?hl=en&q=the%20cat+site%3Atalewick.org&btnG=Google+Search&meta=";
  const std::string longest = "/search?q=" + std::string(2046, 'a');  // 2048 bytes served
  const std::vector<std::tuple<std::string, std::string, int, std::string>> table{
      {"GET", program, 200, "<b>The cat</b> sat on the mat &amp; a \"bird\" &lt;watched&gt;.\n"},
      {"GET", program, 200, "Results 1 - 2 for the cat site:talewick.org<"},
      {"GET", program, 200, ">cats&amp;dogs<"},
      {"GET", "/search?q=+The+Cat++site:a.org+site:Talewick.ORG/&q=x", 200,
       "Then <b>the cat</b> ran home, and <b>the cat</b> slept.\n"},
      // Asked in Windows-1252, answered in it: what it cannot hold as references.
      {"GET", "/search?q=caf%E9%20au%20lait+site%3Atalewick.org", 200,
       "A <b>caf\xe9 au lait</b> in &#321;\xf3\x64&#378;."},
      {"GET", "/search?q=caf%E9%20au%20lait+site%3Atalewick.org", 200,
       "Content-Type: text/html; charset=windows-1252"},
      {"GET", "/search?q=caf%C3%A9+au+lait+site%3Atalewick.org", 200,
       "A <b>caf\xc3\xa9 au lait</b> in \xc5\x81\xc3\xb3\x64\xc5\xba."},
      {"GET", "/search?q=the+cat+site%3Asit%C3%A9.org", 200,
       ">\xce\xb3\xce\xac\xcf\x84\xce\xb1</h3>\n<div class=\"s\"><b>The cat</b> purred."},
      {"GET", "/search?q=once+upon+a+time+site%3Atalewick.org", 200, "Results 1 - 5 for "},
      {"GET", "/search?q=the+cat", 200, "No results"},
      {"GET", "/search?q=the+unicorn+site%3Atalewick.org", 200, "No results"},
      {"GET", "/search?q=%22x%22+%3Cy%3E&hl=", 200, "value=\"&quot;x&quot; &lt;y&gt;\""},
      {"GET", longest, 200, "No results"},
      {"GET", "/health?from=balancer", 200, "\r\n\r\nready\n"},
      {"GET", "/", 404, "<h1>404 Not Found"},
      {"GET", "/searchx?q=the", 404, "<h1>404 Not Found"},
      {"POST", "/search?q=the+cat+site%3Atalewick.org", 404, "<h1>404 Not Found"},
      {"GET", "/search?hl=en", 400, "<h1>400 Bad Request"},
      {"GET", "/search?q=the%2", 400, "<h1>400 Bad Request"},
      {"GET", "/search?hl=%zz&q=the", 400, "<h1>400 Bad Request"},
      {"GET", longest + "a", 400, "<h1>400 Bad Request"},
      {"GET", "/search?q=the\x01\xfe\x80-cat", 400, "<h1>400 Bad Request"}};
  Strings alone;
  for (const auto& [method, target, status, text] : table) {
    const auto [got, answer] = Request(port_, target, method);
    EXPECT_EQ(got, status) << method << " " << target;
    EXPECT_NE(answer.find(text), std::string::npos) << method << " " << target << ":\n" << answer;
    alone.push_back(answer);
  }
  // One at a time, each request is logged before the next is answered; the log
  // has whole lines, with no progress drawn in place.
  const std::string log = ReadWholeFile(Log());
  for (std::size_t cr = log.find('\r'); cr != std::string::npos; cr = log.find('\r', cr + 1)) {
    EXPECT_EQ(log[cr + 1], '\n') << log;
  }
  for (const std::string& line : {"GET " + program + " 200 results=2 ",
                                  "POST /search?q=the+cat+site%3Atalewick.org 404 results=- "s,
                                  "GET /search?q=the%2 400 results=- "s}) {
    EXPECT_NE(log.find("\n" + line), std::string::npos) << line << " in\n" << log;
  }
  EXPECT_EQ(log.find("/health"), std::string::npos) << "a balancer's checks fill the log";
  std::vector<std::jthread> clients;
  for (int client = 0; client < 8; ++client) {
    clients.emplace_back([&] {
      for (std::size_t i = 0; i < 4 * table.size(); ++i) {
        const auto& [method, target, status, text] = table[i % table.size()];
        EXPECT_EQ(Request(port_, target, method).second, alone[i % table.size()]) << target;
      }
    });
  }
}

// And a flood of idle connections is refused at once beyond the service's cap
// (128), while those it holds are answered.
TEST_F(SearchServiceTest, AStalledVanishedOrFloodingClientHoldsUpNoOne) {
  const std::string port = std::to_string(port_);
  asio::ip::tcp::iostream stalled("127.0.0.1", port);
  stalled << "GET /search?q=the+cat" << std::flush;
  {
    asio::ip::tcp::iostream vanished("127.0.0.1", port);
    vanished << "GET /search?q=the HTTP/1.1\r\nHost: a\r\n" << std::flush;
  }
  // Served well within the stalled request's time-out.
  EXPECT_EQ(Request(port_, "/search?q=the+cat+site%3Atalewick.org", "GET", 3s).first, 200);
  // The stalled client is dropped once its time is up, with no answer.
  stalled.expires_after(20s);
  EXPECT_EQ(stalled.get(), EOF);
  EXPECT_NE(stalled.error(), asio::error::timed_out) << "the stalled connection is still open";

  // A connection just closed may still count for a moment, until its session has
  // ended on the service's side: the flood is tried again then. A count that never
  // comes down fails every try.
  int refusedStatus = 0;
  int heldStatus = 0;
  for (int attempt = 0; attempt < 4 && (refusedStatus != 503 || heldStatus != 200); ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(500ms);
    std::vector<asio::ip::tcp::iostream> flood(128);
    for (asio::ip::tcp::iostream& idle : flood) idle.connect("127.0.0.1", port);
    // Refused before it has asked anything.
    asio::ip::tcp::iostream refused("127.0.0.1", port);
    refused.expires_after(3s);
    std::string version;
    refusedStatus = heldStatus = 0;
    refused >> version >> refusedStatus;
    flood.back().expires_after(10s);
    flood.back() << "GET /search?q=the+cat+site%3Atalewick.org HTTP/1.0\r\n\r\n" << std::flush;
    flood.back() >> version >> heldStatus;
  }
  EXPECT_EQ(refusedStatus, 503);
  EXPECT_EQ(heldStatus, 200);
  int answered = 0;
  for (int i = 0; i < 50 && answered != 200; ++i) {
    std::this_thread::sleep_for(100ms);
    answered = Request(port_, "/search?q=the+cat+site%3Atalewick.org", "GET", 3s).first;
  }
  EXPECT_EQ(answered, 200);
}

// Two services started at once on one index share it (the first tells a balancer
// it is not ready while it builds it), and a page of it found damaged while
// answering is not served, but the index is built anew.
TEST(SearchServiceIndexFileTest, TwoServicesShareAnIndexAndADamagedOneIsBuiltAnew) {
  const fs::path corpus = WorkFolder() / "corpus";
  fs::remove_all(WorkFolder());
  fs::create_directories(corpus / "s.org");
  // About 4 MB, so that the first is still building it when the second starts.
  for (int file = 0; file < 40; ++file) {
    std::ofstream out(corpus / "s.org" / ("f" + std::to_string(file) + ".txt"));
    for (int i = 0; i < 1500; ++i) out << "The cat " << file << " saw dog " << i << " at dawn. ";
  }
  std::ofstream(corpus / "s.org" / "z.txt") << "Then the unicorn slept.";
  const fs::path index = WorkFolder() / "index.sqlite";
  const Strings arguments{"--corpus", corpus.string(), "--port", "0", "--index", index.string()};
  const std::string query = "/search?q=the+unicorn+site%3As.org";
  const std::string answer = "Then <b>the unicorn</b> slept.";
  {
    Child first, second;
    asio::io_context io;
    const int firstPort =
        asio::ip::tcp::acceptor(io, {asio::ip::address_v4::loopback(), 0}).local_endpoint().port();
    Strings firstArguments = arguments;
    firstArguments[3] = std::to_string(firstPort);
    ASSERT_TRUE(Start(first, firstArguments, WorkFolder() / "first.log"));
    std::pair<int, std::string> health;
    for (auto end = std::chrono::steady_clock::now() + kProgramTime;
         health.first == 0 && std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(20ms)) {
      health = Request(firstPort, "/health");
    }
    EXPECT_EQ(health.first, 503);
    EXPECT_TRUE(health.second.ends_with("\r\n\r\nbuilding the index\n")) << health.second;
    ASSERT_TRUE(Start(second, arguments, WorkFolder() / "second.log"));
    for (const int port : {ListeningPort(first, WorkFolder() / "first.log"),
                           ListeningPort(second, WorkFolder() / "second.log")}) {
      const auto [status, page] = Request(port, query);
      EXPECT_EQ(status, 200);
      EXPECT_NE(page.find(answer), std::string::npos) << page;
    }
    for (const char* log : {"first.log", "second.log"}) {
      EXPECT_EQ(ReadWholeFile(WorkFolder() / log).find("anew"), std::string::npos)
          << ReadWholeFile(WorkFolder() / log);
    }
  }
  // The word's entry in the index file, damaged where it lies.
  std::string bytes = ReadWholeFile(index);
  const std::size_t at = bytes.rfind("unicorn");
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 7, "narwhal");
  std::ofstream(index, std::ios::binary) << bytes;
  Child service;
  const int port = StartService(service, arguments, WorkFolder() / "damaged.log");
  const auto [status, page] = Request(port, query);
  EXPECT_EQ(status, 200);
  EXPECT_NE(page.find(answer), std::string::npos) << page;
  EXPECT_NE(ReadWholeFile(WorkFolder() / "damaged.log")
                .find(" is not a sound talewick-search index (damaged pages found while "
                      "answering); building it anew"),
            std::string::npos)
      << ReadWholeFile(WorkFolder() / "damaged.log");
}

// A shelf as users make them. Files that are not UTF-8 text are skipped with a
// line each, and the counts add up; the texts of one site given as the shelf are
// refused with what was meant.
TEST(SearchServiceShelfTest, SaysWhatIsWrongWithIt) {
  const fs::path shelf = WorkFolder() / "shelf";
  const fs::path site = shelf / "s.org";
  fs::remove_all(WorkFolder());
  fs::create_directories(site);
  for (int i = 0; i < 5; ++i) std::ofstream(site / (std::to_string(i) + ".txt")) << "The cat sat.";
  // Each file that is not text, and the log's words for it.
  const std::vector<std::pair<std::string, std::string>> skipped{
      {"MZ\x90\0\3\0The cat ran off. Usage: the cat [options]"s,
       "program.txt is not text (it holds NUL bytes); skipped"},
      {"The cat \xea\xee\xf2 \xf1\xe8\xe4\xe5\xeb \xed\xe0 \xea\xee\xe2\xf0\xe8\xea\xe5.",
       "cp1251.txt is not text (most of its bytes are not UTF-8 text); skipped"},
      {"\xff\xfeT\0h\0e\0 \0c\0a\0t\0"s,
       "utf16.txt is not text (it is UTF-16; save it as UTF-8); skipped"},
      {"", "corpus: 8 files (5 indexed, 3 skipped), "},
      {"", "): 5 files added, 0 changed, 0 removed"}};
  for (const auto& [bytes, line] : skipped) {
    if (!bytes.empty())
      std::ofstream(site / line.substr(0, line.find(' ')), std::ios::binary) << bytes;
  }
  Child service;
  const int port = StartService(
      service,
      {"--corpus", shelf.string(), "--port", "0", "--index", (WorkFolder() / "i").string()},
      WorkFolder() / "log");
  const std::string log = ReadWholeFile(WorkFolder() / "log");
  for (const auto& [bytes, line] : skipped) EXPECT_NE(log.find(line), std::string::npos) << log;
  const std::string page = Request(port, "/search?q=the+cat+site%3As.org").second;
  EXPECT_TRUE(page.find("ran off") == std::string::npos && page.find("sat") != std::string::npos);

  const Finished refused =
      RunToEnd({"--corpus", site.string(), "--index", (WorkFolder() / "j").string()});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("s.org holds texts, not site folders; did you mean --corpus " +
                             shelf.string() + ", with s.org as its site folder?"),
            std::string::npos)
      << refused.err;
}

// The shelf changed while the service answers, in a folder whose name the
// Windows code page cannot spell: each change is answered once the service has
// taken it in, with no answer of the shelf as it was kept for the query asked
// before it.
TEST(SearchServiceShelfTest, TakesInChangesWhileServing) {
  const fs::path shelf = WorkFolder() / u8"B\u00fccher \u0141\u00f3d\u017a \u2013 Caf\u00e9";
  const fs::path site = shelf / "s.org";
  fs::remove_all(WorkFolder());
  fs::create_directories(site);
  for (const auto& [name, text] :
       std::vector<std::pair<std::string, std::string>>{{"edit.txt", "The cat sat."},
                                                        {"old.txt", "The owl flew."},
                                                        {"gone.txt", "The yak ate."}})
    std::ofstream(site / name) << text;
  // Enough texts that an update takes in its few changes, not the whole shelf anew.
  for (int i = 0; i < 12; ++i) std::ofstream(site / ("f" + std::to_string(i) + ".txt")) << "Fill.";
  // The service's own files lie among the texts, the index named like one.
  const fs::path log = shelf / "service.log";
  Child service;
  const int port = StartService(
      service,
      {"--corpus", Utf8Path(shelf), "--port", "0", "--index", Utf8Path(site / "index.txt")}, log);
  ASSERT_NE(port, 0) << ReadWholeFile(log);
  const fs::path newSite = shelf / u8"\u0142\u00f3d\u017a.org";
  struct Change {
    std::string what;
    std::function<void()> make;
    std::string target;
    std::string before;  // on the page before the change
    std::string after;   // once it is taken in
  };
  const std::vector<Change> changes{
      {"a file added", [&] { std::ofstream(site / "new.txt") << "The hen laid."; },
       "/search?q=hen+laid+site%3As.org", "No results", "<b>hen laid</b>"},
      {"a file edited to its size, its time put back",
       [&] {
         const auto time = fs::last_write_time(site / "edit.txt");
         std::fstream(site / "edit.txt", std::ios::in | std::ios::out | std::ios::binary)
             << "The dog";
         fs::last_write_time(site / "edit.txt", time);
       },
       "/search?q=sat+site%3As.org", "The cat <b>sat</b>.", "The dog <b>sat</b>."},
      {"a file renamed", [&] { fs::rename(site / "old.txt", site / "renamed.txt"); },
       "/search?q=owl+flew+site%3As.org", ">old</h3>", ">renamed</h3>"},
      {"a file removed", [&] { fs::remove(site / "gone.txt"); }, "/search?q=yak+ate+site%3As.org",
       "<b>yak ate</b>", "No results"},
      {"a site folder added",
       [&] {
         fs::create_directories(newSite);
         std::ofstream(newSite / u8"Caf\u00e9 \u2013 B\u00fccher.txt") << "The elk ran.";
       },
       "/search?q=elk+ran+site%3A%C5%82%C3%B3d%C5%BA.org", "No results",
       ">Caf\xc3\xa9 \xe2\x80\x93 B\xc3\xbc"
       "cher</h3>\n<div class=\"s\">The <b>elk ran</b>."}};
  // A text written on and on, as a log kept on the shelf: its changes never
  // settle, and the others are taken in all the same.
  std::atomic<bool> writing = true;
  std::jthread busy([&] {
    for (int line = 0; writing; ++line) {
      std::ofstream(site / "busy.txt") << "Line " << line << " of the log.";
      std::this_thread::sleep_for(100ms);
    }
  });
  for (const Change& change : changes) {
    const std::string before = Request(port, change.target).second;
    EXPECT_NE(before.find(change.before), std::string::npos) << change.what << ":\n" << before;
    change.make();
    std::string after;
    for (const auto end = std::chrono::steady_clock::now() + 20s;
         after.find(change.after) == std::string::npos && std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(50ms)) {
      after = Request(port, change.target).second;
    }
    EXPECT_NE(after.find(change.after), std::string::npos) << change.what << ":\n"
                                                           << after << "\n"
                                                           << ReadWholeFile(log);
  }
  writing = false;
  busy.join();
  // Once the shelf is still, what the service writes itself (its log, its
  // index) starts no update: the count of them stays put while it answers.
  const auto updates = [&] {
    const std::string said = ReadWholeFile(log);
    std::size_t count = 0;
    for (std::size_t at = said.find("\ncorpus: "); at != std::string::npos;
         at = said.find("\ncorpus: ", at + 1)) {
      ++count;
    }
    return count;
  };
  bool still = false;
  for (const auto end = std::chrono::steady_clock::now() + 20s;
       !still && std::chrono::steady_clock::now() < end;) {
    const std::size_t before = updates();
    Request(port, "/search?q=hen+laid+site%3As.org");
    std::this_thread::sleep_for(1500ms);
    still = updates() == before;
  }
  const std::string said = ReadWholeFile(log);
  EXPECT_TRUE(still) << said;
  // An update logs its summary alone, with no progress lines as the start's.
  const std::size_t progress = said.find(" indexed in ");
  EXPECT_NE(progress, std::string::npos) << said;
  EXPECT_EQ(said.find(" indexed in ", progress + 1), std::string::npos) << said;
  EXPECT_EQ(said.find("cannot watch"), std::string::npos) << said;
}

// A text that is a link: its changes are told to the folder of the file it names,
// so the watch cannot vouch for the shelf. The log says so, and a search looks at
// its hits' files again: a change made through the link is never answered from
// the hits kept for the same search before it.
TEST(SearchServiceShelfTest, LooksAtItsHitsWhenATextIsALink) {
  const fs::path shelf = WorkFolder() / u8"B\u00fccher \u0141\u00f3d\u017a \u2013 Caf\u00e9";
  const fs::path elsewhere = WorkFolder() / "elsewhere";
  fs::remove_all(WorkFolder());
  fs::create_directories(shelf / "s.org");
  fs::create_directories(elsewhere);
  std::ofstream(shelf / "s.org" / "a.txt") << "The cat sat in a.";
  std::ofstream(elsewhere / "b.txt") << "The cat sat in b.";
  std::error_code ec;
  fs::create_symlink(elsewhere / "b.txt", shelf / "s.org" / u8"\u0141\u00f3d\u017a.txt", ec);
  if (ec) GTEST_SKIP() << "no link can be made here: " << ec.message();
  const fs::path log = WorkFolder() / "service.log";
  Child service;
  const int port = StartService(service,
                                {"--corpus", Utf8Path(shelf), "--port", "0", "--index",
                                 Utf8Path(WorkFolder() / "index.sqlite")},
                                log);
  ASSERT_NE(port, 0) << ReadWholeFile(log);
  const std::string target = "/search?q=cat+sat+site%3As.org";
  const std::string before = Request(port, target).second;
  EXPECT_NE(before.find("<b>cat sat</b> in b."), std::string::npos) << before;
  std::ofstream(elsewhere / "b.txt") << "The dog ran far, in b.";
  const std::string after = Request(port, target).second;
  EXPECT_EQ(after.find(" in b."), std::string::npos) << after;
  EXPECT_NE(after.find("<b>cat sat</b> in a."), std::string::npos) << after;
  EXPECT_NE(ReadWholeFile(log).find("\xc5\x81\xc3\xb3"
                                    "d\xc5\xba.txt is a link"),
            std::string::npos)
      << ReadWholeFile(log);
}

TEST(SearchServiceCommandTest, RefusesBadOptionsOrATakenPort) {
  // Without --corpus the service takes the corpus shipped beside it, then finds
  // the port taken, the index file's folder cannot be made, or the index file is
  // not its own.
  asio::io_context io;
  const asio::ip::tcp::acceptor holder(io, {asio::ip::address_v4::loopback(), 0}, false);
  const std::string taken = std::to_string(holder.local_endpoint().port());
  std::vector<std::tuple<Strings, int, std::string>> refusals{
      {{"--colour", "red"}, 2, "talewick-search: unknown option '--colour'; try --help"},
      {{"--port", "65536"},
       2,
       "talewick-search: --port takes a number from 0 to 65535, not '65536'; try --help"},
      {{"--port"}, 2, "talewick-search: --port needs a value; try --help"},
      {{"--memory", "8"},
       2,
       "talewick-search: --memory takes megabytes from 16 to 65536, not '8'; try --help"},
      {{"--port", taken},
       1,
       "talewick-search: cannot listen on 127.0.0.1:" + taken + ": Address already in use"}};
  const fs::path inTheWay = WorkFolder() / "in-the-way";
  fs::create_directories(WorkFolder());
  std::ofstream(inTheWay) << "a file where the index folder should be";
  refusals.push_back({{"--port", "0", "--index", (inTheWay / "index.sqlite").string()},
                      1,
                      "index: cannot write to the folder " + inTheWay.string()});
  refusals.push_back({{"--port", "0", "--index", inTheWay.string()},
                      1,
                      "index: " + inTheWay.string() + " is not a talewick-search index"});
  for (const auto& [arguments, status, message] : refusals) {
    const Finished refused = RunToEnd(arguments);
    EXPECT_EQ(refused.status, status) << message;
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find(message), std::string::npos) << refused.err;
  }
  EXPECT_EQ(ReadWholeFile(inTheWay), "a file where the index folder should be");
}

}  // namespace
