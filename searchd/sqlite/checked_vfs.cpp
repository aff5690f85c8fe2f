// The checked VFS: a thin layer over the system's default VFS. Only the main
// database file is checked; journals pass through, and their pages get their
// checks again when they are written back.
//
// A page ends with its check: its stamp (4 bytes), the index's salt (4) and a
// checksum (8) of everything before it, seeded with the page's number.
#include "searchd/sqlite/checked_vfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "searchd/sqlite/sqlite_db.h"
#include "searchd/sqlite/sqlite_memory.h"

namespace talewick::search {

namespace {

// What this VFS knows of one open file.
struct FileState {
  bool mainDb = false;
  bool checked = false;       // the file's header asks for kChecksumBytes reserved bytes per page
  bool damaged = false;       // a page has failed its check
  std::uint32_t salt = 0;     // the index's, 0 until known
  std::uint32_t highest = 0;  // the highest stamp seen
  std::uint32_t writeStamp = 0;             // of the write transaction under way, 0 between them
  std::uint32_t firstStamp = 0;             // of the first page, as read
  std::shared_ptr<const PageStamps> known;  // as loaded or shared; null until then
  PageStamps written;                       // by this handle, since `known` was taken
  // Pages read before `known` was there, and their stamps, to be checked then.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> early;
};

struct CheckedFile {
  sqlite3_file base;    // base.pMethods: kMethods, or null when the open failed
  sqlite3_file* inner;  // the default VFS's file, just after this struct
  FileState* state;
};

// File controls of this VFS's own: is the file known to be damaged? And the
// stamps (StampsRequest).
constexpr int kDamagedControl = 0x54574b00;
constexpr int kStampsControl = 0x54574b01;
static_assert(sizeof(CheckedFile) % 8 == 0, "the inner file follows, aligned");

struct StampsRequest {
  enum class Op { kGet, kUse, kTakeWritten } op;
  std::shared_ptr<const PageStamps> stamps;  // in for kUse; out for kGet and kTakeWritten
  std::vector<std::uint32_t> changedChunks;  // out for kTakeWritten
  bool sound = true;                         // out for kUse
};

// The pages table keeps the stamps of this many pages a row.
constexpr std::uint32_t kPagesPerChunk = 512;
// At most this many pages read before the stamps are known are checked then.
constexpr std::size_t kMostEarly = 65536;

sqlite3_vfs* Inner(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }
sqlite3_file* Inner(sqlite3_file* file) { return reinterpret_cast<CheckedFile*>(file)->inner; }
FileState& StateOf(sqlite3_file* file) { return *reinterpret_cast<CheckedFile*>(file)->state; }

std::uint32_t Load32(const unsigned char* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

void Store32(unsigned char* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Two running sums over 32-bit words (Fletcher's kind), from a start that makes an
// all-zero page fail as well, and that differs for every page number.
std::uint64_t Checksum(const unsigned char* data, int size, std::uint32_t page) {
  std::uint32_t a = 0x9e3779b9 ^ (page * 0x85ebca6bu);
  std::uint32_t b = 0x7f4a7c15 + page;
  for (int i = 0; i + 4 <= size; i += 4) {
    std::uint32_t word;
    std::memcpy(&word, data + i, 4);
    a += word + b;
    b += a;
  }
  return (std::uint64_t{a} << 32) | b;
}

// Where a page's check lies, and what it holds.
struct Check {
  std::uint32_t stamp;
  std::uint32_t salt;
  bool summed;  // the checksum matches the page and its number
};

Check ReadCheck(const unsigned char* page, int size, std::uint32_t number) {
  const unsigned char* check = page + size - kChecksumBytes;
  const std::uint64_t sum = Checksum(page, size - 8, number);
  return {Load32(check), Load32(check + 4), std::memcmp(&sum, check + 8, 8) == 0};
}

// A read or write of a whole page: SQLite's pages are powers of two from 512
// bytes, at offsets that are multiples of their size. The header alone (100 bytes)
// is read at open.
bool IsPage(int amount, sqlite3_int64 offset) {
  return amount >= 512 && (amount & (amount - 1)) == 0 && offset % amount == 0;
}

std::uint32_t PageNumber(int amount, sqlite3_int64 offset) {
  return static_cast<std::uint32_t>(offset / amount + 1);
}

void NoteHeader(FileState& state, const void* data, int amount, sqlite3_int64 offset) {
  constexpr int kReservedByte = 20;  // of the database header
  if (state.mainDb && offset == 0 && amount > kReservedByte) {
    state.checked = static_cast<const unsigned char*>(data)[kReservedByte] == kChecksumBytes;
  }
}

// The stamp page `number` was last written with, as far as this file knows.
std::uint32_t ExpectedStamp(const FileState& state, std::uint32_t number) {
  if (number < state.written.size() && state.written[number] != 0) return state.written[number];
  if (state.known && number < state.known->size()) return (*state.known)[number];
  return 0;
}

// Whether a page read with `check` may stand at `number`. Page 1 is written with
// every transaction, so no stamp is newer than its own (which UsePageStamps checks).
bool Holds(FileState& state, std::uint32_t number, const Check& check) {
  if (!check.summed) return false;
  if (number == 1 && state.salt == 0) state.salt = check.salt;
  if (check.salt != state.salt) return false;
  state.highest = std::max(state.highest, check.stamp);
  if (number == 1) {
    state.firstStamp = check.stamp;
    return true;
  }
  if (!state.known && state.written.empty()) {
    if (state.early.size() < kMostEarly) state.early.emplace_back(number, check.stamp);
    return true;
  }
  return check.stamp >= ExpectedStamp(state, number);
}

// Reads the file's first page, for its salt and stamp, when they are wanted
// before SQLite has read it; false when it fails its check.
bool ReadFirstPage(sqlite3_file* file) {
  FileState& state = StateOf(file);
  unsigned char header[100];
  if (Inner(file)->pMethods->xRead(Inner(file), header, sizeof header, 0) != SQLITE_OK) {
    return false;
  }
  NoteHeader(state, header, sizeof header, 0);
  if (!state.checked) return true;
  const int field = header[16] << 8 | header[17];
  const int size = field == 1 ? 65536 : field;
  if (!IsPage(size, 0)) return false;
  std::vector<unsigned char> first(static_cast<std::size_t>(size));
  return Inner(file)->pMethods->xRead(Inner(file), first.data(), size, 0) == SQLITE_OK &&
         Holds(state, 1, ReadCheck(first.data(), size, 1));
}

int Close(sqlite3_file* file) {
  const int rc = Inner(file)->pMethods->xClose(Inner(file));
  delete reinterpret_cast<CheckedFile*>(file)->state;
  return rc;
}

int Read(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
  FileState& state = StateOf(file);
  const int rc = Inner(file)->pMethods->xRead(Inner(file), data, amount, offset);
  if (rc != SQLITE_OK) return rc;  // a short read included: SQLite reads it as zeros
  NoteHeader(state, data, amount, offset);
  if (state.mainDb && state.checked && IsPage(amount, offset)) {
    const std::uint32_t number = PageNumber(amount, offset);
    if (number != 1 && state.salt == 0) ReadFirstPage(file);
    if (!Holds(state, number, ReadCheck(static_cast<const unsigned char*>(data), amount, number))) {
      state.damaged = true;
      return SQLITE_IOERR_DATA;
    }
  }
  return SQLITE_OK;
}

int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  FileState& state = StateOf(file);
  NoteHeader(state, data, amount, offset);
  if (!state.mainDb || !state.checked || !IsPage(amount, offset)) {
    return Inner(file)->pMethods->xWrite(Inner(file), data, amount, offset);
  }
  const std::uint32_t number = PageNumber(amount, offset);
  const auto* bytes = static_cast<const unsigned char*>(data);
  const Check check = ReadCheck(bytes, amount, number);
  std::uint32_t stamp = check.stamp;
  int rc = SQLITE_OK;
  if (check.summed && check.salt == state.salt) {
    // A page as it was read (a journal played back): it keeps its stamp.
    rc = Inner(file)->pMethods->xWrite(Inner(file), data, amount, offset);
  } else {
    if (state.writeStamp == 0) {
      const std::uint32_t known = state.known && !state.known->empty()
                                      ? *std::max_element(state.known->begin(), state.known->end())
                                      : 0;
      state.writeStamp = std::max(state.highest, known) + 1;
      state.highest = state.writeStamp;
    }
    stamp = state.writeStamp;
    // SQLite's own page stays as it is: the check goes into a copy.
    thread_local std::vector<unsigned char> page;
    page.assign(bytes, bytes + amount);
    unsigned char* tail = page.data() + amount - kChecksumBytes;
    Store32(tail, stamp);
    Store32(tail + 4, state.salt);
    const std::uint64_t sum = Checksum(page.data(), amount - 8, number);
    std::memcpy(tail + 8, &sum, 8);
    rc = Inner(file)->pMethods->xWrite(Inner(file), page.data(), amount, offset);
  }
  if (rc == SQLITE_OK && number != 1) {
    if (state.written.size() <= number) state.written.resize(number + 1, 0);
    state.written[number] = stamp;
  }
  return rc;
}

// Answers a StampsRequest.
void AnswerStamps(sqlite3_file* file, StampsRequest& request) {
  FileState& state = StateOf(file);
  const auto merged = [&state] {
    auto stamps = std::make_shared<PageStamps>(state.known ? *state.known : PageStamps());
    if (stamps->size() < state.written.size()) stamps->resize(state.written.size(), 0);
    for (std::size_t page = 0; page < state.written.size(); ++page) {
      if (state.written[page] != 0) (*stamps)[page] = state.written[page];
    }
    return stamps;
  };
  switch (request.op) {
    case StampsRequest::Op::kGet:
      request.stamps = state.written.empty() ? state.known : merged();
      break;
    case StampsRequest::Op::kTakeWritten:
      for (std::size_t page = 0; page < state.written.size(); ++page) {
        const auto chunk = static_cast<std::uint32_t>(page / kPagesPerChunk);
        if (state.written[page] != 0 &&
            (request.changedChunks.empty() || request.changedChunks.back() != chunk)) {
          request.changedChunks.push_back(chunk);
        }
      }
      state.known = merged();
      state.written.clear();
      request.stamps = state.known;
      break;
    case StampsRequest::Op::kUse:
      state.known = std::move(request.stamps);
      if (state.firstStamp == 0 && !ReadFirstPage(file)) request.sound = false;
      for (const auto& [page, stamp] : state.early) {
        if (stamp < ExpectedStamp(state, page)) request.sound = false;
      }
      if (state.checked && !state.known->empty() &&
          *std::max_element(state.known->begin(), state.known->end()) > state.firstStamp)
        request.sound = false;
      state.early.clear();
      state.early.shrink_to_fit();
      if (!request.sound) state.damaged = true;
      break;
  }
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  return Inner(file)->pMethods->xTruncate(Inner(file), size);
}
int Sync(sqlite3_file* file, int flags) { return Inner(file)->pMethods->xSync(Inner(file), flags); }
int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  return Inner(file)->pMethods->xFileSize(Inner(file), size);
}
int Lock(sqlite3_file* file, int level) { return Inner(file)->pMethods->xLock(Inner(file), level); }
// A write transaction ends when its lock goes: the next one writes a new stamp.
int Unlock(sqlite3_file* file, int level) {
  if (level <= SQLITE_LOCK_SHARED) StateOf(file).writeStamp = 0;
  return Inner(file)->pMethods->xUnlock(Inner(file), level);
}
int CheckReservedLock(sqlite3_file* file, int* out) {
  return Inner(file)->pMethods->xCheckReservedLock(Inner(file), out);
}
int FileControl(sqlite3_file* file, int op, void* arg) {
  if (op == kDamagedControl) {
    *static_cast<int*>(arg) = StateOf(file).damaged ? 1 : 0;
    return SQLITE_OK;
  }
  if (op == kStampsControl) {
    AnswerStamps(file, *static_cast<StampsRequest*>(arg));
    return SQLITE_OK;
  }
  return Inner(file)->pMethods->xFileControl(Inner(file), op, arg);
}
int SectorSize(sqlite3_file* file) { return Inner(file)->pMethods->xSectorSize(Inner(file)); }
int DeviceCharacteristics(sqlite3_file* file) {
  return Inner(file)->pMethods->xDeviceCharacteristics(Inner(file));
}
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
  return Inner(file)->pMethods->xShmMap(Inner(file), region, size, extend, out);
}
int ShmLock(sqlite3_file* file, int offset, int n, int flags) {
  return Inner(file)->pMethods->xShmLock(Inner(file), offset, n, flags);
}
void ShmBarrier(sqlite3_file* file) { Inner(file)->pMethods->xShmBarrier(Inner(file)); }
int ShmUnmap(sqlite3_file* file, int remove) {
  return Inner(file)->pMethods->xShmUnmap(Inner(file), remove);
}

// Version 2: without xFetch, SQLite never maps the file into memory, so that
// every page it reads comes through Read.
const sqlite3_io_methods kMethods = {.iVersion = 2,
                                     .xClose = Close,
                                     .xRead = Read,
                                     .xWrite = Write,
                                     .xTruncate = Truncate,
                                     .xSync = Sync,
                                     .xFileSize = FileSize,
                                     .xLock = Lock,
                                     .xUnlock = Unlock,
                                     .xCheckReservedLock = CheckReservedLock,
                                     .xFileControl = FileControl,
                                     .xSectorSize = SectorSize,
                                     .xDeviceCharacteristics = DeviceCharacteristics,
                                     .xShmMap = ShmMap,
                                     .xShmLock = ShmLock,
                                     .xShmBarrier = ShmBarrier,
                                     .xShmUnmap = ShmUnmap,
                                     .xFetch = nullptr,
                                     .xUnfetch = nullptr};

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
  auto* checked = reinterpret_cast<CheckedFile*>(file);
  checked->base.pMethods = nullptr;
  checked->inner = reinterpret_cast<sqlite3_file*>(checked + 1);
  checked->state = nullptr;
  const int rc = Inner(vfs)->xOpen(Inner(vfs), name, checked->inner, flags, outFlags);
  if (rc != SQLITE_OK) return rc;
  checked->state = new FileState;
  checked->state->mainDb = (flags & SQLITE_OPEN_MAIN_DB) != 0;
  sqlite3_int64 size = 0;
  if (checked->state->mainDb &&
      checked->inner->pMethods->xFileSize(checked->inner, &size) == SQLITE_OK && size == 0) {
    // A new index: its salt, never 0.
    std::random_device random;
    while (checked->state->salt == 0) checked->state->salt = random();
  }
  checked->base.pMethods = &kMethods;
  return rc;
}

int Delete(sqlite3_vfs* vfs, const char* name, int sync) {
  return Inner(vfs)->xDelete(Inner(vfs), name, sync);
}
int Access(sqlite3_vfs* vfs, const char* name, int flags, int* out) {
  return Inner(vfs)->xAccess(Inner(vfs), name, flags, out);
}
int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
  return Inner(vfs)->xFullPathname(Inner(vfs), name, size, out);
}
void* DlOpen(sqlite3_vfs* vfs, const char* name) { return Inner(vfs)->xDlOpen(Inner(vfs), name); }
void DlError(sqlite3_vfs* vfs, int size, char* out) { Inner(vfs)->xDlError(Inner(vfs), size, out); }
void (*DlSym(sqlite3_vfs* vfs, void* library, const char* name))(void) {
  return Inner(vfs)->xDlSym(Inner(vfs), library, name);
}
void DlClose(sqlite3_vfs* vfs, void* library) { Inner(vfs)->xDlClose(Inner(vfs), library); }
int Randomness(sqlite3_vfs* vfs, int size, char* out) {
  return Inner(vfs)->xRandomness(Inner(vfs), size, out);
}
int Sleep(sqlite3_vfs* vfs, int microseconds) {
  return Inner(vfs)->xSleep(Inner(vfs), microseconds);
}
int CurrentTime(sqlite3_vfs* vfs, double* out) { return Inner(vfs)->xCurrentTime(Inner(vfs), out); }
int GetLastError(sqlite3_vfs* vfs, int size, char* out) {
  return Inner(vfs)->xGetLastError(Inner(vfs), size, out);
}
int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out) {
  return Inner(vfs)->xCurrentTimeInt64(Inner(vfs), out);
}

sqlite3_vfs* Register() {
  static sqlite3_vfs vfs;
  sqlite3_vfs* inner = sqlite3_vfs_find(nullptr);
  vfs.iVersion = 2;  // up to xCurrentTimeInt64; the system-call hooks are for tests
  vfs.szOsFile = static_cast<int>(sizeof(CheckedFile)) + inner->szOsFile;
  vfs.mxPathname = inner->mxPathname;
  vfs.zName = "talewick-checked";
  vfs.pAppData = inner;
  vfs.xOpen = Open;
  vfs.xDelete = Delete;
  vfs.xAccess = Access;
  vfs.xFullPathname = FullPathname;
  vfs.xDlOpen = DlOpen;
  vfs.xDlError = DlError;
  vfs.xDlSym = DlSym;
  vfs.xDlClose = DlClose;
  vfs.xRandomness = Randomness;
  vfs.xSleep = Sleep;
  vfs.xCurrentTime = CurrentTime;
  vfs.xGetLastError = GetLastError;
  vfs.xCurrentTimeInt64 = CurrentTimeInt64;
  sqlite3_vfs_register(&vfs, 0);
  return &vfs;
}

}  // namespace

const char* CheckedVfsName() {
  // The first use of SQLite: its memory is set up before it starts.
  static const sqlite3_vfs* vfs = (UseSqliteMemoryCache(), Register());
  return vfs->zName;
}

bool FoundDamagedPage(sqlite3* db) {
  int damaged = 0;
  return sqlite3_file_control(db, "main", kDamagedControl, &damaged) == SQLITE_OK && damaged != 0;
}

bool SetUpChecksums(sqlite3* db) {
  int reserve = kChecksumBytes;
  return sqlite3_file_control(db, "main", SQLITE_FCNTL_RESERVE_BYTES, &reserve) == SQLITE_OK;
}

namespace {

bool AskStamps(sqlite3* db, StampsRequest& request) {
  return sqlite3_file_control(db, "main", kStampsControl, &request) == SQLITE_OK;
}

}  // namespace

bool LoadPageStamps(sqlite3* db) {
  auto stamps = std::make_shared<PageStamps>();
  bool sound = true;
  const bool read = ForEachRow(db, "SELECT chunk, stamps FROM pages", [&](sqlite3_stmt* row) {
    const sqlite3_int64 chunk = sqlite3_column_int64(row, 0);
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(row, 1));
    const auto count = static_cast<std::size_t>(sqlite3_column_bytes(row, 1)) / 4;
    // No index has 2^31 pages: a chunk beyond is damage, not a size to make room for.
    if (chunk < 0 || chunk >= (sqlite3_int64{1} << 31) / kPagesPerChunk || count > kPagesPerChunk) {
      sound = false;
      return;
    }
    const std::size_t first = static_cast<std::size_t>(chunk) * kPagesPerChunk;
    if (stamps->size() < first + count) stamps->resize(first + count, 0);
    for (std::size_t i = 0; i < count; ++i) (*stamps)[first + i] = Load32(bytes + 4 * i);
  });
  return read && sound && UsePageStamps(db, std::move(stamps));
}

bool SavePageStamps(sqlite3* db) {
  StampsRequest request{StampsRequest::Op::kTakeWritten, nullptr, {}, true};
  if (!AskStamps(db, request) || !request.stamps) return false;
  if (request.changedChunks.empty()) return true;
  const std::optional<std::int64_t> pages = ReadNumber(db, "PRAGMA page_count");
  const SqliteStatement save = Prepare(db, "INSERT OR REPLACE INTO pages VALUES(?1, ?2)");
  const SqliteStatement drop = Prepare(db, "DELETE FROM pages WHERE chunk >= ?1");
  if (!pages || !save || !drop || !Exec(db, "BEGIN IMMEDIATE")) return false;
  const PageStamps& stamps = *request.stamps;
  const auto last = std::min(stamps.size(), static_cast<std::size_t>(*pages) + 1);
  const std::size_t chunks = (last + kPagesPerChunk - 1) / kPagesPerChunk;
  std::vector<unsigned char> bytes;
  for (const std::uint32_t chunk : request.changedChunks) {
    if (chunk >= chunks) break;
    const std::size_t first = std::size_t{chunk} * kPagesPerChunk;
    bytes.assign(4 * (std::min(last, first + kPagesPerChunk) - first), 0);
    for (std::size_t i = 0; i < bytes.size() / 4; ++i) Store32(&bytes[4 * i], stamps[first + i]);
    sqlite3_bind_int64(save.get(), 1, chunk);
    sqlite3_bind_blob64(save.get(), 2, bytes.data(), bytes.size(), SQLITE_STATIC);
    if (!StepDone(save.get())) {
      Exec(db, "ROLLBACK");
      return false;
    }
  }
  sqlite3_bind_int64(drop.get(), 1, static_cast<sqlite3_int64>(chunks));
  if (!StepDone(drop.get()) || !Exec(db, "COMMIT")) {
    Exec(db, "ROLLBACK");
    return false;
  }
  return true;
}

std::shared_ptr<const PageStamps> PageStampsOf(sqlite3* db) {
  StampsRequest request{StampsRequest::Op::kGet, nullptr, {}, true};
  return AskStamps(db, request) ? request.stamps : nullptr;
}

bool UsePageStamps(sqlite3* db, std::shared_ptr<const PageStamps> stamps) {
  StampsRequest request{StampsRequest::Op::kUse, std::move(stamps), {}, true};
  return AskStamps(db, request) && request.sound;
}

}  // namespace talewick::search
