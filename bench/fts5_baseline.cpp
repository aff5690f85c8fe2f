// What the search service's indexing and start are measured against, on the same
// corpus folder, by scripts/bench_search.py:
//
//   fts5_baseline load CORPUS FILE   every sentence of the corpus, as the service lists
//                                    and cuts them, bulk-loaded into a plain FTS5 table
//                                    in a new database FILE (one row a sentence)
//   fts5_baseline load-contentless CORPUS FILE
//                                    the same rows into a contentless table that keeps
//                                    no column sizes either, as the service's keeps no
//                                    text: the floor of what its indexing can cost
//   fts5_baseline load-own-tokens CORPUS FILE
//                                    the same rows into a table made as the service's
//                                    is (its tokenizer's words, pairs and threes, no
//                                    places, blobs of 1000 bytes): the floor of its
//                                    indexing for the tokens it chose, so that what the
//                                    service adds to FTS5 is told from what its tokens
//                                    cost FTS5
//   fts5_baseline list CORPUS        the corpus files listed with their sizes and
//                                    times, as every start of the service does: the
//                                    least an indexed start can take
//
// Prints one line of NAME=VALUE figures on standard output; the seconds are those of
// the work alone, without the start of the process.
#include <sqlite3.h>

#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/utf8_system.h"
#include "searchd/corpus/corpus_files.h"
#include "searchd/sqlite/sqlite_words.h"
#include "searchd/text/sentences.h"

namespace {

namespace fs = std::filesystem;
using talewick::PathFromUtf8;
using talewick::Utf8Of;
using talewick::search::CorpusListing;
using Clock = std::chrono::steady_clock;

// The pragmas of a bulk load that needs no crash safety: no journal, no syncing,
// and a page cache large enough for FTS5's merges.
constexpr const char* kPragmas =
    "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-262144;";
constexpr const char* kPlainTable =
    "CREATE VIRTUAL TABLE sentences USING fts5(sentence, tokenize='unicode61');";
constexpr const char* kContentlessTable =
    "CREATE VIRTUAL TABLE sentences USING fts5(sentence, content='', columnsize=0, "
    "tokenize='unicode61');";
constexpr const char* kOwnTokensTable =
    "CREATE VIRTUAL TABLE sentences USING fts5(sentence, content='', columnsize=0, "
    "detail=none, tokenize='talewick'); "
    "INSERT INTO sentences(sentences, rank) VALUES('pgsz', 1000);";

// As the service reads a corpus file.
constexpr std::size_t kReadBytes = std::size_t{1} << 20;

double SecondsSince(Clock::time_point started) {
  return std::chrono::duration<double>(Clock::now() - started).count();
}

// The listing, or nothing when some of the corpus could not be read (the figures
// would not be those of the whole corpus).
bool List(const fs::path& corpus, CorpusListing& listing) {
  listing = talewick::search::ListCorpusFiles(corpus);
  for (const std::string& error : listing.errors) std::fprintf(stderr, "%s\n", error.c_str());
  if (listing.files.empty()) std::fprintf(stderr, "no .txt files in site folders of the corpus\n");
  return listing.errors.empty() && !listing.files.empty();
}

int ListOnly(const fs::path& corpus) {
  const auto started = Clock::now();
  CorpusListing listing;
  if (!List(corpus, listing)) return 1;
  std::uint64_t bytes = 0;
  for (const auto& file : listing.files) bytes += file.size;
  std::printf("seconds=%.4f files=%zu text_bytes=%" PRIu64 "\n", SecondsSince(started),
              listing.files.size(), bytes);
  return 0;
}

class Database {
 public:
  explicit Database(const fs::path& file) {
    if (sqlite3_open_v2(Utf8Of(file).c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
      Fail("open");
    }
    if (ok_ && !talewick::search::RegisterTokenizer(db_)) Fail("the service's tokenizer");
  }
  ~Database() {
    sqlite3_finalize(insert_);
    sqlite3_close(db_);
  }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  bool ok() const { return ok_; }

  // The bytes of the pages in use: an optimize leaves the pages of the segments it
  // merged free, which the service's index gives back (it is vacuumed once built).
  std::int64_t BytesInUse() {
    return (Number("PRAGMA page_count") - Number("PRAGMA freelist_count")) *
           Number("PRAGMA page_size");
  }

  void Exec(const char* sql) {
    if (ok_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }

  // A contentless table is given its rowids, as the service numbers its sentences.
  void Insert(std::int64_t id, const std::string& sentence) {
    if (!ok_) return;
    if (insert_ == nullptr &&
        sqlite3_prepare_v2(db_, "INSERT INTO sentences(rowid, sentence) VALUES(?, ?)", -1, &insert_,
                           nullptr) != SQLITE_OK) {
      Fail("prepare");
      return;
    }
    sqlite3_bind_int64(insert_, 1, id);
    sqlite3_bind_text(insert_, 2, sentence.data(), static_cast<int>(sentence.size()),
                      SQLITE_STATIC);
    if (sqlite3_step(insert_) != SQLITE_DONE) Fail("insert");
    sqlite3_reset(insert_);
  }

 private:
  std::int64_t Number(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    std::int64_t value = 0;
    if (ok_ && sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      value = sqlite3_column_int64(statement, 0);
    } else {
      Fail(sql);
    }
    sqlite3_finalize(statement);
    return value;
  }

  void Fail(const char* what) {
    std::fprintf(stderr, "sqlite: %s: %s\n", what, db_ ? sqlite3_errmsg(db_) : "out of memory");
    ok_ = false;
  }

  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  bool ok_ = true;
};

int Load(const fs::path& corpus, const fs::path& file, const char* table) {
  std::error_code ignored;
  fs::remove(file, ignored);
  const auto started = Clock::now();
  CorpusListing listing;
  if (!List(corpus, listing)) return 1;
  std::uint64_t sentenceCount = 0;
  std::uint64_t textBytes = 0;
  std::int64_t bytesInUse = 0;
  {
    Database db(file);
    db.Exec(kPragmas);
    db.Exec(table);
    db.Exec("BEGIN");
    std::string block(kReadBytes, '\0');
    std::vector<std::string> sentences;
    for (const auto& listed : listing.files) {
      std::ifstream in(listing.PathOf(listed), std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "cannot read %s\n", listed.key.c_str());
        return 1;
      }
      talewick::search::SentenceSplitter splitter(sentences);
      do {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        textBytes += got;
        splitter.Feed(std::string_view(block).substr(0, got));
        if (!in) splitter.Finish();
        for (const std::string& sentence : sentences) {
          db.Insert(static_cast<std::int64_t>(++sentenceCount), sentence);
        }
        sentences.clear();
      } while (in && db.ok());
    }
    db.Exec("COMMIT");
    db.Exec("INSERT INTO sentences(sentences) VALUES('optimize')");
    bytesInUse = db.BytesInUse();
    if (!db.ok()) return 1;
  }
  const double seconds = SecondsSince(started);
  std::printf("seconds=%.3f sentences=%" PRIu64 " text_bytes=%" PRIu64 " file_bytes=%" PRIuMAX
              " bytes_in_use=%" PRId64 "\n",
              seconds, sentenceCount, textBytes, fs::file_size(file), bytesInUse);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // On Windows the arguments as UTF-8, whatever the code page: a work folder may be
  // named in any letters.
  const std::vector<std::string> args = talewick::Utf8CommandLine(argc, argv);
  if (args.size() == 3 && args[1] == "list") return ListOnly(PathFromUtf8(args[2]));
  const std::pair<const char*, const char*> loads[] = {{"load", kPlainTable},
                                                       {"load-contentless", kContentlessTable},
                                                       {"load-own-tokens", kOwnTokensTable}};
  for (const auto& [mode, table] : loads) {
    if (args.size() == 4 && args[1] == mode) {
      return Load(PathFromUtf8(args[2]), PathFromUtf8(args[3]), table);
    }
  }
  std::fprintf(stderr,
               "usage: fts5_baseline load|load-contentless|load-own-tokens CORPUS FILE\n"
               "       fts5_baseline list CORPUS\n");
  return 2;
}
