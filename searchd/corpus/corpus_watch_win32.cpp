// The corpus watch on Windows: ReadDirectoryChangesW over the whole tree of the
// corpus folder, overlapped, on a thread of its own that an event wakes to stop.
#include <windows.h>

#include <array>
#include <memory>
#include <string_view>
#include <thread>

#include "base/system_error.h"
#include "base/utf8_system.h"
#include "searchd/corpus/corpus_watch.h"

namespace talewick::search {

namespace fs = std::filesystem;

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

constexpr DWORD kChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                           FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE |
                           FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_CREATION;

std::string WhyNot(const std::string& what, DWORD error) {
  std::string why = what + ": " + SystemErrorText(static_cast<int>(error));
  if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) {
    why += " (the folder's file system tells no changes, as some network shares do)";
  }
  return why;
}

bool IsLink(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::string LinkTold(const fs::path& path) {
  return Utf8Of(path) + " is a link, and changes to what it names are not told";
}

struct FindCloser {
  void operator()(HANDLE handle) const { FindClose(handle); }
};

// Calls `take` with each entry of `folder` (its name and attributes) but "." and
// "..", in one pass that looks at no entry again; false when it cannot be read.
template <typename Take>
bool ForEachEntry(const fs::path& folder, Take take) {
  WIN32_FIND_DATAW found{};
  const HANDLE first = FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &found,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (first == INVALID_HANDLE_VALUE) return false;
  const std::unique_ptr<void, FindCloser> search(first);
  do {
    const std::wstring_view name(found.cFileName);
    if (name != L"." && name != L"..") take(name, found.dwFileAttributes);
  } while (FindNextFileW(first, &found));
  return true;
}

}  // namespace

struct CorpusWatch::State {
  fs::path corpus;
  std::vector<fs::path> ignored;
  Notify notify;
  Handle folder;
  Handle done;  // the overlapped read's
  Handle stop;
  OVERLAPPED overlapped{};
  // DWORD-aligned, as the call wants; 64 KB at most over a network.
  alignas(DWORD) std::array<char, std::size_t{64} * 1024> buffer{};
  std::thread thread;

  ~State() {
    if (thread.joinable()) {
      SetEvent(stop.get());
      thread.join();
    }
  }

  bool Read() {
    overlapped = OVERLAPPED{};
    overlapped.hEvent = done.get();
    return ReadDirectoryChangesW(folder.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                 TRUE, kChanges, nullptr, &overlapped, nullptr) != 0;
  }

  // What the notices in the first `bytes` of the buffer tell: whether they
  // concern the corpus, and why the watch must stop when one tells of a link
  // come in.
  struct Told {
    bool concerned = false;
    std::string stop;
  };
  Told Concerned(DWORD bytes) const {
    Told told;
    for (DWORD at = 0; at < bytes;) {
      const auto* notice = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer.data() + at);
      const fs::path name(std::wstring(notice->FileName, notice->FileNameLength / sizeof(WCHAR)));
      // A file beside the site folders is no site's text, and may be the
      // service's own log, whatever its path was called at the start.
      std::error_code kind;
      const bool besideSites = !name.has_parent_path() && notice->Action != FILE_ACTION_REMOVED &&
                               notice->Action != FILE_ACTION_RENAMED_OLD_NAME &&
                               !fs::is_directory(corpus / name, kind);
      if (ConcernsCorpus(name, ignored) && !besideSites) {
        told.concerned = true;
        if ((notice->Action == FILE_ACTION_ADDED ||
             notice->Action == FILE_ACTION_RENAMED_NEW_NAME) &&
            IsLink(corpus / name)) {
          told.stop = LinkTold(corpus / name);
        }
      }
      if (notice->NextEntryOffset == 0) break;
      at += notice->NextEntryOffset;
    }
    return told;
  }

  void Run() {
    for (;;) {
      const std::array<HANDLE, 2> waits{stop.get(), done.get()};
      const DWORD woke = WaitForMultipleObjects(2, waits.data(), FALSE, INFINITE);
      DWORD bytes = 0;
      if (woke != WAIT_OBJECT_0 + 1) {
        CancelIoEx(folder.get(), &overlapped);
        GetOverlappedResult(folder.get(), &overlapped, &bytes, TRUE);
        if (woke == WAIT_OBJECT_0) return;
        return notify(WhyNot("the watch failed", GetLastError()));
      }
      if (!GetOverlappedResult(folder.get(), &overlapped, &bytes, FALSE)) {
        const DWORD error = GetLastError();
        // Notices were lost: look at everything.
        if (error != ERROR_NOTIFY_ENUM_DIR) return notify(WhyNot("the watch failed", error));
        bytes = 0;
      }
      // No bytes: the system's buffer ran over, and what changed is not known.
      const Told told = bytes == 0 ? Told{.concerned = true, .stop = {}} : Concerned(bytes);
      if (!told.stop.empty()) return notify(told.stop);
      if (!Read()) return notify(WhyNot("the watch failed", GetLastError()));
      if (told.concerned) notify("");
    }
  }
};

CorpusWatch::CorpusWatch() = default;
CorpusWatch::~CorpusWatch() = default;
void CorpusWatch::Stop() { state_.reset(); }

Failure CorpusWatch::Start(const fs::path& corpus, const std::vector<fs::path>& ignored,
                           Notify notify) {
  auto state = std::make_unique<State>();
  state->corpus = corpus;
  state->ignored = ignored;
  state->notify = std::move(notify);
  const HANDLE folder = CreateFileW(
      corpus.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    return Failed(WhyNot("cannot open " + Utf8Of(corpus) + " to watch it", GetLastError()));
  }
  state->folder.reset(folder);
  state->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  state->stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!state->done || !state->stop) {
    return Failed(WhyNot("the watch's thread cannot be made", GetLastError()));
  }
  // The first read is asked for here, so that changes from now on are told.
  if (!state->Read()) return Failed(WhyNot("cannot watch " + Utf8Of(corpus), GetLastError()));
  State* running = state.get();
  state->thread = std::thread([running] { running->Run(); });
  state_ = std::move(state);
  linked_ = std::async(std::launch::async, [corpus] { return LinkedEntry(corpus); });
  return {};
}

// The listing follows a site folder or a text that is a link (a junction, a
// symbolic link), which ReadDirectoryChangesW does not.
std::string LinkedEntry(const fs::path& corpus) {
  std::string why;
  ForEachEntry(corpus, [&](std::wstring_view site, DWORD attributes) {
    if (!why.empty() || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return;
    const fs::path folder = corpus / site;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      why = LinkTold(folder);
      return;
    }
    ForEachEntry(folder, [&](std::wstring_view text, DWORD textAttributes) {
      if (why.empty() && (textAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
          text.ends_with(L".txt")) {
        why = LinkTold(folder / text);
      }
    });
  });
  return why;
}

}  // namespace talewick::search
