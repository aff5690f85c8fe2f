// The service writes its reason on standard error, which the launcher keeps in
// its log, as lines such as "corpus: /usr/share/talewick/corpus: Permission
// denied" or "index: cannot write to the folder ...: Read-only file system".
#include "failure_text.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string_view>

#include "base/user_folders.h"
#include "base/utf8_system.h"

namespace talewick {

namespace {

// The reason is at the end; a log that grew long before holds nothing else of use.
constexpr std::streamoff kTailBytes = 8192;
constexpr std::size_t kMostReasons = 3;
constexpr std::string_view kCorpusPrefix = "corpus: ";
constexpr std::string_view kIndexPrefix = "index: ";

std::string Tail(const std::string& path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary | std::ios::ate);
  if (!in) return {};
  const std::streamoff size = in.tellg();
  in.seekg(std::max<std::streamoff>(0, size - kTailBytes));
  return {std::istreambuf_iterator<char>(in), {}};
}

bool IsFullPath(std::string_view text) {
  return text.starts_with('/') || text.starts_with("\\\\") ||
         (text.size() > 2 && text[1] == ':' && text[2] == '\\');
}

// One line of the log as the user may act on it; empty when it says nothing.
std::string Plain(std::string line) {
  // A Windows line end, then a progress line redrawn in place: only its last
  // state counts.
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
    line.pop_back();
  }
  if (const size_t redrawn = line.rfind('\r'); redrawn != std::string::npos) {
    line.erase(0, redrawn + 1);
  }
  if (line.starts_with("[Talewick")) return {};  // the window program's debug lines
  for (const std::string_view name :
       {std::string_view("talewick-search: "), std::string_view("talewick: "), kIndexPrefix}) {
    if (line.starts_with(name)) line.erase(0, name.size());
  }
  if (line.starts_with(kCorpusPrefix)) {
    line.erase(0, kCorpusPrefix.size());
    // A folder or file of the corpus with the system's reason after it.
    constexpr std::string_view kUnread = ": cannot read";
    if (line.ends_with(kUnread)) {
      line = "cannot read " + line.substr(0, line.size() - kUnread.size());
    } else if (IsFullPath(line) && line.find(": ") != std::string::npos) {
      line = "cannot read " + line;
    }
  }
  // Advice such as ", or give --index FILE" is for the service's own users.
  if (const size_t option = line.find(" --"); option != std::string::npos) {
    const size_t clause = line.find_last_of(",;", option);
    line.resize(clause == std::string::npos ? option : clause);
  }
  return line;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// "It ...", with the reasons after it, one a line.
std::string Paragraph(const std::string& what, const std::vector<std::string>& reasons) {
  std::string text = "It " + what + (reasons.empty() ? "." : ":");
  for (const std::string& reason : reasons) text += "\n" + reason;
  return text;
}

bool AboutTheIndex(const std::string& logPath) {
  const std::vector<std::string> lines = Lines(Tail(logPath));
  return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with("index: cannot") || line.starts_with("index: no place");
  });
}

}  // namespace

std::vector<std::string> ReasonsInLog(const std::string& logPath) {
  std::vector<std::string> reasons;
  for (const std::string& line : Lines(Tail(logPath))) {
    std::string reason = Plain(line);
    if (!reason.empty() && std::find(reasons.begin(), reasons.end(), reason) == reasons.end()) {
      reasons.push_back(std::move(reason));
    }
  }
  if (reasons.size() > kMostReasons) reasons.erase(reasons.begin(), reasons.end() - kMostReasons);
  return reasons;
}

std::string ServiceFailureText(const std::string& what, const std::string& logPath,
                               const std::string& corpus) {
  std::string advice;
  if (AboutTheIndex(logPath)) {
    const std::string cache = IndexCacheFolder();
    advice = "Talewick keeps an index of the texts in " +
             (cache.empty() ? std::string("your cache folder") : cache) +
             ": make sure that you can write there.";
  } else if (!corpus.empty()) {
    advice = "Make sure that " + corpus +
             " is a folder you can read, with one sub-folder per site that holds your texts "
             "as .txt files.";
  } else {
    advice =
        "The stories that come with Talewick are missing or cannot be read: install Talewick "
        "again, or grow stories from your own texts with\n    talewick-start --corpus DIR";
  }
  return "Talewick could not start its search service.\n\n" +
         Paragraph(what, ReasonsInLog(logPath)) + "\n\n" + advice + "\n(Its log: " + logPath + ")";
}

std::string ProgramFailureText(int status, const std::string& logPath) {
  return "Talewick ended before its window was closed.\n\n" +
         Paragraph("ended with status " + std::to_string(status), ReasonsInLog(logPath)) +
         "\n\nIts log tells what it did last: " + logPath;
}

std::string UnspelledFolderText(const std::string& folder, bool programFolder) {
  const std::string remedy =
      programFolder ? "Move Talewick to a folder whose name uses only the system's letters, "
                      "such as C:\\Talewick."
                    : "Unpack Talewick from its zip into a folder you can write to whose name "
                      "uses only the system's letters, such as C:\\Talewick: it then keeps "
                      "its story there.";
  return "Talewick cannot use the folder " + folder +
         "\n\nThe Talewick window names its files in the letters of the system's code page, "
         "which cannot spell this folder's name, and the drive gives the folder no short name "
         "to use instead.\n\n" +
         remedy;
}

}  // namespace talewick
