// The portable half of ChildProcess: lines cut from what ReadSome brings.
#include "support/child_process.h"

#include <chrono>
#include <utility>

namespace {

int MsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

std::optional<std::string> ChildProcess::ReadLine(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    const long received = ReadSome(buffer, sizeof buffer, MsLeft(deadline));
    if (received <= 0) return std::nullopt;
    pending_.append(buffer, static_cast<size_t>(received));
  }
}

std::string ChildProcess::ReadRest(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  long received = 0;
  while ((received = ReadSome(buffer, sizeof buffer, MsLeft(deadline))) > 0)
    pending_.append(buffer, static_cast<size_t>(received));
  return std::exchange(pending_, {});
}
