// The files of a corpus folder: ROOT/<site>/*.txt, one sub-folder per site, and
// the progress shown while they are indexed.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/utf8_system.h"

namespace talewick::search {

// What tells one state of a file from another. Its size and last write time can
// be put back after an edit (tools that keep times do): its identity tells a file
// replaced by another, and its change time an edit in place, which the system sets
// at every write and no tool sets back.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // last write time, in the platform's ticks
  std::uint64_t id = 0;       // the inode (POSIX) or file ID (Windows)
  std::int64_t changed = 0;   // last change (ctime on POSIX, ChangeTime on Windows), in ticks

  bool operator==(const FileStamp&) const = default;
};

// A start lists every file of the corpus, so a listed file holds little.
struct CorpusFile : FileStamp {
  std::string key;   // "<site folder>/<file name>": its path under the corpus folder
  std::string site;  // the site folder's name, lower-cased
};

// The title of the file `key` names: its name without ".txt", with '_' and '-'
// made blanks.
std::string TitleOf(std::string_view key);

struct CorpusListing {
  std::filesystem::path root;
  std::vector<CorpusFile> files;    // sites, then files, in name order
  std::vector<std::string> errors;  // folders or entries that could not be read, and why

  // The key's '/' as the system's separator, for the messages that name it.
  std::filesystem::path PathOf(const CorpusFile& file) const {
    return (root / PathFromUtf8(file.key)).make_preferred();
  }
};

CorpusListing ListCorpusFiles(const std::filesystem::path& root);

// The line that tells why the corpus `root` holds no file to index: no .txt
// files in site folders, or texts of one site given where the folder of site
// folders was meant.
std::string NothingToIndex(const std::filesystem::path& root);

// Whether the file with the key `a` comes before the one with the key `b` in a
// listing: by site folder, then by name. This is not the order of the keys
// themselves: "a-b/x" comes after "a/y", though '-' sorts before '/'.
bool ListedBefore(std::string_view a, std::string_view b);

struct FolderEntry {
  std::string name;     // UTF-8
  bool folder = false;  // else a regular file
  FileStamp stamp;      // of a file
};

// The sub-folders of `dir` and its regular files whose names end with `suffix`,
// unsorted; links are followed. An entry that cannot be looked at (a dangling
// link, a name that is not valid Unicode) is left out, with "NAME: why" in
// `skipped`; `ec` is set only when the folder itself cannot be read. One call per
// platform (corpus_files_<platform>.cpp): a start reads the stamp of every file,
// 100,000 of them for a big shelf.
std::vector<FolderEntry> ReadFolder(const std::filesystem::path& dir, std::string_view suffix,
                                    std::error_code& ec, std::vector<std::string>& skipped);

// A corpus file opened to read sentences back from it, by the system's own calls:
// a search reads a few hundred bytes from each of a hundred files.
class CorpusFileReader {
 public:
  CorpusFileReader() = default;
  CorpusFileReader(const CorpusFileReader&) = delete;
  CorpusFileReader& operator=(const CorpusFileReader&) = delete;
  ~CorpusFileReader();

  // Opens the regular file `path` without waiting, with its stamp as ReadFolder
  // gives it; false when it cannot (it is gone, or a pipe or a device stands in its
  // place).
  bool Open(const std::filesystem::path& path, FileStamp& stamp);
  // Fills `bytes` from `offset` on; false when the file holds fewer.
  bool ReadAt(std::uint64_t offset, std::string& bytes) const;
  // Whether `path` still names a regular file with this stamp (it may since name
  // another file than the one open); on Windows by all but the file ID, which
  // only an open file tells.
  static bool Names(const std::filesystem::path& path, const FileStamp& stamp);
  // Whether opening a file costs more than reading all of a small one and keeping
  // it: on Windows, where each open is requests to the wineserver under Wine and a
  // virus scanner's look on Windows itself.
  static bool OpeningIsDear();

 private:
  std::intptr_t handle_ = -1;  // the system's, -1 when closed
};

// The progress of indexing a corpus, in files and megabytes done, on the log: on
// a terminal one line redrawn in place a few times a second; in a log file a line
// every few seconds, so that a log that is watched keeps growing while the work
// goes on, and stays short. Ends with the time it took. Not `shown`, only the
// lines said in between are (an update while serving logs its summary alone).
class IndexProgress {
 public:
  IndexProgress(std::ostream& out, bool terminal, std::size_t files, std::uint64_t bytes,
                bool shown = true);
  // Part of a file is done; then the rest of it.
  void BytesDone(std::uint64_t bytes);
  void FileDone(std::uint64_t bytes);
  // A line of its own between lines of progress.
  void Say(const std::string& line);
  // The last step: the index is merged.
  void Merging();
  // Ends with the count, the time taken and the speed.
  void Finish();

 private:
  void Draw(bool last);
  void Show(const std::string& text, bool inPlace);

  std::ostream& out_;
  bool terminal_;
  bool shown_;
  std::size_t filesTotal_;
  std::uint64_t bytesTotal_;
  std::size_t filesDone_ = 0;
  std::uint64_t bytesDone_ = 0;
  bool lineOpen_ = false;  // a line drawn in place, not ended yet
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point drawn_ = started_;
};

}  // namespace talewick::search
