// Placeholder so the tree builds; the real implementation replaces this file.
#include "query/input_words.h"
void DownloadString() {}
void DisectInput() {}
