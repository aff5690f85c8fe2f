// Placeholder so the tree builds; the real implementation replaces this file.
#include "query/search_query.h"
void DLFControl() {}
