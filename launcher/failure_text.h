// What the user is told when a program the launcher runs ends before its time:
// the reason in that program's own words, taken from its log, and what to do.
#pragma once

#include <string>
#include <vector>

namespace talewick {

// The last lines of the log that say what went wrong, in plain words: without
// the debug lines of the window program, the program names and log prefixes
// before them, or advice that names options of a command the user never typed.
std::vector<std::string> ReasonsInLog(const std::string& logPath);

// The message for a service that ended or fell silent before it was listening
// (`what` it did: "ended before it was ready"). `corpus` is the folder it was
// given, empty for the shipped one.
std::string ServiceFailureText(const std::string& what, const std::string& logPath,
                               const std::string& corpus);

// The message for a window program that ended with `status` before its window
// was closed.
std::string ProgramFailureText(int status, const std::string& logPath);

// The message for a window program that cannot be given `folder` in the letters
// it names files in (`programFolder`: the folder it runs from, else the story
// folder).
std::string UnspelledFolderText(const std::string& folder, bool programFolder);

}  // namespace talewick
