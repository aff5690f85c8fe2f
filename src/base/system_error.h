// The system's own words for why a call failed, in UTF-8, as the programs put
// them after "cannot open FILE: " and the like. One implementation per platform:
// system_error_posix.cpp and system_error_win32.cpp.
#pragma once

#include <string>
#include <system_error>

namespace talewick {

// The calling thread's last error code: errno, or GetLastError() on Windows.
int LastSystemError();

// The text of an error code of LastSystemError()'s kind, without a closing full
// stop or line end.
std::string SystemErrorText(int code);

// SystemErrorText(LastSystemError()).
std::string LastSystemErrorText();

// The text of `error`: SystemErrorText for the system's own codes, else what its
// category says.
std::string ErrorCodeText(const std::error_code& error);

}  // namespace talewick
