// Winsock for the local test server. Winsock is started once, on first use, and
// left running until the test process ends.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "support/test_socket.h"

namespace {

bool WinsockReady() {
  static const bool ready = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

SOCKET AsSocket(TestSocket socket) { return static_cast<SOCKET>(socket); }

}  // namespace

TestSocket ListenOnLoopback(int& port) {
  if (!WinsockReady()) return kNoSocket;
  const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return kNoSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;  // the system picks a free port
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(listener, 16) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::closesocket(listener);
    return kNoSocket;
  }
  port = ntohs(address.sin_port);
  return static_cast<TestSocket>(listener);
}

bool WaitReadable(TestSocket socket, int timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(AsSocket(socket), &readable);
  timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  return ::select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

TestSocket AcceptConnection(TestSocket listener) {
  const SOCKET connection = ::accept(AsSocket(listener), nullptr, nullptr);
  return connection == INVALID_SOCKET ? kNoSocket : static_cast<TestSocket>(connection);
}

long ReceiveSome(TestSocket socket, char* buffer, size_t capacity) {
  const int received = ::recv(AsSocket(socket), buffer, static_cast<int>(capacity), 0);
  return received == SOCKET_ERROR ? -1 : received;
}

bool SendAll(TestSocket socket, const char* data, size_t size) {
  while (size > 0) {
    const int sent = ::send(AsSocket(socket), data, static_cast<int>(size), 0);
    if (sent == SOCKET_ERROR || sent == 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

void CloseSocket(TestSocket socket) {
  if (socket == kNoSocket) return;
  ::shutdown(AsSocket(socket), SD_SEND);
  ::closesocket(AsSocket(socket));
}
