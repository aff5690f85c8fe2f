// The GTK window layer's own checks on a real display (run under Xvfb by
// harness.py), for what the end-to-end scenarios cannot see: the timer's own
// repeat and restart, an event nested in another, and text that is not UTF-8.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "window/window_layer.h"
#include "window/window_layout.h"

using namespace talewick;

namespace {

std::vector<WindowEventRecord> seen;
std::function<void()> onEvent;  // runs inside the handler, after the event is recorded

int RecordingHandler() {
  seen.push_back(WindowEvent);
  if (onEvent) onEvent();
  return 0;
}

// The first widget of `type` in the tree under `widget`, or nullptr.
GtkWidget* FindWidget(GtkWidget* widget, GType type) {
  if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type)) return widget;
  GtkWidget* found = nullptr;
  if (GTK_IS_CONTAINER(widget)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* child = children; child != nullptr && found == nullptr; child = child->next)
      found = FindWidget(GTK_WIDGET(child->data), type);
    g_list_free(children);
  }
  return found;
}

GtkWidget* MainWindowWidget(GType type) {
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* found = windows != nullptr ? FindWidget(GTK_WIDGET(windows->data), type) : nullptr;
  g_list_free(windows);
  return found;
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
    const WindowPlace& main = kMainWindowPlace;
    OpenWindow(main.x, main.y, main.width, main.height, kMainWindowFlags, nullptr, "Talewick 02",
               RecordingHandler);
    CreateControlAt(kButtonKind, "STOP", kStopButtonPlace, kButtonStyle, kStopButton);
    CreateControlAt(kListKind, "", kStoryListPlace, kStoryListStyle, kStoryList);
    CreateControl(kStatusKind, "Status...", 0, 0, 0, 0, 0, kStatusBar);
    ASSERT_NE(MainWindowWidget(GTK_TYPE_TREE_VIEW), nullptr) << "no display?";
  }
  void TearDown() override {
    onEvent = nullptr;
    CloseWindowLayer();
  }
};

// Page text reaches the list and the status bar, and GTK takes only UTF-8.
TEST_F(GtkWindowLayer, TextIsShownAsUtf8AndADisabledButtonGreysOut) {
  AddListLine(kStoryList, "ok \xff end");
  GtkTreeModel* model =
      gtk_tree_view_get_model(GTK_TREE_VIEW(MainWindowWidget(GTK_TYPE_TREE_VIEW)));
  GtkTreeIter row;
  gchar* text = nullptr;
  ASSERT_TRUE(gtk_tree_model_get_iter_first(model, &row));
  gtk_tree_model_get(model, &row, 0, &text, -1);
  EXPECT_STREQ(text, "ok \xEF\xBF\xBD end");
  g_free(text);
  SetControlText(kStatusBar, "bad \xc3( text");
  EXPECT_EQ(GetControlText(kStatusBar), "bad \xEF\xBF\xBD( text");
  EnableControl(kStopButton, 0);  // GTK itself keeps clicks from a widget that is not sensitive
  EXPECT_FALSE(gtk_widget_is_sensitive(MainWindowWidget(GTK_TYPE_BUTTON)));
}

TEST_F(GtkWindowLayer, TimerRepeatsUntilStoppedAndANestedEventLeavesTheOuterOne) {
  int ticks = 0;
  WindowEventRecord afterNested{};
  onEvent = [&] {
    if (WindowEvent.EventCode != kTimerEvent || ++ticks != 3) return;
    StopWindowTimer(kCycleTimer);
    gtk_button_clicked(GTK_BUTTON(MainWindowWidget(GTK_TYPE_BUTTON)));  // handled inside the tick
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
