// Windows: the text FormatMessageW gives, made UTF-8. MinGW's
// system_category().message() asks FormatMessageA, whose text is in the ANSI
// code page, and calls a code it has no text for "Unknown error code".
#include <windows.h>

#include "base/system_error.h"
#include "base/wide_text_win32.h"

namespace talewick {

int LastSystemError() { return static_cast<int>(GetLastError()); }

std::string SystemErrorText(int code) {
  wchar_t text[512];
  DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(code), 0, text, sizeof text / sizeof *text, nullptr);
  while (length > 0 &&
         (text[length - 1] == L'\n' || text[length - 1] == L'\r' || text[length - 1] == L'.')) {
    --length;
  }
  return length > 0 ? Utf8FromWide(std::wstring_view(text, length))
                    : "error " + std::to_string(code);
}

std::string LastSystemErrorText() { return SystemErrorText(LastSystemError()); }

std::string ErrorCodeText(const std::error_code& error) {
  return error.category() == std::system_category() ? SystemErrorText(error.value())
                                                    : error.message();
}

}  // namespace talewick
