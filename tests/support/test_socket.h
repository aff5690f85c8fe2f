// The few socket calls the local test server needs, behind a header free of
// platform types. One implementation per platform: test_socket_posix.cpp and
// test_socket_win32.cpp. A socket is kept as an integer; -1 is "none".
#pragma once

#include <cstddef>
#include <cstdint>

using TestSocket = intptr_t;
inline constexpr TestSocket kNoSocket = -1;

// A listening socket on a free port of 127.0.0.1; the port is stored in `port`.
TestSocket ListenOnLoopback(int& port);
// True when the socket has something to read (a connection to accept, data or
// the end of the stream) within `timeoutMs`.
bool WaitReadable(TestSocket socket, int timeoutMs);
TestSocket AcceptConnection(TestSocket listener);
// The bytes received, 0 at the end of the stream, -1 on error.
long ReceiveSome(TestSocket socket, char* buffer, size_t capacity);
bool SendAll(TestSocket socket, const char* data, size_t size);
// Sends the end of the stream, then releases the socket.
void CloseSocket(TestSocket socket);
