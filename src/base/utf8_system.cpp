// std::filesystem spells a path given as char in the system's narrow encoding:
// UTF-8 goes through char8_t, which it takes as UTF-8 everywhere.
#include "base/utf8_system.h"

namespace talewick {

std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

}  // namespace talewick
