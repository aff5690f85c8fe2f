// The program's outer life, shared by the platform entry points: start values,
// the main window and its controls, the event loop, and shutdown.
#pragma once

// Sets the start values, logs "starting...", opens the window and its controls.
void StartUp();
// Pumps events until a close request has cleared WindowOpen.
void RunEventLoop();
// Logs "closing..." and releases the window layer; the caller then exits with 0.
void ShutDown();
