// The system's text for a Win32 error code, without its closing full stop and
// line end (defined in process_win32.cpp).
#pragma once

#include <string>

std::string SystemMessage(unsigned long code);
