// Placeholder so the tree builds; the real implementation replaces this file.
#include "text/os_file.h"
std::string OsExecutablePath() { return "C:\\x"; }
char OsPathSeparator() { return '\\'; }
