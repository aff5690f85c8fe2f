// The Windows entry point: start-up, the event loop until a close request, and
// shutdown. The process always ends with exit code 0; the main window is never
// destroyed before that and goes away with the process.
#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  StartUp();
  RunEventLoop();
  ShutDown();
  ExitProcess(0);
}
