// The files of a corpus folder: ROOT/<site>/*.txt, one sub-folder per site, and
// the progress line shown while they are indexed.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace talewick::search {

struct CorpusFile {
  std::filesystem::path path;
  std::string key;    // "<site folder>/<file name>": the file's name in an index
  std::string site;   // the site folder's name, lower-cased
  std::string title;  // the file name without ".txt", '_' and '-' made blanks
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // last write time, in ticks of the file clock
};

struct CorpusListing {
  std::vector<CorpusFile> files;    // sites, then files, in name order
  std::vector<std::string> errors;  // folders or files that could not be read
};

CorpusListing ListCorpusFiles(const std::filesystem::path& root);

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// One line on standard error that shows files and megabytes done while a corpus
// is indexed, redrawn in place a few times a second, and the time it took at the end.
class IndexProgress {
 public:
  IndexProgress(std::ostream& out, std::size_t files, std::uint64_t bytes);
  void FileDone(std::uint64_t bytes);
  // Ends the line with the count, the time taken and the speed.
  void Finish();

 private:
  void Draw(const char* end);

  std::ostream& out_;
  std::size_t files_total_;
  std::uint64_t bytes_total_;
  std::size_t files_done_ = 0;
  std::uint64_t bytes_done_ = 0;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point drawn_{};
};

}  // namespace talewick::search
