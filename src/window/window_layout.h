// Where start-up puts the main window and its controls, in pixels (the window on
// the screen, the controls in its client area; the status bar places itself),
// and the styles it asks for. The end-to-end tests read the places from this
// file (tests/e2e/harness.py), so each stays on one line in this form.
#pragma once

#include <cstdint>
#include <string_view>

#include "window/window_layer.h"

namespace talewick {

struct WindowPlace {
  int x, y, width, height;
};
inline constexpr WindowPlace kMainWindowPlace{0, 0, 840, 400};
inline constexpr WindowPlace kInputBoxPlace{10, 310, 540, 40};
inline constexpr WindowPlace kGoButtonPlace{560, 307, 60, 20};
inline constexpr WindowPlace kStopButtonPlace{560, 330, 60, 20};
inline constexpr WindowPlace kStoryListPlace{5, 5, 825, 300};

inline constexpr uint32_t kMainWindowFlags = 0x70000;  // sizing border, minimize and maximize boxes
inline constexpr uint32_t kInputBoxStyle = 0x4;        // multi-line edit box
inline constexpr uint32_t kButtonStyle = 0x50000000;   // child, visible
inline constexpr uint32_t kStoryListStyle = 0x50B00140;

// CreateControl at one of the places above.
inline void CreateControlAt(int kind, std::string_view text, const WindowPlace& place,
                            uint32_t style, int id) {
  CreateControl(kind, text, place.x, place.y, place.width, place.height, style, id);
}

}  // namespace talewick
