// The first two stages of a cycle: the lower-cased input for the query
// (DownloadString) and the input split into words kept by the word list
// "dictionary.txt" (DisectInput).
#pragma once

void DownloadString();
void DisectInput();
