// The receiving end of OutputDebugStringA: the system-wide DBWIN_BUFFER shared
// memory with its two events. Strings of one process are written to a file, one
// line each, while the capture lives.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace talewick {

struct DbwinState;

class DbwinCapture {
 public:
  DbwinCapture();
  ~DbwinCapture();  // stops, after writing what the process had sent
  DbwinCapture(const DbwinCapture&) = delete;
  DbwinCapture& operator=(const DbwinCapture&) = delete;

  // Starts receiving; the strings of process `pid` (set once it is known) go to
  // `log`, which the capture keeps open. False when another debug monitor runs.
  bool Start(HANDLE log);
  void Follow(DWORD pid);

 private:
  std::unique_ptr<DbwinState> state_;
};

}  // namespace talewick
