// Diagnostic lines: "[" + Title + "] " + message, on the platform's debug channel.
// Windows: OutputDebugStringA, no line end added. POSIX: one line on standard
// error.
#pragma once

#include <string>
#include <string_view>

namespace talewick {

void DebugLog(std::string_view message);

// The platform half: hands one finished line to the debug channel.
void WriteDebugOutput(const std::string& line);

// Test hook: when set, also receives every finished line (nullptr turns it off).
void SetDebugLogObserver(void (*observer)(const std::string& line));

}  // namespace talewick
