// Line-oriented text files over the platform file service (os_file.h).
// Reading goes through the 64 KiB block of the TextFile: the logical position,
// the one every caller sees, is blockOffset + blockPos, while the platform's
// own position stays at blockOffset + blockFill (the end of the block read).
#include "text/text_file.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace talewick {

namespace {

bool ParseMode(std::string_view mode, OsOpenMode& parsed) {
  if (mode == "r" || mode == "R") {
    parsed = OsOpenMode::kRead;
  } else if (mode == "w" || mode == "W") {
    parsed = OsOpenMode::kWrite;
  } else if (mode == "a" || mode == "A") {
    parsed = OsOpenMode::kAppend;
  } else {
    return false;
  }
  return true;
}

int64_t LogicalPosition(const TextFile& file) { return file.blockOffset + file.blockPos; }

void ForgetBlock(TextFile& file, int64_t position) {
  file.blockOffset = position;
  file.blockFill = 0;
  file.blockPos = 0;
}

// Reads the next block once the current one is used up. False at the end of
// the file or after a failed read; a failed read is remembered, so the file
// then counts as read to its end and a read-all loop always finishes.
bool RefillBlock(TextFile& file) {
  if (file.readFailed) return false;
  ForgetBlock(file, file.blockOffset + file.blockFill);
  const int64_t got = OsRead(file.handle, file.block, kTextFileBlock);
  if (got < 0) {
    file.readFailed = true;
    return false;
  }
  file.blockFill = static_cast<int32_t>(got);
  return got > 0;
}

}  // namespace

int FileOpen(TextFile& file, std::string_view path, std::string_view mode) {
  OsOpenMode parsed;
  if (!ParseMode(mode, parsed)) return 1;
  OsFileHandle opened{};
  if (!OsOpen(path, parsed, opened)) return 1;
  // A slot that is still open is released only now, once the new file is open:
  // a failed open leaves the slot as it was, and no handle is ever lost.
  FileClose(file);
  file.handle = opened;
  file.open = true;
  file.readFailed = false;
  int64_t start = 0;
  if (parsed == OsOpenMode::kAppend) {
    const int64_t size = OsSize(opened);
    start = size > 0 ? size : 0;
  }
  ForgetBlock(file, start);
  return 0;
}

namespace {

// Stores the bytes of `span` after the `*length` already stored, up to `capacity`.
// When the line is longer than the buffer, the last character kept is moved back
// to a character boundary and everything after it is dropped.
void StoreSpan(char* destination, int capacity, int& length, bool& cut, const char* span,
               int spanLength) {
  if (cut || spanLength == 0) return;
  const int room = capacity - length;
  if (spanLength <= room) {
    std::memcpy(destination + length, span, static_cast<size_t>(spanLength));
    length += spanLength;
    return;
  }
  // One byte more than fits goes into the terminator's place, so the cut can see
  // whether the byte at the capacity continues a character.
  std::memcpy(destination + length, span, static_cast<size_t>(room) + 1);
  length = CharacterBoundaryCut(std::string_view(destination, static_cast<size_t>(capacity) + 1),
                                capacity);
  cut = true;
}

}  // namespace

int FileReadLineBytes(TextFile& file, char* destination, int capacity) {
  if (!file.open) return -1;
  if (capacity < 0) capacity = 0;
  int length = 0;
  bool cut = false;
  bool consumed = false;
  for (;;) {
    if (file.blockPos == file.blockFill && !RefillBlock(file)) break;
    const char* start = file.block + file.blockPos;
    const int available = file.blockFill - file.blockPos;
    int span = 0;
    while (span < available && start[span] != '\r' && start[span] != '\n') ++span;
    StoreSpan(destination, capacity, length, cut, start, span);
    file.blockPos += span;
    consumed = consumed || span > 0;
    if (span == available) continue;  // no line end in this block yet
    const char end = file.block[file.blockPos++];
    consumed = true;
    if (end == '\r') {
      // A CR may be the last byte of the block: the LF that may follow it is in
      // the next one. RefillBlock keeps the file's position exact either way.
      if (file.blockPos == file.blockFill) RefillBlock(file);
      if (file.blockPos < file.blockFill && file.block[file.blockPos] == '\n') ++file.blockPos;
    }
    break;
  }
  destination[length] = '\0';
  return consumed ? 0 : -1;
}

int FileWriteLine(TextFile& file, std::string_view text) {
  if (!file.open) return 0;
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  // The platform's position is at the end of the block read; a write belongs at
  // the logical position, just after the last line consumed.
  const int64_t position = LogicalPosition(file);
  if (file.blockPos != file.blockFill) OsSeek(file.handle, position);
  const int64_t written = OsWrite(file.handle, line.data(), static_cast<int64_t>(line.size()));
  const int64_t put = written > 0 ? written : 0;
  ForgetBlock(file, position + put);
  return static_cast<int>(put);
}

bool FileAtEnd(const TextFile& file) {
  if (!file.open || file.readFailed) return true;
  if (file.blockPos < file.blockFill) return false;  // bytes left in the block: no call needed
  const int64_t size = OsSize(file.handle);
  return size < 0 || LogicalPosition(file) >= size;
}

void FileClose(TextFile& file) {
  if (!file.open) return;
  OsClose(file.handle);
  file.handle = OsFileHandle{};
  file.open = false;
  file.readFailed = false;
  ForgetBlock(file, 0);
}

namespace {

constexpr size_t kNotFound = static_cast<size_t>(-1);

}  // namespace

// Whole-line search. Lines are never split out: the search looks for `line` in
// large blocks and checks the bytes on either side of each place it stands.

// Horspool's search with the shift taken from the last two bytes of the window
// rather than one: the lines of a word list share their letters, so one byte
// would rarely allow a long shift. No allocation; the table is built per search.
class PairSearch {
 public:
  explicit PairSearch(std::string_view pattern) : pattern_(pattern) {
    std::memset(pairEnd_, 0, sizeof pairEnd_);
    const size_t last = pattern.size() - 1;
    for (size_t i = 1; i < last; ++i) pairEnd_[Hash(pattern.data() + i)] = Byte(i);
    // After a mismatch, the window moves to the next earlier place of its last pair.
    const size_t lastPair = Hash(pattern.data() + last);
    afterMismatch_ = last - pairEnd_[lastPair];
    pairEnd_[lastPair] = Byte(last);
  }

  // The first place at or after `from` where the pattern stands, or kNotFound.
  size_t Find(std::string_view text, size_t from) const {
    const size_t m = pattern_.size();
    if (m == 1) {
      const size_t at = text.find(pattern_[0], from);
      return at == std::string_view::npos ? kNotFound : at;
    }
    const size_t step = m - 1;
    // `end` is the last byte of the window; pairEnd_ says where in the pattern a
    // pair like the window's last one ends (0: nowhere, so the window jumps past
    // it). The jumps past come first, in a loop whose next place does not wait for
    // the table: that keeps the processor's loads overlapping.
    for (size_t end = from + step; end < text.size();) {
      size_t at;
      while ((at = pairEnd_[Hash(text.data() + end)]) == 0) {
        end += step;
        if (end >= text.size()) return kNotFound;
      }
      if (at != step) {
        end += step - at;
        continue;
      }
      const size_t start = end - step;
      if (std::memcmp(text.data() + start, pattern_.data(), m) == 0) return start;
      end += afterMismatch_;
    }
    return kNotFound;
  }

 private:
  static constexpr size_t kTableSize = 4096;
  // The pair of bytes ending at `p`.
  static size_t Hash(const char* p) {
    return ((static_cast<size_t>(static_cast<unsigned char>(p[-1])) << 5) ^
            static_cast<unsigned char>(p[0])) &
           (kTableSize - 1);
  }
  // Texts hold at most 254 characters, so every place fits a byte.
  static uint8_t Byte(size_t n) { return static_cast<uint8_t>(std::min<size_t>(n, 255)); }

  std::string_view pattern_;
  size_t afterMismatch_ = 1;
  uint8_t pairEnd_[kTableSize];
};

namespace {

bool IsLineEndByte(char c) { return c == '\r' || c == '\n'; }

// The empty line: the empty remainder, or a line that starts with its end or a NUL.
bool HasEmptyLine(const TextFile& file, char* block, int64_t blockSize) {
  bool lineStart = true;
  bool afterCr = false;
  bool anyByte = false;
  for (;;) {
    const int64_t got = OsRead(file.handle, block, blockSize);
    if (got <= 0) return !anyByte;
    anyByte = true;
    for (int64_t i = 0; i < got; ++i) {
      const char c = block[i];
      const bool lfOfCrLf = afterCr && c == '\n';  // the same line end as the CR
      afterCr = c == '\r';
      if (lfOfCrLf) continue;
      if (lineStart && (IsLineEndByte(c) || c == '\0')) return true;
      lineStart = IsLineEndByte(c);
    }
  }
}

}  // namespace

bool FileHasLine(TextFile& file, std::string_view line) {
  if (!file.open || file.readFailed) return false;
  if (line.find_first_of("\r\n") != std::string_view::npos) return false;
  const int64_t start = LogicalPosition(file);
  ForgetBlock(file, start);
  if (!OsSeek(file.handle, start)) return false;
  // Big enough for a whole word list in one read; never more than that in memory.
  constexpr int64_t kSearchBlock = int64_t{4} * 1024 * 1024;
  const int64_t left = OsSize(file.handle) - start;
  const int64_t blockSize = left >= 0 && left < kSearchBlock ? left + 1 : kSearchBlock;
  const size_t n = line.size();
  const std::unique_ptr<char[]> data(new char[n + static_cast<size_t>(blockSize)]);
  if (n == 0) return HasEmptyLine(file, data.get(), blockSize);

  const PairSearch search(line);
  // data[0, kept) is carried over from the last block: the bytes that could still
  // begin the line, whose following byte was not read yet. `lineStartBefore` says
  // whether data[0] starts a line.
  size_t kept = 0;
  bool lineStartBefore = true;
  for (;;) {
    const int64_t got = OsRead(file.handle, data.get() + kept, blockSize);
    const bool atEnd = got <= 0;
    const size_t size = kept + (atEnd ? 0 : static_cast<size_t>(got));
    const std::string_view bytes(data.get(), size);
    for (size_t at = search.Find(bytes, 0); at != kNotFound; at = search.Find(bytes, at + 1)) {
      const size_t after = at + n;
      if (after == size && !atEnd) break;  // its following byte comes with the next block
      const bool startsLine = at == 0 ? lineStartBefore : IsLineEndByte(bytes[at - 1]);
      const bool endsLine = after == size || IsLineEndByte(bytes[after]) || bytes[after] == '\0';
      if (startsLine && endsLine) return true;
    }
    if (atEnd) return false;
    if (size > n) {
      lineStartBefore = IsLineEndByte(bytes[size - n - 1]);
      std::memmove(data.get(), data.get() + size - n, n);
      kept = n;
    } else {
      kept = size;
    }
  }
}

}  // namespace talewick
