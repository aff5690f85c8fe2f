// Collects the DebugLog lines of a test in memory, through the DebugLog observer.
#pragma once

#include <string>
#include <vector>

// Starts (or restarts) collecting: the lines collected so far are dropped.
void StartDebugCapture();
// Every line written since StartDebugCapture, each as "[Title] message".
const std::vector<std::string>& DebugLines();
// The messages of those lines, without the "[Title] " prefix.
std::vector<std::string> DebugMessages();
// The status bar's text as it stood when each of those lines was written.
const std::vector<std::string>& DebugStatuses();
// How many of those messages are exactly `message`.
int DebugMessageCount(const std::string& message);
