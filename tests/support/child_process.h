// A program that a test starts and talks to: its standard output comes back
// through a pipe, its standard error goes to a file. Ending the object ends the
// program if it is still running. One implementation per platform:
// child_process_posix.cpp and child_process_win32.cpp.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& errorFile);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const;
  // The next line of standard output without its line end; nothing when the
  // output ends or `timeoutMs` pass first.
  std::optional<std::string> ReadLine(int timeoutMs);
  // Everything left on standard output, up to its end or `timeoutMs`.
  std::string ReadRest(int timeoutMs);
  // The exit status once the program has ended on its own; nothing (and the
  // program is ended) when it is still running after `timeoutMs`.
  std::optional<int> Wait(int timeoutMs);

 private:
  // Bytes read into `buffer`; 0 at the end of the output, -1 when nothing came
  // within `timeoutMs`.
  long ReadSome(char* buffer, size_t capacity, int timeoutMs);

  struct Platform;
  std::unique_ptr<Platform> platform_;
  std::string pending_;  // read but not yet handed out
};
