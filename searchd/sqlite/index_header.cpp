// Reading the header of an index file: the fields of SQLite's file format that say
// whose database it is and how big it should be.
#include "searchd/sqlite/index_header.h"

#include <array>
#include <cstring>
#include <fstream>
#include <system_error>

#include "searchd/sqlite/checked_vfs.h"

namespace talewick::search {

namespace {

std::uint32_t BigEndian(const unsigned char* bytes, int size) {
  std::uint32_t value = 0;
  for (int i = 0; i < size; ++i) value = (value << 8) | bytes[i];
  return value;
}

}  // namespace

std::string DescribeVersion(std::uint32_t version) {
  return version == 0 ? "its building was cut short" : "made by another version of talewick-search";
}

IndexHeader ReadIndexHeader(const std::filesystem::path& file) {
  using Kind = IndexHeader::Kind;
  std::error_code ec;
  // What a link names; a pipe is never opened, as that would wait for a writer.
  const std::filesystem::file_status status = std::filesystem::status(file, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    return {Kind::kNotAFile, "it is not a regular file"};
  }
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec || size == 0) return {Kind::kMissing, ""};
  std::array<unsigned char, 100> header{};
  std::ifstream in(file, std::ios::binary);
  in.read(reinterpret_cast<char*>(header.data()), header.size());
  if (in.gcount() != static_cast<std::streamsize>(header.size()) ||
      std::memcmp(header.data(), "SQLite format 3", 16) != 0) {
    return {Kind::kUnknown, "it is not an SQLite database"};
  }
  const std::uint32_t application = BigEndian(&header[68], 4);
  if (application != kApplicationId) {
    return {Kind::kForeign, application == 0 ? "an SQLite database of another program"
                                             : "an SQLite database of another program (id " +
                                                   std::to_string(application) + ")"};
  }
  if (const std::uint32_t version = BigEndian(&header[60], 4); version != kSchemaVersion) {
    return {Kind::kDamaged, DescribeVersion(version)};
  }
  const std::uint32_t pageField = BigEndian(&header[16], 2);
  const std::uint64_t pageSize = pageField == 1 ? 65536 : pageField;
  if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0 || header[20] != kChecksumBytes) {
    return {Kind::kDamaged, "its header is damaged"};
  }
  // The page count is valid when the two change counters agree.
  const std::uint64_t pages = BigEndian(&header[28], 4);
  if (BigEndian(&header[24], 4) == BigEndian(&header[92], 4) && pages * pageSize > size) {
    return {Kind::kDamaged, "it is cut short: " + std::to_string(size) + " of " +
                                std::to_string(pages * pageSize) + " bytes"};
  }
  return {Kind::kIndex, ""};
}

}  // namespace talewick::search
