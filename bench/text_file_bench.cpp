// Reading a 200,000-line file with the read-all pattern (open, read a line until
// at the end, close): through the block-buffered file layer, and through a
// baseline reader that costs a 128-byte read, a seek back to the line end, a
// size query and a position query per line, as a reader without a buffer does.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "text/text_file.h"

using namespace talewick;

namespace {

constexpr int kLines = 200'000;

// Words of varied length and all three line ends, written once per process.
const std::string& TestFilePath() {
  static const std::string path = [] {
    std::string file = StartFolder() + "bench_lines.txt";
    std::string bytes;
    const char* words[] = {"the", "story", "grows", "one", "piece", "at", "a", "time"};
    const char* ends[] = {"\r\n", "\n", "\r\n", "\r"};
    for (int i = 0; i < kLines; ++i) {
      bytes += words[i % 8];
      bytes += ' ';
      bytes += std::to_string(i);
      bytes += ends[i % 4];
    }
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr) return std::string();
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    return file;
  }();
  return path;
}

// --- The baseline: one unbuffered read per line, the position kept by the OS.

struct BaselineFile {
  int fd = -1;
};

int BaselineReadLine(BaselineFile& file, BoundedText& line) {
  int length = 0;
  bool consumed = false;
  char block[128];
  for (;;) {
    const off_t blockStart = ::lseek(file.fd, 0, SEEK_CUR);
    const ssize_t got = ::read(file.fd, block, sizeof block);
    if (got <= 0) break;
    for (ssize_t i = 0; i < got; ++i) {
      const char c = block[i];
      if (c != '\r' && c != '\n') {
        if (length < kTextCapacity) line.bytes[length++] = c;
        consumed = true;
        continue;
      }
      off_t next = blockStart + i + 1;
      if (c == '\r') {
        char after = 0;
        if (i + 1 < got) {
          after = block[i + 1];
        } else if (::read(file.fd, &after, 1) != 1) {
          after = 0;
        }
        if (after == '\n') ++next;
      }
      ::lseek(file.fd, next, SEEK_SET);
      line.bytes[length] = '\0';
      return 0;
    }
  }
  line.bytes[length] = '\0';
  return consumed ? 0 : -1;
}

bool BaselineAtEnd(const BaselineFile& file) {
  struct stat info;
  if (::fstat(file.fd, &info) != 0) return true;
  return ::lseek(file.fd, 0, SEEK_CUR) >= info.st_size;
}

// --- The two read-all loops.

void ReadThroughFileLayer(benchmark::State& state) {
  const std::string& path = TestFilePath();
  auto file = std::make_unique<TextFile>();
  BoundedText line{};
  int64_t lines = 0;
  for (auto _ : state) {
    if (FileOpen(*file, path, "r") != 0) {
      state.SkipWithError("cannot open the test file");
      return;
    }
    do {
      FileReadLine(*file, line);
      ++lines;
    } while (!FileAtEnd(*file));
    FileClose(*file);
    benchmark::DoNotOptimize(line);
  }
  state.counters["lines"] = benchmark::Counter(static_cast<double>(lines) / state.iterations());
}

void ReadThroughBaseline(benchmark::State& state) {
  const std::string& path = TestFilePath();
  BoundedText line{};
  int64_t lines = 0;
  for (auto _ : state) {
    BaselineFile file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) {
      state.SkipWithError("cannot open the test file");
      return;
    }
    do {
      BaselineReadLine(file, line);
      ++lines;
    } while (!BaselineAtEnd(file));
    ::close(file.fd);
    benchmark::DoNotOptimize(line);
  }
  state.counters["lines"] = benchmark::Counter(static_cast<double>(lines) / state.iterations());
}

BENCHMARK(ReadThroughFileLayer)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadThroughBaseline)->Unit(benchmark::kMillisecond);
// One pass alone, for counting the file layer's system calls from outside:
//   strace -c -f text_file_bench --benchmark_filter=ReadThroughFileLayer/iterations:1
BENCHMARK(ReadThroughFileLayer)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
