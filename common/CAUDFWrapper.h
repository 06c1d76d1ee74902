// CAUDFWrapper: the binding to the driver's AUDF module, the registry-like store that keeps a
// queue's learnt values. The module is named by the data file's [CommonDrvInfo] "KDAUDF01" and
// lies in the data file's folder; its functions are resolved by ordinal and take the arguments of
// the Windows registry functions of the same role.
#pragma once

#include "platform/win32.h"

#include <string>

// HRESULTs of LoadAUDF.
constexpr HRESULT AUDF_E_INVALIDARG = static_cast<HRESULT>(0x80070057);   // null data file path
constexpr HRESULT AUDF_E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);   // work buffer not allocated
constexpr HRESULT AUDF_E_FAIL = static_cast<HRESULT>(0x80004005);         // module not named or not loaded

// Result of a call whose function the module does not offer.
constexpr LSTATUS AUDF_FUNCTION_MISSING = -100;

class CAUDFWrapper {
public:
    CAUDFWrapper() = default;
    CAUDFWrapper(const CAUDFWrapper&) = delete;
    CAUDFWrapper& operator=(const CAUDFWrapper&) = delete;
    // Unloads the module.
    virtual ~CAUDFWrapper();

    // Loads the module named by the data file (pszDataFile: its full path) and resolves its
    // ordinals. S_OK, AUDF_E_INVALIDARG, AUDF_E_UNEXPECTED or AUDF_E_FAIL.
    HRESULT LoadAUDF(LPCWSTR pszDataFile);
    bool IsLoaded() const { return m_hModule != nullptr; }

    // The five calls the library makes, on HKEY_LOCAL_MACHINE. Each returns the module's status
    // (ERROR_SUCCESS = 0) or AUDF_FUNCTION_MISSING.
    LSTATUS CreateKey(LPCWSTR pszKeyPath, HKEY* phKey) const;                         // ordinal 2
    LSTATUS OpenKey(LPCWSTR pszKeyPath, REGSAM samDesired, HKEY* phKey) const;        // ordinal 4
    LSTATUS CloseKey(HKEY hKey) const;                                                // ordinal 7
    LSTATUS QueryValue(HKEY hKey, LPCWSTR pszName, LPBYTE pData, LPDWORD pcbData) const;  // ordinal 11
    LSTATUS SetValue(HKEY hKey, LPCWSTR pszName, DWORD dwType, const BYTE* pData, DWORD cbData) const;  // ordinal 15

    // The key of a queue's store: "SOFTWARE\KELDA\PRINTER\<driver>\<queue identifier>", at most
    // 259 characters and its zero. False when it would be longer or a part is null.
    static bool BuildQueueKey(LPCWSTR pszDriverName, LPCWSTR pszQueueGUID, std::u16string& strKey);

private:
    using PFN_CreateKey = LSTATUS (*)(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*,
                                      PHKEY, LPDWORD);
    using PFN_OpenKey = LSTATUS (*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
    using PFN_CloseKey = LSTATUS (*)(HKEY);
    using PFN_QueryValue = LSTATUS (*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    using PFN_SetValue = LSTATUS (*)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD);
    using PFN_Other = FARPROC;

    void Unload();

    HMODULE m_hModule = nullptr;
    PFN_CreateKey m_pfnCreateKey = nullptr;    // ordinal 2
    PFN_OpenKey m_pfnOpenKey = nullptr;        // ordinal 4
    PFN_Other m_pfnOrdinal6 = nullptr;         // resolved, never called
    PFN_CloseKey m_pfnCloseKey = nullptr;      // ordinal 7
    PFN_Other m_pfnOrdinal9 = nullptr;
    PFN_QueryValue m_pfnQueryValue = nullptr;  // ordinal 11
    PFN_Other m_pfnOrdinal13 = nullptr;
    PFN_SetValue m_pfnSetValue = nullptr;      // ordinal 15
    PFN_Other m_pfnOrdinal17 = nullptr;
    PFN_Other m_pfnOrdinal19 = nullptr;
    PFN_Other m_pfnOrdinal20 = nullptr;
};
