// The Win32 window layer: the main window, its controls, the owner-drawn GO and
// STOP buttons, the Enter/Tab watch on edit boxes, list boxes and status bars,
// and the translation of every main-window message into WindowEvent for the one
// handler.

// windows.h first: commctrl.h builds on its types.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "window/window_layer.h"

// MinGW-w64 header gaps: older MinGW-w64 releases lack these constants or
// declare them only for some _WIN32_WINNT values; the numbers are the
// documented ones, so defining them here is safe on every version.
#ifndef DSS_DISABLED
#define DSS_DISABLED 0x0020
#endif
#ifndef DFCS_INACTIVE
#define DFCS_INACTIVE 0x0100
#endif
#ifndef ODS_NOFOCUSRECT
#define ODS_NOFOCUSRECT 0x0200
#endif

namespace talewick {

namespace {

constexpr int kIconResourceId = 101;
constexpr char kWindowClassName[] = "TalewickMainWindow";
// Window properties of a watched control: its original window procedure and
// its two notify switches.
constexpr char kOriginalProcProp[] = "TalewickOriginalProc";
constexpr char kSwitchesProp[] = "TalewickNotifySwitches";
constexpr uintptr_t kNotifyTabBit = 1;
constexpr uintptr_t kNotifyEnterBit = 2;
// A caller's button style holding this bit asks for a button that the
// platform draws itself.
constexpr uint32_t kSelfDrawnButtonStyle = 0x80;
// A close request reaches the default processing under this number, which it
// ignores: closing never destroys the window.
constexpr UINT kCloseRequestCode = 32770;

// The layer's private state.
struct Win32Layer {
  HINSTANCE instance = nullptr;
  HWND mainWindow = nullptr;
  WindowHandler handler = nullptr;
  bool classRegistered = false;
  bool commonControlsReady = false;
};
Win32Layer win32;

HWND Win32FindControl(int controlId) {
  if (win32.mainWindow == nullptr) return nullptr;
  return GetDlgItem(win32.mainWindow, controlId);
}

bool Win32HasClass(HWND window, const char* className) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return lstrcmpiA(name, className) == 0;
}

// Keeps a device context's selected objects, colours and modes unchanged for
// the owner of the context, whatever the drawing code sets.
class Win32SavedDc {
 public:
  explicit Win32SavedDc(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ~Win32SavedDc() {
    if (saved_ != 0) RestoreDC(dc_, saved_);
  }
  Win32SavedDc(const Win32SavedDc&) = delete;
  Win32SavedDc& operator=(const Win32SavedDc&) = delete;

 private:
  HDC dc_;
  int saved_;
};

std::string Win32WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

// ----- Owner-drawn push buttons -----

// A push-button frame (pressed while held), the face in the button-face colour,
// the caption centred on one line; greyed and embossed while disabled.
void Win32DrawPushButton(const DRAWITEMSTRUCT& item) {
  Win32SavedDc keep(item.hDC);
  RECT frame = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  UINT frameState = DFCS_BUTTONPUSH;
  if (pressed) frameState |= DFCS_PUSHED;
  if (disabled) frameState |= DFCS_INACTIVE;
  DrawFrameControl(item.hDC, &frame, DFC_BUTTON, frameState);

  const std::string caption = Win32WindowText(item.hwndItem);
  RECT textArea = item.rcItem;
  if (pressed) OffsetRect(&textArea, 1, 1);
  SetBkMode(item.hDC, TRANSPARENT);
  if (disabled) {
    SIZE extent = {};
    GetTextExtentPoint32A(item.hDC, caption.c_str(), static_cast<int>(caption.size()), &extent);
    const int x = textArea.left + (textArea.right - textArea.left - extent.cx) / 2;
    const int y = textArea.top + (textArea.bottom - textArea.top - extent.cy) / 2;
    DrawStateA(item.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(caption.c_str()),
               static_cast<WPARAM>(caption.size()), x, y, extent.cx, extent.cy,
               DST_TEXT | DSS_DISABLED);
  } else {
    SetTextColor(item.hDC, GetSysColor(COLOR_BTNTEXT));
    DrawTextA(item.hDC, caption.c_str(), static_cast<int>(caption.size()), &textArea,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0) {
    RECT focus = item.rcItem;
    InflateRect(&focus, -3, -3);
    DrawFocusRect(item.hDC, &focus);
  }
}

// ----- The character watch on edit boxes, list boxes and status bars -----

WNDPROC Win32OriginalProc(HWND control) {
  return reinterpret_cast<WNDPROC>(GetPropA(control, kOriginalProcProp));
}

// Enter (and Tab where switched on) becomes a command to the parent, and the
// character is dropped, so a multi-line edit box never gets the line break.
LRESULT CALLBACK Win32CharacterWatchProc(HWND control, UINT message, WPARAM wordParam,
                                         LPARAM longParam) {
  const WNDPROC original = Win32OriginalProc(control);
  if (message == WM_CHAR) {
    const auto switches = reinterpret_cast<uintptr_t>(GetPropA(control, kSwitchesProp));
    int32_t notifyCode = -1;
    if (wordParam == '\t' && (switches & kNotifyTabBit) != 0) {
      notifyCode = kTabNotify;
    } else if (wordParam == '\r' && (switches & kNotifyEnterBit) != 0) {
      notifyCode = kEnterNotify;
    }
    if (notifyCode >= 0) {
      const int id = GetDlgCtrlID(control);
      SendMessageA(GetParent(control), WM_COMMAND,
                   MAKEWPARAM(static_cast<WORD>(id), static_cast<WORD>(notifyCode)),
                   reinterpret_cast<LPARAM>(control));
      return 0;
    }
  }
  if (original == nullptr) return DefWindowProcA(control, message, wordParam, longParam);
  return CallWindowProcA(original, control, message, wordParam, longParam);
}

void Win32WatchCharacters(HWND control) {
  const LONG_PTR original = SetWindowLongPtrA(control, GWLP_WNDPROC,
                                              reinterpret_cast<LONG_PTR>(&Win32CharacterWatchProc));
  SetPropA(control, kOriginalProcProp, reinterpret_cast<HANDLE>(original));
  SetPropA(control, kSwitchesProp, nullptr);
}

// Gives a watched control its own procedure back and drops its properties.
BOOL CALLBACK Win32ReleaseWatch(HWND control, LPARAM) {
  const WNDPROC original = Win32OriginalProc(control);
  if (original != nullptr) {
    SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    RemovePropA(control, kOriginalProcProp);
    RemovePropA(control, kSwitchesProp);
  }
  return TRUE;
}

// ----- Main window messages -----

// The event of one message; fields a message does not describe keep the values
// of the event being handled.
WindowEventRecord Win32DescribeMessage(UINT message, WPARAM wordParam, LPARAM longParam) {
  WindowEventRecord event = WindowEvent;
  switch (message) {
    case WM_CLOSE:
      event.EventCode = kCloseEvent;
      break;
    case WM_COMMAND:
      if (longParam != 0) {
        event.EventCode = kCommandEvent;
        event.ControlId = LOWORD(wordParam);
        event.NotifyCode = HIWORD(wordParam);
      } else {
        event.EventCode = kMenuEvent;
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(longParam);
      event.EventCode = kCommandEvent;
      if (header != nullptr) {
        event.ControlId = static_cast<int32_t>(header->idFrom);
        event.NotifyCode = static_cast<int32_t>(header->code);
      }
      break;
    }
    case WM_TIMER:
      event.EventCode = kTimerEvent;
      break;
    default:
      event.EventCode = static_cast<int32_t>(message);
      break;
  }
  return event;
}

void Win32CallHandler(UINT message, WPARAM wordParam, LPARAM longParam) {
  DeliverWindowEvent(win32.handler, Win32DescribeMessage(message, wordParam, longParam));
}

LRESULT Win32ColourTextOnWindow(HDC dc) {
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

LRESULT CALLBACK Win32MainWindowProc(HWND window, UINT message, WPARAM wordParam,
                                     LPARAM longParam) {
  Win32CallHandler(message, wordParam, longParam);
  // The default processing, after the handler.
  switch (message) {
    case WM_CLOSE:
      return DefWindowProcA(window, kCloseRequestCode, wordParam, longParam);
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(longParam);
      if (item != nullptr && item->CtlType == ODT_BUTTON) {
        Win32DrawPushButton(*item);
        return TRUE;
      }
      break;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      return Win32ColourTextOnWindow(reinterpret_cast<HDC>(wordParam));
    default:
      break;
  }
  return DefWindowProcA(window, message, wordParam, longParam);
}

bool Win32RegisterWindowClass() {
  if (win32.classRegistered) return true;
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &Win32MainWindowProc;
  windowClass.hInstance = win32.instance;
  windowClass.hIcon = LoadIconA(win32.instance, MAKEINTRESOURCEA(kIconResourceId));
  if (windowClass.hIcon == nullptr) windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszClassName = kWindowClassName;
  win32.classRegistered = RegisterClassExA(&windowClass) != 0;
  return win32.classRegistered;
}

// Class, added style and added extended style of each control kind.
struct Win32ControlKind {
  const char* className;
  DWORD style;
  DWORD extendedStyle;
  bool watchCharacters;
};

bool Win32LookUpKind(int kind, uint32_t callerStyle, Win32ControlKind& out) {
  switch (kind) {
    case kButtonKind:
      out = {"BUTTON", WS_CHILD | WS_VISIBLE, 0, false};
      if ((callerStyle & kSelfDrawnButtonStyle) == 0) out.style |= BS_OWNERDRAW;
      return true;
    case kEditKind:
      out = {"EDIT", WS_CHILD | WS_VISIBLE | WS_BORDER, WS_EX_CLIENTEDGE, true};
      return true;
    case kListKind:
      out = {"LISTBOX", WS_CHILD | WS_VISIBLE | WS_BORDER | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS,
             WS_EX_CLIENTEDGE, true};
      return true;
    case kStatusKind:
      out = {STATUSCLASSNAMEA, WS_CHILD | WS_VISIBLE, 0, true};
      return true;
    default:
      return false;
  }
}

// The modal message box is centred on the screen and kept inside the work
// area; the hook moves it as it is activated, then removes itself.
HHOOK messageBoxHook = nullptr;

void Win32PlaceMessageBox(HWND box) {
  RECT bounds = {};
  GetWindowRect(box, &bounds);
  const int width = bounds.right - bounds.left;
  const int height = bounds.bottom - bounds.top;
  RECT workArea = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  if (x + width > workArea.right) x = workArea.right - width;
  if (y + height > workArea.bottom) y = workArea.bottom - height;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(box, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32RemoveMessageBoxHook() {
  if (messageBoxHook != nullptr) {
    UnhookWindowsHookEx(messageBoxHook);
    messageBoxHook = nullptr;
  }
}

LRESULT CALLBACK Win32MessageBoxHookProc(int code, WPARAM wordParam, LPARAM longParam) {
  const HHOOK hook = messageBoxHook;
  if (code == HCBT_ACTIVATE) {
    const auto box = reinterpret_cast<HWND>(wordParam);
    if (Win32HasClass(box, "#32770")) {
      Win32PlaceMessageBox(box);
      Win32RemoveMessageBoxHook();
    }
  }
  return CallNextHookEx(hook, code, wordParam, longParam);
}

// Removes the hook when the box never got activated.
struct Win32MessageBoxHookGuard {
  Win32MessageBoxHookGuard() {
    Win32RemoveMessageBoxHook();
    messageBoxHook =
        SetWindowsHookExA(WH_CBT, &Win32MessageBoxHookProc, nullptr, GetCurrentThreadId());
  }
  ~Win32MessageBoxHookGuard() { Win32RemoveMessageBoxHook(); }
  Win32MessageBoxHookGuard(const Win32MessageBoxHookGuard&) = delete;
  Win32MessageBoxHookGuard& operator=(const Win32MessageBoxHookGuard&) = delete;
};

// A window that could not be created is reported to the handler as closed, and
// a message is queued so that the event loop's first wait returns: the program
// then ends instead of waiting for ever on a window that does not exist.
void Win32ReportWindowNeverOpened(WindowHandler handler) {
  win32.handler = nullptr;
  if (handler == nullptr) return;
  WindowEventRecord event = WindowEvent;
  event.EventCode = kCloseEvent;
  DeliverWindowEvent(handler, event);
  PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
}

}  // namespace

void OpenWindow(int x, int y, int width, int height, uint32_t flags, const void* parent,
                std::string_view caption, WindowHandler handler) {
  win32.instance = GetModuleHandleA(nullptr);
  win32.mainWindow = nullptr;
  if (!Win32RegisterWindowClass()) {
    Win32ReportWindowNeverOpened(handler);
    return;
  }
  win32.handler = handler;
  DWORD style = flags | WS_VISIBLE;
  // The program's window always has a title bar with its system menu.
  style |= WS_CAPTION | WS_SYSMENU;
  // A window without parent is a top-level popup; its controls are not painted over.
  style |= parent == nullptr ? WS_POPUP | WS_CLIPCHILDREN : WS_CHILD;
  const std::string title(caption);
  HWND owner = static_cast<HWND>(const_cast<void*>(parent));
  win32.mainWindow = CreateWindowExA(0, kWindowClassName, title.c_str(), style, x, y, width, height,
                                     owner, nullptr, win32.instance, nullptr);
  if (win32.mainWindow == nullptr) Win32ReportWindowNeverOpened(handler);
}

void CreateControl(int kind, std::string_view text, int x, int y, int width, int height,
                   uint32_t style, int id) {
  if (win32.mainWindow == nullptr || Win32FindControl(id) != nullptr) return;
  Win32ControlKind added = {};
  if (!Win32LookUpKind(kind, style, added)) return;
  if (kind == kStatusKind && !win32.commonControlsReady) {
    InitCommonControls();
    win32.commonControlsReady = true;
  }
  const std::string initialText(text);
  HWND control =
      CreateWindowExA(added.extendedStyle, added.className, initialText.c_str(),
                      style | added.style, x, y, width, height, win32.mainWindow,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), win32.instance, nullptr);
  if (control != nullptr && added.watchCharacters) Win32WatchCharacters(control);
}

void SetNotifySwitches(int controlId, int tabFlag, int enterFlag) {
  HWND control = Win32FindControl(controlId);
  if (control == nullptr || Win32OriginalProc(control) == nullptr) return;
  uintptr_t switches = 0;
  if (tabFlag != 0) switches |= kNotifyTabBit;
  if (enterFlag != 0) switches |= kNotifyEnterBit;
  SetPropA(control, kSwitchesProp, reinterpret_cast<HANDLE>(switches));
}

void CloseWindowLayer() {
  if (win32.mainWindow == nullptr) return;
  KillTimer(win32.mainWindow, kCycleTimer);
  EnumChildWindows(win32.mainWindow, &Win32ReleaseWatch, 0);
  win32.handler = nullptr;
}

void SetControlText(int controlId, std::string_view text) {
  HWND control = Win32FindControl(controlId);
  if (control == nullptr) return;
  const std::string value(text);
  if (Win32HasClass(control, STATUSCLASSNAMEA)) {
    SendMessageA(control, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(value.c_str()));
  } else {
    SetWindowTextA(control, value.c_str());
  }
}

std::string GetControlText(int controlId) {
  HWND control = Win32FindControl(controlId);
  return control != nullptr ? Win32WindowText(control) : std::string();
}

void EnableControl(int controlId, int flag) {
  if (HWND control = Win32FindControl(controlId)) EnableWindow(control, flag != 0 ? TRUE : FALSE);
}

void AddListLine(int controlId, std::string_view text) {
  HWND control = Win32FindControl(controlId);
  if (control == nullptr) return;
  const std::string line(text);
  const auto lineParam = reinterpret_cast<LPARAM>(line.c_str());
  // Inserting at -1 appends without sorting, selecting or scrolling.
  if (Win32HasClass(control, "ListBox")) {
    SendMessageA(control, LB_INSERTSTRING, static_cast<WPARAM>(-1), lineParam);
  }
}

void StartWindowTimer(int intervalMs, int timerId) {
  if (win32.mainWindow == nullptr) return;
  SetTimer(win32.mainWindow, static_cast<UINT_PTR>(timerId), static_cast<UINT>(intervalMs),
           nullptr);
}

void StopWindowTimer(int timerId) {
  if (win32.mainWindow != nullptr) KillTimer(win32.mainWindow, static_cast<UINT_PTR>(timerId));
}

void PumpEvents(int wait) {
  if (wait != 0) WaitMessage();
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void ShowMessageBox(std::string_view text, std::string_view caption, int style) {
  const std::string boxText(text);
  const std::string boxCaption(caption);
  const UINT type = style == 0 ? MB_OK | MB_ICONEXCLAMATION : static_cast<UINT>(style);
  Win32MessageBoxHookGuard placeOnScreen;
  MessageBoxA(nullptr, boxText.c_str(), boxCaption.c_str(), type);
}

}  // namespace talewick
