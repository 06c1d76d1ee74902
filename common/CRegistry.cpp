// CRegistry: an open registry key and bounded value access.
#include "common/CRegistry.h"

LSTATUS CRegistry::Open(HKEY root, LPCWSTR subKey, REGSAM access) {
    Close();
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(root, subKey, 0, access, &key);
    if (status == ERROR_SUCCESS) m_hKey = key;
    return status;
}

LSTATUS CRegistry::Create(HKEY root, LPCWSTR subKey, REGSAM access) {
    Close();
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) m_hKey = key;
    return status;
}

void CRegistry::Close() {
    if (m_hKey != nullptr) {
        RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }
}

LSTATUS CRegistry::QueryDWORD(LPCWSTR name, DWORD* value) const {
    if (value == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    DWORD data = 0;
    DWORD size = sizeof(data);
    DWORD type = 0;
    LSTATUS status = QueryValue(name, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (status != ERROR_SUCCESS) return status;
    if (size != sizeof(data)) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    *value = data;
    return ERROR_SUCCESS;
}

LSTATUS CRegistry::QueryValue(LPCWSTR name, DWORD* type, BYTE* buffer, DWORD* size) const {
    if (m_hKey == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    return RegQueryValueExW(m_hKey, name, nullptr, type, buffer, size);
}

LSTATUS CRegistry::SetValue(LPCWSTR name, DWORD type, const BYTE* data, DWORD size) const {
    if (m_hKey == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    return RegSetValueExW(m_hKey, name, 0, type, data, size);
}

LSTATUS CRegistry::SetDWORD(LPCWSTR name, DWORD value) const {
    return SetValue(name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

LSTATUS CRegistry::DeleteValue(LPCWSTR name) const {
    if (m_hKey == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    return RegDeleteValueW(m_hKey, name);
}
