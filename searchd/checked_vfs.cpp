// The checksum VFS: a thin layer over the system's default VFS. Only the main
// database file is checked; journals pass through, and their pages get their
// checksums again when they are written back.
#include "checked_vfs.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "sqlite_memory.h"

namespace talewick::search {

namespace {

struct CheckedFile {
  sqlite3_file base;    // base.pMethods: kMethods, or null when the open failed
  sqlite3_file* inner;  // the default VFS's file, just after this struct
  bool mainDb;
  bool checked;  // the file's header asks for kChecksumBytes reserved bytes per page
  bool damaged;  // a page has failed its checksum
};

// A file control of this VFS's own: is the file known to be damaged?
constexpr int kDamagedControl = 0x54574b00;
static_assert(sizeof(CheckedFile) % 8 == 0, "the inner file follows, aligned");

sqlite3_vfs* Inner(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }
sqlite3_file* Inner(sqlite3_file* file) { return reinterpret_cast<CheckedFile*>(file)->inner; }

// Two running sums over 32-bit words (Fletcher's kind), from a start that makes an
// all-zero page fail as well.
std::uint64_t Checksum(const unsigned char* data, int size) {
  std::uint32_t a = 0x9e3779b9;
  std::uint32_t b = 0x7f4a7c15;
  for (int i = 0; i + 4 <= size; i += 4) {
    std::uint32_t word;
    std::memcpy(&word, data + i, 4);
    a += word + b;
    b += a;
  }
  return (std::uint64_t{a} << 32) | b;
}

// A read or write of a whole page: SQLite's pages are powers of two from 512
// bytes, at offsets that are multiples of their size. The header alone (100 bytes)
// is read at open.
bool IsPage(int amount, sqlite3_int64 offset) {
  return amount >= 512 && (amount & (amount - 1)) == 0 && offset % amount == 0;
}

void NoteHeader(CheckedFile* file, const void* data, int amount, sqlite3_int64 offset) {
  constexpr int kReservedByte = 20;  // of the database header
  if (file->mainDb && offset == 0 && amount > kReservedByte) {
    file->checked = static_cast<const unsigned char*>(data)[kReservedByte] == kChecksumBytes;
  }
}

int Close(sqlite3_file* file) { return Inner(file)->pMethods->xClose(Inner(file)); }

int Read(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
  auto* checked = reinterpret_cast<CheckedFile*>(file);
  const int rc = Inner(file)->pMethods->xRead(Inner(file), data, amount, offset);
  if (rc != SQLITE_OK) return rc;  // a short read included: SQLite reads it as zeros
  NoteHeader(checked, data, amount, offset);
  if (checked->mainDb && checked->checked && IsPage(amount, offset)) {
    const auto* page = static_cast<const unsigned char*>(data);
    const std::uint64_t sum = Checksum(page, amount - kChecksumBytes);
    if (std::memcmp(&sum, page + amount - kChecksumBytes, kChecksumBytes) != 0) {
      checked->damaged = true;
      return SQLITE_IOERR_DATA;
    }
  }
  return SQLITE_OK;
}

int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  auto* checked = reinterpret_cast<CheckedFile*>(file);
  NoteHeader(checked, data, amount, offset);
  if (!checked->mainDb || !checked->checked || !IsPage(amount, offset)) {
    return Inner(file)->pMethods->xWrite(Inner(file), data, amount, offset);
  }
  // SQLite's own page stays as it is: the checksum goes into a copy.
  thread_local std::vector<unsigned char> page;
  page.assign(static_cast<const unsigned char*>(data),
              static_cast<const unsigned char*>(data) + amount);
  const std::uint64_t sum = Checksum(page.data(), amount - kChecksumBytes);
  std::memcpy(page.data() + amount - kChecksumBytes, &sum, kChecksumBytes);
  return Inner(file)->pMethods->xWrite(Inner(file), page.data(), amount, offset);
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  return Inner(file)->pMethods->xTruncate(Inner(file), size);
}
int Sync(sqlite3_file* file, int flags) { return Inner(file)->pMethods->xSync(Inner(file), flags); }
int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  return Inner(file)->pMethods->xFileSize(Inner(file), size);
}
int Lock(sqlite3_file* file, int level) { return Inner(file)->pMethods->xLock(Inner(file), level); }
int Unlock(sqlite3_file* file, int level) {
  return Inner(file)->pMethods->xUnlock(Inner(file), level);
}
int CheckReservedLock(sqlite3_file* file, int* out) {
  return Inner(file)->pMethods->xCheckReservedLock(Inner(file), out);
}
int FileControl(sqlite3_file* file, int op, void* arg) {
  if (op == kDamagedControl) {
    *static_cast<int*>(arg) = reinterpret_cast<CheckedFile*>(file)->damaged ? 1 : 0;
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
  checked->mainDb = (flags & SQLITE_OPEN_MAIN_DB) != 0;
  checked->checked = false;
  checked->damaged = false;
  const int rc = Inner(vfs)->xOpen(Inner(vfs), name, checked->inner, flags, outFlags);
  if (rc == SQLITE_OK) checked->base.pMethods = &kMethods;
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

}  // namespace talewick::search
