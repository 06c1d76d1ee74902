// The registry's store: one SQLite database per prefix, shared by every process that uses the
// prefix (WAL journal, busy time-out, one transaction per change).
//
// Keys form a tree of rows (id, parent, name); values belong to a key. Names are kept as
// written (UTF-16) next to their folded form, which is what lookups and uniqueness use, so
// names are case-insensitive and case-preserving. All methods are thread-safe.
#pragma once

#include "platform/win32.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vplat::detail {

// Status codes of the registry beyond those in win32.h.
constexpr LSTATUS ERROR_REGISTRY_IO_FAILED = 1016;
constexpr LSTATUS ERROR_KEY_DELETED = 1018;

// Limits of names and data, as on Windows (data limited to keep a caller's mistake bounded).
constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;
constexpr size_t kMaxValueBytes = 16 * 1024 * 1024;

// A statement prepared once per connection and reused; `busy` while a caller is stepping it.
struct CachedStatement {
    sqlite3_stmt* stmt = nullptr;
    bool busy = false;
};

class RegistryDb {
public:
    // Row ids of the predefined roots.
    static constexpr int64_t kClassesRoot = 1;
    static constexpr int64_t kCurrentUser = 2;
    static constexpr int64_t kLocalMachine = 3;

    // The connection for the current prefix. Without `create`, a prefix without a database
    // gives null and ERROR_FILE_NOT_FOUND; with it, the database is made (the folder must exist).
    static std::shared_ptr<RegistryDb> Current(LSTATUS& status, bool create = false);

    ~RegistryDb();
    RegistryDb(const RegistryDb&) = delete;
    RegistryDb& operator=(const RegistryDb&) = delete;

    const std::string& Path() const { return m_path; }
    // True when the caller may not write the database (the file or its folder): reads work,
    // every change gives ERROR_ACCESS_DENIED, as HKEY_LOCAL_MACHINE for a caller without rights.
    bool ReadOnly() const { return m_readOnly; }

    LSTATUS OpenKey(int64_t base, std::u16string_view path, int64_t& id);
    LSTATUS CreateKey(int64_t base, std::u16string_view path, int64_t& id, bool& created);
    // ERROR_SUCCESS while the key exists, ERROR_KEY_DELETED after it was deleted.
    LSTATUS KeyAlive(int64_t id);
    LSTATUS QueryValue(int64_t key, std::u16string_view name, DWORD& type, std::vector<BYTE>& data);
    LSTATUS SetValue(int64_t key, std::u16string_view name, DWORD type, std::span<const BYTE> data);
    LSTATUS DeleteValue(int64_t key, std::u16string_view name);
    // Deletes the key at `path` below `base`; without `tree` only a key without subkeys
    // (ERROR_ACCESS_DENIED otherwise, as on Windows).
    LSTATUS DeleteKey(int64_t base, std::u16string_view path, bool tree);
    LSTATUS EnumKey(int64_t key, DWORD index, std::u16string& name);
    LSTATUS EnumValue(int64_t key, DWORD index, std::u16string& name, DWORD& type, std::vector<BYTE>& data);
    LSTATUS CountSubkeys(int64_t key, DWORD& count);

    // Runs `work` in one write transaction, committed only if it returns ERROR_SUCCESS.
    // Calls made by `work` join the transaction.
    LSTATUS Write(const std::function<LSTATUS()>& work);

    // Changes whenever this or another process changed the database since the last call.
    uint64_t ChangeStamp();

private:
    explicit RegistryDb(std::string path);
    LSTATUS Open(bool create);
    LSTATUS OpenReadOnly();
    LSTATUS Exec(const char* sql);
    LSTATUS FindChild(int64_t parent, std::u16string_view name, int64_t& id);
    LSTATUS LoadValue(int64_t key, std::u16string_view name, DWORD& type, std::vector<BYTE>& data);
    bool ReadStamp(uint64_t& stamp);
    bool CacheUsable();

    // Results of key and value lookups made outside a transaction, kept while the database's
    // change stamp stays the same: a repeated read then costs one cheap version check.
    struct CachedKey {
        LSTATUS status = ERROR_SUCCESS;
        int64_t id = 0;
    };
    struct CachedValue {
        LSTATUS status = ERROR_SUCCESS;
        DWORD type = 0;
        std::vector<BYTE> data;
    };

    // One slot per statement text of the store (see the table in RegistryDb.cpp).
    static constexpr size_t kStatementCount = 14;

    std::string m_path;
    sqlite3* m_db = nullptr;
    bool m_readOnly = false;
    std::array<CachedStatement, kStatementCount> m_statements{};
    std::unordered_map<std::u16string, CachedKey> m_keyCache;      // by base row and folded path
    std::unordered_map<std::u16string, CachedValue> m_valueCache;  // by key row and folded name
    uint64_t m_cacheStamp = 0;
    std::recursive_mutex m_lock;
    int m_depth = 0;           // nesting of Write
    uint64_t m_ownWrites = 0;  // commits made through this connection
};

// Splits a key path at backslashes; a trailing backslash is ignored. False for an empty inner
// component or a component longer than kMaxKeyNameChars.
bool SplitKeyPath(std::u16string_view path, std::vector<std::u16string_view>& parts);

}  // namespace vplat::detail
