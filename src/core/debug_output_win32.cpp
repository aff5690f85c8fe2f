// Windows debug channel: OutputDebugStringA, exactly the line, no line end added.
#include <windows.h>

#include "core/debug_log.h"

namespace talewick {

void WriteDebugOutput(const std::string& line) { OutputDebugStringA(line.c_str()); }

}  // namespace talewick
