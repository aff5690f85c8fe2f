// Files for the search service's tests: a fresh folder beside the test program,
// and files written and read whole.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "searchd/index/search_hit.h"

namespace talewick::search {

using Strings = std::vector<std::string>;

// The sentences of `hits`, in their order.
Strings Sentences(const std::vector<SearchHit>& hits);

// An empty folder "work_NAME" beside the test program.
std::filesystem::path FreshFolder(const std::string& name);

std::string ReadAll(const std::filesystem::path& path);

// Writes `text` as the whole file, making its folders.
void WriteFile(const std::filesystem::path& path, const std::string& text);

// Writes `text` and moves the file's time on, as an edit made later would.
void Rewrite(const std::filesystem::path& path, const std::string& text);

}  // namespace talewick::search
