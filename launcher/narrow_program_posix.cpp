#include "narrow_program.h"

NarrowStart PrepareNarrowProgram(const std::string& programFolder, const std::string& programName,
                                 const std::string&) {
  return {programFolder + programName, {}};
}
