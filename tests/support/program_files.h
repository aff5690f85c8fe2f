// Test helpers for the data files that the program keeps beside its executable
// ("dictionary.txt", "googleblog.htm", "OutPutTextFile.txt").
#pragma once

#include <string>

#include "text/story_folder.h"  // ProgramFolder(): the test executable's folder

// Writes the bytes exactly as given (no line-end conversion).
void WriteProgramFile(const std::string& name, const std::string& bytes);
// The file's bytes, or an empty string when it does not exist.
std::string ReadProgramFile(const std::string& name);
bool ProgramFileExists(const std::string& name);
void RemoveProgramFile(const std::string& name);
// Removes the three data files, or folders made in their place.
void RemoveDataFiles();
