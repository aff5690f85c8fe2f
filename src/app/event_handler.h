// The main window's one event handler and the generation cycle it runs.
#pragma once

namespace talewick {

// Reads WindowEvent; returns 0 for every event.
int HandleWindowEvent();
// The GO path (GO button or Enter in the input box).
void HandleGo();

}  // namespace talewick
