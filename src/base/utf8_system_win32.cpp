// Windows: the wide command line and environment, made UTF-8.
#include <windows.h>

#include "base/utf8_system.h"
#include "base/wide_text_win32.h"

// The C library's own reading of the wide command line, by the rules it read
// main's argv with. (shell32's CommandLineToArgvW reads quoted arguments the same
// way, but brings user32 and the desktop with it: under Wine, 150 ms of a start.)
struct WideStartupInfo {
  // Read by the C library, not by this file.
  // cppcheck-suppress unusedStructMember
  int newMode;
};
extern "C" int __wgetmainargs(  // NOLINT(bugprone-reserved-identifier)
    int* argc, wchar_t*** argv, wchar_t*** environment, int expandWildcards, WideStartupInfo* info);

namespace talewick {

std::vector<std::string> Utf8CommandLine(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = nullptr;
  wchar_t** environment = nullptr;
  WideStartupInfo info{0};
  if (__wgetmainargs(&count, &wide, &environment, 0, &info) < 0 || wide == nullptr) {
    return std::vector<std::string>(argv, argv + argc);
  }
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  return arguments;
}

// From the process's own environment block, which SetEnvironmentVariableW
// changes, rather than the C library's copy of it.
std::string Utf8Environment(const char* name) {
  const std::wstring wideName = WideFromUtf8(name);
  std::wstring value(64, L'\0');
  for (;;) {
    const DWORD length =
        GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return {};
    if (length < value.size()) return Utf8FromWide(std::wstring_view(value.data(), length));
    value.resize(length);  // the room it needs, its terminator included
  }
}

}  // namespace talewick
