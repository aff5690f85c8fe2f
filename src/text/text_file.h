// Line-oriented text files in the program's folder.
// A line ends at CR LF, a lone LF or a lone CR and is returned without its end;
// a written line gets CR LF. Reading goes through a 64 KiB block buffer, so a
// large file costs a few system calls per block, not several per line, while
// FileAtEnd still sees exactly what is left after the last consumed line end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/bounded_text.h"
#include "text/os_file.h"
#include "text/story_folder.h"  // StartFolder(): where the data files are

namespace talewick {

inline constexpr int kTextFileBlock = 64 * 1024;

// One file slot: open or none. Plain data, so it can live in the zero-filled
// state record; the zero value is "none" (see os_file.h).
struct TextFile {
  OsFileHandle handle;
  bool open;
  bool readFailed;      // a platform read failed: treated as the end of the file
  int64_t blockOffset;  // file offset of block[0]
  int32_t blockFill;    // bytes valid in block
  int32_t blockPos;     // next unconsumed byte in block
  char block[kTextFileBlock];
};

// Opens `path` with mode "r"/"R" (read existing), "w"/"W" (create or empty) or
// "a"/"A" (append, created when missing). 0 when open, 1 when not (the slot is
// then left as it was). Reports nothing itself.
int FileOpen(TextFile& file, std::string_view path, std::string_view mode);

// Reads the next line into `destination` (at most `capacity` bytes plus the
// terminator). A line longer than the buffer is cut at the capacity (at a
// character boundary) and the rest of that line, up to its end, is consumed and
// dropped, so the next read starts with the next line. Returns 0 when at least
// one byte (a character or a line end) was consumed, -1 when none was.
int FileReadLineBytes(TextFile& file, char* destination, int capacity);
template <int N>
int FileReadLine(TextFile& file, FixedText<N>& destination) {
  return FileReadLineBytes(file, destination.bytes, N);
}

// Writes the text and CR LF with one platform write (a crash never leaves half a
// line, a full disk takes none of it); returns the bytes written (length + 2), 0
// when the line could not be written or the slot holds no file.
int FileWriteLine(TextFile& file, std::string_view text);

// True when nothing is left to read (or no file is open, or a read failed).
bool FileAtEnd(const TextFile& file);

// Releases the file; harmless on a slot that holds none.
void FileClose(TextFile& file);

// Whether some line from the current position to the end of the file reads
// exactly as `line`, by the rules of FileReadLine: a line ends at CR LF, LF or
// CR, reads as ending at a NUL byte inside it, and the empty file is one empty
// line. The file is read in large blocks and searched without splitting it into
// lines; the position afterwards is unspecified. A failed read ends the search
// as the end of the file does. A `line` holding CR or LF is never found.
bool FileHasLine(TextFile& file, std::string_view line);

}  // namespace talewick
