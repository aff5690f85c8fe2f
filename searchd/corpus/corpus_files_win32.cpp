// Reading a folder on Windows: one pass over the open folder
// (GetFileInformationByHandleEx), which gives the kind, size, times and file ID of
// each entry with its name, so that no entry is looked up again (a start lists
// 100,000 files of a big shelf). Names become UTF-8 here.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "base/system_error.h"
#include "searchd/corpus/corpus_files.h"

// ntdll's look at a file by its path, the one GetFileAttributesExW makes: it also
// gives the change time, which GetFileAttributesExW leaves out.
extern "C" NTSTATUS NTAPI NtQueryFullAttributesFile(POBJECT_ATTRIBUTES attributes,
                                                    PFILE_NETWORK_OPEN_INFORMATION information);

namespace talewick::search {

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string Utf8OrEmpty(std::wstring_view name) {
  const int length = static_cast<int>(name.size());
  const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name.data(), length, nullptr,
                                       0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name.data(), length, text.data(), size,
                      nullptr, nullptr);
  return text;
}

std::error_code LastError() {
  return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

// The stamp of the open file `file`; false when it is not a regular file on a
// disk (a folder, a device, a pipe: a read of those would wait). Each part is
// asked for alone: GetFileInformationByHandle also asks for the volume's serial
// number, which under Wine is a round of requests to its mount manager, most of
// the time a search spends on a file it reads.
bool StampOf(HANDLE file, FileStamp& stamp) {
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  FILE_INTERNAL_INFORMATION internal{};
  IO_STATUS_BLOCK status{};
  if (GetFileType(file) != FILE_TYPE_DISK ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) ||
      !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
      !NT_SUCCESS(NtQueryInformationFile(file, &status, &internal, sizeof internal,
                                         FileInternalInformation)) ||
      standard.Directory || (basic.FileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) {
    return false;
  }
  // The file ID as GetFileInformationByHandle and a folder's listing give it.
  stamp = {static_cast<std::uint64_t>(standard.EndOfFile.QuadPart), basic.LastWriteTime.QuadPart,
           static_cast<std::uint64_t>(internal.IndexNumber.QuadPart), basic.ChangeTime.QuadPart};
  return true;
}

// The path as the kernel names it: full, under \??\ (\??\UNC\ for a share).
std::wstring KernelPath(const std::filesystem::path& path) {
  std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
  full.resize(
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
  if (full.starts_with(L"\\\\?\\")) return L"\\??\\" + full.substr(4);
  if (full.starts_with(L"\\\\")) return L"\\??\\UNC\\" + full.substr(2);
  return L"\\??\\" + full;
}

// Opens `path` to look at it only; what a link names, not the link.
Handle OpenToLook(const std::filesystem::path& path) {
  const HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Handle();
  return Handle(file);
}

}  // namespace

std::vector<FolderEntry> ReadFolder(const std::filesystem::path& dir, std::string_view suffix,
                                    std::error_code& ec, std::vector<std::string>& skipped) {
  std::vector<FolderEntry> entries;
  const HANDLE opened = CreateFileW(dir.c_str(), FILE_LIST_DIRECTORY, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    ec = LastError();
    return entries;
  }
  const Handle folder(opened);
  ec.clear();
  // Whole entries, aligned as the system writes them.
  std::vector<LONGLONG> buffer(std::size_t{64} * 1024 / sizeof(LONGLONG));
  const auto bufferBytes = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
       GetFileInformationByHandleEx(folder.get(), kind, buffer.data(), bufferBytes);
       kind = FileIdBothDirectoryInfo) {
    const auto* bytes = reinterpret_cast<const char*>(buffer.data());
    for (DWORD offset = 0;;) {
      const auto& found = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
      const std::wstring_view wideName(found.FileName, found.FileNameLength / sizeof(wchar_t));
      const std::string name = Utf8OrEmpty(wideName);
      FileStamp stamp{static_cast<std::uint64_t>(found.EndOfFile.QuadPart),
                      found.LastWriteTime.QuadPart,
                      static_cast<std::uint64_t>(found.FileId.QuadPart), found.ChangeTime.QuadPart};
      DWORD attributes = found.FileAttributes;
      const bool dots = wideName == L"." || wideName == L"..";
      if (!dots && name.empty()) skipped.emplace_back("(a name that is not valid Unicode)");
      // A link is followed to what it names, which may be missing.
      if (!dots && !name.empty() && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        const Handle target = OpenToLook(dir / wideName);
        BY_HANDLE_FILE_INFORMATION info{};
        if (!target || !GetFileInformationByHandle(target.get(), &info)) {
          skipped.push_back(name + ": " + LastSystemErrorText());
          attributes = 0;
        } else {
          attributes = info.dwFileAttributes;
          if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !StampOf(target.get(), stamp)) {
            attributes = FILE_ATTRIBUTE_DEVICE;
          }
        }
      }
      if (dots || name.empty() || attributes == 0) {
        // not an entry to list
      } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        entries.push_back({name, true, {}});
      } else if (name.size() >= suffix.size() &&
                 name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
                 (attributes & FILE_ATTRIBUTE_DEVICE) == 0) {
        entries.push_back({name, false, stamp});
      }
      if (found.NextEntryOffset == 0) break;
      offset += found.NextEntryOffset;
    }
  }
  if (GetLastError() != ERROR_NO_MORE_FILES) ec = LastError();
  return entries;
}

CorpusFileReader::~CorpusFileReader() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool CorpusFileReader::Open(const std::filesystem::path& path, FileStamp& stamp) {
  // Shared with writers and deleters: a file being changed reads as changed.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return StampOf(file, stamp);
}

// A seek and a read, not a read at an offset (OVERLAPPED): under Wine that one
// ends with a request to the wineserver to post its completion. The reader is
// used by one thread at a time.
bool CorpusFileReader::ReadAt(std::uint64_t offset, std::string& bytes) const {
  const auto file = reinterpret_cast<HANDLE>(handle_);
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
  for (std::size_t done = 0; done < bytes.size();) {
    DWORD got = 0;
    const auto wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    if (!ReadFile(file, bytes.data() + done, wanted, &got, nullptr) || got == 0) return false;
    done += got;
  }
  return true;
}

// By its path alone, as cheap as a look at its attributes: every search asks it
// of each file it answers from. The file ID is compared where the file is opened.
bool CorpusFileReader::Names(const std::filesystem::path& path, const FileStamp& stamp) {
  std::wstring name = KernelPath(path);
  UNICODE_STRING kernelName{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                            static_cast<USHORT>(name.size() * sizeof(wchar_t)), name.data()};
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &kernelName, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  FILE_NETWORK_OPEN_INFORMATION info{};
  return NT_SUCCESS(NtQueryFullAttributesFile(&attributes, &info)) &&
         (info.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0 &&
         static_cast<std::uint64_t>(info.EndOfFile.QuadPart) == stamp.size &&
         info.LastWriteTime.QuadPart == stamp.modified && info.ChangeTime.QuadPart == stamp.changed;
}

bool CorpusFileReader::OpeningIsDear() { return true; }

}  // namespace talewick::search
