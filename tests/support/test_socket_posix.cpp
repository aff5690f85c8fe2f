// POSIX sockets for the local test server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "support/test_socket.h"

TestSocket ListenOnLoopback(int& port) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listener < 0) return kNoSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;  // the system picks a free port
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(listener, 16) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listener);
    return kNoSocket;
  }
  port = ntohs(address.sin_port);
  return listener;
}

bool WaitReadable(TestSocket socket, int timeoutMs) {
  pollfd entry{static_cast<int>(socket), POLLIN, 0};
  return ::poll(&entry, 1, timeoutMs) > 0;
}

TestSocket AcceptConnection(TestSocket listener) {
  const int connection = ::accept(static_cast<int>(listener), nullptr, nullptr);
  return connection < 0 ? kNoSocket : connection;
}

long ReceiveSome(TestSocket socket, char* buffer, size_t capacity) {
  ssize_t received;
  do {
    received = ::recv(static_cast<int>(socket), buffer, capacity, 0);
  } while (received < 0 && errno == EINTR);
  return static_cast<long>(received);
}

bool SendAll(TestSocket socket, const char* data, size_t size) {
  while (size > 0) {
    // MSG_NOSIGNAL: a client that has gone away must not kill the test with SIGPIPE.
    const ssize_t sent = ::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

void CloseSocket(TestSocket socket) {
  if (socket == kNoSocket) return;
  ::shutdown(static_cast<int>(socket), SHUT_WR);
  ::close(static_cast<int>(socket));
}
