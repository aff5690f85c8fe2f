// The window layer on GTK 3: the main window with its controls in a fixed
// layout, the cycle timer as a GLib timeout, event pumping and the message box.
// It only translates: close requests, button clicks, Enter in the input box and
// timer ticks become WindowEvent records for the one handler.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "window/native/embedded_icon.h"
#include "window/window_layer.h"

namespace talewick {

namespace {

constexpr uint32_t kSizingBorderFlag = 0x40000;
// A timer of 0 ms would starve the loop; the platform's own minimum is 10 ms.
constexpr int kMinimumTimerMs = 10;
// PumpEvents(0) handles what is pending; this bound keeps an endless stream of
// ready sources (animations) from holding it forever.
constexpr int kMaxPendingRounds = 10'000;

// Buttons of 20 pixels' height need the theme's padding and minimum sizes off.
// A list row is one line of the font high, as in a list box: the theme's space
// between rows goes, and so does its expander's size, which no row is less than
// (a plain list has no expanders).
constexpr const char* kCompactCss =
    "button.talewick-button { min-height: 0; min-width: 0; padding: 0 2px; }"
    "treeview.talewick-list { -GtkTreeView-vertical-separator: 0; -GtkTreeView-expander-size: 0; }";
// How long the window manager may take to tell the size of its frame.
constexpr gint64 kFrameExtentsWaitUs = 500'000;

struct WidgetDestroyer {
  void operator()(GtkWidget* widget) const { gtk_widget_destroy(widget); }
};
using OwnedWidget = std::unique_ptr<GtkWidget, WidgetDestroyer>;

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using OwnedObject = std::unique_ptr<T, ObjectUnref>;

struct GFreeDeleter {
  void operator()(gchar* text) const { g_free(text); }
};
using OwnedText = std::unique_ptr<gchar, GFreeDeleter>;

struct GtkControl {
  int kind = 0;
  GtkWidget* outer = nullptr;     // the widget placed in the layout
  GtkWidget* inner = nullptr;     // the widget that holds the text or takes the keys
  GtkListStore* lines = nullptr;  // list boxes; owned by the tree view
  std::string statusText;         // status bars
  bool notifyTab = false;
  bool notifyEnter = false;
};

// The layer's private state.
struct GtkLayer {
  OwnedWidget window;
  GtkWidget* layout = nullptr;  // the controls at their places; asks for no minimum size
  int clientWidth = 0;
  int clientHeight = 0;
  WindowHandler handler = nullptr;
  std::map<int, GtkControl> controls;
  std::map<int, guint> timers;  // timer id -> GLib source id
};

GtkLayer gtk;

GtkControl* GtkFindControl(int id) {
  if (!gtk.window) return nullptr;
  auto found = gtk.controls.find(id);
  return found == gtk.controls.end() ? nullptr : &found->second;
}

// GTK takes UTF-8 only; anything else is shown with replacement characters.
std::string GtkValidUtf8(std::string_view text) {
  if (text.empty()) return std::string();  // its data() may be null, which GLib refuses
  const OwnedText valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  return std::string(valid.get());
}

// The toolkit's own warnings stay on standard error beside the DebugLog lines:
// a wrong call must show up somewhere.
bool GtkStartToolkit() {
  static const bool ready = [] {
    g_set_prgname("talewick");
    g_set_application_name("Talewick");
    return gtk_init_check(nullptr, nullptr) != FALSE;
  }();
  return ready;
}

void GtkInstallCompactStyle() {
  const OwnedObject<GtkCssProvider> css(gtk_css_provider_new());
  gtk_css_provider_load_from_data(css.get(), kCompactCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css.get()),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void GtkApplyEmbeddedIcon(GtkWindow* window) {
  if (kEmbeddedIconPngSize == 0) return;
  const OwnedObject<GdkPixbufLoader> loader(gdk_pixbuf_loader_new());
  const bool written =
      gdk_pixbuf_loader_write(loader.get(), kEmbeddedIconPng, kEmbeddedIconPngSize, nullptr);
  // Closed in every case: an unclosed loader complains when it is released.
  const bool closed = gdk_pixbuf_loader_close(loader.get(), nullptr);
  GdkPixbuf* icon = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader.get()) : nullptr;
  if (icon != nullptr) gtk_window_set_icon(window, icon);
}

// --- events to the handler ---------------------------------------------------

void GtkDeliverClose() {
  WindowEventRecord event = WindowEvent;
  event.EventCode = kCloseEvent;
  DeliverWindowEvent(gtk.handler, event);
}

void GtkDeliverCommand(int controlId, int32_t notifyCode) {
  WindowEventRecord event = WindowEvent;
  event.EventCode = kCommandEvent;
  event.ControlId = controlId;
  event.NotifyCode = notifyCode;
  DeliverWindowEvent(gtk.handler, event);
}

gboolean GtkOnWindowDeleteEvent(GtkWidget*, GdkEvent*, gpointer) {
  GtkDeliverClose();
  return TRUE;  // a close request never destroys the window
}

bool GtkIsTabKey(guint key) {
  return key == GDK_KEY_Tab || key == GDK_KEY_KP_Tab || key == GDK_KEY_ISO_Left_Tab;
}
bool GtkIsEnterKey(guint key) {
  return key == GDK_KEY_Return || key == GDK_KEY_KP_Enter || key == GDK_KEY_ISO_Enter;
}

// The character watch of edit boxes and lists: with its switch on, Tab or Enter
// becomes a command to the handler and is not typed.
gboolean GtkOnControlKeyPress(GtkWidget*, GdkEventKey* key, gpointer data) {
  const int id = GPOINTER_TO_INT(data);
  const GtkControl* control = GtkFindControl(id);
  if (control == nullptr) return FALSE;
  if (GtkIsTabKey(key->keyval) && control->notifyTab) {
    GtkDeliverCommand(id, kTabNotify);
    return TRUE;
  }
  if (GtkIsEnterKey(key->keyval) && control->notifyEnter) {
    GtkDeliverCommand(id, kEnterNotify);
    return TRUE;
  }
  return FALSE;
}

// The window is not a dialog: no key moves the focus between its controls (Tab,
// the arrows, and the toolkit's other focus keys) ...
void GtkOnWindowMoveFocus(GtkWindow* window, GtkDirectionType, gpointer) {
  g_signal_stop_emission_by_name(window, "move-focus");
}

// ... not even an arrow at the first or last line of the box or the list ...
gboolean GtkOnControlKeynavFailed(GtkWidget*, GtkDirectionType, gpointer) { return TRUE; }

// ... and a focused button has no default action for Enter: only Space clicks it.
gboolean GtkOnWindowKeyPress(GtkWidget* window, GdkEventKey* key, gpointer) {
  if (!GtkIsEnterKey(key->keyval)) return FALSE;
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
  return focus != nullptr && GTK_IS_BUTTON(focus) ? TRUE : FALSE;
}

void GtkOnButtonClicked(GtkButton*, gpointer data) {
  GtkDeliverCommand(GPOINTER_TO_INT(data), kClickedNotify);
}

gboolean GtkOnTimerTick(gpointer data) {
  const int timerId = GPOINTER_TO_INT(data);
  const guint source = g_source_get_id(g_main_current_source());
  WindowEventRecord event = WindowEvent;
  event.EventCode = kTimerEvent;
  DeliverWindowEvent(gtk.handler, event);
  // The handler may have stopped or re-armed this timer meanwhile.
  const auto& timers = gtk.timers;
  const auto armed = timers.find(timerId);
  return armed != timers.end() && armed->second == source ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void GtkOnMessageBoxResponse(GtkDialog*, gint, gpointer dismissed) {
  *static_cast<bool*>(dismissed) = true;
}

// --- the controls ---------------------------------------------------------------

GtkControl GtkMakeButton(std::string_view text, int width, int height, int id) {
  GtkControl control;
  control.outer = control.inner = gtk_button_new_with_label(GtkValidUtf8(text).c_str());
  gtk_style_context_add_class(gtk_widget_get_style_context(control.outer), "talewick-button");
  gtk_widget_set_size_request(control.outer, width, height);
  g_signal_connect(control.outer, "clicked", G_CALLBACK(GtkOnButtonClicked), GINT_TO_POINTER(id));
  return control;
}

// A multi-line box that wraps at its right edge and takes Tab as a character;
// no scroll bars, the text scrolls only to keep the cursor in view.
GtkControl GtkMakeEditBox(std::string_view text, int width, int height) {
  GtkControl control;
  control.outer = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(control.outer), GTK_POLICY_NEVER,
                                 GTK_POLICY_EXTERNAL);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(control.outer), GTK_SHADOW_IN);
  gtk_widget_set_size_request(control.outer, width, height);
  control.inner = gtk_text_view_new();
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(control.inner), GTK_WRAP_WORD_CHAR);
  gtk_text_view_set_accepts_tab(GTK_TEXT_VIEW(control.inner), TRUE);
  gtk_text_view_set_left_margin(GTK_TEXT_VIEW(control.inner), 2);
  gtk_text_view_set_right_margin(GTK_TEXT_VIEW(control.inner), 2);
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(control.inner)),
                           GtkValidUtf8(text).c_str(), -1);
  gtk_container_add(GTK_CONTAINER(control.outer), control.inner);
  return control;
}

// An unsorted list of lines with a vertical scroll bar when needed and never a
// horizontal one: long lines are cut at the right edge.
GtkControl GtkMakeList(int width, int height) {
  GtkControl control;
  control.outer = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(control.outer), GTK_POLICY_EXTERNAL,
                                 GTK_POLICY_AUTOMATIC);
  // A real bar beside the lines rather than an indicator drawn over them.
  gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(control.outer), FALSE);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(control.outer), GTK_SHADOW_IN);
  gtk_widget_set_size_request(control.outer, width, height);

  const OwnedObject<GtkListStore> store(gtk_list_store_new(1, G_TYPE_STRING));
  control.lines = store.get();
  control.inner = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store.get()));
  GtkTreeView* view = GTK_TREE_VIEW(control.inner);
  gtk_tree_view_set_headers_visible(view, FALSE);
  gtk_tree_view_set_enable_search(view, FALSE);
  gtk_style_context_add_class(gtk_widget_get_style_context(control.inner), "talewick-list");
  GtkCellRenderer* cell = gtk_cell_renderer_text_new();
  g_object_set(cell, "ypad", 0, nullptr);  // nothing above or below the line
  GtkTreeViewColumn* column =
      gtk_tree_view_column_new_with_attributes("", cell, "text", 0, nullptr);
  // A column as wide as the list: a longer line is cut at the edge and never
  // widens the column.
  gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
  gtk_tree_view_column_set_fixed_width(column, width);
  gtk_tree_view_append_column(view, column);
  gtk_container_add(GTK_CONTAINER(control.outer), control.inner);
  return control;
}

GtkControl GtkMakeStatusBar(std::string_view text) {
  GtkControl control;
  control.outer = control.inner = gtk_statusbar_new();
  control.statusText = GtkValidUtf8(text);
  gtk_statusbar_push(GTK_STATUSBAR(control.outer), 0, control.statusText.c_str());
  return control;
}

// The status bar lies along the bottom of the client area, across its whole
// width; the theme's outer margins would push it past the window's edges.
void GtkPlaceStatusBar(GtkWidget* bar) {
  gtk_widget_set_margin_start(bar, 0);
  gtk_widget_set_margin_end(bar, 0);
  gtk_widget_set_margin_top(bar, 0);
  gtk_widget_set_margin_bottom(bar, 0);
  gtk_widget_show_all(bar);  // a hidden widget measures as 0
  int minimum = 0;
  int natural = 0;
  gtk_widget_get_preferred_height(bar, &minimum, &natural);
  gtk_widget_set_size_request(bar, gtk.clientWidth, natural);
  gtk_layout_put(GTK_LAYOUT(gtk.layout), bar, 0, std::max(0, gtk.clientHeight - natural));
}

// GTK paints at the next frame, which may be due only after PumpEvents(0) has
// returned; the cycle then blocks in its download and the window would go on
// showing the old texts. What is invalid is painted now instead.
void GtkPaintNow() {
  GdkWindow* window = gtk_widget_get_window(gtk.window.get());
  if (window == nullptr) return;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gdk_window_process_updates(window, TRUE);
  G_GNUC_END_IGNORE_DEPRECATIONS
  gdk_display_flush(gdk_window_get_display(window));
}

struct FrameExtents {
  // cppcheck-suppress unusedStructMember
  long left, right, top, bottom;
};

std::optional<FrameExtents> GtkReadFrameExtents(Display* x, Window window, Atom extents) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(x, window, extents, 0, 4, False, XA_CARDINAL, &type, &format, &count,
                         &after, &data) != Success) {
    return std::nullopt;
  }
  std::optional<FrameExtents> found;
  if (type == XA_CARDINAL && format == 32 && count == 4) {
    const auto* sides = reinterpret_cast<const long*>(data);  // format 32 comes as longs
    found = FrameExtents{sides[0], sides[1], sides[2], sides[3]};
  }
  if (data != nullptr) XFree(data);
  return found;
}

// The sizes of the frame the window manager will put around the realized but
// not yet mapped `window` (_NET_REQUEST_FRAME_EXTENTS), so that the window can
// be mapped at its outer size at once; nothing when the window manager does
// not tell (no such window manager, or not X11).
std::optional<FrameExtents> GtkAskFrameExtents(GtkWidget* window) {
  GdkWindow* own = gtk_widget_get_window(window);
  GdkDisplay* display = gtk_widget_get_display(window);
  if (own == nullptr || !GDK_IS_X11_DISPLAY(display) ||
      !gdk_x11_screen_supports_net_wm_hint(
          gtk_widget_get_screen(window),
          gdk_atom_intern_static_string("_NET_REQUEST_FRAME_EXTENTS"))) {
    return std::nullopt;
  }
  Display* x = gdk_x11_display_get_xdisplay(display);
  const Window xid = gdk_x11_window_get_xid(own);
  const Atom extents = gdk_x11_get_xatom_by_name_for_display(display, "_NET_FRAME_EXTENTS");
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = xid;
  request.xclient.message_type =
      gdk_x11_get_xatom_by_name_for_display(display, "_NET_REQUEST_FRAME_EXTENTS");
  request.xclient.format = 32;
  XSendEvent(x, DefaultRootWindow(x), False, SubstructureRedirectMask | SubstructureNotifyMask,
             &request);
  // The answer is a property of the window: looked at until it is there, briefly.
  const gint64 deadline = g_get_monotonic_time() + kFrameExtentsWaitUs;
  for (;;) {
    XSync(x, False);
    if (auto found = GtkReadFrameExtents(x, xid, extents)) return found;
    if (g_get_monotonic_time() >= deadline) return std::nullopt;
    g_usleep(5'000);
  }
}

// The window's client area, so that with its frame it is `width` by `height`.
// Without a frame size from the window manager the client area takes the whole
// size, and the frame comes on top.
void GtkSizeClientArea(GtkWindow* window, int width, int height) {
  gtk.clientWidth = width;
  gtk.clientHeight = height;
  if (const auto frame = GtkAskFrameExtents(GTK_WIDGET(window))) {
    gtk.clientWidth = std::max(1, width - static_cast<int>(frame->left + frame->right));
    gtk.clientHeight = std::max(1, height - static_cast<int>(frame->top + frame->bottom));
  } else {
    std::fprintf(stderr,
                 "talewick: the window manager tells no size of its frame; the window's "
                 "inside is %d by %d, and a frame, if any, comes around it\n",
                 width, height);
  }
  gtk_window_set_default_size(window, gtk.clientWidth, gtk.clientHeight);
}

}  // namespace

// --- start-up ---------------------------------------------------------------------

void OpenWindow(int x, int y, int width, int height, uint32_t flags, const void*,
                std::string_view caption, WindowHandler handler) {
  if (gtk.window) return;
  gtk.handler = handler;
  if (!GtkStartToolkit()) return;
  GtkInstallCompactStyle();

  gtk.window.reset(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  GtkWindow* window = GTK_WINDOW(gtk.window.get());
  gtk_window_set_title(window, GtkValidUtf8(caption).c_str());
  gtk_window_set_resizable(window, (flags & kSizingBorderFlag) != 0);
  // The frame's top-left corner at (x, y), as the default gravity places it.
  gtk_window_move(window, x, y);
  GtkApplyEmbeddedIcon(window);
  gtk_widget_realize(gtk.window.get());
  GtkSizeClientArea(window, width, height);
  // A layout, unlike a fixed container, asks for no minimum size: the window
  // may be made as small as the user likes, and cuts the controls off.
  gtk.layout = gtk_layout_new(nullptr, nullptr);
  gtk_container_add(GTK_CONTAINER(window), gtk.layout);
  g_signal_connect(window, "delete-event", G_CALLBACK(GtkOnWindowDeleteEvent), nullptr);
  g_signal_connect(window, "key-press-event", G_CALLBACK(GtkOnWindowKeyPress), nullptr);
  g_signal_connect(window, "move-focus", G_CALLBACK(GtkOnWindowMoveFocus), nullptr);
  gtk_widget_show_all(gtk.window.get());
}

void CreateControl(int kind, std::string_view text, int x, int y, int width, int height, uint32_t,
                   int id) {
  if (!gtk.window || gtk.controls.count(id) != 0) return;
  GtkControl control;
  switch (kind) {
    case kButtonKind:
      control = GtkMakeButton(text, width, height, id);
      break;
    case kEditKind:
      control = GtkMakeEditBox(text, width, height);
      break;
    case kListKind:
      control = GtkMakeList(width, height);
      break;
    case kStatusKind:
      control = GtkMakeStatusBar(text);
      break;
    default:
      return;
  }
  control.kind = kind;
  if (kind == kEditKind || kind == kListKind) {
    g_signal_connect(control.inner, "key-press-event", G_CALLBACK(GtkOnControlKeyPress),
                     GINT_TO_POINTER(id));
    g_signal_connect(control.inner, "keynav-failed", G_CALLBACK(GtkOnControlKeynavFailed), nullptr);
  }
  if (kind == kStatusKind) {
    GtkPlaceStatusBar(control.outer);
  } else {
    gtk_layout_put(GTK_LAYOUT(gtk.layout), control.outer, x, y);
  }
  gtk_widget_show_all(control.outer);
  gtk.controls.emplace(id, std::move(control));
}

void SetNotifySwitches(int controlId, int tabFlag, int enterFlag) {
  if (GtkControl* control = GtkFindControl(controlId)) {
    control->notifyTab = tabFlag != 0;
    control->notifyEnter = enterFlag != 0;
  }
}

void CloseWindowLayer() {
  for (const auto& [id, source] : gtk.timers) g_source_remove(source);
  gtk.timers.clear();
  gtk.controls.clear();
  gtk.layout = nullptr;
  gtk.window.reset();
  gtk.handler = nullptr;
}

// --- operations of the cycle ---------------------------------------------------

void SetControlText(int controlId, std::string_view text) {
  GtkControl* control = GtkFindControl(controlId);
  if (control == nullptr) return;
  const std::string valid = GtkValidUtf8(text);
  switch (control->kind) {
    case kButtonKind:
      gtk_button_set_label(GTK_BUTTON(control->inner), valid.c_str());
      break;
    case kEditKind:
      gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(control->inner)),
                               valid.c_str(), -1);
      break;
    case kStatusKind:
      control->statusText = valid;
      gtk_statusbar_remove_all(GTK_STATUSBAR(control->inner), 0);
      gtk_statusbar_push(GTK_STATUSBAR(control->inner), 0, valid.c_str());
      break;
    default:
      break;  // a list has no text of its own
  }
}

std::string GetControlText(int controlId) {
  const GtkControl* control = GtkFindControl(controlId);
  if (control == nullptr) return std::string();
  switch (control->kind) {
    case kButtonKind: {
      const gchar* label = gtk_button_get_label(GTK_BUTTON(control->inner));
      return label != nullptr ? std::string(label) : std::string();
    }
    case kEditKind: {
      GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(control->inner));
      GtkTextIter start;
      GtkTextIter end;
      gtk_text_buffer_get_bounds(buffer, &start, &end);
      const OwnedText text(gtk_text_buffer_get_text(buffer, &start, &end, TRUE));
      return std::string(text.get());
    }
    case kStatusKind:
      return control->statusText;
    default:
      return std::string();
  }
}

void EnableControl(int controlId, int flag) {
  if (GtkControl* control = GtkFindControl(controlId)) {
    gtk_widget_set_sensitive(control->outer, flag != 0);
  }
}

void AddListLine(int controlId, std::string_view text) {
  const GtkControl* control = GtkFindControl(controlId);
  if (control == nullptr || control->kind != kListKind) return;
  gtk_list_store_insert_with_values(control->lines, nullptr, -1, 0, GtkValidUtf8(text).c_str(), -1);
}

void StartWindowTimer(int intervalMs, int timerId) {
  if (!gtk.window) return;
  StopWindowTimer(timerId);
  const guint interval = static_cast<guint>(std::max(intervalMs, kMinimumTimerMs));
  gtk.timers[timerId] = g_timeout_add(interval, GtkOnTimerTick, GINT_TO_POINTER(timerId));
}

void StopWindowTimer(int timerId) {
  const auto armed = gtk.timers.find(timerId);
  if (armed == gtk.timers.end()) return;
  g_source_remove(armed->second);
  gtk.timers.erase(armed);
}

void PumpEvents(int wait) {
  if (!gtk.window) {
    // Without a display there is no window and never an event: a wait would
    // last for ever, so it ends the way closing the window would.
    if (wait != 0) GtkDeliverClose();
    return;
  }
  if (wait != 0) g_main_context_iteration(nullptr, TRUE);
  for (int round = 0; round < kMaxPendingRounds && g_main_context_pending(nullptr); ++round) {
    g_main_context_iteration(nullptr, FALSE);
  }
  GtkPaintNow();
}

// A warning box with its own loop: not modal and without a parent, so the main
// window keeps handling its events (a close request included) while it is open.
void ShowMessageBox(std::string_view text, std::string_view caption, int) {
  if (!GtkStartToolkit()) return;  // no display: nobody could dismiss it
  const std::string message = GtkValidUtf8(text);
  const OwnedWidget dialog(gtk_message_dialog_new(nullptr, GtkDialogFlags(0), GTK_MESSAGE_WARNING,
                                                  GTK_BUTTONS_OK, "%s", message.c_str()));
  gtk_window_set_title(GTK_WINDOW(dialog.get()), GtkValidUtf8(caption).c_str());
  gtk_window_set_position(GTK_WINDOW(dialog.get()), GTK_WIN_POS_CENTER);
  bool dismissed = false;
  g_signal_connect(dialog.get(), "response", G_CALLBACK(GtkOnMessageBoxResponse), &dismissed);
  // Closed from its title bar it only answers; the box is destroyed here, once.
  g_signal_connect(dialog.get(), "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
  gtk_widget_show_all(dialog.get());
  while (!dismissed) g_main_context_iteration(nullptr, TRUE);
}

}  // namespace talewick
