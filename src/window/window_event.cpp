// The event record every window layer fills, and the one way they hand an event
// to the handler.
#include "window/window_layer.h"

namespace talewick {

WindowEventRecord WindowEvent;

void DeliverWindowEvent(WindowHandler handler, const WindowEventRecord& event) {
  if (handler == nullptr) return;
  const WindowEventRecord outer = WindowEvent;
  WindowEvent = event;
  handler();
  WindowEvent = outer;
}

}  // namespace talewick
