// Reading a folder on Windows: one FindFirstFileExW pass, which gives the kind,
// size and time of each entry with its name, so that no entry is looked up again
// (a start lists 100,000 files of a big shelf). Names become UTF-8 here.
#include <windows.h>

#include <algorithm>
#include <memory>

#include "corpus_files.h"

namespace talewick::search {

namespace {

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};

std::string Utf8OrEmpty(const wchar_t* name) {
  const int size =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, -1, text.data(), size, nullptr, nullptr);
  text.pop_back();  // the terminator
  return text;
}

std::int64_t Ticks(const FILETIME& time) {
  return static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
}

std::error_code LastError() {
  return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

}  // namespace

std::vector<FolderEntry> ReadFolder(const std::filesystem::path& dir, std::string_view suffix,
                                    std::error_code& ec, std::vector<std::string>& skipped) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAW found{};
  const HANDLE first = FindFirstFileExW((dir / L"*").c_str(), FindExInfoBasic, &found,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (first == INVALID_HANDLE_VALUE) {
    ec = LastError();
    return entries;
  }
  const std::unique_ptr<void, FindCloser> find(first);
  ec.clear();
  do {
    const std::wstring_view wideName = found.cFileName;
    if (wideName == L"." || wideName == L"..") continue;
    const std::string name = Utf8OrEmpty(found.cFileName);
    if (name.empty()) {
      skipped.emplace_back("(a name that is not valid Unicode)");
      continue;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{found.dwFileAttributes, found.ftCreationTime,
                                   found.ftLastAccessTime, found.ftLastWriteTime,
                                   found.nFileSizeHigh,    found.nFileSizeLow};
    // A link is followed to what it names, which may be missing.
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        !GetFileAttributesExW((dir / wideName).c_str(), GetFileExInfoStandard, &data)) {
      skipped.push_back(name + ": " + LastError().message());
      continue;
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      entries.push_back({name, true, 0, 0});
    } else if (name.size() >= suffix.size() &&
               name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
               (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0) {
      entries.push_back({name, false, (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
                         Ticks(data.ftLastWriteTime)});
    }
  } while (FindNextFileW(find.get(), &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) ec = LastError();
  return entries;
}

CorpusFileReader::~CorpusFileReader() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool CorpusFileReader::Open(const std::filesystem::path& path, std::uint64_t& size,
                            std::int64_t& modified) {
  // Shared with writers and deleters: a file being changed reads as changed.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(file);
  // A pipe or a device opens without waiting, but a read of it would wait.
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return false;
  }
  size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  modified = Ticks(info.ftLastWriteTime);
  return true;
}

bool CorpusFileReader::ReadAt(std::uint64_t offset, std::string& bytes) const {
  for (std::size_t done = 0; done < bytes.size();) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    DWORD got = 0;
    const auto wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), bytes.data() + done, wanted, &got, &at) ||
        got == 0) {
      return false;
    }
    done += got;
  }
  return true;
}

bool CorpusFileReader::Names(const std::filesystem::path& path, std::uint64_t size,
                             std::int64_t modified) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
         (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0 &&
         ((std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow) == size &&
         Ticks(data.ftLastWriteTime) == modified;
}

}  // namespace talewick::search
