// Sets an environment variable of the test process, as the program's getenv
// sees it. One implementation per platform: test_environment_posix.cpp and
// test_environment_win32.cpp.
#pragma once

#include <string>

void SetTestEnvironment(const std::string& name, const std::string& value);
// An existing folder in which no file can be created, by root neither.
std::string UnwritableFolder();
