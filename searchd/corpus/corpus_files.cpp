// Listing the files of a corpus folder, and the indexing progress.
#include "searchd/corpus/corpus_files.h"

#include <algorithm>
#include <cstdio>

#include "base/system_error.h"
#include "searchd/text/words.h"

namespace talewick::search {

namespace fs = std::filesystem;

namespace {

// The entries of `dir` that are folders (or else files ending in ".txt"), in
// name order. Entries skipped are told in `errors`.
std::vector<FolderEntry> SortedEntries(const fs::path& dir, bool folders, std::error_code& ec,
                                       std::vector<std::string>& errors) {
  std::vector<std::string> skipped;
  std::vector<FolderEntry> entries = ReadFolder(dir, ".txt", ec, skipped);
  for (const std::string& entry : skipped) errors.push_back(Utf8Of(dir / "") + entry + "; skipped");
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [&](const FolderEntry& entry) { return entry.folder != folders; }),
                entries.end());
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return entries;
}

}  // namespace

std::string TitleOf(std::string_view key) {
  std::string title(key.substr(key.rfind('/') + 1));
  if (title.size() > 4 && title.compare(title.size() - 4, 4, ".txt") == 0)
    title.resize(title.size() - 4);
  std::replace_if(
      title.begin(), title.end(), [](char c) { return c == '_' || c == '-'; }, ' ');
  return title;
}

CorpusListing ListCorpusFiles(const fs::path& root) {
  CorpusListing listing;
  listing.root = root;
  std::error_code ec;
  const std::vector<FolderEntry> siteDirs = SortedEntries(root, true, ec, listing.errors);
  if (ec) {
    listing.errors.push_back(Utf8Of(root) + ": " + ErrorCodeText(ec));
    return listing;
  }
  for (const FolderEntry& siteDir : siteDirs) {
    const fs::path dir = root / PathFromUtf8(siteDir.name);
    const std::vector<FolderEntry> files = SortedEntries(dir, false, ec, listing.errors);
    if (ec) {
      listing.errors.push_back(Utf8Of(dir) + ": " + ErrorCodeText(ec));
      continue;
    }
    const std::string site = LowerAscii(siteDir.name);
    for (const FolderEntry& entry : files) {
      listing.files.push_back({entry.stamp, siteDir.name + "/" + entry.name, site});
    }
  }
  return listing;
}

std::string NothingToIndex(const fs::path& root) {
  std::error_code ec;
  std::vector<std::string> skipped;
  const std::vector<FolderEntry> entries = ReadFolder(root, ".txt", ec, skipped);
  fs::path full = fs::absolute(root, ec).lexically_normal();
  if (!full.has_filename()) full = full.parent_path();
  const bool texts = std::any_of(entries.begin(), entries.end(),
                                 [](const FolderEntry& entry) { return !entry.folder; });
  if (!texts || full == full.parent_path()) {
    return "corpus: no .txt files under " + Utf8Of(root / "<site>" / "");
  }
  return "corpus: " + Utf8Of(full) + " holds texts, not site folders; did you mean --corpus " +
         Utf8Of(full.parent_path()) + ", with " + Utf8Of(full.filename()) + " as its site folder?";
}

bool ListedBefore(std::string_view a, std::string_view b) {
  const std::size_t siteEndA = std::min(a.find('/'), a.size());
  const std::size_t siteEndB = std::min(b.find('/'), b.size());
  const int site = a.substr(0, siteEndA).compare(b.substr(0, siteEndB));
  return site != 0 ? site < 0 : a.substr(siteEndA) < b.substr(siteEndB);
}

IndexProgress::IndexProgress(std::ostream& out, bool terminal, std::size_t files,
                             std::uint64_t bytes, bool shown)
    : out_(out), terminal_(terminal), shown_(shown), filesTotal_(files), bytesTotal_(bytes) {}

void IndexProgress::FileDone(std::uint64_t bytes) {
  ++filesDone_;
  BytesDone(bytes);
}

void IndexProgress::BytesDone(std::uint64_t bytes) {
  bytesDone_ += bytes;
  const auto now = std::chrono::steady_clock::now();
  if (now - drawn_ < (terminal_ ? std::chrono::milliseconds(250) : std::chrono::seconds(5))) {
    return;
  }
  drawn_ = now;
  Draw(false);
}

void IndexProgress::Say(const std::string& line) { Show(line, false); }

void IndexProgress::Merging() { Show("index: merging", true); }

void IndexProgress::Finish() {
  Draw(true);
  lineOpen_ = false;
}

void IndexProgress::Draw(bool last) {
  constexpr double kMB = 1024.0 * 1024.0;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  char line[160];
  if (last) {
    std::snprintf(line, sizeof line, "index: %zu files, %.1f MB indexed in %.1f s (%.1f MB/s)",
                  filesDone_, static_cast<double>(bytesDone_) / kMB, seconds,
                  seconds > 0 ? static_cast<double>(bytesDone_) / kMB / seconds : 0.0);
  } else {
    std::snprintf(line, sizeof line, "index: %zu of %zu files, %.1f of %.1f MB, %.0f s", filesDone_,
                  filesTotal_, static_cast<double>(bytesDone_) / kMB,
                  static_cast<double>(bytesTotal_) / kMB, seconds);
  }
  Show(line, true);
  if (last && terminal_ && shown_) out_ << '\n' << std::flush;
}

void IndexProgress::Show(const std::string& text, bool inPlace) {
  if (!shown_ && inPlace) return;
  if (!terminal_) {
    out_ << text << '\n' << std::flush;
  } else if (inPlace) {
    // Blanks wipe what is left of a longer line drawn before.
    out_ << '\r' << text << "        " << std::flush;
  } else {
    out_ << (lineOpen_ ? "\n" : "") << text << '\n' << std::flush;
  }
  lineOpen_ = terminal_ && inPlace;
}

}  // namespace talewick::search
