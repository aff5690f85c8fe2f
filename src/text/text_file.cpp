// Line-oriented text files over the platform file service (os_file.h).
// Reading goes through the 64 KiB block of the TextFile: the logical position,
// the one every caller sees, is blockOffset + blockPos, while the platform's
// own position stays at blockOffset + blockFill (the end of the block read).
#include "text/text_file.h"

#include <cstring>

static bool ParseMode(std::string_view mode, OsOpenMode& parsed) {
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

static int64_t LogicalPosition(const TextFile& file) { return file.blockOffset + file.blockPos; }

static void ForgetBlock(TextFile& file, int64_t position) {
  file.blockOffset = position;
  file.blockFill = 0;
  file.blockPos = 0;
}

// Reads the next block once the current one is used up. False at the end of
// the file or after a failed read; a failed read is remembered, so the file
// then counts as read to its end and a read-all loop always finishes.
static bool RefillBlock(TextFile& file) {
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

std::string StartFolder() {
  std::string path = OsExecutablePath();
  const size_t separator = path.rfind(OsPathSeparator());
  if (separator != std::string::npos) path.resize(separator + 1);
  return path;
}

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

// Stores the bytes of `span` after the `*length` already stored, up to `capacity`.
// When the line is longer than the buffer, the last character kept is moved back
// to a character boundary and everything after it is dropped.
static void StoreSpan(char* destination, int capacity, int& length, bool& cut, const char* span,
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

bool FileStamp(const TextFile& file, OsFileStamp& stamp) {
  return file.open && OsStamp(file.handle, stamp);
}
