// The registry functions: handles, access masks and the size-query protocol of Windows over the
// prefix's registry database.
#include "platform/RegistryDb.h"
#include "platform/HandleTable.h"
#include "platform/RegistryAccess.h"
#include "platform/TextUtil.h"
#include "platform/prefix.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace vplat::detail;

namespace {
// Access rights of a key handle beyond those win32.h names.
constexpr REGSAM kDeleteRight = 0x00010000;
constexpr REGSAM kWriteDac = 0x00040000;
constexpr REGSAM kWriteOwner = 0x00080000;
constexpr REGSAM kCreateLink = 0x0020;
constexpr REGSAM kMaximumAllowed = 0x02000000;
constexpr REGSAM kWow64Bits = 0x0300;
constexpr REGSAM kModifyingRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | kCreateLink | kDeleteRight | kWriteDac | kWriteOwner;

struct KeyObject : KernelObject {
    bool ClosedByCloseHandle() const override { return false; }
    std::shared_ptr<RegistryDb> db;
    int64_t id = 0;
    int64_t root = 0;
    REGSAM access = 0;
};

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The root row of a predefined handle (sign- or zero-extended form), or 0.
int64_t PredefinedRoot(HKEY key) {
    const auto v = reinterpret_cast<uintptr_t>(key);
    const uintptr_t low = v & 0xFFFFFFFFu;
    if ((v >> 32) != 0 && (v >> 32) != 0xFFFFFFFFu) return 0;
    switch (low) {
        case 0x80000000u: return RegistryDb::kClassesRoot;
        case 0x80000001u: return RegistryDb::kCurrentUser;
        case 0x80000002u: return RegistryDb::kLocalMachine;
        default: return 0;
    }
}

// What a handle refers to: the database, the key row, its root and the handle's rights.
struct KeyRef {
    std::shared_ptr<RegistryDb> db;
    int64_t id = 0;
    int64_t root = 0;
    REGSAM access = 0;
};

// True when the caller may only read below the handle's root: HKEY_LOCAL_MACHINE for a caller
// without rights, and every key of a database the caller may not write.
bool ReadOnlyFor(const KeyRef& ref) {
    return (ref.root == RegistryDb::kLocalMachine && vplat::detail::Unprivileged()) || ref.db->ReadOnly();
}

LSTATUS Resolve(HKEY key, KeyRef& ref) {
    if (int64_t root = PredefinedRoot(key)) {
        LSTATUS status = ERROR_SUCCESS;
        ref.db = RegistryDb::Current(status);
        if (!ref.db) return status;
        ref.id = ref.root = root;
        ref.access = ReadOnlyFor(ref) ? KEY_READ : KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    auto object = LookupAs<KeyObject>(reinterpret_cast<HANDLE>(key));
    if (!object) return ERROR_INVALID_HANDLE;
    ref.db = object->db;
    ref.id = object->id;
    ref.root = object->root;
    ref.access = object->access;
    return ERROR_SUCCESS;
}

// The rights a new handle gets; false if the caller may not have them.
bool GrantAccess(const KeyRef& base, REGSAM desired, REGSAM& granted) {
    desired &= ~kWow64Bits;
    const bool restricted = ReadOnlyFor(base);
    if (desired & kMaximumAllowed) {
        granted = restricted ? KEY_READ : KEY_ALL_ACCESS;
        return true;
    }
    if (restricted && (desired & kModifyingRights)) return false;
    granted = desired;
    return true;
}

HKEY NewHandle(const KeyRef& base, int64_t id, REGSAM access) {
    auto object = std::make_shared<KeyObject>();
    object->db = base.db;
    object->id = id;
    object->root = base.root;
    object->access = access;
    return reinterpret_cast<HKEY>(AddHandle(std::move(object)));
}

std::u16string_view NameOrEmpty(LPCWSTR name, bool& ok, size_t limit) {
    ok = true;
    if (!name) return {};
    auto text = CallerText(name, limit);
    ok = text.has_value();
    return text.value_or(std::u16string_view{});
}
}  // namespace

namespace vplat::detail {
bool Unprivileged() {
    const char* v = std::getenv(kUnprivilegedVariable);
    return v && *v && std::strcmp(v, "0") != 0;
}
}  // namespace vplat::detail

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    KeyRef base;
    if (LSTATUS s = Resolve(hKey, base); s != ERROR_SUCCESS) return s;
    bool ok = true;
    auto path = NameOrEmpty(lpSubKey, ok, kMaxCallerText);
    if (!ok) return ERROR_INVALID_PARAMETER;
    int64_t id = 0;
    if (LSTATUS s = base.db->OpenKey(base.id, path, id); s != ERROR_SUCCESS) return s;
    REGSAM granted = 0;
    if (!GrantAccess(base, samDesired, granted)) return ERROR_ACCESS_DENIED;
    *phkResult = NewHandle(base, id, granted);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                        const SECURITY_ATTRIBUTES*, PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    KeyRef base;
    if (LSTATUS s = Resolve(hKey, base); s != ERROR_SUCCESS) return s;
    auto path = CallerText(lpSubKey);
    if (!path) return ERROR_INVALID_PARAMETER;
    REGSAM granted = 0;
    if (!GrantAccess(base, samDesired, granted)) return ERROR_ACCESS_DENIED;

    std::vector<std::u16string_view> parts;
    if (!SplitKeyPath(*path, parts)) return ERROR_INVALID_PARAMETER;
    int64_t id = 0;
    LSTATUS existing = base.db->OpenKey(base.id, *path, id);
    if (existing == ERROR_FILE_NOT_FOUND) {
        // Nothing may be created directly below a predefined root, and an unprivileged caller
        // may create nothing under HKEY_LOCAL_MACHINE.
        int64_t first = 0;
        const bool atRoot = PredefinedRoot(hKey) != 0 && !parts.empty() &&
                            base.db->OpenKey(base.id, parts.front(), first) == ERROR_FILE_NOT_FOUND;
        if (atRoot || ReadOnlyFor(base)) return ERROR_ACCESS_DENIED;
        bool created = false;
        if (LSTATUS s = base.db->CreateKey(base.id, *path, id, created); s != ERROR_SUCCESS) return s;
        if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    } else if (existing == ERROR_SUCCESS) {
        if (lpdwDisposition) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
    } else {
        return existing;
    }
    *phkResult = NewHandle(base, id, granted);
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    KeyRef key;
    if (LSTATUS s = Resolve(hKey, key); s != ERROR_SUCCESS) return s;
    if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    bool ok = true;
    auto name = NameOrEmpty(lpValueName, ok, kMaxValueNameChars);
    if (!ok) return ERROR_INVALID_PARAMETER;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (LSTATUS s = key.db->QueryValue(key.id, name, type, data); s != ERROR_SUCCESS) return s;
    if (lpType) *lpType = type;
    if (!lpcbData) return ERROR_SUCCESS;
    const auto size = static_cast<DWORD>(data.size());
    if (!lpData) {
        *lpcbData = size;
        return ERROR_SUCCESS;
    }
    const DWORD room = *lpcbData;
    *lpcbData = size;
    if (room < size) return ERROR_MORE_DATA;  // the caller's buffer stays untouched
    if (size) std::memcpy(lpData, data.data(), size);
    // A string stored without its terminator gets one when the buffer has room (not counted).
    const bool unterminated = size < 2 || data[size - 1] != 0 || data[size - 2] != 0;
    if (IsStringType(type) && size % 2 == 0 && unterminated && room >= size + 2) {
        lpData[size] = 0;
        lpData[size + 1] = 0;
    }
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    KeyRef key;
    if (LSTATUS s = Resolve(hKey, key); s != ERROR_SUCCESS) return s;
    if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    bool ok = true;
    auto name = NameOrEmpty(lpValueName, ok, kMaxValueNameChars);
    if (!ok) return ERROR_INVALID_PARAMETER;
    return key.db->SetValue(key.id, name, dwType, std::span<const BYTE>(lpData, lpData ? cbData : 0));
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    KeyRef key;
    if (LSTATUS s = Resolve(hKey, key); s != ERROR_SUCCESS) return s;
    if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    bool ok = true;
    auto name = NameOrEmpty(lpValueName, ok, kMaxValueNameChars);
    if (!ok) return ERROR_INVALID_PARAMETER;
    return key.db->DeleteValue(key.id, name);
}

namespace {
LSTATUS DeleteKey(HKEY hKey, LPCWSTR lpSubKey, bool tree) {
    KeyRef key;
    if (LSTATUS s = Resolve(hKey, key); s != ERROR_SUCCESS) return s;
    bool ok = true;
    auto path = NameOrEmpty(lpSubKey, ok, kMaxCallerText);
    if (!ok) return ERROR_INVALID_PARAMETER;
    if (ReadOnlyFor(key)) return ERROR_ACCESS_DENIED;
    return key.db->DeleteKey(key.id, path, tree);
}
}  // namespace

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    return DeleteKey(hKey, lpSubKey, false);
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) { return DeleteKey(hKey, lpSubKey, true); }

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPWSTR lpClass,
                      LPDWORD lpcchClass, void*) {
    if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
    KeyRef key;
    if (LSTATUS s = Resolve(hKey, key); s != ERROR_SUCCESS) return s;
    if (!(key.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    std::u16string name;
    if (LSTATUS s = key.db->EnumKey(key.id, dwIndex, name); s != ERROR_SUCCESS) return s;
    if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
    CopyWithTerminator(name, lpName);
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass && lpcchClass && *lpcchClass > 0) {
        lpClass[0] = 0;
        *lpcchClass = 0;
    }
    return ERROR_SUCCESS;
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                      LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    KeyRef key;
    if (LSTATUS s = Resolve(hKey, key); s != ERROR_SUCCESS) return s;
    if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (LSTATUS s = key.db->EnumValue(key.id, dwIndex, name, type, data); s != ERROR_SUCCESS) return s;
    if (name.size() + 1 > *lpcchValueName) return ERROR_MORE_DATA;
    const auto size = static_cast<DWORD>(data.size());
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    CopyWithTerminator(name, lpValueName);
    *lpcchValueName = static_cast<DWORD>(name.size());
    if (lpType) *lpType = type;
    if (lpcbData) {
        if (lpData && size) std::memcpy(lpData, data.data(), size);
        *lpcbData = size;
    }
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (PredefinedRoot(hKey)) return ERROR_SUCCESS;
    return RemoveAs<KeyObject>(reinterpret_cast<HANDLE>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
