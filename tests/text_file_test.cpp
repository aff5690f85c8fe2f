// Text files: line ends and block boundaries, lines longer than the buffer, the
// open modes, appending with CR LF, and the start folder.
#include "text/text_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/program_files.h"

namespace {

// TextFile holds a 64 KiB block: keep it off the stack.
std::unique_ptr<TextFile> NewSlot() { return std::make_unique<TextFile>(); }

// The read-all pattern of the stages: read, use, until FileAtEnd.
std::vector<std::string> ReadAllLines(const std::string& name) {
  auto file = NewSlot();
  std::vector<std::string> lines;
  if (FileOpen(*file, ProgramFolder() + name, "r") != 0) return lines;
  BoundedText line{};
  int guard = 0;
  do {
    FileReadLine(*file, line);
    lines.emplace_back(line.view());
  } while (!FileAtEnd(*file) && ++guard < 1000);
  FileClose(*file);
  return lines;
}

bool UsesUtf8() { return OsPathSeparator() == '/'; }

using Lines = std::vector<std::string>;

TEST(TextFileRead, LineEndsOfEveryKind) {
  const struct {
    std::string bytes;
    Lines lines;
  } cases[] = {
      {"alpha\r\nbeta", {"alpha", "beta"}},
      {"alpha\r\nbeta\r\n", {"alpha", "beta"}},
      {"x\r\ry", {"x", "", "y"}},
      {"x\n\ry", {"x", "", "y"}},
      {"a\nb\rc\r\nd\n", {"a", "b", "c", "d"}},
      {"\r\n", {""}},
      {"last\r", {"last"}},
      {"  tab\t \r\n", {"  tab\t "}},
  };
  for (const auto& c : cases) {
    WriteProgramFile("lines.txt", c.bytes);
    EXPECT_EQ(ReadAllLines("lines.txt"), c.lines) << "file bytes: " << c.bytes;
  }
}

TEST(TextFileRead, EmptyFileGivesOneEmptyLine) {
  WriteProgramFile("empty.txt", "");
  auto file = NewSlot();
  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "empty.txt", "r"), 0);
  BoundedText line{};
  TextCopy(line, "old");
  EXPECT_EQ(FileReadLine(*file, line), -1);
  EXPECT_EQ(line.view(), "");
  EXPECT_TRUE(FileAtEnd(*file));
  FileClose(*file);
}

TEST(TextFileRead, AtEndSeesExactlyWhatIsLeft) {
  WriteProgramFile("left.txt", "one\r\ntwo\r\n");
  auto file = NewSlot();
  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "left.txt", "r"), 0);
  BoundedText line{};
  EXPECT_FALSE(FileAtEnd(*file));
  EXPECT_EQ(FileReadLine(*file, line), 0);
  EXPECT_FALSE(FileAtEnd(*file));
  EXPECT_EQ(FileReadLine(*file, line), 0);
  EXPECT_EQ(line.view(), "two");
  EXPECT_TRUE(FileAtEnd(*file));
  // Past the end: nothing consumed, the buffer emptied.
  EXPECT_EQ(FileReadLine(*file, line), -1);
  EXPECT_EQ(line.view(), "");
  FileClose(*file);
}

TEST(TextFileRead, NulByteEndsTheTextButNotTheLine) {
  WriteProgramFile("zero-byte.txt", std::string("ab\0cd\r\nef", 9));
  EXPECT_EQ(ReadAllLines("zero-byte.txt"), (Lines{"ab", "ef"}));
}

// Lines around the 64 KiB block edge: `before` bytes of 'a', then the tail.
std::string AtBlockEdge(int before, const std::string& tail) {
  return std::string(static_cast<size_t>(before), 'a') + tail;
}

TEST(TextFileRead, LineEndsAcrossTheBlockEdge) {
  const int edge = kTextFileBlock;
  const std::string full(static_cast<size_t>(edge - 1), 'a');
  // CR is the last byte of the first block, LF the first of the next.
  WriteProgramFile("edge.txt", AtBlockEdge(edge - 1, "\r\nnext"));
  auto lines = ReadAllLines("edge.txt");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "next");
  // ... followed by a letter: that letter starts the next line.
  WriteProgramFile("edge.txt", AtBlockEdge(edge - 1, "\rz\r\n"));
  lines = ReadAllLines("edge.txt");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "z");
  // ... followed by LF as the very last byte of the file: no extra empty line.
  WriteProgramFile("edge.txt", AtBlockEdge(edge - 1, "\r\n"));
  EXPECT_EQ(ReadAllLines("edge.txt").size(), 1u);
  // ... and a lone CR as the last byte of the block and of the file.
  WriteProgramFile("edge.txt", AtBlockEdge(edge - 1, "\r"));
  EXPECT_EQ(ReadAllLines("edge.txt").size(), 1u);
}

TEST(TextFileRead, LineSpanningBlocksReachesALargeBuffer) {
  std::string longLine;
  for (int i = 0; i < 150'000; ++i) longLine += static_cast<char>('a' + i % 26);
  WriteProgramFile("span.txt", "first\n" + longLine + "\r\nlast");
  auto file = NewSlot();
  auto big = std::make_unique<LargeText>();
  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "span.txt", "r"), 0);
  FileReadLine(*file, *big);
  EXPECT_EQ(big->view(), "first");
  FileReadLine(*file, *big);
  EXPECT_EQ(big->view(), longLine);
  EXPECT_FALSE(FileAtEnd(*file));
  FileReadLine(*file, *big);
  EXPECT_EQ(big->view(), "last");
  EXPECT_TRUE(FileAtEnd(*file));
  FileClose(*file);
}

TEST(TextFileRead, ManyLinesOverSeveralBlocks) {
  std::string bytes;
  Lines expected;
  const char* ends[] = {"\r\n", "\n", "\r"};
  for (int i = 0; i < 30'000; ++i) {
    expected.push_back("line " + std::to_string(i));
    bytes += expected.back() + ends[i % 3];
  }
  WriteProgramFile("many.txt", bytes);
  auto file = NewSlot();
  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "many.txt", "r"), 0);
  Lines lines;
  BoundedText line{};
  while (!FileAtEnd(*file) && lines.size() < expected.size() + 5) {
    FileReadLine(*file, line);
    lines.emplace_back(line.view());
  }
  FileClose(*file);
  EXPECT_EQ(lines, expected);
}

TEST(TextFileRead, LongerThanTheBufferIsCutAndTheRestDropped) {
  WriteProgramFile("long.txt", std::string(300, 'x') + "\r\nnext\r\n");
  const Lines lines = ReadAllLines("long.txt");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(254, 'x'));
  EXPECT_EQ(lines[1], "next");

  // A two-byte character across the limit: UTF-8 keeps it whole or not at all.
  WriteProgramFile("long.txt", std::string(253, 'x') + "\xC3\xA9yz\nnext");
  const Lines cut = ReadAllLines("long.txt");
  ASSERT_EQ(cut.size(), 2u);
  EXPECT_EQ(cut[0].size(), UsesUtf8() ? 253u : 254u);
  EXPECT_EQ(cut[1], "next");
}

TEST(TextFileRead, AFolderReadsAsAtItsEnd) {
  // Opening a folder may work (POSIX) and then every read fails; the read-all
  // pattern must still finish instead of spinning.
  std::filesystem::create_directories(ProgramFolder() + "folder.txt");
  auto file = NewSlot();
  if (FileOpen(*file, ProgramFolder() + "folder.txt", "r") == 0) {
    BoundedText line{};
    EXPECT_EQ(FileReadLine(*file, line), -1);
    EXPECT_TRUE(FileAtEnd(*file));
    FileClose(*file);
  }
  EXPECT_LE(ReadAllLines("folder.txt").size(), 1u);
}

TEST(TextFileOpen, MissingUnknownModeAndClosing) {
  RemoveProgramFile("missing.txt");
  auto file = NewSlot();
  EXPECT_EQ(FileOpen(*file, ProgramFolder() + "missing.txt", "r"), 1);
  EXPECT_TRUE(FileAtEnd(*file));
  FileClose(*file);
  FileClose(*file);
  for (const char* mode : {"", "x", "rw", "a+", "ra"}) {
    EXPECT_EQ(FileOpen(*file, ProgramFolder() + "missing.txt", mode), 1) << mode;
  }
  EXPECT_FALSE(ProgramFileExists("missing.txt"));
  WriteProgramFile("present.txt", "Hi\r\n");
  EXPECT_EQ(FileOpen(*file, ProgramFolder() + "present.txt", "R"), 0);
  FileClose(*file);
  EXPECT_TRUE(FileAtEnd(*file));
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

TEST(TextFileOpen, ReopeningAnOpenSlotReleasesTheOldFile) {
  WriteProgramFile("first.txt", "first\r\n");
  WriteProgramFile("second.txt", "second\r\n");
  auto slot = NewSlot();
  const int before = OpenDescriptors();
  ASSERT_EQ(FileOpen(*slot, ProgramFolder() + "first.txt", "a"), 0);
  ASSERT_EQ(FileOpen(*slot, ProgramFolder() + "second.txt", "r"), 0);
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

TEST(TextFileWrite, AppendCreatesAndAddsCrLf) {
  RemoveProgramFile("story.txt");
  auto file = NewSlot();
  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "story.txt", "a"), 0);
  EXPECT_TRUE(ProgramFileExists("story.txt"));
  EXPECT_EQ(ReadProgramFile("story.txt"), "");
  EXPECT_EQ(FileWriteLine(*file, "once upon"), 11);
  FileClose(*file);
  EXPECT_EQ(FileWriteLine(*file, "closed"), 0);

  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "story.txt", "A"), 0);
  EXPECT_TRUE(FileAtEnd(*file));
  EXPECT_EQ(FileWriteLine(*file, ""), 2);
  EXPECT_EQ(FileWriteLine(*file, "a time"), 8);
  FileClose(*file);
  EXPECT_EQ(ReadProgramFile("story.txt"), "once upon\r\n\r\na time\r\n");

  // Contents without a final line end are kept; the new line follows them.
  WriteProgramFile("story.txt", "old");
  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "story.txt", "a"), 0);
  FileWriteLine(*file, "new");
  FileClose(*file);
  EXPECT_EQ(ReadProgramFile("story.txt"), "oldnew\r\n");
}

TEST(TextFileWrite, WriteModeEmptiesTheFile) {
  WriteProgramFile("rewrite.txt", "long old contents\r\n");
  auto file = NewSlot();
  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "rewrite.txt", "w"), 0);
  EXPECT_TRUE(FileAtEnd(*file));
  FileWriteLine(*file, "one");
  FileWriteLine(*file, "two");
  FileClose(*file);
  EXPECT_EQ(ReadProgramFile("rewrite.txt"), "one\r\ntwo\r\n");
}

TEST(StartFolder, IsTheFolderOfThisExecutable) {
  const std::string folder = StartFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), OsPathSeparator());
  const std::filesystem::path asFolder(folder.substr(0, folder.size() - 1));
  EXPECT_EQ(asFolder.filename().string(), "text_file_test");
  EXPECT_TRUE(std::filesystem::exists(folder + "text_file_test") ||
              std::filesystem::exists(folder + "text_file_test.exe"));
  EXPECT_EQ(StartFolder(), folder);
}

TEST(TextFileStamp, ChangesWithTheContents) {
  WriteProgramFile("stamp.txt", "one\r\n");
  auto file = NewSlot();
  OsFileStamp first{}, second{};
  EXPECT_FALSE(FileStamp(*file, first));
  ASSERT_EQ(FileOpen(*file, ProgramFolder() + "stamp.txt", "a"), 0);
  ASSERT_TRUE(FileStamp(*file, first));
  EXPECT_EQ(first.size, 5);
  FileWriteLine(*file, "two");
  ASSERT_TRUE(FileStamp(*file, second));
  FileClose(*file);
  EXPECT_EQ(second.size, 10);
  EXPECT_NE(first, second);
}

}  // namespace
