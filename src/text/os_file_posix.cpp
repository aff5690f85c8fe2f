// Placeholder so the tree builds; the real implementation replaces this file.
#include "text/os_file.h"
std::string OsExecutablePath() { return "/tmp/x"; }
char OsPathSeparator() { return '/'; }
