#include "narrow_program.h"

namespace talewick {

NarrowStart PrepareNarrowProgram(const std::string& programFolder, const std::string& programName,
                                 const std::string&) {
  return {programFolder + programName, {}};
}

}  // namespace talewick
