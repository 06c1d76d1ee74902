// The registry's store on SQLite.
#include "platform/RegistryDb.h"

#include "platform/TextUtil.h"
#include "platform/prefix.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>

namespace vplat::detail {

namespace {
constexpr int kBusyTimeoutMs = 10000;  // how long a write waits for another process's transaction
// Bounds of the lookup caches: entries per cache (emptied when full) and the largest value kept.
constexpr size_t kMaxCachedLookups = 512;
constexpr size_t kMaxCachedValueBytes = 1024;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name BLOB NOT NULL, fold BLOB NOT NULL,"
    "  UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
    "  name BLOB NOT NULL, fold BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
    "  PRIMARY KEY(key, fold));"
    "INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES"
    "  (1, 0, 'HKEY_CLASSES_ROOT', 'hkey_classes_root'),"
    "  (2, 0, 'HKEY_CURRENT_USER', 'hkey_current_user'),"
    "  (3, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');";

// The statements of the store, prepared once per connection (SQLITE_PREPARE_PERSISTENT) and
// reset after each use: preparing costs far more than running these one-row lookups.
enum class Sql : size_t {
    DataVersion, FindChild, KeyAlive, InsertKey, QueryValue, SetValue, DeleteValue, DeleteTree,
    CountSubkeys, EnumKey, EnumValue, Begin, Commit, Rollback, Count
};
constexpr const char* kSql[] = {
    "PRAGMA data_version",
    "SELECT id FROM keys WHERE parent=?1 AND fold=?2",
    "SELECT 1 FROM keys WHERE id=?1",
    "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)",
    // One row while the key exists; type and data are NULL when it has no such value.
    "SELECT v.type, v.data FROM keys k LEFT JOIN vals v ON v.key=k.id AND v.fold=?2 WHERE k.id=?1",
    // An existing value keeps the spelling of its name: only type and data change.
    "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type, data=excluded.data",
    "DELETE FROM vals WHERE key=?1 AND fold=?2",
    "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent=sub.id) "
    "DELETE FROM keys WHERE id IN sub",
    "SELECT count(*) FROM keys WHERE parent=?1",
    "SELECT name FROM keys WHERE parent=?1 ORDER BY fold LIMIT 1 OFFSET ?2",
    "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY fold LIMIT 1 OFFSET ?2",
    "BEGIN",
    "COMMIT",
    "ROLLBACK",
};
static_assert(std::size(kSql) == static_cast<size_t>(Sql::Count));

// One use of a statement: the connection's cached one when it is free (reset and unbound
// again afterwards), otherwise a fresh one finalised afterwards. Callers hold the connection's lock.
class Statement {
public:
    template <size_t N>
    Statement(sqlite3* db, std::array<CachedStatement, N>& slots, Sql which) {
        static_assert(N == static_cast<size_t>(Sql::Count));
        CachedStatement& slot = slots[static_cast<size_t>(which)];
        const char* sql = kSql[static_cast<size_t>(which)];
        if (!slot.busy) {
            if (!slot.stmt &&
                sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &slot.stmt, nullptr) != SQLITE_OK) {
                sqlite3_finalize(slot.stmt);
                slot.stmt = nullptr;
                return;
            }
            slot.busy = true;
            m_slot = &slot;
            m_stmt = slot.stmt;
            m_ok = true;
            return;
        }
        m_ok = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) == SQLITE_OK;
    }
    ~Statement() {
        if (m_slot) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
            m_slot->busy = false;
        } else {
            sqlite3_finalize(m_stmt);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return m_ok; }
    void Bind(int i, int64_t v) { sqlite3_bind_int64(m_stmt, i, v); }
    void Bind(int i, std::u16string_view text) {
        // An empty name must still bind as a (zero-length) blob, never as NULL.
        static const char16_t kEmpty = 0;
        sqlite3_bind_blob(m_stmt, i, text.empty() ? &kEmpty : text.data(),
                          static_cast<int>(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
    }
    void Bind(int i, std::span<const BYTE> bytes) {
        static const BYTE kEmpty = 0;
        sqlite3_bind_blob(m_stmt, i, bytes.empty() ? &kEmpty : bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
    }
    int Step() { return sqlite3_step(m_stmt); }
    int64_t Int(int col) { return sqlite3_column_int64(m_stmt, col); }
    bool IsNull(int col) { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }
    std::u16string Text(int col) {
        const void* p = sqlite3_column_blob(m_stmt, col);
        const int n = sqlite3_column_bytes(m_stmt, col);
        std::u16string s(static_cast<size_t>(n) / sizeof(char16_t), u'\0');
        if (p && !s.empty()) std::memcpy(s.data(), p, s.size() * sizeof(char16_t));
        return s;
    }
    std::vector<BYTE> Bytes(int col) {
        const auto* p = static_cast<const BYTE*>(sqlite3_column_blob(m_stmt, col));
        const int n = sqlite3_column_bytes(m_stmt, col);
        return p ? std::vector<BYTE>(p, p + n) : std::vector<BYTE>{};
    }

private:
    CachedStatement* m_slot = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    bool m_ok = false;
};

struct Cache {
    std::mutex lock;
    std::shared_ptr<RegistryDb> current;                    // the last prefix used
    std::map<std::string, std::weak_ptr<RegistryDb>> open;  // every prefix still referenced
};

Cache& TheCache() {
    static Cache* cache = new Cache;  // outlives static destructors of callers that log at exit
    return *cache;
}

// The cache name of a row id followed by folded names: the id's four 16-bit units, then each
// name with a separator no folded name contains.
std::u16string LookupName(int64_t id, std::span<const std::u16string_view> names) {
    std::u16string text;
    for (int shift = 0; shift < 64; shift += 16) text.push_back(static_cast<char16_t>((static_cast<uint64_t>(id) >> shift) & 0xFFFF));
    for (auto name : names) {
        text += Fold(name);
        text.push_back(u'\\');
    }
    return text;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// True when this process may change the database: write the file and, for the WAL and the
// shared-memory index beside it, the folder. False also on a read-only mount.
bool Writable(const std::string& path) {
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    return ::access(path.c_str(), W_OK) == 0 && ::access(folder.empty() ? "." : folder.c_str(), W_OK) == 0;
}

// A file path as an SQLite URI path: the characters that end or escape a path there are escaped.
std::string UriPath(const std::string& path) {
    std::string uri = "file:";
    for (char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            static const char kHex[] = "0123456789ABCDEF";
            uri += '%';
            uri += kHex[static_cast<unsigned char>(c) >> 4];
            uri += kHex[static_cast<unsigned char>(c) & 0xF];
        } else {
            uri += c;
        }
    }
    return uri;
}
}  // namespace

bool SplitKeyPath(std::u16string_view path, std::vector<std::u16string_view>& parts) {
    parts.clear();
    if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    if (path.empty()) return true;
    size_t pos = 0;
    while (true) {
        size_t end = path.find(u'\\', pos);
        if (end == std::u16string_view::npos) end = path.size();
        auto part = path.substr(pos, end - pos);
        if (part.empty() || part.size() > kMaxKeyNameChars) return false;
        parts.push_back(part);
        if (end == path.size()) return true;
        pos = end + 1;
    }
}

std::shared_ptr<RegistryDb> RegistryDb::Current(LSTATUS& status, bool create) {
    const std::string path = RegistryDatabasePath();
    auto& cache = TheCache();
    std::lock_guard guard(cache.lock);
    if (cache.current && cache.current->m_path == path && IsFile(path)) {
        status = ERROR_SUCCESS;
        return cache.current;
    }
    if (auto it = cache.open.find(path); it != cache.open.end()) {
        if (auto db = it->second.lock(); db && IsFile(path)) {
            cache.current = db;
            status = ERROR_SUCCESS;
            return db;
        }
        cache.open.erase(it);
    }
    if (!IsFile(path) && (!create || !IsFolder(PrefixRoot()))) {
        status = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    std::shared_ptr<RegistryDb> db(new RegistryDb(path));
    status = db->Open(create);
    if (status != ERROR_SUCCESS) return nullptr;
    cache.current = db;
    std::erase_if(cache.open, [](const auto& entry) { return entry.second.expired(); });
    cache.open[path] = db;
    return db;
}

RegistryDb::RegistryDb(std::string path) : m_path(std::move(path)) {}

RegistryDb::~RegistryDb() {
    for (auto& slot : m_statements) sqlite3_finalize(slot.stmt);
    sqlite3_close_v2(m_db);
}

LSTATUS RegistryDb::Open(bool create) {
    if (IsFile(m_path) && !Writable(m_path)) return OpenReadOnly();
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(m_path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) return ERROR_REGISTRY_IO_FAILED;
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    if (Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;") != ERROR_SUCCESS)
        return ERROR_REGISTRY_IO_FAILED;
    return Write([this] { return Exec(kSchema); });
}

// A database this process may not write: no schema set-up (it exists since the database was
// made) and no journal change. When the WAL's index cannot be made beside a database that has no
// WAL, nothing can be pending in one, and the file is read as it stands.
LSTATUS RegistryDb::OpenReadOnly() {
    m_readOnly = true;
    constexpr const char* kProbe = "SELECT id FROM keys WHERE id=3";
    if (sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
        if (Exec(kProbe) == ERROR_SUCCESS) return ERROR_SUCCESS;
    }
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    if (IsFile(m_path + "-wal")) return ERROR_REGISTRY_IO_FAILED;
    const std::string uri = UriPath(m_path) + "?immutable=1";
    if (sqlite3_open_v2(uri.c_str(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_URI, nullptr) !=
            SQLITE_OK ||
        Exec(kProbe) != ERROR_SUCCESS)
        return ERROR_REGISTRY_IO_FAILED;
    return ERROR_SUCCESS;
}

LSTATUS RegistryDb::Exec(const char* sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
}

LSTATUS RegistryDb::Write(const std::function<LSTATUS()>& work) {
    if (m_readOnly) return ERROR_ACCESS_DENIED;
    std::lock_guard guard(m_lock);
    if (m_depth > 0) {
        ++m_depth;
        LSTATUS status = work();
        --m_depth;
        return status;
    }
    if (Exec("BEGIN IMMEDIATE") != ERROR_SUCCESS)
        return (sqlite3_errcode(m_db) & 0xFF) == SQLITE_READONLY ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
    ++m_depth;
    LSTATUS status = work();
    --m_depth;
    if (status == ERROR_SUCCESS && Exec("COMMIT") == ERROR_SUCCESS) {
        ++m_ownWrites;
        return ERROR_SUCCESS;
    }
    Exec("ROLLBACK");
    return status == ERROR_SUCCESS ? ERROR_REGISTRY_IO_FAILED : status;
}

uint64_t RegistryDb::ChangeStamp() {
    uint64_t stamp = 0;
    ReadStamp(stamp);
    return stamp;
}

bool RegistryDb::ReadStamp(uint64_t& stamp) {
    std::lock_guard guard(m_lock);
    Statement st(m_db, m_statements, Sql::DataVersion);
    if (!st.Ok() || st.Step() != SQLITE_ROW) return false;
    stamp = (m_ownWrites << 32) ^ static_cast<uint64_t>(st.Int(0));
    return true;
}

// True when the lookup caches may answer: outside a transaction (whose changes are not yet
// committed) and with a readable change stamp. Empties them when the stamp moved.
bool RegistryDb::CacheUsable() {
    uint64_t stamp = 0;
    if (sqlite3_get_autocommit(m_db) == 0 || !ReadStamp(stamp)) return false;
    if (stamp != m_cacheStamp) {
        m_keyCache.clear();
        m_valueCache.clear();
        m_cacheStamp = stamp;
    }
    return true;
}

LSTATUS RegistryDb::FindChild(int64_t parent, std::u16string_view name, int64_t& id) {
    Statement st(m_db, m_statements, Sql::FindChild);
    if (!st.Ok()) return ERROR_REGISTRY_IO_FAILED;
    st.Bind(1, parent);
    st.Bind(2, Fold(name));
    const int rc = st.Step();
    if (rc == SQLITE_ROW) {
        id = st.Int(0);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : ERROR_REGISTRY_IO_FAILED;
}

LSTATUS RegistryDb::KeyAlive(int64_t id) {
    std::lock_guard guard(m_lock);
    Statement st(m_db, m_statements, Sql::KeyAlive);
    if (!st.Ok()) return ERROR_REGISTRY_IO_FAILED;
    st.Bind(1, id);
    const int rc = st.Step();
    if (rc == SQLITE_ROW) return ERROR_SUCCESS;
    return rc == SQLITE_DONE ? ERROR_KEY_DELETED : ERROR_REGISTRY_IO_FAILED;
}

LSTATUS RegistryDb::OpenKey(int64_t base, std::u16string_view path, int64_t& id) {
    std::vector<std::u16string_view> parts;
    if (!SplitKeyPath(path, parts)) return ERROR_INVALID_PARAMETER;
    std::lock_guard guard(m_lock);
    const bool cached = CacheUsable();
    std::u16string lookup;
    if (cached) {
        lookup = LookupName(base, parts);
        if (auto it = m_keyCache.find(lookup); it != m_keyCache.end()) {
            if (it->second.status == ERROR_SUCCESS) id = it->second.id;
            return it->second.status;
        }
    }
    // Outside a transaction, the whole walk shares one read transaction instead of taking one
    // per level (each costs locking the shared WAL index).
    const bool own = sqlite3_get_autocommit(m_db) != 0 && Statement(m_db, m_statements, Sql::Begin).Step() == SQLITE_DONE;
    LSTATUS status = KeyAlive(base);
    int64_t current = base;
    for (size_t i = 0; status == ERROR_SUCCESS && i < parts.size(); ++i) status = FindChild(current, parts[i], current);
    if (own && Statement(m_db, m_statements, Sql::Commit).Step() != SQLITE_DONE)
        Statement(m_db, m_statements, Sql::Rollback).Step();
    if (status == ERROR_SUCCESS) id = current;
    if (cached && (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_KEY_DELETED)) {
        if (m_keyCache.size() >= kMaxCachedLookups) m_keyCache.clear();
        m_keyCache.emplace(std::move(lookup), CachedKey{status, current});
    }
    return status;
}

LSTATUS RegistryDb::CreateKey(int64_t base, std::u16string_view path, int64_t& id, bool& created) {
    std::vector<std::u16string_view> parts;
    if (!SplitKeyPath(path, parts)) return ERROR_INVALID_PARAMETER;
    created = false;
    return Write([&]() -> LSTATUS {
        if (LSTATUS s = KeyAlive(base); s != ERROR_SUCCESS) return s;
        int64_t current = base;
        for (auto part : parts) {
            int64_t child = 0;
            LSTATUS s = FindChild(current, part, child);
            if (s == ERROR_FILE_NOT_FOUND) {
                Statement ins(m_db, m_statements, Sql::InsertKey);
                if (!ins.Ok()) return ERROR_REGISTRY_IO_FAILED;
                ins.Bind(1, current);
                ins.Bind(2, part);
                ins.Bind(3, Fold(part));
                if (ins.Step() != SQLITE_DONE) return ERROR_REGISTRY_IO_FAILED;
                child = sqlite3_last_insert_rowid(m_db);
                created = true;
            } else if (s != ERROR_SUCCESS) {
                return s;
            } else {
                created = false;
            }
            current = child;
        }
        id = current;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegistryDb::QueryValue(int64_t key, std::u16string_view name, DWORD& type, std::vector<BYTE>& data) {
    std::lock_guard guard(m_lock);
    const bool cached = CacheUsable();
    std::u16string lookup;
    if (cached) {
        lookup = LookupName(key, std::span(&name, 1));
        if (auto it = m_valueCache.find(lookup); it != m_valueCache.end()) {
            if (it->second.status == ERROR_SUCCESS) {
                type = it->second.type;
                data = it->second.data;
            }
            return it->second.status;
        }
    }
    const LSTATUS status = LoadValue(key, name, type, data);
    const bool keep = status == ERROR_FILE_NOT_FOUND || status == ERROR_KEY_DELETED ||
                      (status == ERROR_SUCCESS && data.size() <= kMaxCachedValueBytes);
    if (cached && keep) {
        if (m_valueCache.size() >= kMaxCachedLookups) m_valueCache.clear();
        CachedValue entry{status, status == ERROR_SUCCESS ? type : 0, {}};
        if (status == ERROR_SUCCESS) entry.data = data;
        m_valueCache.emplace(std::move(lookup), std::move(entry));
    }
    return status;
}

LSTATUS RegistryDb::LoadValue(int64_t key, std::u16string_view name, DWORD& type, std::vector<BYTE>& data) {
    // The key's existence and the value in one statement (one read transaction).
    Statement st(m_db, m_statements, Sql::QueryValue);
    if (!st.Ok()) return ERROR_REGISTRY_IO_FAILED;
    st.Bind(1, key);
    st.Bind(2, Fold(name));
    const int rc = st.Step();
    if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
    if (rc != SQLITE_ROW) return ERROR_REGISTRY_IO_FAILED;
    if (st.IsNull(0)) return ERROR_FILE_NOT_FOUND;
    type = static_cast<DWORD>(st.Int(0));
    data = st.Bytes(1);
    return ERROR_SUCCESS;
}

LSTATUS RegistryDb::SetValue(int64_t key, std::u16string_view name, DWORD type, std::span<const BYTE> data) {
    if (name.size() > kMaxValueNameChars || data.size() > kMaxValueBytes) return ERROR_INVALID_PARAMETER;
    return Write([&]() -> LSTATUS {
        if (LSTATUS s = KeyAlive(key); s != ERROR_SUCCESS) return s;
        Statement st(m_db, m_statements, Sql::SetValue);
        if (!st.Ok()) return ERROR_REGISTRY_IO_FAILED;
        st.Bind(1, key);
        st.Bind(2, name);
        st.Bind(3, Fold(name));
        st.Bind(4, static_cast<int64_t>(type));
        st.Bind(5, data);
        return st.Step() == SQLITE_DONE ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
    });
}

LSTATUS RegistryDb::DeleteValue(int64_t key, std::u16string_view name) {
    return Write([&]() -> LSTATUS {
        if (LSTATUS s = KeyAlive(key); s != ERROR_SUCCESS) return s;
        Statement st(m_db, m_statements, Sql::DeleteValue);
        if (!st.Ok()) return ERROR_REGISTRY_IO_FAILED;
        st.Bind(1, key);
        st.Bind(2, Fold(name));
        if (st.Step() != SQLITE_DONE) return ERROR_REGISTRY_IO_FAILED;
        return sqlite3_changes(m_db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS RegistryDb::DeleteKey(int64_t base, std::u16string_view path, bool tree) {
    return Write([&]() -> LSTATUS {
        int64_t id = 0;
        if (LSTATUS s = OpenKey(base, path, id); s != ERROR_SUCCESS) return s;
        if (id <= kLocalMachine) return ERROR_ACCESS_DENIED;  // a predefined root stays
        DWORD children = 0;
        if (LSTATUS s = CountSubkeys(id, children); s != ERROR_SUCCESS) return s;
        if (children > 0 && !tree) return ERROR_ACCESS_DENIED;
        Statement st(m_db, m_statements, Sql::DeleteTree);
        if (!st.Ok()) return ERROR_REGISTRY_IO_FAILED;
        st.Bind(1, id);
        return st.Step() == SQLITE_DONE ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
    });
}

LSTATUS RegistryDb::CountSubkeys(int64_t key, DWORD& count) {
    std::lock_guard guard(m_lock);
    Statement st(m_db, m_statements, Sql::CountSubkeys);
    if (!st.Ok()) return ERROR_REGISTRY_IO_FAILED;
    st.Bind(1, key);
    if (st.Step() != SQLITE_ROW) return ERROR_REGISTRY_IO_FAILED;
    count = static_cast<DWORD>(st.Int(0));
    return ERROR_SUCCESS;
}

LSTATUS RegistryDb::EnumKey(int64_t key, DWORD index, std::u16string& name) {
    std::lock_guard guard(m_lock);
    if (LSTATUS s = KeyAlive(key); s != ERROR_SUCCESS) return s;
    Statement st(m_db, m_statements, Sql::EnumKey);
    if (!st.Ok()) return ERROR_REGISTRY_IO_FAILED;
    st.Bind(1, key);
    st.Bind(2, static_cast<int64_t>(index));
    const int rc = st.Step();
    if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
    if (rc != SQLITE_ROW) return ERROR_REGISTRY_IO_FAILED;
    name = st.Text(0);
    return ERROR_SUCCESS;
}

LSTATUS RegistryDb::EnumValue(int64_t key, DWORD index, std::u16string& name, DWORD& type, std::vector<BYTE>& data) {
    std::lock_guard guard(m_lock);
    if (LSTATUS s = KeyAlive(key); s != ERROR_SUCCESS) return s;
    Statement st(m_db, m_statements, Sql::EnumValue);
    if (!st.Ok()) return ERROR_REGISTRY_IO_FAILED;
    st.Bind(1, key);
    st.Bind(2, static_cast<int64_t>(index));
    const int rc = st.Step();
    if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
    if (rc != SQLITE_ROW) return ERROR_REGISTRY_IO_FAILED;
    name = st.Text(0);
    type = static_cast<DWORD>(st.Int(1));
    data = st.Bytes(2);
    return ERROR_SUCCESS;
}

}  // namespace vplat::detail
