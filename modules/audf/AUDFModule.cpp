// The AUDF module: the driver's registry-like store of per-queue values. Its entry points are
// exported by ordinal only (symbols ordinal_<n>) and take the arguments of the Windows registry
// functions of the same role; they keep their data in the prefix's registry through the stand-in
// platform, so keys are created on demand, values are typed, a query with a larger buffer succeeds
// and reports the size read, and a smaller one gets ERROR_MORE_DATA.
//
//   2 create key    4 open key     6 delete key    7 close key     9 delete value
//  11 query value  13 enum keys   15 set value    17 enum values  19 flush key
//  20 count subkeys and values
#include "platform/win32.h"

#ifdef _WIN32
// The module's .def file exports these by ordinal only, without names.
#define AUDF_EXPORT extern "C"
#else
#define AUDF_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// Only the machine root is offered: a driver's store has no per-user part.
bool IsMachineRootOrKey(HKEY hKey) {
    return hKey != nullptr && hKey != HKEY_CLASSES_ROOT && hKey != HKEY_CURRENT_USER;
}

constexpr DWORD kMaxEnumName = 16384;  // longest key or value name of the registry, with its zero

}  // namespace

AUDF_EXPORT LSTATUS ordinal_2(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                              REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                              LPDWORD lpdwDisposition) {
    if (!IsMachineRootOrKey(hKey) || lpSubKey == nullptr || phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    return RegCreateKeyExW(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired, lpSecurityAttributes,
                           phkResult, lpdwDisposition);
}

AUDF_EXPORT LSTATUS ordinal_4(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    if (!IsMachineRootOrKey(hKey) || phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    return RegOpenKeyExW(hKey, lpSubKey, ulOptions, samDesired, phkResult);
}

AUDF_EXPORT LSTATUS ordinal_6(HKEY hKey, LPCWSTR lpSubKey) {
    if (!IsMachineRootOrKey(hKey) || lpSubKey == nullptr || lpSubKey[0] == 0) return ERROR_INVALID_PARAMETER;
    return RegDeleteKeyW(hKey, lpSubKey);
}

AUDF_EXPORT LSTATUS ordinal_7(HKEY hKey) { return RegCloseKey(hKey); }

AUDF_EXPORT LSTATUS ordinal_9(HKEY hKey, LPCWSTR lpValueName) {
    if (!IsMachineRootOrKey(hKey)) return ERROR_INVALID_PARAMETER;
    return RegDeleteValueW(hKey, lpValueName);
}

AUDF_EXPORT LSTATUS ordinal_11(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                               LPDWORD lpcbData) {
    if (!IsMachineRootOrKey(hKey)) return ERROR_INVALID_PARAMETER;
    return RegQueryValueExW(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
}

AUDF_EXPORT LSTATUS ordinal_13(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName) {
    if (!IsMachineRootOrKey(hKey)) return ERROR_INVALID_PARAMETER;
    return RegEnumKeyExW(hKey, dwIndex, lpName, lpcchName, nullptr, nullptr, nullptr, nullptr);
}

AUDF_EXPORT LSTATUS ordinal_15(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                               DWORD cbData) {
    if (!IsMachineRootOrKey(hKey)) return ERROR_INVALID_PARAMETER;
    return RegSetValueExW(hKey, lpValueName, Reserved, dwType, lpData, cbData);
}

AUDF_EXPORT LSTATUS ordinal_17(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpType,
                               LPBYTE lpData, LPDWORD lpcbData) {
    if (!IsMachineRootOrKey(hKey)) return ERROR_INVALID_PARAMETER;
    return RegEnumValueW(hKey, dwIndex, lpValueName, lpcchValueName, nullptr, lpType, lpData, lpcbData);
}

// Every change is already durable when the set or delete returns: nothing to flush.
AUDF_EXPORT LSTATUS ordinal_19(HKEY hKey) {
    if (!IsMachineRootOrKey(hKey)) return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

// The number of direct subkeys and of values of a key (either pointer may be null).
AUDF_EXPORT LSTATUS ordinal_20(HKEY hKey, LPDWORD lpcSubKeys, LPDWORD lpcValues) {
    if (!IsMachineRootOrKey(hKey)) return ERROR_INVALID_PARAMETER;
    WCHAR szName[kMaxEnumName];
    auto count = [&](bool bKeys, LPDWORD pcOut) -> LSTATUS {
        if (pcOut == nullptr) return ERROR_SUCCESS;
        DWORD n = 0;
        for (;; ++n) {
            DWORD cch = kMaxEnumName;
            LSTATUS st = bKeys ? RegEnumKeyExW(hKey, n, szName, &cch, nullptr, nullptr, nullptr, nullptr)
                               : RegEnumValueW(hKey, n, szName, &cch, nullptr, nullptr, nullptr, nullptr);
            if (st == static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS)) break;
            if (st != ERROR_SUCCESS) return st;
        }
        *pcOut = n;
        return ERROR_SUCCESS;
    };
    LSTATUS st = count(true, lpcSubKeys);
    return st != ERROR_SUCCESS ? st : count(false, lpcValues);
}
