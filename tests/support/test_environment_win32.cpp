// Windows: _putenv_s changes the C runtime's copy, which getenv reads; Wine's
// Z:\proc\ is the Unix /proc, which takes no new files; a file held open with
// no sharing allowed cannot be opened again.
#include <stdlib.h>
#include <windows.h>

#include "support/test_environment.h"

void SetTestEnvironment(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

std::string UnwritableFolder() { return "Z:\\proc\\"; }

std::shared_ptr<void> UnreadableFileAt(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::shared_ptr<void>(file, CloseHandle);
}
