// Where the user is looking: why the launcher gave up, and the window of a
// Talewick that runs already. One implementation per platform: desktop_gtk.cpp
// and desktop_win32.cpp.
#pragma once

#include <string>

namespace talewick {

// Tells the user why the launcher gave up: on standard error, and in a message
// box where there is no terminal to read it on, which a stop signal closes
// (StopRequested, process.h). The first paragraph of `message` (up to a blank
// line) is its headline.
void ReportFailure(const std::string& message);

// Brings the main window of the window program with process id `programId` to
// the front, where the platform allows; false when it found no such window.
bool BringToFront(long programId);

// What to do when a program of Talewick's folder is missing or cannot be started:
// install Talewick again, or, where it was unpacked from a zip, unpack it again.
std::string RestoreAdvice(const std::string& programFolder);

}  // namespace talewick
