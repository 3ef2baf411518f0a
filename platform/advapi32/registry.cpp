// The registry over SQLite (see advapi32_registry.h for the behaviour).
//
// Store layout (<root>/registry.db, WAL journal, user_version 1):
//   keys(id, parent, name, fold, written)  parent 0 marks a hive's root key,
//       named "HKEY_LOCAL_MACHINE" or "HKEY_USERS\<user name>"
//   vals(id, key, name, fold, type, data)   indexed by (key, id) for the
//       enumeration order
// `name` holds the UTF-16LE bytes as created; `fold` the upper-cased name as
// big-endian UTF-16, so that (parent, fold) and (key, fold) are unique and
// sorting by fold orders by code unit. Ids are never reused
// (AUTOINCREMENT), so a handle to a deleted key can never reach a newer key
// that happens to get the same id.
//
// One connection per process, guarded by one mutex; every change runs in its
// own BEGIN IMMEDIATE transaction and every read in one snapshot. Before a
// fork the connection is closed (a SQLite connection must not cross a fork)
// and both processes reopen it on their next call.
#include "kplatform/advapi32_registry.h"

#include <pthread.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kernel32/name_fold.h"
#include "kernel32/object.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/root.h"
#include "kplatform/wide_text.h"

namespace {

constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;
constexpr REGSAM kAllKeyRights = KEY_ALL_ACCESS | KEY_WOW64_64KEY | KEY_WOW64_32KEY;

class RegKey : public kp::KernelObject {
 public:
  RegKey(std::string root, int64_t id, REGSAM access) : root_(std::move(root)), id_(id), access_(access) {}
  const std::string& root() const { return root_; }
  int64_t id() const { return id_; }
  REGSAM access() const { return access_; }

 private:
  std::string root_;
  int64_t id_;
  REGSAM access_;
};

struct Store {
  std::mutex lock;
  sqlite3* db = nullptr;
  std::string root;  // the root folder whose store `db` is
  std::unordered_map<const char*, sqlite3_stmt*> statements;
};

Store& store() {
  static Store* s = new Store;  // outlives every static destructor
  return *s;
}

void closeLocked(Store& s) {
  for (auto& entry : s.statements) sqlite3_finalize(entry.second);
  s.statements.clear();
  if (s.db != nullptr) sqlite3_close(s.db);
  s.db = nullptr;
  s.root.clear();
}

void onRootChanged() {
  Store& s = store();
  std::lock_guard<std::mutex> guard(s.lock);
  closeLocked(s);
}

void beforeFork() {
  Store& s = store();
  s.lock.lock();
  closeLocked(s);
}
void afterFork() { store().lock.unlock(); }

struct Registration {
  Registration() {
    KpOnRootChanged(&onRootChanged);
    pthread_atfork(&beforeFork, &afterFork, &afterFork);
  }
} g_registration;

LONG mapSqlite(int rc, bool writing) {
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_NOMEM:
      return ERROR_OUTOFMEMORY;
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
      return ERROR_CANTOPEN;
    default:
      return writing ? ERROR_CANTWRITE : ERROR_CANTREAD;
  }
}

// ---------------------------------------------------------------------------
// Statements

// A cached prepared statement, reset when the object goes.
class Stmt {
 public:
  Stmt(Store& s, const char* sql) {
    auto it = s.statements.find(sql);
    if (it != s.statements.end()) {
      stmt_ = it->second;
    } else {
      rc_ = sqlite3_prepare_v3(s.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
      if (rc_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
      } else {
        s.statements.emplace(sql, stmt_);
      }
    }
  }
  ~Stmt() {
    if (stmt_ != nullptr) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
  }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  Stmt& bind(int index, int64_t value) {
    if (stmt_ != nullptr && rc_ == SQLITE_OK) rc_ = sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Stmt& bindBytes(int index, const void* data, size_t size) {
    static const char kEmpty = 0;
    if (stmt_ != nullptr && rc_ == SQLITE_OK)
      rc_ = sqlite3_bind_blob64(stmt_, index, size == 0 ? &kEmpty : data, size, SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& bindText(int index, const std::u16string& text) {
    return bindBytes(index, text.data(), text.size() * sizeof(char16_t));
  }
  Stmt& bindBytes(int index, const std::string& bytes) { return bindBytes(index, bytes.data(), bytes.size()); }

  // SQLITE_ROW, SQLITE_DONE or an error.
  int step() {
    if (stmt_ == nullptr) return rc_ == SQLITE_OK ? SQLITE_ERROR : rc_;
    if (rc_ != SQLITE_OK) return rc_;
    return sqlite3_step(stmt_);
  }
  int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::u16string text(int column) const {
    const void* p = sqlite3_column_blob(stmt_, column);
    size_t n = static_cast<size_t>(sqlite3_column_bytes(stmt_, column)) / sizeof(char16_t);
    std::u16string out(n, u'\0');
    if (n != 0) std::memcpy(out.data(), p, n * sizeof(char16_t));
    return out;
  }
  const void* blob(int column) const { return sqlite3_column_blob(stmt_, column); }
  size_t bytes(int column) const { return static_cast<size_t>(sqlite3_column_bytes(stmt_, column)); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
};

int execSql(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name BLOB NOT NULL,"
    " fold BLOB NOT NULL, written INTEGER NOT NULL, UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL, name BLOB NOT NULL,"
    " fold BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold));"
    "CREATE INDEX IF NOT EXISTS vals_order ON vals(key, id);"
    "PRAGMA user_version = 1;";

// Opens the store of the current root when needed. Caller holds the lock.
LONG connectLocked(Store& s) {
  std::string root = KpGetRoot();
  if (root.empty()) return ERROR_PATH_NOT_FOUND;
  if (s.db != nullptr && s.root == root) return ERROR_SUCCESS;
  closeLocked(s);

  std::string path = root + "/registry.db";
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);
    return ERROR_CANTOPEN;
  }
  sqlite3_busy_timeout(db, 10000);
  // WAL lets readers of other processes go on while one process writes.
  rc = execSql(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
  int version = -1;
  if (rc == SQLITE_OK) rc = execSql(db, "BEGIN IMMEDIATE");
  if (rc == SQLITE_OK) {
    rc = sqlite3_exec(
        db, "PRAGMA user_version",
        [](void* out, int, char** values, char**) {
          *static_cast<int*>(out) = values[0] != nullptr ? std::atoi(values[0]) : -1;
          return 0;
        },
        &version, nullptr);
    if (rc == SQLITE_OK && version == 0) {
      rc = execSql(db, kSchema);
      version = 1;
    }
    if (rc == SQLITE_OK && version == 1)
      rc = execSql(db, "COMMIT");
    else
      execSql(db, "ROLLBACK");
  }
  if (rc != SQLITE_OK || version != 1) {
    // A file that is not a store of ours (or a newer one) is left untouched.
    sqlite3_close(db);
    return rc != SQLITE_OK && (rc & 0xFF) != SQLITE_NOTADB && (rc & 0xFF) != SQLITE_CORRUPT ? mapSqlite(rc, true)
                                                                                              : ERROR_CANTOPEN;
  }
  s.db = db;
  s.root = root;
  return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Names and paths

std::string foldKey(std::u16string_view name) {
  std::string out;
  out.reserve(name.size() * 2);
  for (char16_t c : name) {
    char16_t f = kp::FoldChar(c);
    out.push_back(static_cast<char>(f >> 8));
    out.push_back(static_cast<char>(f & 0xFF));
  }
  return out;
}

LONG splitPath(LPCWSTR subKey, std::vector<std::u16string_view>& parts) {
  parts.clear();
  std::u16string_view path(subKey != nullptr ? subKey : u"");
  if (path.empty()) return ERROR_SUCCESS;
  if (path.front() == u'\\') return ERROR_BAD_PATHNAME;
  if (path.back() == u'\\') path.remove_suffix(1);
  size_t start = 0;
  while (true) {
    size_t end = path.find(u'\\', start);
    std::u16string_view part = path.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos
                                                                                   : end - start);
    if (part.empty()) return ERROR_BAD_PATHNAME;
    if (part.size() > kMaxKeyNameChars) return ERROR_INVALID_PARAMETER;
    parts.push_back(part);
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

int64_t nowFileTime() {
  using namespace std::chrono;
  int64_t unix100ns = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
  return unix100ns + 116444736000000000LL;
}

void putFileTime(PFILETIME out, int64_t value) {
  if (out == nullptr) return;
  out->dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(value) & 0xFFFFFFFFu);
  out->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(value) >> 32);
}

REGSAM mapAccess(REGSAM sam) {
  REGSAM rights = sam & kAllKeyRights;
  if (sam & (MAXIMUM_ALLOWED | GENERIC_ALL)) rights |= KEY_ALL_ACCESS;
  if (sam & (GENERIC_READ | GENERIC_EXECUTE)) rights |= KEY_READ;
  if (sam & GENERIC_WRITE) rights |= KEY_WRITE;
  return rights;
}

// ---------------------------------------------------------------------------
// Handles

enum class Hive { None, LocalMachine, CurrentUser };

Hive predefinedHive(HKEY key) {
  uintptr_t value = reinterpret_cast<uintptr_t>(key);
  uint64_t high = static_cast<uint64_t>(value) >> 32;
  if (high != 0 && high != 0xFFFFFFFFu) return Hive::None;
  switch (static_cast<uint32_t>(value)) {
    case 0x80000001u:
      return Hive::CurrentUser;
    case 0x80000002u:
      return Hive::LocalMachine;
    default:
      return Hive::None;
  }
}

// What a call needs before it takes the store's lock: the hive's root name
// when the handle is predefined (the user name may change between calls).
struct Target {
  HKEY handle = nullptr;
  Hive hive = Hive::None;
  std::u16string hiveName;
  std::shared_ptr<RegKey> key;
};

LONG prepareTarget(HKEY handle, Target& target) {
  target.handle = handle;
  target.hive = predefinedHive(handle);
  if (target.hive == Hive::LocalMachine) {
    target.hiveName = u"HKEY_LOCAL_MACHINE";
  } else if (target.hive == Hive::CurrentUser) {
    WCHAR user[257] = {};
    DWORD size = 257;
    DWORD saved = GetLastError();
    BOOL ok = GetUserNameW(user, &size);
    SetLastError(saved);
    if (!ok) return ERROR_CANTOPEN;
    target.hiveName = std::u16string(u"HKEY_USERS\\") + user;
  } else {
    target.key = kp::LookupHandleAs<RegKey>(handle);
    if (!target.key) return ERROR_INVALID_HANDLE;
  }
  return ERROR_SUCCESS;
}

// Makes sure a predefined target's hive has its root key (made the first time
// the hive is used), outside any transaction. Caller holds the lock.
LONG ensureHiveLocked(Store& s, const Target& target) {
  if (target.hive == Hive::None) return ERROR_SUCCESS;
  Stmt insert(s, "INSERT OR IGNORE INTO keys(parent, name, fold, written) VALUES(0, ?1, ?2, ?3)");
  {
    Stmt find(s, "SELECT id FROM keys WHERE parent = 0 AND fold = ?1");
    int rc = find.bindBytes(1, foldKey(target.hiveName)).step();
    if (rc == SQLITE_ROW) return ERROR_SUCCESS;
    if (rc != SQLITE_DONE) return mapSqlite(rc, false);
  }
  int rc = insert.bindText(1, target.hiveName).bindBytes(2, foldKey(target.hiveName)).bind(3, nowFileTime()).step();
  return rc == SQLITE_DONE ? ERROR_SUCCESS : mapSqlite(rc, true);
}

// The key id behind a prepared target, checking the rights `need`. Caller
// holds the lock and is inside a transaction.
LONG resolveLocked(Store& s, const Target& target, REGSAM need, int64_t& id, bool& isHiveRoot) {
  isHiveRoot = false;
  if (target.hive != Hive::None) {
    Stmt find(s, "SELECT id FROM keys WHERE parent = 0 AND fold = ?1");
    int rc = find.bindBytes(1, foldKey(target.hiveName)).step();
    if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;  // the store was replaced under us
    if (rc != SQLITE_ROW) return mapSqlite(rc, false);
    id = find.integer(0);
    isHiveRoot = true;
    return ERROR_SUCCESS;
  }
  const RegKey& key = *target.key;
  if (key.root() != s.root) return ERROR_KEY_DELETED;
  if ((key.access() & need) != need) return ERROR_ACCESS_DENIED;
  Stmt find(s, "SELECT parent FROM keys WHERE id = ?1");
  int rc = find.bind(1, key.id()).step();
  if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
  if (rc != SQLITE_ROW) return mapSqlite(rc, false);
  id = key.id();
  isHiveRoot = find.integer(0) == 0;
  return ERROR_SUCCESS;
}

LONG findChild(Store& s, int64_t parent, std::u16string_view name, int64_t& child) {
  Stmt find(s, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
  int rc = find.bind(1, parent).bindBytes(2, foldKey(name)).step();
  if (rc == SQLITE_ROW) {
    child = find.integer(0);
    return ERROR_SUCCESS;
  }
  return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : mapSqlite(rc, false);
}

LONG walkLocked(Store& s, int64_t from, const std::vector<std::u16string_view>& parts, int64_t& id) {
  id = from;
  for (std::u16string_view part : parts) {
    LONG r = findChild(s, id, part, id);
    if (r != ERROR_SUCCESS) return r;
  }
  return ERROR_SUCCESS;
}

LONG touchLocked(Store& s, int64_t id) {
  Stmt touch(s, "UPDATE keys SET written = ?2 WHERE id = ?1");
  int rc = touch.bind(1, id).bind(2, nowFileTime()).step();
  return rc == SQLITE_DONE ? ERROR_SUCCESS : mapSqlite(rc, true);
}

// Opens or creates the path below `from`. `canCreate` says whether the handle
// the path starts from may create sub-keys.
LONG createPathLocked(Store& s, int64_t from, const std::vector<std::u16string_view>& parts, bool canCreate,
                      int64_t& id, bool& created) {
  id = from;
  created = false;
  for (std::u16string_view part : parts) {
    int64_t child = 0;
    LONG r = created ? ERROR_FILE_NOT_FOUND : findChild(s, id, part, child);
    if (r == ERROR_FILE_NOT_FOUND) {
      if (!canCreate) return ERROR_ACCESS_DENIED;
      std::u16string name(part);
      Stmt insert(s, "INSERT INTO keys(parent, name, fold, written) VALUES(?1, ?2, ?3, ?4)");
      int rc = insert.bind(1, id).bindText(2, name).bindBytes(3, foldKey(part)).bind(4, nowFileTime()).step();
      if (rc != SQLITE_DONE) return mapSqlite(rc, true);
      child = sqlite3_last_insert_rowid(s.db);
      r = touchLocked(s, id);
      if (r != ERROR_SUCCESS) return r;
      created = true;
    } else if (r != ERROR_SUCCESS) {
      return r;
    }
    id = child;
    canCreate = true;  // keys made or opened on the way carry full rights
  }
  return ERROR_SUCCESS;
}

LONG setValueLocked(Store& s, int64_t key, std::u16string_view name, DWORD type, const BYTE* data, DWORD size) {
  Stmt upsert(s,
              "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
              "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
  int rc = upsert.bind(1, key)
               .bindText(2, std::u16string(name))
               .bindBytes(3, foldKey(name))
               .bind(4, type)
               .bindBytes(5, data, size)
               .step();
  if (rc != SQLITE_DONE) return mapSqlite(rc, true);
  return touchLocked(s, key);
}

// Runs `body` in one transaction on the current root's store. A failed body
// rolls everything back.
template <class Body>
LONG transact(bool writing, const Target& target, Body&& body) {
  Store& s = store();
  std::lock_guard<std::mutex> guard(s.lock);
  LONG r = connectLocked(s);
  if (r == ERROR_SUCCESS) r = ensureHiveLocked(s, target);
  if (r != ERROR_SUCCESS) return r;
  auto run = [&s](const char* sql) {
    int rc = Stmt(s, sql).step();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
  };
  int rc = run(writing ? "BEGIN IMMEDIATE" : "BEGIN");
  if (rc != SQLITE_OK) return mapSqlite(rc, writing);
  r = body(s);
  if (r == ERROR_SUCCESS) {
    rc = run("COMMIT");
    if (rc == SQLITE_OK) return ERROR_SUCCESS;
    r = mapSqlite(rc, writing);
  }
  if (!sqlite3_get_autocommit(s.db)) run("ROLLBACK");
  return r;
}

// Copies a stored value out by the two-call protocol.
LONG copyData(const void* data, size_t size, DWORD type, LPBYTE out, LPDWORD outSize) {
  if (outSize == nullptr) return ERROR_SUCCESS;
  if (size > 0xFFFFFFFFu) return ERROR_INVALID_DATA;
  DWORD capacity = *outSize;
  *outSize = static_cast<DWORD>(size);
  if (out == nullptr) return ERROR_SUCCESS;
  if (capacity < size) return ERROR_MORE_DATA;
  if (size != 0) std::memcpy(out, data, size);
  // A string stored without its terminator gets one when there is room.
  if ((type == REG_SZ || type == REG_EXPAND_SZ) && size % 2 == 0 && capacity >= size + 2) {
    bool terminated = size >= 2 && out[size - 2] == 0 && out[size - 1] == 0;
    if (!terminated) out[size] = out[size + 1] = 0;
  }
  return ERROR_SUCCESS;
}

LONG openOrCreate(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, bool create, PHKEY phkResult,
                  LPDWORD lpdwDisposition) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::vector<std::u16string_view> parts;
  LONG r = splitPath(lpSubKey, parts);
  if (r != ERROR_SUCCESS) return r;
  Target target;
  r = prepareTarget(hKey, target);
  if (r != ERROR_SUCCESS) return r;
  int64_t id = 0;
  bool created = false;
  std::string root;
  r = transact(create, target, [&](Store& s) -> LONG {
    int64_t from = 0;
    bool hiveRoot = false;
    LONG rr = resolveLocked(s, target, 0, from, hiveRoot);
    if (rr != ERROR_SUCCESS) return rr;
    bool canCreate = target.hive != Hive::None || (target.key->access() & KEY_CREATE_SUB_KEY) != 0;
    rr = create ? createPathLocked(s, from, parts, canCreate, id, created) : walkLocked(s, from, parts, id);
    root = s.root;
    return rr;
  });
  if (r != ERROR_SUCCESS) return r;
  HANDLE handle = kp::InsertHandle(std::make_shared<RegKey>(root, id, mapAccess(samDesired)));
  if (handle == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  *phkResult = static_cast<HKEY>(handle);
  if (lpdwDisposition != nullptr) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

// Copies an enumerated key or value name and its NUL into the caller's
// buffer of *chars characters and stores the length; false, with nothing
// written, when it does not fit.
bool PutName(const std::u16string& name, LPWSTR out, LPDWORD chars) {
  if (name.size() + 1 > *chars) return false;
  std::memcpy(out, name.data(), name.size() * sizeof(WCHAR));
  out[name.size()] = 0;
  *chars = static_cast<DWORD>(name.size());
  return true;
}

}  // namespace

KP_API LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                                   LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  return openOrCreate(hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
}

KP_API LONG WINAPI RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
  return openOrCreate(hKey, lpSubKey, MAXIMUM_ALLOWED, true, phkResult, nullptr);
}

KP_API LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  return openOrCreate(hKey, lpSubKey, samDesired, false, phkResult, nullptr);
}

KP_API LONG WINAPI RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
  return openOrCreate(hKey, lpSubKey, MAXIMUM_ALLOWED, false, phkResult, nullptr);
}

KP_API LONG WINAPI RegCloseKey(HKEY hKey) {
  if (predefinedHive(hKey) != Hive::None) return ERROR_SUCCESS;
  if (!kp::LookupHandleAs<RegKey>(hKey) || !kp::RemoveHandle(hKey)) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

KP_API LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<std::u16string_view> parts;
  LONG r = splitPath(lpSubKey, parts);
  if (r != ERROR_SUCCESS) return r;
  Target target;
  r = prepareTarget(hKey, target);
  if (r != ERROR_SUCCESS) return r;
  return transact(true, target, [&](Store& s) -> LONG {
    int64_t from = 0;
    bool hiveRoot = false;
    LONG rr = resolveLocked(s, target, 0, from, hiveRoot);
    if (rr != ERROR_SUCCESS) return rr;
    int64_t id = 0;
    rr = walkLocked(s, from, parts, id);
    if (rr != ERROR_SUCCESS) return rr;
    if (parts.empty() && hiveRoot) return static_cast<LONG>(ERROR_ACCESS_DENIED);
    int64_t parent = 0;
    {
      Stmt children(s, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
      int rc = children.bind(1, id).step();
      if (rc == SQLITE_ROW) return static_cast<LONG>(ERROR_ACCESS_DENIED);
      if (rc != SQLITE_DONE) return mapSqlite(rc, false);
      Stmt self(s, "SELECT parent FROM keys WHERE id = ?1");
      rc = self.bind(1, id).step();
      if (rc != SQLITE_ROW) return mapSqlite(rc, false);
      parent = self.integer(0);
    }
    Stmt values(s, "DELETE FROM vals WHERE key = ?1");
    int rc = values.bind(1, id).step();
    if (rc != SQLITE_DONE) return mapSqlite(rc, true);
    Stmt key(s, "DELETE FROM keys WHERE id = ?1");
    rc = key.bind(1, id).step();
    if (rc != SQLITE_DONE) return mapSqlite(rc, true);
    return touchLocked(s, parent);
  });
}

KP_API LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                                  DWORD cbData) {
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  std::u16string_view name(lpValueName != nullptr ? lpValueName : u"");
  if (name.size() > kMaxValueNameChars) return ERROR_INVALID_PARAMETER;
  Target target;
  LONG r = prepareTarget(hKey, target);
  if (r != ERROR_SUCCESS) return r;
  return transact(true, target, [&](Store& s) -> LONG {
    int64_t id = 0;
    bool hiveRoot = false;
    LONG rr = resolveLocked(s, target, KEY_SET_VALUE, id, hiveRoot);
    if (rr != ERROR_SUCCESS) return rr;
    return setValueLocked(s, id, name, dwType, lpData, cbData);
  });
}

KP_API LONG WINAPI RegSetValueW(HKEY hKey, LPCWSTR lpSubKey, DWORD dwType, LPCWSTR lpData, DWORD) {
  if (dwType != REG_SZ || lpData == nullptr) return ERROR_INVALID_PARAMETER;
  size_t length = kp_WideLength(lpData);
  if ((length + 1) * sizeof(WCHAR) > 0xFFFFFFFFu) return ERROR_INVALID_PARAMETER;
  std::vector<std::u16string_view> parts;
  LONG r = splitPath(lpSubKey, parts);
  if (r != ERROR_SUCCESS) return r;
  Target target;
  r = prepareTarget(hKey, target);
  if (r != ERROR_SUCCESS) return r;
  return transact(true, target, [&](Store& s) -> LONG {
    int64_t from = 0;
    bool hiveRoot = false;
    LONG rr = resolveLocked(s, target, parts.empty() ? KEY_SET_VALUE : 0, from, hiveRoot);
    if (rr != ERROR_SUCCESS) return rr;
    bool canCreate = target.hive != Hive::None || (target.key->access() & KEY_CREATE_SUB_KEY) != 0;
    int64_t id = 0;
    bool created = false;
    rr = createPathLocked(s, from, parts, canCreate, id, created);
    if (rr != ERROR_SUCCESS) return rr;
    return setValueLocked(s, id, u"", REG_SZ, reinterpret_cast<const BYTE*>(lpData),
                          static_cast<DWORD>((length + 1) * sizeof(WCHAR)));
  });
}

KP_API LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                    LPDWORD lpcbData) {
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
  std::u16string_view name(lpValueName != nullptr ? lpValueName : u"");
  Target target;
  LONG r = prepareTarget(hKey, target);
  if (r != ERROR_SUCCESS) return r;
  LONG answer = ERROR_SUCCESS;  // ERROR_MORE_DATA is an answer, not a failure of the snapshot
  r = transact(false, target, [&](Store& s) -> LONG {
    int64_t id = 0;
    bool hiveRoot = false;
    LONG rr = resolveLocked(s, target, KEY_QUERY_VALUE, id, hiveRoot);
    if (rr != ERROR_SUCCESS) return rr;
    Stmt find(s, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
    int rc = find.bind(1, id).bindBytes(2, foldKey(name)).step();
    if (rc == SQLITE_DONE) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    if (rc != SQLITE_ROW) return mapSqlite(rc, false);
    DWORD type = static_cast<DWORD>(find.integer(0));
    if (lpType != nullptr) *lpType = type;
    answer = copyData(find.blob(1), find.bytes(1), type, lpData, lpcbData);
    return static_cast<LONG>(ERROR_SUCCESS);
  });
  return r != ERROR_SUCCESS ? r : answer;
}

KP_API LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  std::u16string_view name(lpValueName != nullptr ? lpValueName : u"");
  Target target;
  LONG r = prepareTarget(hKey, target);
  if (r != ERROR_SUCCESS) return r;
  return transact(true, target, [&](Store& s) -> LONG {
    int64_t id = 0;
    bool hiveRoot = false;
    LONG rr = resolveLocked(s, target, KEY_SET_VALUE, id, hiveRoot);
    if (rr != ERROR_SUCCESS) return rr;
    Stmt erase(s, "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
    int rc = erase.bind(1, id).bindBytes(2, foldKey(name)).step();
    if (rc != SQLITE_DONE) return mapSqlite(rc, true);
    if (sqlite3_changes(s.db) == 0) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    return touchLocked(s, id);
  });
}

namespace {

// What both enumerations share: the key opened for `access`, row `index` of
// `sql` (?1 the key, ?2 the index; the name in column 0) in one read
// transaction, the name put into the caller's buffer (ERROR_MORE_DATA when it
// does not fit), then `rest` on the row for the answer.
template <typename Rest>
LONG enumNth(HKEY hKey, REGSAM access, const char* sql, DWORD index, LPWSTR name, LPDWORD nameChars, Rest rest) {
  Target target;
  LONG r = prepareTarget(hKey, target);
  if (r != ERROR_SUCCESS) return r;
  LONG answer = ERROR_SUCCESS;
  r = transact(false, target, [&](Store& s) -> LONG {
    int64_t id = 0;
    bool hiveRoot = false;
    LONG rr = resolveLocked(s, target, access, id, hiveRoot);
    if (rr != ERROR_SUCCESS) return rr;
    Stmt nth(s, sql);
    int rc = nth.bind(1, id).bind(2, index).step();
    if (rc == SQLITE_DONE) return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
    if (rc != SQLITE_ROW) return mapSqlite(rc, false);
    answer = PutName(nth.text(0), name, nameChars) ? rest(nth) : static_cast<LONG>(ERROR_MORE_DATA);
    return static_cast<LONG>(ERROR_SUCCESS);
  });
  return r != ERROR_SUCCESS ? r : answer;
}

}  // namespace

KP_API LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                                 LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr))
    return ERROR_INVALID_PARAMETER;
  return enumNth(hKey, KEY_ENUMERATE_SUB_KEYS,
                 "SELECT name, written FROM keys WHERE parent = ?1 ORDER BY fold LIMIT 1 OFFSET ?2", dwIndex, lpName,
                 lpcchName, [&](Stmt& row) -> LONG {
                   if (lpcchClass != nullptr) {
                     if (lpClass != nullptr && *lpcchClass != 0) lpClass[0] = 0;
                     *lpcchClass = 0;
                   }
                   putFileTime(lpftLastWriteTime, row.integer(1));
                   return static_cast<LONG>(ERROR_SUCCESS);
                 });
}

KP_API LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                                 LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
      (lpData != nullptr && lpcbData == nullptr))
    return ERROR_INVALID_PARAMETER;
  return enumNth(hKey, KEY_QUERY_VALUE, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2",
                 dwIndex, lpValueName, lpcchValueName, [&](Stmt& row) -> LONG {
                   DWORD type = static_cast<DWORD>(row.integer(1));
                   if (lpType != nullptr) *lpType = type;
                   return copyData(row.blob(2), row.bytes(2), type, lpData, lpcbData);
                 });
}

KP_API LONG WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                    LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                    LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                    LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr)) return ERROR_INVALID_PARAMETER;
  Target target;
  LONG r = prepareTarget(hKey, target);
  if (r != ERROR_SUCCESS) return r;
  return transact(false, target, [&](Store& s) -> LONG {
    int64_t id = 0;
    bool hiveRoot = false;
    LONG rr = resolveLocked(s, target, KEY_QUERY_VALUE, id, hiveRoot);
    if (rr != ERROR_SUCCESS) return rr;
    Stmt keys(s, "SELECT count(*), coalesce(max(length(name)), 0) FROM keys WHERE parent = ?1");
    int rc = keys.bind(1, id).step();
    if (rc != SQLITE_ROW) return mapSqlite(rc, false);
    Stmt vals(s,
              "SELECT count(*), coalesce(max(length(name)), 0), coalesce(max(length(data)), 0) FROM vals "
              "WHERE key = ?1");
    rc = vals.bind(1, id).step();
    if (rc != SQLITE_ROW) return mapSqlite(rc, false);
    Stmt self(s, "SELECT written FROM keys WHERE id = ?1");
    rc = self.bind(1, id).step();
    if (rc != SQLITE_ROW) return mapSqlite(rc, false);
    if (lpcchClass != nullptr) {
      if (lpClass != nullptr && *lpcchClass != 0) lpClass[0] = 0;
      *lpcchClass = 0;
    }
    if (lpcSubKeys != nullptr) *lpcSubKeys = static_cast<DWORD>(keys.integer(0));
    if (lpcbMaxSubKeyLen != nullptr) *lpcbMaxSubKeyLen = static_cast<DWORD>(keys.integer(1) / 2);
    if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = 0;
    if (lpcValues != nullptr) *lpcValues = static_cast<DWORD>(vals.integer(0));
    if (lpcbMaxValueNameLen != nullptr) *lpcbMaxValueNameLen = static_cast<DWORD>(vals.integer(1) / 2);
    if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = static_cast<DWORD>(vals.integer(2));
    if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;
    putFileTime(lpftLastWriteTime, self.integer(0));
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}
