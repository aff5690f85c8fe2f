// The third stage: chooses the search words and builds the search URL.
#pragma once

void DLFControl();
