// Tests of the GTK window layer against a real display (run under Xvfb by
// with_desktop.py): what reaches GTK, how its signals become WindowEvent records
// for the handler, and the timer.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "core/window_layer.h"

namespace {

std::vector<WindowEventRecord> seen;
std::function<void()> onEvent;  // runs inside the handler, after the event is recorded

int RecordingHandler() {
  seen.push_back(WindowEvent);
  if (onEvent) onEvent();
  return 0;
}

GtkWindow* ToplevelTitled(const std::string& title) {
  GtkWindow* found = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr; item = item->next) {
    const gchar* text = gtk_window_get_title(GTK_WINDOW(item->data));
    if (text != nullptr && title == text) found = GTK_WINDOW(item->data);
  }
  g_list_free(windows);
  return found;
}

void CollectWidgets(GtkWidget* widget, std::vector<GtkWidget*>& out) {
  out.push_back(widget);
  if (!GTK_IS_CONTAINER(widget)) return;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* child = children; child != nullptr; child = child->next) {
    CollectWidgets(GTK_WIDGET(child->data), out);
  }
  g_list_free(children);
}

// The one widget of the main window that passes `check` (nullptr if not exactly one).
GtkWidget* OnlyWidget(const std::function<bool(GtkWidget*)>& check) {
  std::vector<GtkWidget*> all;
  std::vector<GtkWidget*> matching;
  CollectWidgets(GTK_WIDGET(ToplevelTitled("Talewick 02")), all);
  for (GtkWidget* widget : all) {
    if (check(widget)) matching.push_back(widget);
  }
  return matching.size() == 1 ? matching[0] : nullptr;
}

GtkWidget* ButtonLabelled(const std::string& label) {
  return OnlyWidget([&](GtkWidget* w) {
    return GTK_IS_BUTTON(w) && label == gtk_button_get_label(GTK_BUTTON(w));
  });
}

GtkWidget* TextView() {
  return OnlyWidget([](GtkWidget* w) { return GTK_IS_TEXT_VIEW(w); });
}

GtkWidget* TreeView() {
  return OnlyWidget([](GtkWidget* w) { return GTK_IS_TREE_VIEW(w); });
}

// Text of row `index` of the story list ("" when there is no such row).
std::string ListRow(int index) {
  GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(TreeView()));
  GtkTreeIter row;
  gchar* text = nullptr;
  if (gtk_tree_model_iter_nth_child(model, &row, nullptr, index))
    gtk_tree_model_get(model, &row, 0, &text, -1);
  std::string copy = text != nullptr ? text : "";
  g_free(text);
  return copy;
}

void PressKey(guint keyval) {
  GtkWidget* view = TextView();
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(view)));
  event->key.keyval = keyval;
  event->key.time = GDK_CURRENT_TIME;
  gdk_event_set_device(
      event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
  gtk_widget_grab_focus(view);
  gtk_widget_event(view, event);
  gdk_event_free(event);
}

gboolean KeepWaking(gpointer) { return G_SOURCE_CONTINUE; }

// Pumps until `done`, for at most about five seconds: a short wake-up timeout
// keeps each blocking pump from waiting longer than 20 ms.
bool PumpUntil(const std::function<bool()>& done) {
  const guint wake = g_timeout_add(20, KeepWaking, nullptr);
  const gint64 deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
  while (!done() && g_get_monotonic_time() < deadline) PumpEvents(1);
  g_source_remove(wake);
  return done();
}

// Place and size of a widget in the window's client area, once laid out.
std::array<int, 4> PlaceOf(GtkWidget* widget) {
  std::array<int, 4> box{0, 0, gtk_widget_get_allocated_width(widget),
                         gtk_widget_get_allocated_height(widget)};
  gtk_widget_translate_coordinates(widget, gtk_widget_get_toplevel(widget), 0, 0, &box[0], &box[1]);
  return box;
}

class GtkWindowLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    seen.clear();
    onEvent = nullptr;
    OpenWindow(0, 0, 840, 400, 0x70000, nullptr, "Talewick 02", RecordingHandler);
    CreateControl(kEditKind, "", 10, 310, 540, 40, 4, kInputBox);
    CreateControl(kButtonKind, "GO", 560, 307, 60, 20, 0x50000000, kGoButton);
    CreateControl(kButtonKind, "STOP", 560, 330, 60, 20, 0x50000000, kStopButton);
    CreateControl(kListKind, "", 5, 5, 825, 300, 0x50B00140, kStoryList);
    CreateControl(kStatusKind, "Status...", 0, 0, 0, 0, 0, kStatusBar);
    SetNotifySwitches(kInputBox, 0, 1);
    ASSERT_NE(ToplevelTitled("Talewick 02"), nullptr) << "no display?";
  }
  void TearDown() override {
    onEvent = nullptr;
    CloseWindowLayer();
  }
};

TEST_F(GtkWindowLayer, ControlsHoldTheirTextsAtTheirPixelPlaces) {
  CreateControl(kButtonKind, "GO", 0, 0, 60, 20, 0, kGoButton);  // an id is created once
  GtkWidget* go = ButtonLabelled("GO");
  ASSERT_NE(go, nullptr);
  EXPECT_EQ(GetControlText(kStatusBar), "Status...");
  EXPECT_EQ(GetControlText(kGoButton), "GO");
  EnableControl(kGoButton, 0);  // GTK itself keeps clicks from a widget that is not sensitive
  EXPECT_FALSE(gtk_widget_is_sensitive(go));
  EnableControl(kGoButton, 1);
  EXPECT_TRUE(gtk_widget_is_sensitive(go));
  EXPECT_EQ(GetControlText(99), "");
  SetControlText(kInputBox, "the\tcat\r\nsat");
  EXPECT_EQ(GetControlText(kInputBox), "the\tcat\r\nsat");
  // Invalid UTF-8 is shown with replacement characters; a line for a non-list is dropped.
  AddListLine(kStoryList, "zebra");
  AddListLine(kStoryList, "ok \xff end");
  AddListLine(kStatusBar, "not a list");
  EXPECT_EQ(ListRow(0), "zebra");
  EXPECT_EQ(ListRow(1), "ok \xEF\xBF\xBD end");
  EXPECT_EQ(ListRow(2), "");
  SetControlText(kStatusBar, "bad \xc3( text");
  EXPECT_EQ(GetControlText(kStatusBar), "bad \xEF\xBF\xBD( text");

  ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_allocated_width(go) > 1; }));
  using Place = std::array<int, 4>;
  EXPECT_EQ(PlaceOf(gtk_widget_get_parent(TextView())), (Place{10, 310, 540, 40}));
  EXPECT_EQ(PlaceOf(go), (Place{560, 307, 60, 20}));
  EXPECT_EQ(PlaceOf(ButtonLabelled("STOP")), (Place{560, 330, 60, 20}));
  EXPECT_EQ(PlaceOf(gtk_widget_get_parent(TreeView())), (Place{5, 5, 825, 300}));
  const Place bar = PlaceOf(OnlyWidget([](GtkWidget* w) { return GTK_IS_STATUSBAR(w); }));
  EXPECT_EQ(bar[0], 0);
  EXPECT_EQ(bar[2], 840);
  EXPECT_EQ(bar[1] + bar[3], 400);
}

TEST_F(GtkWindowLayer, EnterInTheInputBoxIsACommandAndTabATypedCharacter) {
  SetControlText(kInputBox, "the cat");
  PressKey(GDK_KEY_Return);
  PressKey(GDK_KEY_KP_Enter);
  PressKey(GDK_KEY_Tab);
  ASSERT_EQ(seen.size(), 2u);
  for (const WindowEventRecord& event : seen) {
    EXPECT_EQ(event.EventCode, kCommandEvent);
    EXPECT_EQ(event.ControlId, kInputBox);
    EXPECT_EQ(event.NotifyCode, kEnterNotify);
  }
  EXPECT_EQ(GetControlText(kInputBox), "the cat\t");

  SetNotifySwitches(kInputBox, 1, 0);
  PressKey(GDK_KEY_Tab);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].NotifyCode, kTabNotify);
}

TEST_F(GtkWindowLayer, TimerRepeatsUntilStoppedAndANestedEventLeavesTheOuterOne) {
  int ticks = 0;
  WindowEventRecord afterNested{};
  onEvent = [&] {
    if (WindowEvent.EventCode != kTimerEvent || ++ticks != 3) return;
    StopWindowTimer(kCycleTimer);
    gtk_button_clicked(GTK_BUTTON(ButtonLabelled("STOP")));  // handled inside the tick
    afterNested = WindowEvent;
  };
  const auto start = std::chrono::steady_clock::now();
  StartWindowTimer(5000, kCycleTimer);
  StartWindowTimer(20, kCycleTimer);  // restarts with the new interval
  StartWindowTimer(400, 2);           // a later clock for the test
  ASSERT_TRUE(PumpUntil([&] { return ticks == 4; }));
  StopWindowTimer(2);
  // The fourth tick is the test's clock: the cycle timer ticked three times, fast,
  // and then no more.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(390));
  EXPECT_EQ(afterNested.EventCode, kTimerEvent);
  ASSERT_EQ(seen.size(), 5u);  // three ticks, the nested STOP click, the test's clock
  EXPECT_EQ(seen[3].ControlId, kStopButton);
  EXPECT_EQ(seen[3].NotifyCode, kClickedNotify);
}

}  // namespace
