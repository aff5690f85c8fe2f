// The command-line walk the launcher and the search service share: which
// refusal comes first, and the words for a missing or empty value.
#include "base/command_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace talewick;

namespace {

TEST(CommandOptions, TheFirstFaultOnTheLineIsTheOneReported) {
  // --port refuses values that are not numbers; --name takes an empty one.
  static constexpr ValueOption kOptions[] = {
      {"--folder", "a value", "a folder"}, {"--port", "a value"}, {"--name", "a name"}};
  const struct {
    std::vector<std::string> arguments;
    Standalone standalone;
    std::string refusal, taken;
  } cases[] = {
      {{"p"}, Standalone::kNone, "", ""},
      {{"p", "--folder", "a b", "--name", "", "--port", "8"}, Standalone::kNone, "", "a b||8|"},
      {{"p", "--bad", "--version", "--help"}, Standalone::kVersion, "", ""},
      {{"p", "--port", "x", "--help"}, Standalone::kHelp, "", ""},
      {{"p", "--port", "x", "--bad"}, Standalone::kNone, "--port: not a number", ""},
      {{"p", "--name", "n", "--bad", "v"}, Standalone::kNone, "unknown option '--bad'", "n|"},
      {{"p", "--port", "8", "--folder"}, Standalone::kNone, "--folder needs a value", "8|"},
      {{"p", "--folder", "", "--bad"}, Standalone::kNone, "--folder needs a folder", ""},
      {{"p", "--name"}, Standalone::kNone, "--name needs a name", ""},
      {{"p", "value"}, Standalone::kNone, "unknown option 'value'", ""},
  };
  for (const auto& c : cases) {
    const std::string line = ::testing::PrintToString(c.arguments);
    EXPECT_EQ(StandaloneOption(c.arguments), c.standalone) << line;
    if (c.standalone != Standalone::kNone) continue;
    std::string taken;
    const std::string refusal = WalkValueOptions(
        c.arguments, kOptions, [&](std::string_view name, const std::string& value) {
          if (name == "--port" && value.find_first_not_of("0123456789") != std::string::npos)
            return std::string("--port: not a number");
          taken += value + "|";
          return std::string();
        });
    EXPECT_EQ(refusal, c.refusal) << line;
    EXPECT_EQ(taken, c.taken) << line;
  }
}

}  // namespace
