// Windows: the executable from GetModuleFileNameW, the wide command line made
// UTF-8, the local application data folder for caches, no SIGPIPE, and the port
// held exclusively: Windows' SO_REUSEADDR would let a second service take it over.
#include <windows.h>
// windows.h first
#include <shellapi.h>

#include <string>

#include "service_platform.h"

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

std::filesystem::path ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return std::filesystem::path(path).parent_path();
    }
    path.resize(path.size() * 2);
  }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::filesystem::path UserCacheFolder() {
  std::wstring folder(MAX_PATH, L'\0');
  DWORD length =
      GetEnvironmentVariableW(L"LOCALAPPDATA", folder.data(), static_cast<DWORD>(folder.size()));
  if (length >= folder.size()) {
    folder.resize(length);
    length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder.data(), length);
  }
  if (length == 0 || length >= folder.size()) return {};
  folder.resize(length);
  return folder;
}

const char* UserCacheFolderHint() { return "set LOCALAPPDATA"; }

void IgnoreBrokenPipes() {}

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
