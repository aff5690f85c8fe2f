// Linux: a launcher started from the desktop menu has no terminal (its standard
// error is a log or nothing), so a failure is also shown in a GTK message
// dialog when a display opens. The window of a running Talewick is found on
// X11 through the window manager's list of windows and their process ids, and
// activated as a pager does; elsewhere (Wayland) it is left where it is.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "desktop.h"
#include "process.h"

namespace talewick {

namespace {

constexpr const char* kMainWindowTitle = "Talewick 02";

// A stop signal closes the dialog, as it would end the launcher without one.
gboolean CloseOnStop(gpointer dialog) {
  if (StopRequested()) gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CLOSE);
  return G_SOURCE_CONTINUE;
}

bool DisplayOpens() {
  static const bool opened = [] {
    g_set_prgname("talewick-start");
    return gtk_init_check(nullptr, nullptr) != FALSE;
  }();
  return opened;
}

// One property of `window` as a list of `T`, or nothing when it has none.
template <typename T>
std::optional<std::vector<T>> Property(Display* x, Window window, const char* name, Atom type) {
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(x, window, XInternAtom(x, name, False), 0, 1 << 16, False, type,
                         &actualType, &format, &count, &after, &data) != Success ||
      data == nullptr) {
    return std::nullopt;
  }
  // Format 32 comes as longs whatever their size on the wire; format 8 as bytes.
  std::vector<T> values(reinterpret_cast<T*>(data), reinterpret_cast<T*>(data) + count);
  XFree(data);
  if (actualType != type) return std::nullopt;
  return values;
}

bool IsProgramWindow(Display* x, Window window, long programId) {
  const auto pid = Property<long>(x, window, "_NET_WM_PID", XA_CARDINAL);
  if (!pid || pid->empty() || pid->front() != programId) return false;
  const auto title =
      Property<char>(x, window, "_NET_WM_NAME", XInternAtom(x, "UTF8_STRING", False));
  return title && std::string(title->begin(), title->end()) == kMainWindowTitle;
}

// `_NET_ACTIVE_WINDOW` from a pager: the window manager raises the window, shows
// it again when it was minimised, and gives it the focus.
void Activate(Display* x, Window root, Window window) {
  XEvent event;
  std::memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(x, "_NET_ACTIVE_WINDOW", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = 2;  // the request comes from a pager
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(x, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(x);
}

}  // namespace

void ReportFailure(const std::string& message) {
  std::fprintf(stderr, "talewick-start: %s\n", message.c_str());
  std::fflush(stderr);
  if (::isatty(STDERR_FILENO) || !DisplayOpens()) return;
  const size_t split = message.find("\n\n");
  // Paths in the message need not be UTF-8; GTK shows only valid UTF-8.
  gchar* headline = g_utf8_make_valid(message.substr(0, split).c_str(), -1);
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                             GTK_BUTTONS_CLOSE, "%s", headline);
  g_free(headline);
  if (split != std::string::npos) {
    gchar* details = g_utf8_make_valid(message.substr(split + 2).c_str(), -1);
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", details);
    g_free(details);
  }
  gtk_window_set_title(GTK_WINDOW(dialog), "Talewick");
  gtk_window_set_icon_name(GTK_WINDOW(dialog), "talewick");
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  const guint watch = g_timeout_add(100, CloseOnStop, dialog);
  gtk_dialog_run(GTK_DIALOG(dialog));
  g_source_remove(watch);
  gtk_widget_destroy(dialog);
  while (gtk_events_pending()) gtk_main_iteration();
}

bool BringToFront(long programId) {
  if (programId <= 0 || !DisplayOpens()) return false;
  GdkDisplay* display = gdk_display_get_default();
  if (!GDK_IS_X11_DISPLAY(display)) return false;
  Display* x = gdk_x11_display_get_xdisplay(display);
  const Window root = DefaultRootWindow(x);
  const auto windows = Property<Window>(x, root, "_NET_CLIENT_LIST", XA_WINDOW);
  if (!windows) return false;
  // A window that goes away while it is looked at is no fault.
  gdk_x11_display_error_trap_push(display);
  std::optional<Window> found;
  for (const Window window : *windows) {
    if (IsProgramWindow(x, window, programId)) {
      found = window;
      break;
    }
  }
  if (found) Activate(x, root, *found);
  gdk_x11_display_error_trap_pop_ignored(display);
  return found.has_value();
}

// Talewick comes to Linux as a package.
std::string RestoreAdvice(const std::string&) { return "Install Talewick again."; }

}  // namespace talewick
