// The command line of the launcher and the search service: "--name value" pairs,
// with --help and --version standing alone and winning over everything else.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace talewick {

// What the first --help or --version on a line asks for.
enum class Standalone { kNone, kHelp, kVersion };
Standalone StandaloneOption(std::span<const std::string> arguments);

// An option that takes a value: without one, the line is refused with
// "NAME needs MISSING"; with an empty one, with "NAME needs EMPTY" unless
// EMPTY is empty, when the empty value is taken.
struct ValueOption {
  std::string_view name;
  std::string_view missing;
  std::string_view empty = {};
};

// Walks the pairs of `arguments` (the program first) in order, handing each
// value to `take`, which returns what is wrong with it or "". The result is the
// first refusal ("unknown option 'NAME'" for a name not in `options`), or "".
std::string WalkValueOptions(
    std::span<const std::string> arguments, std::span<const ValueOption> options,
    const std::function<std::string(std::string_view name, const std::string& value)>& take);

}  // namespace talewick
