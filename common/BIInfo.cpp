// BIInfo: the printer context (see BIInfo.h).
#include "common/BIInfo.h"

#include "common/CQueueHolder.h"
#include "common/CRegistry.h"

#include <new>
#include <string>
#include <string_view>

namespace {

// Printer data of the queue.
constexpr WCHAR kQueueGUIDValue[] = u"KDPQGUID";
constexpr WCHAR kPCLPriorityValue[] = u"PCLPriority";
// The driver's registry key: this prefix + the driver name.
constexpr WCHAR kDriverKeyPrefix[] = u"SOFTWARE\\KELDA\\PRINTER\\";
// The maker's folder under common application data.
constexpr WCHAR kMakerFolder[] = u"KELDA";
// The queue's CFGX file, looked for in the driver's folder under common application data.
constexpr WCHAR kCFXPattern[] = u"K_*.CFX";
// Sections and keys of the driver's data file.
constexpr WCHAR kSectionDriverData[] = u"PrinterDriverData";
constexpr WCHAR kSectionCommonInfo[] = u"CommonDrvInfo";
constexpr WCHAR kKeyTransportModule[] = u"ZKAPIB6Name";
constexpr WCHAR kKeyNetworkModule[] = u"ZKPNET6Name";
constexpr WCHAR kKeyUIModule[] = u"UIModule";
// The maker's modules beside the library, for discovery without a queue.
constexpr WCHAR kTransportModuleFile[] = u"ZKAPI7x64.Dll";
constexpr WCHAR kNetworkModuleFile[] = u"ZKNETx64.DLL";

// The level of the spooler's driver description, and a sanity bound on its size.
constexpr DWORD kDriverInfoLevel = 2;
constexpr DWORD kMaxDriverInfo = 1024u * 1024u;
// StringFromGUID2 output: 38 characters plus the terminator; stored without the terminator.
constexpr int kGuidTextChars = 38;
constexpr int kGuidBufferChars = 39;

// Length of a zero-terminated text, reading at most limit characters.
size_t BoundedLength(LPCWSTR text, size_t limit) {
    size_t n = 0;
    while (n < limit && text[n] != 0) ++n;
    return n;
}

// Copies text into buffer; FALSE (buffer left empty) when it does not fit with its terminator.
BOOL CopyFits(std::u16string_view text, LPWSTR buffer, DWORD cchBuffer) {
    if (buffer == nullptr || cchBuffer == 0) return FALSE;
    if (text.size() >= cchBuffer) {
        buffer[0] = 0;
        return FALSE;
    }
    text.copy(buffer, text.size());
    buffer[text.size()] = 0;
    return TRUE;
}

// The machine's common application-data folder, or empty.
std::u16string CommonAppDataFolder() {
    WCHAR path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_COMMON_APPDATA, FALSE)) return std::u16string();
    return std::u16string(path, BoundedLength(path, MAX_PATH));
}

// An INI value of the driver's data file (empty when missing).
std::u16string ReadDataFileValue(LPCWSTR dataFile, LPCWSTR section, LPCWSTR key) {
    WCHAR value[MAX_PATH] = {};
    GetPrivateProfileStringW(section, key, u"", value, MAX_PATH, dataFile);
    return std::u16string(value, BoundedLength(value, MAX_PATH));
}

// Anchor for finding the library's own file.
void ModuleAnchor() {}

}  // namespace

BOOL BIInfo::Build(LPCWSTR printerName, DWORD flags) {
    try {
        m_pDriverInfo.reset();
        m_szModuleFolder[0] = 0;
        if (printerName != nullptr) return BuildForQueue(printerName, flags);
        BuildModuleFolder();
        return TRUE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

// Queue name, driver description and queue identifier, from the spooler.
BOOL BIInfo::BuildForQueue(LPCWSTR printerName, DWORD flags) {
    size_t length = BoundedLength(printerName, kPrinterNameChars - 1);
    std::u16string_view(printerName, length).copy(m_szPrinterName, length);
    m_szPrinterName[length] = 0;

    CQueueHolder queue;
    if (queue.Open(m_szPrinterName)) {
        DWORD needed = 0;
        if (!GetPrinterDriverW(queue.Handle(), nullptr, kDriverInfoLevel, nullptr, 0, &needed) &&
            GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed >= sizeof(DRIVER_INFO_2W) &&
            needed <= kMaxDriverInfo) {
            auto info = std::make_unique<BYTE[]>(needed);
            DWORD used = 0;
            if (GetPrinterDriverW(queue.Handle(), nullptr, kDriverInfoLevel, info.get(), needed, &used)) {
                m_pDriverInfo = std::move(info);
            }
        }
        ReadOrCreateQueueGUID(queue.Handle(), flags);
    }
    m_szDriverDirectory[0] = 0;
    return TRUE;
}

// The folder of the library's own file, with its trailing backslash; empty when unknown.
BOOL BIInfo::BuildModuleFolder() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ModuleAnchor), &self)) {
        return FALSE;
    }
    WCHAR path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FALSE;  // a cut path would name another folder
    std::u16string_view file(path, length);
    size_t slash = file.rfind(u'\\');
    if (slash == std::u16string_view::npos) return FALSE;
    return CopyFits(file.substr(0, slash + 1), m_szModuleFolder, MAX_PATH);
}

// Reads "KDPQGUID"; when the queue has none and flag bit 0 is set, creates one and stores it as
// REG_SZ without its terminator (76 bytes), then reads it back. Failures leave the field empty.
void BIInfo::ReadOrCreateQueueGUID(HANDLE hPrinter, DWORD flags) {
    constexpr DWORD kCreateGUIDFlag = 0x1;
    if (ReadQueueGUID(hPrinter)) return;
    if ((flags & kCreateGUIDFlag) == 0) return;

    GUID guid = {};
    if (CoCreateGuid(&guid) != S_OK) return;
    WCHAR text[kGuidBufferChars] = {};
    if (StringFromGUID2(guid, text, kGuidBufferChars) != kGuidBufferChars) return;
    if (SetPrinterDataW(hPrinter, const_cast<LPWSTR>(kQueueGUIDValue), REG_SZ, reinterpret_cast<LPBYTE>(text),
                        kGuidTextChars * sizeof(WCHAR)) != ERROR_SUCCESS) {
        return;
    }
    ReadQueueGUID(hPrinter);
}

// The stored value need not be terminated: read at most the field's bytes and terminate.
BOOL BIInfo::ReadQueueGUID(HANDLE hPrinter) {
    WCHAR value[kGuidChars] = {};
    DWORD type = 0;
    DWORD needed = 0;
    if (GetPrinterDataW(hPrinter, const_cast<LPWSTR>(kQueueGUIDValue), &type, reinterpret_cast<LPBYTE>(value),
                        sizeof(value), &needed) != ERROR_SUCCESS ||
        needed > sizeof(value)) {
        m_szQueueGUID[0] = 0;
        return FALSE;
    }
    value[kGuidChars - 1] = 0;
    size_t length = BoundedLength(value, kGuidChars - 1);
    std::u16string_view(value, length).copy(m_szQueueGUID, length);
    m_szQueueGUID[length] = 0;
    return TRUE;
}

const DRIVER_INFO_2W* BIInfo::GetDriverInfo() const {
    return reinterpret_cast<const DRIVER_INFO_2W*>(m_pDriverInfo.get());
}

LPCWSTR BIInfo::GetDriverName() const {
    const DRIVER_INFO_2W* info = GetDriverInfo();
    return info ? info->pName : nullptr;
}

void BIInfo::SetDriverModelName(LPCWSTR modelName) {
    m_szDriverModelName[0] = 0;
    if (modelName == nullptr) return;
    size_t length = BoundedLength(modelName, kModelNameChars - 1);
    std::u16string_view(modelName, length).copy(m_szDriverModelName, length);
    m_szDriverModelName[length] = 0;
}

// The data file's folder, computed once. A data file path that does not fit a path buffer, or
// has no folder, gives no driver directory.
BOOL BIInfo::ComputeDriverDirectory() {
    if (m_szDriverDirectory[0] != 0) return TRUE;
    const DRIVER_INFO_2W* info = GetDriverInfo();
    if (info == nullptr || info->pDataFile == nullptr) return FALSE;
    size_t length = BoundedLength(info->pDataFile, MAX_PATH);
    if (length >= MAX_PATH) return FALSE;
    std::u16string_view file(info->pDataFile, length);
    size_t slash = file.rfind(u'\\');
    if (slash == std::u16string_view::npos) return FALSE;
    return CopyFits(file.substr(0, slash), m_szDriverDirectory, MAX_PATH);
}

BOOL BIInfo::GetPath(DWORD kind, LPWSTR buffer, DWORD cchBuffer) {
    if (buffer == nullptr || cchBuffer == 0) return FALSE;
    try {
        if (GetDriverInfo() != nullptr) return GetPathWithDriver(kind, buffer, cchBuffer);
        return GetPathWithoutDriver(kind, buffer, cchBuffer);
    } catch (const std::bad_alloc&) {
        buffer[0] = 0;
        return FALSE;
    }
}

// Paths of a context with a driver: the driver's files and the maker's per-driver folders.
BOOL BIInfo::GetPathWithDriver(DWORD kind, LPWSTR buffer, DWORD cchBuffer) {
    const DRIVER_INFO_2W* info = GetDriverInfo();
    LPCWSTR driverName = info->pName ? info->pName : u"";
    switch (kind) {
    case DataFile:
        if (info->pDataFile == nullptr) return FALSE;
        return CopyFits(std::u16string_view(info->pDataFile, BoundedLength(info->pDataFile, MAX_PATH)), buffer,
                        cchBuffer);
    case DriverDirectory:
        if (!ComputeDriverDirectory()) return FALSE;
        return CopyFits(m_szDriverDirectory, buffer, cchBuffer);
    case TransportModule:
    case NetworkModule:
    case UIModule: {
        if (!ComputeDriverDirectory()) return FALSE;
        LPCWSTR section = kind == UIModule ? kSectionCommonInfo : kSectionDriverData;
        LPCWSTR key = kind == TransportModule ? kKeyTransportModule
                      : kind == NetworkModule ? kKeyNetworkModule
                                              : kKeyUIModule;
        std::u16string path = m_szDriverDirectory;
        path += u'\\';
        path += ReadDataFileValue(info->pDataFile, section, key);
        return CopyFits(path, buffer, cchBuffer);
    }
    case CommonAppData: {
        std::u16string folder = CommonAppDataFolder();
        if (folder.empty()) return FALSE;
        return CopyFits(folder, buffer, cchBuffer);
    }
    case CFXFolder: {
        // The driver's shared folder when it holds a CFGX file, else the driver directory.
        std::u16string appData = CommonAppDataFolder();
        if (!appData.empty()) {
            std::u16string folder = appData + u"\\" + kMakerFolder + u"\\" + driverName;
            std::u16string pattern = folder + u"\\" + kCFXPattern;
            if (pattern.size() < MAX_PATH) {
                WIN32_FIND_DATAW found = {};
                HANDLE search = FindFirstFileW(pattern.c_str(), &found);
                if (search != INVALID_HANDLE_VALUE) {
                    FindClose(search);
                    if (CopyFits(folder, buffer, cchBuffer)) return TRUE;
                }
            }
        }
        if (!ComputeDriverDirectory()) return FALSE;
        return CopyFits(m_szDriverDirectory, buffer, cchBuffer);
    }
    case WorkFolder: {
        // Created when missing (last level only; a failure to create is not a failure here).
        std::u16string appData = CommonAppDataFolder();
        if (appData.empty()) return FALSE;
        std::u16string folder = appData + u"\\" + kMakerFolder + u"\\" + driverName + u"\\" + m_szQueueGUID;
        if (!CopyFits(folder, buffer, cchBuffer) || folder.size() >= MAX_PATH) {
            buffer[0] = 0;
            return FALSE;
        }
        if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) CreateDirectoryW(folder.c_str(), nullptr);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

// Paths of a discovery-only context: everything lives beside the library.
BOOL BIInfo::GetPathWithoutDriver(DWORD kind, LPWSTR buffer, DWORD cchBuffer) const {
    if (m_szModuleFolder[0] == 0) return FALSE;
    std::u16string path = m_szModuleFolder;
    switch (kind) {
    case DataFile:
    case DriverDirectory:
        return FALSE;
    case TransportModule:
        path += kTransportModuleFile;
        break;
    case NetworkModule:
        path += kNetworkModuleFile;
        break;
    default:
        break;
    }
    return CopyFits(path, buffer, cchBuffer);
}

BOOL BIInfo::IsPCLPriority() const {
    LPCWSTR driverName = GetDriverName();
    if (driverName == nullptr) return FALSE;

    CQueueHolder queue;
    if (queue.Open(m_szPrinterName)) {
        DWORD value = 0;
        DWORD type = 0;
        DWORD needed = 0;
        if (GetPrinterDataW(queue.Handle(), const_cast<LPWSTR>(kPCLPriorityValue), &type,
                            reinterpret_cast<LPBYTE>(&value), sizeof(value), &needed) == ERROR_SUCCESS) {
            return value != 0 ? TRUE : FALSE;
        }
    }

    std::u16string key;
    try {
        key = kDriverKeyPrefix;
        key += std::u16string_view(driverName, BoundedLength(driverName, MAX_PATH));
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    CRegistry driverKey;
    if (driverKey.Open(HKEY_LOCAL_MACHINE, key.c_str(), KEY_READ) != ERROR_SUCCESS) return FALSE;
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = 0;
    LSTATUS status = driverKey.QueryValue(kPCLPriorityValue, &type, reinterpret_cast<LPBYTE>(&value), &size);
    return status == ERROR_SUCCESS && value != 0 ? TRUE : FALSE;
}
