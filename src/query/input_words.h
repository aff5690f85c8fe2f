// The first two stages of a cycle: the lower-cased input for the query
// (DownloadString) and the input split into words kept by the word list
// "dictionary.txt" (DisectInput), with the plain functions they are made of.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text_file.h"

namespace talewick {

// Reads InputText; writes LoweredInput.
void DownloadString();
// Reads InputText; writes InputWords and WordCount (and the walk's own fields),
// reports rejected words and a missing word list.
void DisectInput();

// Whether the word list has `word` as a whole line; called once per word, in input order.
using WordLookup = std::function<bool(std::string_view word)>;

// The pieces of `input` between spaces (only the space separates), lower-cased
// and trimmed of spaces and tabs, each looked up with `isListed`, empty pieces
// too (n spaces give n + 1 lookups); the pieces found, in input order.
std::vector<std::string> ListedWords(std::string_view input, const WordLookup& isListed);

enum class WordListAnswer { kListed, kNotListed, kNoList };

// Looks `word` up in the word list at `listPath`, read through `file` (closed
// again afterwards): whether some line equals it, or that the list cannot be opened.
WordListAnswer LookUpWord(TextFile& file, std::string_view listPath, std::string_view word);

}  // namespace talewick
