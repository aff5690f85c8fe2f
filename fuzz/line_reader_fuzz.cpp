// Random bytes written to a file and read back line by line with the read-all
// pattern. The lines must be exactly what splitting the bytes at CR LF, lone LF
// and lone CR gives (an empty file gives one empty line), each cut to the
// reader's buffer, never written past it; the loop must end at the end.
//
// Input: byte 0 picks the buffer capacity, bytes 1-2 a padding length. The
// padding puts the interesting bytes across the reader's 64 KiB block boundary,
// where a CR LF pair can be split between two blocks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "text/text_file.h"

using namespace talewick;

namespace {

using fuzz::CutAtBoundary;
using fuzz::Require;
using fuzz::SplitLines;

const std::string& FilePath() {
  static const std::string path = StartFolder() + "line_reader_fuzz.txt";
  return path;
}

TextFile file;  // 64 KiB: static, like the slots of the state record

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  // Capacities from 0 up, with the ordinary text capacity among them.
  const int capacity = data[0] == 255 ? kTextCapacity : data[0] % 40;
  const size_t padding = (data[1] | (data[2] << 8)) % 8 == 0 ? kTextFileBlock - (data[1] % 8)
                                                             : static_cast<size_t>(data[2] % 16);
  std::string bytes(padding, 'x');
  bytes.append(reinterpret_cast<const char*>(data + 3), size - 3);

  FILE* out = std::fopen(FilePath().c_str(), "wb");
  if (out == nullptr) return 0;
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);

  const std::vector<std::string> expected = SplitLines(bytes);
  std::vector<char> buffer(static_cast<size_t>(capacity) + 1 + 16, '\x5a');
  Require(FileOpen(file, FilePath(), "r") == 0, "the file cannot be opened");
  size_t count = 0;
  do {
    Require(count < expected.size(), "more lines read than the file holds");
    FileReadLineBytes(file, buffer.data(), capacity);
    for (size_t i = static_cast<size_t>(capacity) + 1; i < buffer.size(); ++i)
      Require(buffer[i] == '\x5a', "the reader wrote past its buffer");
    const std::string line(buffer.data(),
                           strnlen(buffer.data(), static_cast<size_t>(capacity) + 1));
    Require(line.size() <= static_cast<size_t>(capacity), "a line longer than the buffer");
    // A NUL byte inside a line makes the stored text end there.
    const std::string& whole = expected[count];
    const std::string wanted = whole.substr(0, whole.find('\0'));
    if (wanted.size() <= static_cast<size_t>(capacity)) {
      Require(line == wanted, "a line differs from the file's line");
    } else {
      Require(wanted.compare(0, line.size(), line) == 0, "a cut line is not a start of the line");
      Require(CutAtBoundary(wanted, line.size(), static_cast<size_t>(capacity)),
              "a line was cut off a character boundary");
    }
    ++count;
  } while (!FileAtEnd(file));
  Require(count == expected.size(), "fewer lines read than the file holds");
  FileClose(file);
  Require(!file.open, "the file is still open after FileClose");
  return 0;
}
