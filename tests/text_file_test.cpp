// Text files: line ends and block boundaries, lines longer than the buffer, the
// open modes, appending with CR LF.
#include "text/text_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/program_files.h"

using namespace talewick;

namespace {

using Lines = std::vector<std::string>;

// TextFile holds a 64 KiB block: keep it off the stack.
std::unique_ptr<TextFile> NewSlot() { return std::make_unique<TextFile>(); }

// The read-all pattern of the stages (read, use, until FileAtEnd), bounded.
Lines ReadAllLines(const std::string& bytes) {
  WriteProgramFile("lines.txt", bytes);
  auto file = NewSlot();
  Lines lines;
  if (FileOpen(*file, ProgramFolder() + "lines.txt", "r") != 0) return lines;
  BoundedText line{};
  do {
    FileReadLine(*file, line);
    lines.emplace_back(line.view());
  } while (!FileAtEnd(*file) && lines.size() < 100'000);
  FileClose(*file);
  return lines;
}

TEST(TextFileRead, LineEndsBlockEdgesAndCutsAtTheBuffer) {
  const std::string first(kTextFileBlock - 1, 'a');  // a CR at the end of the first block
  const std::string cut(kTextCapacity, 'a');
  // Many short lines with every kind of end, over several blocks.
  std::string manyBytes;
  Lines many;
  for (int i = 0; i < 30'000; ++i) {
    many.push_back("line " + std::to_string(i));
    manyBytes += many.back() + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
  }
  // A two-byte character across the limit: UTF-8 keeps it whole or not at all.
  const std::string x253(253, 'x');
  const std::string split = OsPathSeparator() == '/' ? x253 : x253 + "\xC3";
  const struct {
    std::string bytes;
    Lines lines;
  } cases[] = {
      {"", {""}},
      {"alpha\r\nbeta", {"alpha", "beta"}},
      {"alpha\r\nbeta\r\n", {"alpha", "beta"}},
      {"x\r\ry", {"x", "", "y"}},
      {"x\n\ry", {"x", "", "y"}},
      {"a\nb\rc\r\nd\n", {"a", "b", "c", "d"}},
      {"last\r", {"last"}},
      {std::string("ab\0cd\r\nef", 9), {"ab", "ef"}},  // a NUL ends the text, not the line
      {first + "\r\nnext", {cut, "next"}},
      {first + "\rz\r\n", {cut, "z"}},
      {first + "\r", {cut}},
      {manyBytes, many},
      {std::string(300, 'a') + "\r\nnext", {cut, "next"}},  // the rest of the line dropped
      {x253 + "\xC3\xA9yz\nnext", {split, "next"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadAllLines(c.bytes), c.lines) << c.bytes.substr(0, 20);

  // Into a large text a long line spans blocks whole.
  std::string longLine;
  for (int i = 0; i < 150'000; ++i) longLine += static_cast<char>('a' + i % 26);
  WriteProgramFile("span.txt", "first\n" + longLine + "\r\nlast");
  auto file = NewSlot();
  auto big = std::make_unique<LargeText>();
  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "span.txt", "r"), 0);
  FileReadLine(*file, *big);
  FileReadLine(*file, *big);
  EXPECT_EQ(big->view(), longLine);
  EXPECT_EQ(FileReadLine(*file, *big), 0);
  EXPECT_EQ(big->view(), "last");
  EXPECT_TRUE(FileAtEnd(*file));
  EXPECT_EQ(FileReadLine(*file, *big), -1);  // nothing consumed, buffer emptied
  EXPECT_EQ(big->view(), "");
  FileClose(*file);
  TextCopy(*big, "kept");
  EXPECT_EQ(FileReadLine(*file, *big), -1);
  EXPECT_EQ(big->view(), "kept");
}

// Open descriptors of this process where the system lists them (0 elsewhere;
// under Wine the list would be Wine's own).
int OpenDescriptors() {
  if (OsPathSeparator() != '/') return 0;
  std::error_code error;
  int count = 0;
  for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
       it.increment(error)) {
    ++count;
  }
  return count;
}

TEST(TextFileOpen, MissingFilesUnknownModesFoldersAndReopenedSlots) {
  RemoveProgramFile("missing.txt");
  auto file = NewSlot();
  for (const char* mode : {"r", "", "x", "rw", "a+"}) {
    EXPECT_EQ(FileOpen(*file, ProgramFolder() + "missing.txt", mode), 1) << mode;
  }
  EXPECT_FALSE(ProgramFileExists("missing.txt"));
  EXPECT_TRUE(FileAtEnd(*file));
  FileClose(*file);
  FileClose(*file);
  // A folder is not a text file.
  std::filesystem::create_directories(ProgramFolder() + "folder");
  EXPECT_EQ(FileOpen(*file, ProgramFolder() + "folder", "r"), 1);

  // Reopening an open slot releases its old file.
  WriteProgramFile("first.txt", "first\r\n");
  WriteProgramFile("second.txt", "second\r\n");
  auto slot = NewSlot();
  const int before = OpenDescriptors();
  ASSERT_EQ(FileOpen(*slot, ProgramFolder() + "first.txt", "a"), 0);
  ASSERT_EQ(FileOpen(*slot, ProgramFolder() + "second.txt", "R"), 0);
  EXPECT_EQ(OpenDescriptors() - before, before > 0 ? 1 : 0);
  // Where files are locked, a leaked "a" handle would refuse this open.
  auto other = NewSlot();
  EXPECT_EQ(FileOpen(*other, ProgramFolder() + "first.txt", "a"), 0);
  FileClose(*other);
  // A failed open leaves the slot open on its file.
  EXPECT_EQ(FileOpen(*slot, ProgramFolder() + "missing.txt", "r"), 1);
  BoundedText line{};
  FileReadLine(*slot, line);
  EXPECT_EQ(line.view(), "second");
  FileClose(*slot);
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(TextFileWrite, AppendCreatesKeepsAndAddsCrLf) {
  RemoveProgramFile("story.txt");
  auto file = NewSlot();
  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "story.txt", "a"), 0);
  EXPECT_EQ(FileWriteLine(*file, "once upon"), 11);
  FileClose(*file);
  EXPECT_EQ(FileWriteLine(*file, "closed"), 0);
  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "story.txt", "A"), 0);
  EXPECT_EQ(FileWriteLine(*file, ""), 2);
  FileWriteLine(*file, "a time");
  FileClose(*file);
  EXPECT_EQ(ReadProgramFile("story.txt"), "once upon\r\n\r\na time\r\n");

  WriteProgramFile("story.txt", "old");
  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "story.txt", "a"), 0);
  FileWriteLine(*file, "new");
  FileClose(*file);
  EXPECT_EQ(ReadProgramFile("story.txt"), "oldnew\r\n");

  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "story.txt", "w"), 0);
  FileClose(*file);
  EXPECT_EQ(ReadProgramFile("story.txt"), "");
}

// The whole-line search reads in blocks of 4 MiB: a line standing across the
// edge of two blocks, or right after it, is found exactly as a line read would.
TEST(TextFileHasLine, LinesAcrossTheSearchBlockEdge) {
  constexpr size_t kBlock = 4 * 1024 * 1024;
  auto file = NewSlot();
  const auto has = [&](const std::string& bytes, const std::string& line) {
    WriteProgramFile("lines.txt", bytes);
    EXPECT_EQ(FileOpen(*file, ProgramFolder() + "lines.txt", "r"), 0);
    const bool found = FileHasLine(*file, line);
    FileClose(*file);
    return found;
  };
  for (size_t start = kBlock - 4; start <= kBlock + 1; ++start) {
    const std::string before(start - 1, 'x');
    EXPECT_TRUE(has(before + "\ncat\r\n", "cat")) << start;
    EXPECT_TRUE(has(before + "\ncat", "cat")) << start;
    EXPECT_FALSE(has(before + "\ncats\n", "cat")) << start;
    EXPECT_FALSE(has(before + "xcat\n", "cat")) << start;
  }
  // A CR LF split by the edge is one line end, not an empty line between two.
  const std::string filler(kBlock - 1, 'x');
  EXPECT_FALSE(has(filler + "\r\ny", ""));
  EXPECT_TRUE(has(filler + "\r\ry", ""));
}

}  // namespace
