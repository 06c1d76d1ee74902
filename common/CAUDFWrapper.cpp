// CAUDFWrapper: loads the driver's AUDF module and forwards the five registry-like calls.
#include "common/CAUDFWrapper.h"

#include "common/BILogging.h"

#include <new>

namespace {

constexpr WCHAR kSectionCommonDrvInfo[] = u"CommonDrvInfo";
constexpr WCHAR kKeyAUDFModule[] = u"KDAUDF01";
constexpr WCHAR kProfileAbsent[] = u"Error";       // default text that means "no such key"
constexpr WCHAR kStoreRoot[] = u"SOFTWARE\\KELDA\\PRINTER";

// Ordinals of the module's entry points.
constexpr WORD kOrdCreateKey = 2;
constexpr WORD kOrdOpenKey = 4;
constexpr WORD kOrdUnused6 = 6;
constexpr WORD kOrdCloseKey = 7;
constexpr WORD kOrdUnused9 = 9;
constexpr WORD kOrdQueryValue = 11;
constexpr WORD kOrdUnused13 = 13;
constexpr WORD kOrdSetValue = 15;
constexpr WORD kOrdUnused17 = 17;
constexpr WORD kOrdUnused19 = 19;
constexpr WORD kOrdUnused20 = 20;

size_t BoundedLength(LPCWSTR psz, size_t cchMax) {
    size_t n = 0;
    while (n < cchMax && psz[n] != 0) ++n;
    return n;
}

}  // namespace

CAUDFWrapper::~CAUDFWrapper() { Unload(); }

// Unload: frees the module and forgets every function pointer.
void CAUDFWrapper::Unload() {
    if (m_hModule != nullptr) FreeLibrary(m_hModule);
    m_hModule = nullptr;
    m_pfnCreateKey = nullptr;
    m_pfnOpenKey = nullptr;
    m_pfnOrdinal6 = nullptr;
    m_pfnCloseKey = nullptr;
    m_pfnOrdinal9 = nullptr;
    m_pfnQueryValue = nullptr;
    m_pfnOrdinal13 = nullptr;
    m_pfnSetValue = nullptr;
    m_pfnOrdinal17 = nullptr;
    m_pfnOrdinal19 = nullptr;
    m_pfnOrdinal20 = nullptr;
}

// LoadAUDF: reads "KDAUDF01" from the data file, loads that module from the data file's folder
// and resolves its ordinals. A missing function is left null; the call that needs it fails.
HRESULT CAUDFWrapper::LoadAUDF(LPCWSTR pszDataFile) {
    BI_LOG("CAUDFWrapper::LoadAUDF\n");
    if (pszDataFile == nullptr) {
        BI_LOG("#CAUDFWrapper::LoadAUDF data file path is null.\n");
        return AUDF_E_INVALIDARG;
    }
    Unload();

    std::u16string strModule;
    std::u16string strValue;
    try {
        strValue.assign(MAX_PATH, u'\0');
        strModule.reserve(2 * MAX_PATH);
    } catch (const std::bad_alloc&) {
        BI_LOG("#CAUDFWrapper::LoadAUDF cannot allocate a work buffer.\n");
        return AUDF_E_UNEXPECTED;
    }

    DWORD cch = GetPrivateProfileStringW(kSectionCommonDrvInfo, kKeyAUDFModule, kProfileAbsent, strValue.data(),
                                         MAX_PATH, pszDataFile);
    strValue.resize(cch < MAX_PATH ? cch : MAX_PATH - 1);
    if (strValue == kProfileAbsent || strValue.empty()) {
        BI_LOG("#CAUDFWrapper::LoadAUDF no KDAUDF01 in data file %s\n", BILogging::Narrow(pszDataFile).c_str());
        return AUDF_E_FAIL;
    }

    // Drive and folder of the data file, with its trailing backslash, then the module's name.
    size_t cchPath = BoundedLength(pszDataFile, 32768);
    std::u16string_view strDataFile(pszDataFile, cchPath);
    size_t posSlash = strDataFile.find_last_of(u"\\/");
    if (posSlash != std::u16string_view::npos) strModule.assign(strDataFile.substr(0, posSlash + 1));
    strModule += strValue;

    BI_LOG("Call LoadLibraryW %s\n", BILogging::Narrow(strModule.c_str()).c_str());
    m_hModule = LoadLibraryW(strModule.c_str());
    BI_LOG("Return LoadLibraryW %s\n", m_hModule != nullptr ? "ok" : "failed");
    if (m_hModule == nullptr) {
        BI_LOG("#CAUDFWrapper::LoadAUDF failed to load the AUDF module, error=%u\n", GetLastError());
        return AUDF_E_FAIL;
    }

    auto resolve = [this](WORD wOrdinal) { return GetProcAddress(m_hModule, MAKEINTRESOURCEA(wOrdinal)); };
    m_pfnCreateKey = reinterpret_cast<PFN_CreateKey>(resolve(kOrdCreateKey));
    m_pfnOpenKey = reinterpret_cast<PFN_OpenKey>(resolve(kOrdOpenKey));
    m_pfnOrdinal6 = resolve(kOrdUnused6);
    m_pfnCloseKey = reinterpret_cast<PFN_CloseKey>(resolve(kOrdCloseKey));
    m_pfnOrdinal9 = resolve(kOrdUnused9);
    m_pfnQueryValue = reinterpret_cast<PFN_QueryValue>(resolve(kOrdQueryValue));
    m_pfnOrdinal13 = resolve(kOrdUnused13);
    m_pfnSetValue = reinterpret_cast<PFN_SetValue>(resolve(kOrdSetValue));
    m_pfnOrdinal17 = resolve(kOrdUnused17);
    m_pfnOrdinal19 = resolve(kOrdUnused19);
    m_pfnOrdinal20 = resolve(kOrdUnused20);
    return S_OK;
}

LSTATUS CAUDFWrapper::CreateKey(LPCWSTR pszKeyPath, HKEY* phKey) const {
    if (m_pfnCreateKey == nullptr) return AUDF_FUNCTION_MISSING;
    return m_pfnCreateKey(HKEY_LOCAL_MACHINE, pszKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                          phKey, nullptr);
}

LSTATUS CAUDFWrapper::OpenKey(LPCWSTR pszKeyPath, REGSAM samDesired, HKEY* phKey) const {
    if (m_pfnOpenKey == nullptr) return AUDF_FUNCTION_MISSING;
    return m_pfnOpenKey(HKEY_LOCAL_MACHINE, pszKeyPath, 0, samDesired, phKey);
}

LSTATUS CAUDFWrapper::CloseKey(HKEY hKey) const {
    if (m_pfnCloseKey == nullptr) return AUDF_FUNCTION_MISSING;
    return m_pfnCloseKey(hKey);
}

LSTATUS CAUDFWrapper::QueryValue(HKEY hKey, LPCWSTR pszName, LPBYTE pData, LPDWORD pcbData) const {
    if (m_pfnQueryValue == nullptr) return AUDF_FUNCTION_MISSING;
    return m_pfnQueryValue(hKey, pszName, nullptr, nullptr, pData, pcbData);
}

LSTATUS CAUDFWrapper::SetValue(HKEY hKey, LPCWSTR pszName, DWORD dwType, const BYTE* pData, DWORD cbData) const {
    if (m_pfnSetValue == nullptr) return AUDF_FUNCTION_MISSING;
    return m_pfnSetValue(hKey, pszName, 0, dwType, pData, cbData);
}

// BuildQueueKey: "%s\%s\%s" of the store root, the driver name and the queue identifier.
bool CAUDFWrapper::BuildQueueKey(LPCWSTR pszDriverName, LPCWSTR pszQueueGUID, std::u16string& strKey) {
    if (pszDriverName == nullptr || pszQueueGUID == nullptr) return false;
    size_t cchDriver = BoundedLength(pszDriverName, MAX_PATH + 1);
    size_t cchGUID = BoundedLength(pszQueueGUID, MAX_PATH + 1);
    size_t cchRoot = sizeof(kStoreRoot) / sizeof(WCHAR) - 1;
    if (cchRoot + 1 + cchDriver + 1 + cchGUID > MAX_PATH - 1) return false;  // room for the zero
    strKey.assign(kStoreRoot);
    strKey += u'\\';
    strKey.append(pszDriverName, cchDriver);
    strKey += u'\\';
    strKey.append(pszQueueGUID, cchGUID);
    return true;
}
