// Entry point of the Linux program: start-up, the event loop until the window
// is closed, shutdown. The program takes no command-line options.
#include "app/startup.h"

int main() {
  StartUp();
  RunEventLoop();
  ShutDown();
  return 0;
}
