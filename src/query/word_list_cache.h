// A copy of the word list kept between lookups, so that one lookup costs a hash
// probe instead of a read of the whole file. The file is still opened for every
// word (a missing list is noticed every time); the copy answers only while the
// open file carries the stamp and path that the copy was built from, so an edit
// to the list takes effect from the next word on.
#pragma once

#include <string_view>

#include "text/text_file.h"

// Whether some line of the word list `file`, just opened from `path`, equals
// `word` exactly. Reads the file with the read-all pattern when no valid copy
// exists. The caller opens and closes the file.
bool WordListHasLine(TextFile& file, std::string_view path, std::string_view word);

// Drops the copy, so that the next lookup reads the file again.
void ForgetWordListCopy();
