// UTF-8 and the wide text of the Windows calls, for the programs that keep their
// texts in UTF-8 (see utf8_system.h). Header-only, so that a library may use it
// without linking either variant of the text layer.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

inline std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
  return wide;
}

inline std::string Utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

// The system's text for a Win32 error code, without its closing full stop and
// line end.
inline std::string SystemMessage(unsigned long code) {
  wchar_t text[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text / sizeof *text, nullptr);
  while (length > 0 &&
         (text[length - 1] == L'\n' || text[length - 1] == L'\r' || text[length - 1] == L'.')) {
    --length;
  }
  return length > 0 ? Utf8FromWide(std::wstring_view(text, length))
                    : "error " + std::to_string(code);
}
