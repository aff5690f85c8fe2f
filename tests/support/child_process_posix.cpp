// POSIX: fork and exec, standard output through a pipe read with poll.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "support/child_process.h"

struct ChildProcess::Platform {
  pid_t pid = -1;
  int output = -1;  // read end of the pipe
  bool reaped = false;

  ~Platform() {
    if (pid > 0 && !reaped) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (output >= 0) close(output);
  }
};

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& errorFile)
    : platform_(std::make_unique<Platform>()) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int error = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (error < 0 || dup2(pipe_ends[1], STDOUT_FILENO) < 0 || dup2(error, STDERR_FILENO) < 0)
      _exit(127);
    close(pipe_ends[0]);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipe_ends[1]);
  platform_->output = pipe_ends[0];
  platform_->pid = pid;
}

ChildProcess::~ChildProcess() = default;

bool ChildProcess::Started() const { return platform_->pid > 0; }

long ChildProcess::ReadSome(char* buffer, size_t capacity, int timeoutMs) {
  if (platform_->output < 0) return 0;
  pollfd readable{platform_->output, POLLIN, 0};
  int ready = 0;
  do {
    ready = poll(&readable, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return -1;
  const ssize_t received = read(platform_->output, buffer, capacity);
  return received < 0 ? 0 : static_cast<long>(received);
}

std::optional<int> ChildProcess::Wait(int timeoutMs) {
  if (!Started() || platform_->reaped) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  while (waitpid(platform_->pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(platform_->pid, SIGKILL);
      waitpid(platform_->pid, nullptr, 0);
      platform_->reaped = true;
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  platform_->reaped = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
