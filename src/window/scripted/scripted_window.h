// Test control of the scripted window layer: the state a test inspects and the
// events it queues. The queued events are delivered, in order, by the next
// PumpEvents call or while a message box is open.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace talewick {

struct ScriptedControl {
  int kind = 0;
  std::string text;
  bool enabled = true;
  bool notifyTab = false;
  bool notifyEnter = false;
  std::vector<std::string> lines;  // list boxes only
};

struct ScriptedMessageBox {
  std::string text;
  std::string caption;
  int style = 0;
};

struct ScriptedWindow {
  bool open = false;
  std::string caption;
  std::map<int, ScriptedControl> controls;
  bool timerArmed = false;
  int timerInterval = 0;
  int timerArmCount = 0;
  std::vector<ScriptedMessageBox> messageBoxes;
  int pumpCount = 0;
  // Called at the start of every PumpEvents and every message box, before the
  // queue is delivered; lets a test act "while the user waits".
  std::function<void()> onPump;
};

// The scripted layer's whole state; reset by ResetScriptedWindow.
ScriptedWindow& Scripted();
void ResetScriptedWindow();

// Queue events as a user would cause them.
void QueueCommand(int controlId, int32_t notifyCode);
void QueueClose();
void QueueTimerTick();
// Runs an arbitrary step when its turn in the queue comes (e.g. type into the box).
void QueueAction(std::function<void()> action);
// Delivers one event to the installed handler now, as the layer would.
void DeliverEvent(int32_t eventCode, int32_t controlId, int32_t notifyCode);
// Types text into a control, as a user would: Enter (and Tab where switched on)
// become commands instead of characters.
void TypeInto(int controlId, const std::string& text);
// The list lines of StoryList.
const std::vector<std::string>& StoryLines();

}  // namespace talewick
