// Listing and reading the files of a corpus folder, and the indexing progress line.
#include "corpus_files.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "words.h"

namespace talewick::search {

namespace fs = std::filesystem;

namespace {

std::string TitleFromFileName(const fs::path& file) {
  std::string title = file.stem().string();
  std::replace_if(
      title.begin(), title.end(), [](char c) { return c == '_' || c == '-'; }, ' ');
  return title;
}

}  // namespace

CorpusListing ListCorpusFiles(const fs::path& root) {
  CorpusListing listing;
  std::error_code ec;
  std::vector<fs::path> site_dirs;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec)) site_dirs.push_back(it->path());
  }
  if (ec) {
    listing.errors.push_back(root.string() + ": " + ec.message());
    return listing;
  }
  std::sort(site_dirs.begin(), site_dirs.end());
  for (const fs::path& dir : site_dirs) {
    std::vector<fs::path> paths;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec) && it->path().extension() == ".txt") paths.push_back(it->path());
    }
    if (ec) {
      listing.errors.push_back(dir.string() + ": " + ec.message());
      continue;
    }
    std::sort(paths.begin(), paths.end());
    const std::string folder = dir.filename().string();
    for (const fs::path& path : paths) {
      CorpusFile file;
      file.size = fs::file_size(path, ec);
      if (!ec) file.modified = fs::last_write_time(path, ec).time_since_epoch().count();
      if (ec) {
        listing.errors.push_back(path.string() + ": " + ec.message());
        continue;
      }
      file.path = path;
      file.key = folder + "/" + path.filename().string();
      file.site = LowerAscii(folder);
      file.title = TitleFromFileName(path);
      listing.files.push_back(std::move(file));
    }
  }
  return listing;
}

std::optional<std::string> ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return std::nullopt;
  std::string content;
  char block[1 << 16];
  while (in.read(block, sizeof block) || in.gcount() > 0) {
    content.append(block, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return content;
}

IndexProgress::IndexProgress(std::ostream& out, std::size_t files, std::uint64_t bytes)
    : out_(out), files_total_(files), bytes_total_(bytes) {}

void IndexProgress::FileDone(std::uint64_t bytes) {
  ++files_done_;
  bytes_done_ += bytes;
  const auto now = std::chrono::steady_clock::now();
  if (now - drawn_ < std::chrono::milliseconds(250)) return;
  drawn_ = now;
  Draw("\r");
}

void IndexProgress::Finish() { Draw("\n"); }

void IndexProgress::Draw(const char* end) {
  constexpr double kMB = 1024.0 * 1024.0;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  char line[160];
  if (*end == '\n') {
    std::snprintf(line, sizeof line, "index: %zu files, %.1f MB indexed in %.1f s (%.1f MB/s)",
                  files_done_, static_cast<double>(bytes_done_) / kMB, seconds,
                  seconds > 0 ? static_cast<double>(bytes_done_) / kMB / seconds : 0.0);
  } else {
    std::snprintf(line, sizeof line, "index: %zu of %zu files, %.1f of %.1f MB, %.0f s",
                  files_done_, files_total_, static_cast<double>(bytes_done_) / kMB,
                  static_cast<double>(bytes_total_) / kMB, seconds);
  }
  // Blanks wipe what is left of a longer line drawn before.
  out_ << '\r' << line << "        " << end << std::flush;
}

}  // namespace talewick::search
