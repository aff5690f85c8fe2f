// Storage of the state record.
#include "core/story_state.h"

#include <cstring>
#include <type_traits>

static_assert(std::is_trivially_copyable_v<StoryState>,
              "StoryState must stay plain data: it is zero-filled, never constructed");

StoryState Story;

void ClearStoryState() { std::memset(&Story, 0, sizeof Story); }
