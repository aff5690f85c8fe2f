// Windows: ANSI paths made wide, the wide command line made UTF-8, a console
// for a terminal, no SIGPIPE, and the port held exclusively: Windows'
// SO_REUSEADDR would let a second service take it over.
#include <malloc.h>
#include <windows.h>

#include <string>

#include "service_platform.h"

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

namespace talewick::search {

namespace {

std::string Utf8FromWide(const wchar_t* wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
  text.pop_back();  // the terminator
  return text;
}

}  // namespace

std::filesystem::path PathFromSystemText(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
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

const char* IndexCacheFolderHint() { return "set LOCALAPPDATA to a full path"; }

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void IgnoreBrokenPipes() {}

void ReturnFreeMemory() { _heapmin(); }

void ShareMemoryPools() {}  // one heap for the process already

// Wine 8 has no message text for Winsock's codes, where Windows has; the ones a
// listen fails with most often then get the POSIX wording.
std::string ErrorText(const boost::system::error_code& error) {
  std::string text = error.message();
  if (text.rfind("Unknown error", 0) != 0) return text;
  switch (error.value()) {
    case WSAEADDRINUSE:
      return "Address already in use";
    case WSAEADDRNOTAVAIL:
      return "Cannot assign requested address";
    default:
      return text;
  }
}

void PrepareListener(boost::asio::ip::tcp::acceptor& acceptor) {
  using ExclusiveAddressUse =
      boost::asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>;
  boost::system::error_code ignored;
  acceptor.set_option(ExclusiveAddressUse(true), ignored);
}

}  // namespace talewick::search
