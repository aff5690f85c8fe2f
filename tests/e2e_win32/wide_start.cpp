// Starts a program as Explorer starts a shortcut: through CreateProcessW, with a
// wide command line. Wine's own command line cannot carry letters outside the
// POSIX locale's character set, so the program and its arguments come from a
// UTF-8 file, one a line. Waits for the program; its exit status is this one's.
//
//     wide_start.exe LINES.txt
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::wstring Wide(const std::string& text) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// Quoted as the C library and CommandLineToArgvW read it back.
void AppendQuoted(std::wstring& line, const std::wstring& word) {
  if (!line.empty()) line += L' ';
  line += L'"';
  size_t backslashes = 0;
  for (const wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
    } else {
      if (c == L'"') line.append(backslashes + 1, L'\\');
      backslashes = 0;
    }
    line += c;
  }
  line.append(backslashes, L'\\');
  line += L'"';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  std::string line;
  std::wstring program;
  std::wstring command;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::wstring word = Wide(line);
    if (program.empty()) program = word;
    AppendQuoted(command, word);
  }
  if (program.empty()) return 2;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created{};
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &created)) {
    return 127;
  }
  WaitForSingleObject(created.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(created.hProcess, &status);
  CloseHandle(created.hProcess);
  CloseHandle(created.hThread);
  return static_cast<int>(status);
}
