// Windows-1252, the ANSI code page in which the Windows program sends its words
// and reads its result pages, to and from UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talewick::search {

// Text in Windows-1252 as UTF-8; nothing when it holds one of the five bytes
// that Windows-1252 leaves unassigned.
std::optional<std::string> Utf8FromWindows1252(std::string_view text);

// HTML in UTF-8 as Windows-1252: a character that Windows-1252 cannot hold
// becomes the character reference "&#N;", and a byte that is not part of a
// UTF-8 character the reference of U+FFFD. No reference stands in a tag or
// entity of the page: they are all ASCII.
std::string Windows1252FromUtf8(std::string_view html);

}  // namespace talewick::search
