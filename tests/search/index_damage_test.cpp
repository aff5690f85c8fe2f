// An index found damaged is never answered from and other files are left alone;
// a complete index in a folder that cannot be written is answered from as it stands.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "search_files.h"
#include "searchd/sqlite/sqlite_index.h"

namespace talewick::search {
namespace {

namespace fs = std::filesystem;

// The files an index is opened on: another program's are left as they are, and an
// index of this program's that is damaged never answers: the damage is found at
// the start, or by the query that reads it, and the index is built anew. Each table
// gets each kind of damage: bytes changed, a page zeroed, two pages swapped, a
// page copied over another, and a page put back as it was before the last update
// (as a write the disk lost leaves it).
TEST(SqliteIndex, LeavesOtherFilesAloneAndNeverAnswersFromADamagedOne) {
  const fs::path dir = FreshFolder("damage");
  const fs::path corpus = dir / "corpus";
  std::string text;
  for (int i = 0; i < 300; ++i) {
    text += "The cat " + std::to_string(i) + " sat on the mat. A dog barked at the cat.\n";
  }
  WriteFile(corpus / "s.org" / "a.txt", text);
  WriteFile(corpus / "s.org" / "b.txt", "Then the old cat slept. The end.");
  // Enough files for the files table to take several pages, which every start reads whole.
  for (int i = 0; i < 200; ++i) {
    WriteFile(corpus / "s.org" / ("note" + std::to_string(i) + ".txt"), "A note.");
  }
  // Sorted: an index built anew numbers the files it had added later in their place.
  const auto answers = [](const CorpusIndex& index) {
    Strings found;
    for (const Strings& words : {Strings{"the", "cat"}, Strings{"dog", "slept"}, Strings{"end"}}) {
      for (const SearchHit& hit : index.Search("s.org", words, 1000)) found.push_back(hit.sentence);
    }
    std::sort(found.begin(), found.end());
    return found;
  };
  // An index made, then brought up to date with a changed corpus; and one built
  // at once from the changed corpus, whose pages are all written together.
  const fs::path old = dir / "old.sqlite";
  const fs::path updated = dir / "updated.sqlite";
  const fs::path sound = dir / "sound.sqlite";
  std::ostringstream log;
  ASSERT_NE(SqliteIndex::Open(corpus, old, log), nullptr) << log.str();
  fs::copy_file(old, updated);
  Rewrite(corpus / "s.org" / "b.txt", "Then the old dog slept. The end.");
  WriteFile(corpus / "s.org" / "c.txt", "The cat came back. The end.");
  const Strings expected = answers(*SqliteIndex::Open(corpus, sound, log));
  ASSERT_EQ(expected.size(), 604u);
  ASSERT_EQ(answers(*SqliteIndex::Open(corpus, updated, log)), expected);
  // Each table's pages, its leaves first (whose swaps SQLite cannot tell by their
  // kind), and whether every start reads them.
  struct Table {
    std::string name;
    std::vector<std::int64_t> pages;
    bool alwaysRead;
  };
  const auto tablesOf = [](const fs::path& path) {
    std::vector<Table> tables;
    SqliteDb db;
    sqlite3* raw = nullptr;
    EXPECT_EQ(sqlite3_open(path.string().c_str(), &raw), SQLITE_OK);
    db.reset(raw);
    ForEachRow(raw, "SELECT name, pageno FROM dbstat ORDER BY name, pagetype <> 'leaf', pageno",
               [&](sqlite3_stmt* row) {
                 const std::string name = ColumnText(row, 0);
                 if (tables.empty() || tables.back().name != name) {
                   tables.push_back({name,
                                     {},
                                     name == "sqlite_schema" || name == "sites" ||
                                         name == "files" || name == "pages"});
                 }
                 tables.back().pages.push_back(sqlite3_column_int64(row, 1));
               });
    return tables;
  };
  const std::string before = ReadAll(old);
  const std::string after = ReadAll(updated);
  const std::string built = ReadAll(sound);
  const auto page = [](const std::string& bytes, std::int64_t number) {
    return bytes.substr(static_cast<std::size_t>(number - 1) * 4096, 4096);
  };
  const auto damage = [&](const fs::path& base,
                          std::vector<std::pair<std::int64_t, std::string>> pages) {
    return [=](const fs::path& path) {
      fs::copy_file(base, path);
      std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
      for (const auto& [number, bytes] : pages) out.seekp((number - 1) * 4096) << bytes;
    };
  };

  struct Case {
    std::string name;
    std::function<void(const fs::path&)> make;
    bool ownPlace = false;  // the file lies in the program's own cache folder
    bool refused = false;
    bool mustBeFound = false;  // the damage lies where every start reads
    // The damage takes the file's first page, its header: a file named by the user
    // is then no longer known as an index of this program.
    bool headerLost = false;
  };
  const auto notes = [](const fs::path& path) { WriteFile(path, "my notes\n"); };
  std::vector<Case> cases{
      {"a text file", notes, false, true},
      {"a text file in the program's own place", notes, true},
      {"another program's database, even in the program's own place",
       [](const fs::path& path) {
         SqliteDb db;
         sqlite3* raw = nullptr;
         ASSERT_EQ(sqlite3_open(path.string().c_str(), &raw), SQLITE_OK);
         db.reset(raw);
         ASSERT_TRUE(Exec(raw, "CREATE TABLE t(x); INSERT INTO t VALUES(1)"));
       },
       true, true},
      {"an index cut short",
       [&](const fs::path& path) {
         fs::copy_file(sound, path);
         fs::resize_file(path, fs::file_size(sound) / 2);
       }},
  };
  const std::vector<Table> tables = tablesOf(sound);
  for (std::size_t t = 0; t < tables.size(); ++t) {
    const auto& [name, pages, read] = tables[t];
    const std::int64_t first = pages.front();
    // Another page of the table, else the next table's first.
    const std::int64_t other =
        pages.size() > 1 ? pages[pages.size() / 2] : tables[(t + 1) % tables.size()].pages[0];
    const bool header = first == 1;
    std::string changed = page(built, first);
    changed.replace(1000, 16, std::string(16, 'Z'));
    cases.push_back(
        {name + ": 16 bytes changed", damage(sound, {{first, changed}}), false, false, read});
    cases.push_back({name + ": zeroed", damage(sound, {{first, std::string(4096, '\0')}}), false,
                     false, read, header});
    cases.push_back({name + ": swapped",
                     damage(sound, {{first, page(built, other)}, {other, page(built, first)}}),
                     false, false, read, header || other == 1});
    cases.push_back({name + ": another page copied over it",
                     damage(sound, {{first, page(built, other)}}), false, false, read, header});
  }
  // A page older than its last write stands out only against the stamps kept in
  // the pages table, which may itself be older: that goes unseen.
  for (const auto& [name, pages, read] : tablesOf(updated)) {
    for (const std::int64_t number : pages) {
      if (page(before, number).size() == 4096 && page(before, number) != page(after, number)) {
        cases.push_back({name + ": page " + std::to_string(number) + " as it was",
                         damage(updated, {{number, page(before, number)}}), false, false,
                         read && name != "pages"});
        break;
      }
    }
  }

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const fs::path file = dir / ("case" + std::to_string(i));
    c.make(file);
    const std::string made = ReadAll(file);
    std::ostringstream opened;
    std::ostringstream said;  // while answering
    auto index =
        SqliteIndex::Open(corpus, file, opened, {.ownPlace = c.ownPlace, .servingLog = &said});
    if (c.refused || (c.headerLost && index == nullptr)) {
      EXPECT_EQ(index, nullptr);
      EXPECT_NE(opened.str().find("index: " + file.string() + " is not a talewick-search index ("),
                std::string::npos)
          << opened.str();
      EXPECT_EQ(ReadAll(file), made);
      EXPECT_FALSE(fs::exists(file.string() + ".lock"));
      continue;
    }
    ASSERT_NE(index, nullptr) << opened.str();
    bool found = opened.str().find("building it anew") != std::string::npos;
    Strings got;
    try {
      got = answers(*index);
    } catch (const IndexFault& fault) {
      EXPECT_TRUE(fault.damaged()) << fault.what();
      found = true;
      index.reset();
      index = SqliteIndex::Open(corpus, file, opened, {.rebuild = true});
      ASSERT_NE(index, nullptr) << opened.str();
      got = answers(*index);
    }
    EXPECT_EQ(got, expected) << opened.str();
    EXPECT_EQ(said.str(), "") << "damage taken for a change of the corpus";
    EXPECT_TRUE(found || !c.mustBeFound) << "damage not found";
  }
  fs::remove_all(dir);
}

bool CanWriteIn(const fs::path& dir) {
  const bool made = std::ofstream(dir / "probe").is_open();
  std::error_code ec;
  fs::remove(dir / "probe", ec);
  return made;
}

// Makes `dir` unwritable for this process, even as root (with chattr +i, where the
// system and the file system have it: `immutable` says so); false when it cannot.
bool MakeReadOnly(const fs::path& dir, bool& immutable) {
  fs::permissions(dir, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  immutable =
      CanWriteIn(dir) && std::system(("chattr +i '" + dir.string() + "' 2>/dev/null").c_str()) == 0;
  return !CanWriteIn(dir);
}

// A complete index in a folder that cannot be written is answered from as it
// stands; with no index there, the start is refused.
TEST(SqliteIndex, AnswersFromAReadOnlyFolderAsItStands) {
  const fs::path dir = FreshFolder("read_only");
  const fs::path corpus = dir / "corpus";
  const fs::path file = dir / "cache" / "index.sqlite";
  WriteFile(corpus / "s.org" / "a.txt", "The cat sat in a.");
  fs::create_directories(file.parent_path());
  std::ostringstream log;
  ASSERT_NE(SqliteIndex::Open(corpus, file, log), nullptr) << log.str();
  bool immutable = false;
  if (!MakeReadOnly(file.parent_path(), immutable)) {
    GTEST_SKIP() << "cannot make a folder read-only here";
  }
  WriteFile(corpus / "s.org" / "b.txt", "The cat sat in b.");
  const auto index = SqliteIndex::Open(corpus, file, log);
  ASSERT_NE(index, nullptr) << log.str();
  EXPECT_EQ(Sentences(index->Search("s.org", {"the", "cat"}, 100)), (Strings{"The cat sat in a."}));
  EXPECT_NE(log.str().find(" cannot be brought up to date (its folder cannot be written to: "),
            std::string::npos)
      << log.str();
  const fs::path empty = dir / "cache" / "other.sqlite";
  EXPECT_EQ(SqliteIndex::Open(corpus, empty, log), nullptr);
  EXPECT_NE(
      log.str().find("index: cannot use " + empty.string() + ": its folder cannot be written to: "),
      std::string::npos)
      << log.str();
  if (immutable) {
    EXPECT_EQ(std::system(("chattr -i '" + file.parent_path().string() + "'").c_str()), 0);
  }
  fs::permissions(file.parent_path(), fs::perms::owner_all);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace talewick::search
