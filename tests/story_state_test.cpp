// Stores past the capacity of a state field: the field is cut, and every other
// byte of the state record, neighbouring fields and table slots included, stays.
#include "app/story_state.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

namespace {

// A copy of the whole record, to compare everything outside one field.
struct Snapshot {
  std::unique_ptr<StoryState> copy = std::make_unique<StoryState>(Story);

  // True when every byte outside [offset, offset + size) is as it was.
  bool SameOutside(size_t offset, size_t size) const {
    const auto* before = reinterpret_cast<const unsigned char*>(copy.get());
    const auto* now = reinterpret_cast<const unsigned char*>(&Story);
    return std::memcmp(before, now, offset) == 0 &&
           std::memcmp(before + offset + size, now + offset + size,
                       sizeof(StoryState) - offset - size) == 0;
  }
};

// Fills the text fields with recognisable contents, so a stray byte shows.
void FillNeighbours() {
  ClearStoryState();
  TextCopy(Story.WordBuilder, "builder");
  Story.ScanPos = 7;
  Story.InputLength = 11;
  Story.WordCount = 3;
  TextCopy(Story.InputCopy, "copy");
  TextCopy(Story.LoweredInput, "lowered");
  TextCopy(Story.DownloadTarget, "target");
  Story.KeepRunning = 1;
  for (int slot = 0; slot < kWordTableSlots; ++slot) {
    TextCopy(Story.InputWords[slot], "word " + std::to_string(slot));
  }
}

#define EXPECT_ONLY_FIELD_CHANGED(snapshot, field)                                      \
  EXPECT_TRUE((snapshot).SameOutside(offsetof(StoryState, field), sizeof(Story.field))) \
      << "a byte outside " #field " changed"

TEST(StoryStateCapacity, LongInputIsCutInsideItsField) {
  FillNeighbours();
  const Snapshot before;
  TextCopy(Story.InputText, std::string(300, 'i'));
  EXPECT_EQ(Story.InputText.view(), std::string(kTextCapacity, 'i'));
  EXPECT_ONLY_FIELD_CHANGED(before, InputText);
  EXPECT_EQ(Story.InputLength, 11);
  EXPECT_EQ(Story.ScanPos, 7);
}

TEST(StoryStateCapacity, AppendToAFullTextChangesNothing) {
  FillNeighbours();
  TextCopy(Story.NextInput, std::string(kTextCapacity, 'n'));
  const Snapshot before;
  TextAppendChar(Story.NextInput, 'x');
  EXPECT_TRUE(before.SameOutside(0, 0));
}

TEST(StoryStateCapacity, OverwriteGrowingPastTheEndStaysInside) {
  FillNeighbours();
  TextCopy(Story.SearchUrl, std::string(250, 'u'));
  const Snapshot before;
  TextOverwrite(Story.SearchUrl, 249, 40, std::string(40, 'v'));
  EXPECT_EQ(Story.SearchUrl.length(), kTextCapacity);
  EXPECT_EQ(Story.SearchUrl.view().substr(248), "vvvvvv");
  EXPECT_ONLY_FIELD_CHANGED(before, SearchUrl);
  EXPECT_EQ(Story.DownloadTarget.view(), "target");
}

TEST(StoryStateCapacity, TableSlotsStayApart) {
  FillNeighbours();
  const Snapshot before;
  const size_t slot5 = offsetof(StoryState, InputWords) + 5 * sizeof(BoundedText);
  TextCopy(Story.InputWords[5], std::string(400, 'w'));
  EXPECT_EQ(Story.InputWords[5].length(), kTextCapacity);
  EXPECT_TRUE(before.SameOutside(slot5, sizeof(BoundedText)));
  EXPECT_EQ(Story.InputWords[6].view(), "word 6");
}

}  // namespace
