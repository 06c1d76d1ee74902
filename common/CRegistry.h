// CRegistry: one open registry key, closed when the object goes. Values are read with a bound:
// a value larger than the caller's buffer is a failure, never a partial read.
#pragma once

#include "platform/win32.h"

class CRegistry {
public:
    CRegistry() = default;
    ~CRegistry() { Close(); }
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // Opens an existing key; an earlier key is closed first. Returns the registry's status.
    LSTATUS Open(HKEY root, LPCWSTR subKey, REGSAM access);
    // Opens or creates a key.
    LSTATUS Create(HKEY root, LPCWSTR subKey, REGSAM access);
    void Close();
    HKEY Key() const { return m_hKey; }

    // A 32-bit value (REG_DWORD, or any value of exactly 4 bytes).
    LSTATUS QueryDWORD(LPCWSTR name, DWORD* value) const;
    // Any value into buffer (capacity *size bytes); *size receives the value's size.
    LSTATUS QueryValue(LPCWSTR name, DWORD* type, BYTE* buffer, DWORD* size) const;
    LSTATUS SetValue(LPCWSTR name, DWORD type, const BYTE* data, DWORD size) const;
    LSTATUS SetDWORD(LPCWSTR name, DWORD value) const;
    LSTATUS DeleteValue(LPCWSTR name) const;

private:
    HKEY m_hKey = nullptr;
};
