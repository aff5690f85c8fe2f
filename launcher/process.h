// Starting, watching and stopping the programs that the launcher runs. One
// implementation per platform: process_posix.cpp and process_win32.cpp. The
// tests run their programs with it.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talewick {

// ".exe" on Windows, empty elsewhere.
extern const char* const kExecutableSuffix;

struct ChildOptions {
  std::vector<std::string> command;  // the program's full path, then its arguments
  // Takes the child's standard error, made afresh; with `debugChannel` also the
  // program's debug-output lines (which on Windows are not standard error).
  std::string logPath;
  bool debugChannel = false;
  bool readOutput = false;  // keep a pipe from its standard output for ReadLine
};

struct ChildState;  // the platform's handles of one child

class Child {
 public:
  enum class Line { kRead, kEnded, kTimedOut };

  Child();
  ~Child();  // stops the child if it is still running
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // False, with the system's reason in `error`, when it could not be started.
  bool Start(const ChildOptions& options, std::string& error);
  // The next line of its standard output without the line end; kEnded when the
  // output closed first, kTimedOut when no whole line came within `timeout`.
  Line ReadLine(std::chrono::milliseconds timeout, std::string& line);
  // Waits for the child to end; its exit status (128 + signal when killed).
  int Wait();
  // The same, but nothing when the child still runs after `timeout`.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  // Ends the child if it still runs (asking first where the platform can) and waits for it.
  void Stop();
  // The system's process id of the running child; 0 when none runs.
  long Id() const;

 private:
  std::unique_ptr<ChildState> state_;
};

// From now on, Ctrl-C, a closed terminal or the end of the launcher itself ends
// every child started after this call. Call it once, before the first Start.
void StopChildrenWithLauncher();
// Whether Ctrl-C, a closed terminal or a stop signal has come since.
bool StopRequested();

// Sets a variable of the environment that the children inherit.
void SetChildEnvironment(const char* name, const std::string& value);

}  // namespace talewick
