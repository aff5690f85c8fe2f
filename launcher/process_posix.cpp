// POSIX children: fork and exec, with the launcher's stop signals (SIGINT,
// SIGTERM, SIGHUP) passed on to them as SIGTERM, and each child told by Linux
// to end when the launcher dies for any other reason.
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <utility>

#include "base/system_error.h"
#include "process.h"

namespace talewick {

const char* const kExecutableSuffix = "";

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kMaxChildren = 4;
// Read by the signal handler: the running children, 0 in a free slot.
std::atomic<pid_t> running[kMaxChildren];
volatile std::sig_atomic_t stopRequested = 0;

void PassStopOn(int) {
  const int saved = errno;
  stopRequested = 1;
  for (const auto& pid : running) {
    const pid_t child = pid.load();
    if (child > 0) ::kill(child, SIGTERM);
  }
  errno = saved;
}

void Remember(pid_t pid) {
  for (auto& slot : running) {
    pid_t free = 0;
    if (slot.compare_exchange_strong(free, pid)) return;
  }
}

void Forget(pid_t pid) {
  for (auto& slot : running) {
    pid_t held = pid;
    slot.compare_exchange_strong(held, 0);
  }
}

sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kStopSignals) sigaddset(&set, signal);
  return set;
}

// Closes a descriptor once, whatever way its owner ends.
struct Descriptor {
  int fd = -1;
  Descriptor() = default;
  explicit Descriptor(int value) : fd(value) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Reset(); }
  void Reset(int value = -1) {
    if (fd >= 0) ::close(fd);
    fd = value;
  }
  int Release() { return std::exchange(fd, -1); }
};

// In the child between fork and exec: `fd` becomes `target`, open across exec.
void MoveTo(int fd, int target) {
  if (fd == target) {
    ::fcntl(fd, F_SETFD, 0);
  } else {
    ::dup2(fd, target);
  }
}

[[noreturn]] void ExecChild(char* const* argv, int input, int output, int error, int report,
                            pid_t parent) {
  // Linux ends the child when the launcher dies, even by SIGKILL.
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) ::_exit(127);
  for (const int signal : kStopSignals) ::signal(signal, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  MoveTo(input, STDIN_FILENO);
  if (output >= 0) MoveTo(output, STDOUT_FILENO);
  MoveTo(error, STDERR_FILENO);
  ::execv(argv[0], argv);
  const int failure = errno;
  [[maybe_unused]] const ssize_t sent = ::write(report, &failure, sizeof failure);
  ::_exit(127);
}

}  // namespace

struct ChildState {
  pid_t pid = 0;
  Descriptor output;
  std::string pending;  // output read but not yet returned as a line
};

namespace {

// The exit status of a child that waitpid is done with (`done` < 0: it failed).
int Reaped(ChildState& state, pid_t done, int status) {
  Forget(state.pid);
  state.pid = 0;
  if (done < 0) return 1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

Child::Child() : state_(std::make_unique<ChildState>()) {}

Child::~Child() { Stop(); }

bool Child::Start(const ChildOptions& options, std::string& error) {
  Descriptor log(::open(options.logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (log.fd < 0) {
    error = "cannot write " + options.logPath + ": " + LastSystemErrorText();
    return false;
  }
  Descriptor input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  int pipeEnds[2] = {-1, -1};
  int reportEnds[2] = {-1, -1};
  if ((options.readOutput && ::pipe2(pipeEnds, O_CLOEXEC) != 0) ||
      ::pipe2(reportEnds, O_CLOEXEC) != 0) {
    error = LastSystemErrorText();
    return false;
  }
  Descriptor outputRead(pipeEnds[0]);
  Descriptor outputWrite(pipeEnds[1]);
  Descriptor reportRead(reportEnds[0]);
  Descriptor reportWrite(reportEnds[1]);

  std::vector<char*> argv;
  for (const std::string& word : options.command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  // The stop signals wait until the new child is remembered, so none is missed.
  const sigset_t stops = StopSignalSet();
  sigset_t before;
  ::sigprocmask(SIG_BLOCK, &stops, &before);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) ExecChild(argv.data(), input.fd, outputWrite.fd, log.fd, reportWrite.fd, parent);
  if (pid > 0) Remember(pid);
  ::sigprocmask(SIG_SETMASK, &before, nullptr);
  if (pid < 0) {
    error = LastSystemErrorText();
    return false;
  }
  state_->pid = pid;
  reportWrite.Reset();
  int failure = 0;
  ssize_t got;
  do {
    got = ::read(reportRead.fd, &failure, sizeof failure);
  } while (got < 0 && errno == EINTR);
  if (got == sizeof failure) {  // exec failed: the child has ended already
    Wait();
    error = SystemErrorText(failure);
    return false;
  }
  state_->output.Reset(outputRead.Release());
  return true;
}

Child::Line Child::ReadLine(std::chrono::milliseconds timeout, std::string& line) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const size_t end = state_->pending.find('\n');
    if (end != std::string::npos) {
      line = state_->pending.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      state_->pending.erase(0, end + 1);
      return Line::kRead;
    }
    if (state_->output.fd < 0) return Line::kEnded;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Line::kTimedOut;
    pollfd ready{state_->output.fd, POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno != EINTR) return Line::kEnded;
    if (polled <= 0) continue;
    char buffer[4096];
    const ssize_t got = ::read(state_->output.fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      state_->output.Reset();
      return Line::kEnded;
    }
    state_->pending.append(buffer, static_cast<size_t>(got));
  }
}

int Child::Wait() {
  if (state_->pid <= 0) return 0;
  int status = 0;
  pid_t done;
  do {
    done = ::waitpid(state_->pid, &status, 0);
  } while (done < 0 && errno == EINTR);
  return Reaped(*state_, done, status);
}

std::optional<int> Child::Wait(std::chrono::milliseconds timeout) {
  if (state_->pid <= 0) return 0;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(state_->pid, &status, WNOHANG);
    if (done > 0 || (done < 0 && errno != EINTR)) return Reaped(*state_, done, status);
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    ::usleep(20 * 1000);
  }
}

void Child::Stop() {
  if (state_->pid <= 0) return;
  ::kill(state_->pid, SIGTERM);
  // A few seconds to finish what it is doing, then it is killed.
  if (Wait(std::chrono::seconds(5))) return;
  ::kill(state_->pid, SIGKILL);
  Wait();
}

long Child::Id() const { return state_->pid; }

void StopChildrenWithLauncher() {
  for (const int signal : kStopSignals) {
    struct sigaction action {};
    // A signal the launcher was started to ignore (nohup) stays ignored.
    if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) continue;
    action = {};
    action.sa_handler = PassStopOn;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
}

bool StopRequested() { return stopRequested != 0; }

void SetChildEnvironment(const char* name, const std::string& value) {
  ::setenv(name, value.c_str(), 1);
}

}  // namespace talewick
