// The word list copy: the set of its lines exactly as the read-all pattern yields
// them (an empty file is one empty line), tagged with the file's stamp and path.
#include "query/word_list_cache.h"

#include <string>
#include <unordered_set>

namespace {

struct WordListCopy {
  bool valid = false;
  std::string path;
  OsFileStamp stamp{};
  std::unordered_set<std::string> lines;
};

WordListCopy& TheCopy() {
  static WordListCopy copy;
  return copy;
}

// One UTF-8 character wider than a BoundedText: a line that comes out longer than
// kTextCapacity was too long for any word (or cut), so it is recognised as such.
// Lines that fit come out exactly as a BoundedText buffer would hold them.
using ListLine = FixedText<kTextCapacity + 4>;

bool CouldBeWord(std::string_view line) { return TextLength(line) <= kTextCapacity; }

// The read-all pattern: at least one read, the end tested after each line.
template <typename UseLine>
void ReadEveryLine(TextFile& file, UseLine useLine) {
  ListLine line{};
  do {
    FileReadLine(file, line);
    useLine(line.view());
  } while (!FileAtEnd(file));
}

bool ReadAndCompare(TextFile& file, std::string_view word) {
  bool found = false;
  ReadEveryLine(file, [&](std::string_view line) {
    if (CouldBeWord(line) && TextEquals(line, word)) found = true;
  });
  return found;
}

void Rebuild(WordListCopy& copy, TextFile& file, std::string_view path, const OsFileStamp& stamp) {
  copy.valid = false;
  copy.lines.clear();
  ReadEveryLine(file, [&](std::string_view line) {
    if (CouldBeWord(line)) copy.lines.emplace(line);
  });
  copy.path = std::string(path);
  copy.stamp = stamp;
  copy.valid = true;
}

}  // namespace

bool WordListHasLine(TextFile& file, std::string_view path, std::string_view word) {
  OsFileStamp stamp{};
  if (!FileStamp(file, stamp)) {
    // Without a stamp a change could go unnoticed: read the file itself.
    ForgetWordListCopy();
    return ReadAndCompare(file, word);
  }
  WordListCopy& copy = TheCopy();
  if (!copy.valid || copy.stamp != stamp || copy.path != path) Rebuild(copy, file, path, stamp);
  return copy.lines.count(std::string(word)) != 0;
}

void ForgetWordListCopy() {
  WordListCopy& copy = TheCopy();
  copy.valid = false;
  copy.lines.clear();
}
