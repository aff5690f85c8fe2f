// The program's outer life, shared by the platform entry points: start values,
// the main window and its controls, the event loop, and shutdown.
#pragma once

namespace talewick {

// Sets the start values, logs "starting...", opens the window and its controls.
// False, with no window and after a message box that says why, when the program
// has no folder for its files: the caller then ends the process.
bool StartUp();
// Pumps events until a close request has cleared WindowOpen.
void RunEventLoop();
// Logs "closing..." and releases the window layer; the caller then exits with 0.
void ShutDown();

}  // namespace talewick
