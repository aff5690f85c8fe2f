// Entry point of the Linux program: start-up, the event loop until the window
// is closed, shutdown. It answers --help and --version and ignores any other
// argument. Without a display no window could ever be shown, so it says so and
// ends with status 1, as GTK programs do, before it starts at all; so does a
// program that has no folder for its files, after a message box.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "app/command_line.h"
#include "app/startup.h"

namespace talewick {
namespace {

bool DisplayOpens() {
  g_set_prgname("talewick");
  if (gtk_init_check(nullptr, nullptr)) return true;
  const char* display = std::getenv("DISPLAY");
  if (display != nullptr && display[0] != '\0') {
    std::fprintf(stderr, "talewick: cannot open display '%s'\n", display);
  } else {
    std::fprintf(stderr, "talewick: cannot open display (DISPLAY is not set)\n");
  }
  return false;
}

}  // namespace
}  // namespace talewick

int main(int argc, char** argv) {
  if (talewick::AnswerCommandLine(argc, argv)) return 0;
  if (!talewick::DisplayOpens()) return 1;
  if (!talewick::StartUp()) return 1;
  talewick::RunEventLoop();
  talewick::ShutDown();
  return 0;
}
