// A window layer without a window, for tests: it keeps each control's text, list
// lines, enabled flag, the timer and the message boxes shown, and delivers the
// events a test queues from PumpEvents or from an open message box, exactly as a
// real layer would deliver them (WindowEvent saved and restored around each).
#include <deque>
#include <utility>

#include "window/scripted/scripted_window.h"
#include "window/window_layer.h"

namespace talewick {

namespace {

struct Layer {
  ScriptedWindow window;
  WindowHandler handler = nullptr;
  std::deque<std::function<void()>> queue;
};

Layer& TheLayer() {
  static Layer layer;
  return layer;
}

ScriptedControl* FindControl(int id) {
  Layer& layer = TheLayer();
  if (!layer.window.open) return nullptr;
  auto found = layer.window.controls.find(id);
  return found == layer.window.controls.end() ? nullptr : &found->second;
}

void DeliverQueue() {
  Layer& layer = TheLayer();
  if (layer.window.onPump) layer.window.onPump();
  while (!layer.queue.empty()) {
    std::function<void()> next = std::move(layer.queue.front());
    layer.queue.pop_front();
    next();
  }
}

}  // namespace

ScriptedWindow& Scripted() { return TheLayer().window; }

void ResetScriptedWindow() {
  TheLayer() = Layer{};
  WindowEvent = WindowEventRecord{};
}

void DeliverEvent(int32_t eventCode, int32_t controlId, int32_t notifyCode) {
  WindowEventRecord event = WindowEvent;
  event.EventCode = eventCode;
  if (eventCode == kCommandEvent) {
    event.ControlId = controlId;
    event.NotifyCode = notifyCode;
  }
  DeliverWindowEvent(TheLayer().handler, event);
}

void QueueAction(std::function<void()> action) { TheLayer().queue.push_back(std::move(action)); }

void QueueCommand(int controlId, int32_t notifyCode) {
  QueueAction([=] {
    // A disabled button takes no clicks.
    ScriptedControl* control = FindControl(controlId);
    if (control != nullptr && control->kind == kButtonKind && !control->enabled) return;
    DeliverEvent(kCommandEvent, controlId, notifyCode);
  });
}

void QueueClose() {
  QueueAction([] { DeliverEvent(kCloseEvent, 0, 0); });
}

void QueueTimerTick() {
  QueueAction([] {
    if (TheLayer().window.timerArmed) DeliverEvent(kTimerEvent, 0, 0);
  });
}

void TypeInto(int controlId, const std::string& text) {
  ScriptedControl* control = FindControl(controlId);
  if (control == nullptr || !control->enabled) return;
  for (char c : text) {
    if (c == '\t' && control->notifyTab) {
      DeliverEvent(kCommandEvent, controlId, kTabNotify);
    } else if (c == '\r' && control->notifyEnter) {
      DeliverEvent(kCommandEvent, controlId, kEnterNotify);
    } else {
      control->text += c;
    }
    control = FindControl(controlId);  // a handler may have changed the controls
    if (control == nullptr) return;
  }
}

const std::vector<std::string>& StoryLines() {
  static const std::vector<std::string> none;
  const ScriptedControl* list = FindControl(kStoryList);
  return list != nullptr ? list->lines : none;
}

void OpenWindow(int, int, int, int, uint32_t, const void*, std::string_view caption,
                WindowHandler handler) {
  Layer& layer = TheLayer();
  layer.window.open = true;
  layer.window.caption = std::string(caption);
  layer.handler = handler;
}

void CreateControl(int kind, std::string_view text, int, int, int, int, uint32_t, int id) {
  Layer& layer = TheLayer();
  if (!layer.window.open || layer.window.controls.count(id) != 0) return;
  ScriptedControl control;
  control.kind = kind;
  control.text = std::string(text);
  layer.window.controls.emplace(id, std::move(control));
}

void SetNotifySwitches(int controlId, int tabFlag, int enterFlag) {
  if (ScriptedControl* control = FindControl(controlId)) {
    control->notifyTab = tabFlag != 0;
    control->notifyEnter = enterFlag != 0;
  }
}

void CloseWindowLayer() {
  Layer& layer = TheLayer();
  layer.window.open = false;
  layer.handler = nullptr;
}

void SetControlText(int controlId, std::string_view text) {
  if (ScriptedControl* control = FindControl(controlId)) control->text = std::string(text);
}

std::string GetControlText(int controlId) {
  const ScriptedControl* control = FindControl(controlId);
  return control != nullptr ? control->text : std::string();
}

void EnableControl(int controlId, int flag) {
  if (ScriptedControl* control = FindControl(controlId)) control->enabled = flag != 0;
}

void AddListLine(int controlId, std::string_view text) {
  ScriptedControl* control = FindControl(controlId);
  if (control != nullptr && control->kind == kListKind) control->lines.emplace_back(text);
}

void StartWindowTimer(int intervalMs, int) {
  ScriptedWindow& window = TheLayer().window;
  if (!window.open) return;
  window.timerArmed = true;
  window.timerInterval = intervalMs;
  ++window.timerArmCount;
}

void StopWindowTimer(int) { TheLayer().window.timerArmed = false; }

void PumpEvents(int) {
  ++TheLayer().window.pumpCount;
  DeliverQueue();
}

void ShowMessageBox(std::string_view text, std::string_view caption, int style) {
  TheLayer().window.messageBoxes.push_back(
      ScriptedMessageBox{std::string(text), std::string(caption), style});
  DeliverQueue();  // the box's own loop dispatches the main window's events
}

}  // namespace talewick
