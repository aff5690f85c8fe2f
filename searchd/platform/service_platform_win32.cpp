// Windows: a console for a terminal, no SIGPIPE, and the port held
// exclusively: Windows' SO_REUSEADDR would let a second service take it over.
#include <malloc.h>
#include <windows.h>

#include <string>

#include "base/wide_text_win32.h"
#include "searchd/platform/service_platform.h"

namespace talewick::search {

const char* IndexCacheFolderHint() { return "set LOCALAPPDATA to a full path"; }

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::string StandardErrorFile() {
  const HANDLE log = GetStdHandle(STD_ERROR_HANDLE);
  if (log == nullptr || log == INVALID_HANDLE_VALUE || GetFileType(log) != FILE_TYPE_DISK)
    return {};
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(log, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(length);
  }
  if (path.starts_with(L"\\\\?\\UNC\\")) {
    path = L"\\\\" + path.substr(8);
  } else if (path.starts_with(L"\\\\?\\")) {
    path = path.substr(4);
  }
  return Utf8FromWide(path);
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
