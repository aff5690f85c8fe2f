// Reads and writes files in the test executable's folder with the standard library,
// independently of the text file layer under test.
#include "support/program_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace talewick;

void WriteProgramFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(ProgramFolder() + name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadProgramFile(const std::string& name) {
  std::ifstream in(ProgramFolder() + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ProgramFileExists(const std::string& name) {
  return std::filesystem::exists(ProgramFolder() + name);
}

void RemoveProgramFile(const std::string& name) {
  std::error_code ignored;
  std::filesystem::remove(ProgramFolder() + name, ignored);
}

void RemoveDataFiles() {
  std::error_code ignored;
  for (const char* name : {"dictionary.txt", "googleblog.htm", "OutPutTextFile.txt"})
    std::filesystem::remove_all(ProgramFolder() + name, ignored);
}
