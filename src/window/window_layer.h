// The window layer: the only way the portable core touches the user interface.
// One implementation per toolkit (native/window_layer_gtk.cpp,
// native/window_layer_win32.cpp) and a scripted one for tests, fuzz targets and
// benchmarks (scripted/window_layer_scripted.cpp). Every operation addresses a
// control of the one main window by its id and does nothing when the window or
// the control does not exist.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talewick {

// Control ids of the main window.
inline constexpr int kInputBox = 1;
inline constexpr int kGoButton = 2;
inline constexpr int kStopButton = 3;
inline constexpr int kStoryList = 4;
inline constexpr int kStatusBar = 5;
// The one timer of the main window that drives the cycle.
inline constexpr int kCycleTimer = 1;

// Event codes delivered in WindowEvent.EventCode.
inline constexpr int32_t kCloseEvent = 32770;
inline constexpr int32_t kMenuEvent = 32771;
inline constexpr int32_t kCommandEvent = 32772;
inline constexpr int32_t kTimerEvent = 275;
// Notification codes of a command.
inline constexpr int32_t kClickedNotify = 0;
inline constexpr int32_t kEnterNotify = 2560;
inline constexpr int32_t kTabNotify = 2561;

// Control kinds for CreateControl.
inline constexpr int kButtonKind = 1;
inline constexpr int kEditKind = 4;
inline constexpr int kListKind = 5;
inline constexpr int kStatusKind = 12;

// Description of the event being handled; see DeliverWindowEvent.
struct WindowEventRecord {
  int32_t EventCode;
  int32_t ControlId;
  int32_t NotifyCode;
};
extern WindowEventRecord WindowEvent;

using WindowHandler = int (*)();

// How every layer hands an event to the handler: WindowEvent is set to `event`
// for the call and given back its outer value afterwards, so that an event
// handled inside another (from a pump or a message box) leaves the outer one as
// it was. Nothing happens without a handler.
void DeliverWindowEvent(WindowHandler handler, const WindowEventRecord& event);

// Start-up operations.
void OpenWindow(int x, int y, int width, int height, uint32_t flags, const void* parent,
                std::string_view caption, WindowHandler handler);
void CreateControl(int kind, std::string_view text, int x, int y, int width, int height,
                   uint32_t style, int id);
void SetNotifySwitches(int controlId, int tabFlag, int enterFlag);
// Releases the layer's own records at shutdown.
void CloseWindowLayer();

// User-interface operations of the cycle.
void SetControlText(int controlId, std::string_view text);
std::string GetControlText(int controlId);
void EnableControl(int controlId, int flag);
void AddListLine(int controlId, std::string_view text);
void StartWindowTimer(int intervalMs, int timerId);
void StopWindowTimer(int timerId);
// Handles pending events; with wait 1 first blocks until at least one is queued.
void PumpEvents(int wait);
// Warning box with one OK button, no owner, centred on the screen; returns when
// the user dismisses it, handling the main window's events meanwhile.
void ShowMessageBox(std::string_view text, std::string_view caption, int style);

}  // namespace talewick
