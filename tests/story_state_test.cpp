// Stores past the capacity of a state field: the field is cut, and every other
// byte of the state record, neighbouring fields and table slots included, stays.
#include "core/story_state.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Fills the record with recognisable contents and keeps a copy of it.
std::unique_ptr<StoryState> FilledSnapshot() {
  ClearStoryState();
  for (int slot = 0; slot < kWordTableSlots; ++slot) {
    TextCopy(Story.InputWords[slot], "word " + std::to_string(slot));
  }
  TextCopy(Story.WordBuilder, "builder");
  Story.ScanPos = 7;
  Story.InputLength = 11;
  TextCopy(Story.InputCopy, "copy");
  TextCopy(Story.NextInput, std::string(kTextCapacity, 'n'));
  TextCopy(Story.SearchUrl, std::string(250, 'u'));
  TextCopy(Story.DownloadTarget, "target");
  return std::make_unique<StoryState>(Story);
}

// True when every byte of the record outside [offset, offset + size) is as it was.
bool SameOutside(const StoryState& before, size_t offset, size_t size) {
  const auto* old = reinterpret_cast<const unsigned char*>(&before);
  const auto* now = reinterpret_cast<const unsigned char*>(&Story);
  const size_t end = offset + size;
  return std::memcmp(old, now, offset) == 0 &&
         std::memcmp(old + end, now + end, sizeof(StoryState) - end) == 0;
}

TEST(StoryStateCapacity, LongStoresStayInsideTheirField) {
  auto before = FilledSnapshot();
  TextCopy(Story.InputText, std::string(300, 'i'));
  EXPECT_EQ(Story.InputText.view(), std::string(kTextCapacity, 'i'));
  EXPECT_TRUE(SameOutside(*before, offsetof(StoryState, InputText), sizeof(BoundedText)));
  EXPECT_EQ(Story.InputLength, 11);

  before = std::make_unique<StoryState>(Story);
  TextOverwrite(Story.SearchUrl, 249, 40, std::string(40, 'v'));
  EXPECT_EQ(Story.SearchUrl.view().substr(245), "uuuvvvvvv");
  EXPECT_TRUE(SameOutside(*before, offsetof(StoryState, SearchUrl), sizeof(BoundedText)));

  before = std::make_unique<StoryState>(Story);
  TextCopy(Story.InputWords[5], std::string(400, 'w'));
  EXPECT_EQ(Story.InputWords[5].length(), kTextCapacity);
  EXPECT_TRUE(SameOutside(*before, offsetof(StoryState, InputWords) + 5 * sizeof(BoundedText),
                          sizeof(BoundedText)));
}

}  // namespace
