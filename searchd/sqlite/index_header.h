// What a file named as the index holds, judged from its first 100 bytes (SQLite's
// database header) and its size, without opening it as a database: a file that is
// not this program's index is never written to, nor removed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace talewick::search {

inline constexpr std::uint32_t kApplicationId = 0x54574b31;  // "TWK1"
// Raised whenever what an index file holds changes (version 2: page checksums;
// 3: no text, one row a sentence, sentence places kept with each file; 4: the
// places in a table of their own, so that a start reads only the small rows of
// the files; 5: pages checked for their place, their index and their age; 6:
// files known by their identity and change time as well; 7: a file's places in
// rows of a few thousand sentences; 8: no two words are next to each other where
// punctuation stands between them).
inline constexpr std::uint32_t kSchemaVersion = 11;

struct IndexHeader {
  enum class Kind {
    kMissing,   // no file, or an empty one: an index may be made there
    kIndex,     // this program's index, of this version, whole as far as the header tells
    kDamaged,   // this program's index, but of another version, or cut short or damaged
    kForeign,   // an SQLite database of another program
    kNotAFile,  // a folder, a pipe or a device: never opened, nor written to
    kUnknown,   // not an SQLite database at all (a text file, or a header damaged past knowing)
  };
  Kind kind = Kind::kMissing;
  std::string reason;  // for kDamaged, kForeign, kNotAFile and kUnknown
};

IndexHeader ReadIndexHeader(const std::filesystem::path& file);

// Why an index of this program whose version reads `version`, not kSchemaVersion,
// cannot be used. A fresh index reads 0 until it is complete.
std::string DescribeVersion(std::uint32_t version);

}  // namespace talewick::search
