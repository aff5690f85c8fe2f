// POSIX: errno's text as strerror() gives it, through the thread-safe
// system_category().
#include <cerrno>
#include <system_error>

#include "base/system_error.h"

namespace talewick {

int LastSystemError() { return errno; }

std::string SystemErrorText(int code) {
  return std::error_code(code, std::system_category()).message();
}

std::string LastSystemErrorText() { return SystemErrorText(LastSystemError()); }

std::string ErrorCodeText(const std::error_code& error) {
  return error.category() == std::system_category() ? SystemErrorText(error.value())
                                                    : error.message();
}

}  // namespace talewick
