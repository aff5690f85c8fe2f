// One sentence found by a search, as the index gives it and the result page shows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "searchd/text/sentences.h"

namespace talewick::search {

struct SearchHit {
  std::uint64_t id;  // the sentence's place in the index; ids grow in corpus order
  std::string title;
  std::string sentence;              // original case and punctuation
  std::vector<PhraseMatch> matches;  // where the phrase stands in `sentence`
};

}  // namespace talewick::search
