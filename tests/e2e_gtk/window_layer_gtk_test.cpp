// Tests of the GTK window layer against a real display (run under Xvfb by
// with_desktop.py): what reaches GTK, how its signals become WindowEvent records
// for the handler, the timer, and the message box's own loop.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/window_layer.h"

namespace {

struct SeenEvent {
  int32_t code;
  int32_t control;
  int32_t notify;
  uintptr_t word;
};

std::vector<SeenEvent> seen;
std::function<void()> onEvent;  // runs inside the handler, after the event is recorded

int RecordingHandler() {
  seen.push_back({WindowEvent.EventCode, WindowEvent.ControlId, WindowEvent.NotifyCode,
                  WindowEvent.WordParam});
  if (onEvent) onEvent();
  return 0;
}

void CollectWidgets(GtkWidget* widget, std::vector<GtkWidget*>& out) {
  out.push_back(widget);
  if (GTK_IS_CONTAINER(widget)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* child = children; child != nullptr; child = child->next) {
      CollectWidgets(GTK_WIDGET(child->data), out);
    }
    g_list_free(children);
  }
}

GtkWindow* ToplevelTitled(const char* title) {
  GtkWindow* found = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr; item = item->next) {
    const gchar* text = gtk_window_get_title(GTK_WINDOW(item->data));
    if (text != nullptr && std::string(text) == title) found = GTK_WINDOW(item->data);
  }
  g_list_free(windows);
  return found;
}

template <typename Check>
std::vector<GtkWidget*> WidgetsWhere(Check check) {
  std::vector<GtkWidget*> all;
  std::vector<GtkWidget*> matching;
  CollectWidgets(GTK_WIDGET(ToplevelTitled("Talewick 02")), all);
  for (GtkWidget* widget : all) {
    if (check(widget)) matching.push_back(widget);
  }
  return matching;
}

GtkWidget* ButtonLabelled(const std::string& label) {
  const auto buttons = WidgetsWhere([&](GtkWidget* w) {
    return GTK_IS_BUTTON(w) && label == gtk_button_get_label(GTK_BUTTON(w));
  });
  return buttons.size() == 1 ? buttons[0] : nullptr;
}

std::vector<std::string> ListRows() {
  const auto views = WidgetsWhere([](GtkWidget* w) { return GTK_IS_TREE_VIEW(w); });
  std::vector<std::string> rows;
  if (views.size() != 1) return rows;
  GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(views[0]));
  GtkTreeIter row;
  for (bool more = gtk_tree_model_get_iter_first(model, &row); more;
       more = gtk_tree_model_iter_next(model, &row)) {
    gchar* text = nullptr;
    gtk_tree_model_get(model, &row, 0, &text, -1);
    rows.emplace_back(text);
    g_free(text);
  }
  return rows;
}

void PressKey(guint keyval) {
  const auto views = WidgetsWhere([](GtkWidget* w) { return GTK_IS_TEXT_VIEW(w); });
  ASSERT_EQ(views.size(), 1u);
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(views[0])));
  event->key.keyval = keyval;
  event->key.time = GDK_CURRENT_TIME;
  GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
  gdk_event_set_device(event, gdk_seat_get_keyboard(seat));
  gtk_widget_grab_focus(views[0]);
  gtk_widget_event(views[0], event);
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

TEST_F(GtkWindowLayer, ControlsHoldTheirTextsAndAnIdIsCreatedOnce) {
  CreateControl(kButtonKind, "GO", 0, 0, 60, 20, 0, kGoButton);
  EXPECT_NE(ButtonLabelled("GO"), nullptr);
  EXPECT_EQ(GetControlText(kStatusBar), "Status...");
  EXPECT_EQ(GetControlText(kGoButton), "GO");
  EXPECT_EQ(GetControlText(99), "");
  SetControlText(kInputBox, "the\tcat\r\nsat");
  EXPECT_EQ(GetControlText(kInputBox), "the\tcat\r\nsat");
}

struct Box {
  int x, y, width, height;
  bool operator==(const Box&) const = default;
};

// Place and size of a widget in the window's client area, once laid out.
Box PlaceOf(GtkWidget* widget) {
  GtkAllocation area;
  gtk_widget_get_allocation(widget, &area);
  Box box{0, 0, area.width, area.height};
  gtk_widget_translate_coordinates(widget, gtk_widget_get_toplevel(widget), 0, 0, &box.x, &box.y);
  return box;
}

std::ostream& operator<<(std::ostream& out, const Box& box) {
  return out << box.x << "," << box.y << " " << box.width << "x" << box.height;
}

TEST_F(GtkWindowLayer, ControlsSitAtTheirPixelPlaces) {
  GtkWidget* go = ButtonLabelled("GO");
  ASSERT_NE(go, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_allocated_width(go) > 1; }));
  const auto outer = [](auto isInner) {
    const auto found = WidgetsWhere(isInner);
    return found.size() == 1 ? gtk_widget_get_parent(found[0]) : nullptr;
  };
  GtkWidget* input = outer([](GtkWidget* w) { return GTK_IS_TEXT_VIEW(w); });
  GtkWidget* list = outer([](GtkWidget* w) { return GTK_IS_TREE_VIEW(w); });
  const auto bars = WidgetsWhere([](GtkWidget* w) { return GTK_IS_STATUSBAR(w); });
  ASSERT_TRUE(input != nullptr && list != nullptr && bars.size() == 1);

  EXPECT_EQ(PlaceOf(input), (Box{10, 310, 540, 40}));
  EXPECT_EQ(PlaceOf(go), (Box{560, 307, 60, 20}));
  EXPECT_EQ(PlaceOf(ButtonLabelled("STOP")), (Box{560, 330, 60, 20}));
  EXPECT_EQ(PlaceOf(list), (Box{5, 5, 825, 300}));
  const Box bar = PlaceOf(bars[0]);
  EXPECT_EQ(bar.x, 0);
  EXPECT_EQ(bar.width, 840);
  EXPECT_EQ(bar.y + bar.height, 400);
}

TEST_F(GtkWindowLayer, InvalidUtf8IsShownWithReplacementCharacters) {
  AddListLine(kStoryList, "zebra");
  AddListLine(kStoryList, "ok \xff\xfe end");
  AddListLine(kStoryList, "apple");
  AddListLine(kStatusBar, "not a list");
  EXPECT_EQ(ListRows(),
            (std::vector<std::string>{"zebra", "ok \xEF\xBF\xBD\xEF\xBF\xBD end", "apple"}));
  SetControlText(kStatusBar, "bad \xc3( text");
  EXPECT_EQ(GetControlText(kStatusBar), "bad \xEF\xBF\xBD( text");
}

TEST_F(GtkWindowLayer, EnterInTheInputBoxIsACommandAndTabATypedCharacter) {
  SetControlText(kInputBox, "the cat");
  PressKey(GDK_KEY_Return);
  PressKey(GDK_KEY_KP_Enter);
  ASSERT_EQ(seen.size(), 2u);
  for (const SeenEvent& event : seen) {
    EXPECT_EQ(event.code, kCommandEvent);
    EXPECT_EQ(event.control, kInputBox);
    EXPECT_EQ(event.notify, kEnterNotify);
    EXPECT_EQ(event.word, static_cast<uintptr_t>(kInputBox) | (uintptr_t{2560} << 16));
  }
  PressKey(GDK_KEY_Tab);
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(GetControlText(kInputBox).find('\n'), std::string::npos);
  EXPECT_NE(GetControlText(kInputBox).find('\t'), std::string::npos);

  SetNotifySwitches(kInputBox, 1, 0);
  PressKey(GDK_KEY_Tab);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].notify, kTabNotify);
}

// Clicks the middle of a widget with the display's pointer (xdotool through
// XTEST), so the click takes the way a user's click takes.
void ClickWithPointer(GtkWidget* widget) {
  GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
  GtkAllocation area;
  gtk_widget_get_allocation(widget, &area);
  int x = 0;
  int y = 0;
  gtk_widget_translate_coordinates(widget, toplevel, area.width / 2, area.height / 2, &x, &y);
  const std::string command =
      "timeout 10 xdotool search --onlyvisible --name '^Talewick 02$' mousemove --window %1 " +
      std::to_string(x) + " " + std::to_string(y) + " click 1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST_F(GtkWindowLayer, DisabledButtonTakesNoClicks) {
  GtkWidget* go = ButtonLabelled("GO");
  ASSERT_NE(go, nullptr);
  GdkWindow* main = gtk_widget_get_window(gtk_widget_get_toplevel(go));
  ASSERT_TRUE(PumpUntil([&] {
    return gdk_window_is_viewable(main) != FALSE && gtk_widget_get_allocated_width(go) > 1;
  }));
  EnableControl(kGoButton, 0);
  ClickWithPointer(go);
  EnableControl(kStopButton, 1);
  ClickWithPointer(ButtonLabelled("STOP"));  // marks the end of the clicks
  ASSERT_TRUE(PumpUntil([] { return !seen.empty(); }));
  EnableControl(kGoButton, 1);
  ClickWithPointer(go);
  ASSERT_TRUE(PumpUntil([] { return seen.size() >= 2; }));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].control, kStopButton);
  EXPECT_EQ(seen[1].control, kGoButton);
  EXPECT_EQ(seen[1].notify, kClickedNotify);
}

TEST_F(GtkWindowLayer, CloseRequestIsDeliveredAndLeavesTheWindow) {
  GtkWindow* window = ToplevelTitled("Talewick 02");
  gtk_window_close(window);
  ASSERT_TRUE(PumpUntil([] { return !seen.empty(); }));
  EXPECT_EQ(seen[0].code, kCloseEvent);
  EXPECT_EQ(ToplevelTitled("Talewick 02"), window);
  EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window)));
}

TEST_F(GtkWindowLayer, TimerRepeatsUntilStoppedAndANestedEventLeavesTheOuterOne) {
  int ticks = 0;
  WindowEventRecord duringTick{};
  onEvent = [&] {
    if (WindowEvent.EventCode != kTimerEvent || WindowEvent.WordParam != kCycleTimer) return;
    if (++ticks < 3) return;
    StopWindowTimer(kCycleTimer);
    gtk_button_clicked(GTK_BUTTON(ButtonLabelled("STOP")));  // handled inside the tick
    duringTick = WindowEvent;
  };
  StartWindowTimer(5000, kCycleTimer);
  StartWindowTimer(20, kCycleTimer);  // restarts with the new interval
  StartWindowTimer(400, 2);           // a later clock for the test
  ASSERT_TRUE(PumpUntil(
      [] { return !seen.empty() && seen.back().code == kTimerEvent && seen.back().word == 2; }));
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(duringTick.EventCode, kTimerEvent);
  EXPECT_EQ(duringTick.WordParam, static_cast<uintptr_t>(kCycleTimer));
  const auto stop = std::find_if(seen.begin(), seen.end(),
                                 [](const SeenEvent& e) { return e.code == kCommandEvent; });
  ASSERT_NE(stop, seen.end());
  EXPECT_EQ(stop->control, kStopButton);
  EXPECT_EQ(stop->notify, kClickedNotify);
  StopWindowTimer(2);
}

TEST_F(GtkWindowLayer, MessageBoxHasItsOwnLoopAndTheMainWindowKeepsItsEvents) {
  GtkWindow* box = nullptr;
  bool modal = true;
  GtkWindow* parent = nullptr;
  onEvent = [&] {
    if (WindowEvent.EventCode == kTimerEvent && WindowEvent.WordParam == 1) {
      StopWindowTimer(1);
      gtk_window_close(ToplevelTitled("Talewick 02"));
    } else if (WindowEvent.EventCode == kCloseEvent) {
      box = ToplevelTitled("sub DisectInput");
      if (box == nullptr) return;
      modal = gtk_window_get_modal(box);
      parent = gtk_window_get_transient_for(box);
      gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
    }
  };
  StartWindowTimer(50, 1);
  ShowMessageBox("error reading file: dictonary.txt", "sub DisectInput", 0);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].code, kCloseEvent);
  ASSERT_NE(box, nullptr) << "the close request came after the box";
  EXPECT_FALSE(modal);
  EXPECT_EQ(parent, nullptr);
  EXPECT_EQ(ToplevelTitled("sub DisectInput"), nullptr);
}

}  // namespace
