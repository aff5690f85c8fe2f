// The system as the launcher and the search service see it: every text they
// exchange with it (the command line, the environment, file names) is UTF-8,
// whatever the platform's own encoding, and converted only where it meets the
// system. The window program keeps the system's narrow encoding (on Windows,
// the ANSI code page) and leaves these alone. The launcher and the service take
// the story-folder rule in the same UTF-8 from talewick_text_utf8.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace talewick {

// The command line, the program first. (Windows hands `argv` over in the ANSI
// code page, which cannot spell every name: there it is read from the wide one.)
std::vector<std::string> Utf8CommandLine(int argc, char** argv);

// The value of an environment variable; empty when it is not set.
std::string Utf8Environment(const char* name);

// A path from its UTF-8 spelling, and back.
std::filesystem::path PathFromUtf8(std::string_view text);
std::string Utf8Of(const std::filesystem::path& path);

}  // namespace talewick
