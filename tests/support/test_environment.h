// Sets an environment variable of the test process, as the program's getenv
// sees it. One implementation per platform: test_environment_posix.cpp and
// test_environment_win32.cpp.
#pragma once

#include <memory>
#include <string>

void SetTestEnvironment(const std::string& name, const std::string& value);
// An existing folder in which no file can be created, by root neither.
std::string UnwritableFolder();
// Makes `path` a file that a folder listing shows but that no program can read,
// root neither, for as long as the returned holder lives.
std::shared_ptr<void> UnreadableFileAt(const std::string& path);
