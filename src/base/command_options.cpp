// The walk the launcher and the search service share; each keeps its own
// options, values and words for them.
#include "base/command_options.h"

#include <algorithm>

namespace talewick {

Standalone StandaloneOption(std::span<const std::string> arguments) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--help") return Standalone::kHelp;
    if (arguments[i] == "--version") return Standalone::kVersion;
  }
  return Standalone::kNone;
}

std::string WalkValueOptions(
    std::span<const std::string> arguments, std::span<const ValueOption> options,
    const std::function<std::string(std::string_view name, const std::string& value)>& take) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    const auto option = std::find_if(options.begin(), options.end(),
                                     [&](const ValueOption& o) { return o.name == name; });
    if (option == options.end()) return "unknown option '" + name + "'";
    if (i + 1 >= arguments.size()) return name + " needs " + std::string(option->missing);
    const std::string& value = arguments[++i];
    if (value.empty() && !option->empty.empty())
      return name + " needs " + std::string(option->empty);
    std::string refusal = take(name, value);
    if (!refusal.empty()) return refusal;
  }
  return "";
}

}  // namespace talewick
