// The Windows entry point: start-up, the event loop until a close request, and
// shutdown. The process ends with exit code 0 (1 when it has no folder for its
// files); the main window is never destroyed before that and goes away with the
// process. --help and --version are answered without a window; any other
// argument is ignored.
#include <windows.h>

#include <cstdlib>

#include "app/command_line.h"
#include "app/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (talewick::AnswerCommandLine(__argc, __argv)) ExitProcess(0);
  if (!talewick::StartUp()) ExitProcess(1);
  talewick::RunEventLoop();
  talewick::ShutDown();
  ExitProcess(0);
}
