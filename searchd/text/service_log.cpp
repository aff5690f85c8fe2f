#include "searchd/text/service_log.h"

#include <cstdio>
#include <streambuf>
#include <string>
#include <string_view>

namespace talewick::search {

namespace {

// Gathers a thread's text and hands it to stdio in one call per line: stdio
// locks the stream for the call, so lines of other threads fall between lines.
class LineBuffer final : public std::streambuf {
 public:
  LineBuffer() = default;
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  ~LineBuffer() override { Send(); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_.push_back(traits_type::to_char_type(c));
    if (c == '\n') SendLines();
    return c;
  }

  std::streamsize xsputn(const char* text, std::streamsize count) override {
    pending_.append(text, static_cast<std::size_t>(count));
    SendLines();
    return count;
  }

  int sync() override {
    Send();
    return 0;
  }

 private:
  // Sends the whole lines, keeping a line begun for the text that ends it.
  void SendLines() {
    const std::size_t end = pending_.rfind('\n');
    if (end == std::string::npos) return;
    Write(std::string_view(pending_).substr(0, end + 1));
    pending_.erase(0, end + 1);
  }

  void Send() {
    Write(pending_);
    pending_.clear();
  }

  static void Write(std::string_view text) {
    if (text.empty()) return;
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  }

  std::string pending_;
};

}  // namespace

std::ostream& StandardLog() {
  thread_local LineBuffer buffer;
  thread_local std::ostream stream(&buffer);
  return stream;
}

}  // namespace talewick::search
