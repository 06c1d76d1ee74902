// The CFGX module's view of a print queue: printer data and the work folder's compiled files.
#include "modules/cfgx/CfgxQueue.h"

#include "modules/cfgx/kdcfgx.h"
#include "modules/cfgx/CfgxFiles.h"
#include "platform/win32.h"
#ifndef _WIN32
#include "platform/prefix.h"
#endif

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace cfgx_queue {

namespace {

constexpr WCHAR kValueCustomVersion[] = u"KDCFGXCustomVersion";
constexpr WCHAR kValueFileVersion[] = u"KDCFGXFileVersion";
constexpr WCHAR kValueUpdateMode[] = u"KDCFGXUpdateMode";
constexpr WCHAR kValueUpdateKind[] = u"KDCFGXUpdateKind";
constexpr WCHAR kValueBinaryResID[] = u"KDCFGXBinaryResID";
constexpr WCHAR kValueCFGXResID[] = u"KDCFGXCFGXResID";
constexpr WCHAR kValueModelName[] = u"KDCFGXModelName";
constexpr WCHAR kValueModelInfoBits[] = u"KDCFGXModelInfoBits";
constexpr WCHAR kValueSupportPDL[] = u"KDCFGXSupportPDL";
constexpr WCHAR kValueOptionUnitBits[] = u"KDCFGXOptionUnitBits";
constexpr WCHAR kValueCassetteNum[] = u"KDCFGXCassetteNum";
constexpr WCHAR kValueCassettes[] = u"KDCFGXCassettes";
constexpr WCHAR kValueInstalledMemory[] = u"KDCFGXInstalledMemory";
constexpr WCHAR kValueDefaultPDL[] = u"KDCFGXDefaultPDL";
constexpr WCHAR kValueUserDefMaxMin[] = u"KDCFGXUserDefMaxMin";
constexpr WCHAR kValueQueueGUID[] = u"KDPQGUID";

// Element mask bits of VANTO_PRINTER_INFO that select the fields written.
constexpr uint64_t kMaskModelName = 0x1;
constexpr uint64_t kMaskModelInfoBits = 0x2;
constexpr uint64_t kMaskSupportPDL = 0x4;
constexpr uint64_t kMaskOptionUnits = 0x8 | 0xF00000000ull;
constexpr uint64_t kMaskCassettes = 0x10;
constexpr uint64_t kMaskInstalledMemory = 0x40;
constexpr uint64_t kMaskDefaultPDL = 0x200;
constexpr uint64_t kMaskUserDefMaxMin = 0x1000;

constexpr WCHAR kMakerFolder[] = u"KELDA";
constexpr WCHAR kBinPattern[] = u"K_*.CFB";
constexpr DWORD kMaxGuidBytes = 96;  // the queue identifier as the library reads it

// An open queue, closed when the holder goes.
class Queue {
public:
    Queue(const std::u16string& name, DWORD access) : m_name(name) {
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
        if (!OpenPrinterW(m_name.data(), &m_handle, &defaults)) m_handle = nullptr;
    }
    ~Queue() {
        if (m_handle != nullptr) ClosePrinter(m_handle);
    }
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    std::u16string m_name;
    HANDLE m_handle = nullptr;
};

bool SetDword(HANDLE h, const WCHAR* name, uint32_t value) {
    return SetPrinterDataW(h, const_cast<LPWSTR>(name), REG_DWORD, reinterpret_cast<LPBYTE>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

bool SetText(HANDLE h, const WCHAR* name, std::u16string text) {
    const auto cb = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
    return SetPrinterDataW(h, const_cast<LPWSTR>(name), REG_SZ, reinterpret_cast<LPBYTE>(text.data()), cb) ==
           ERROR_SUCCESS;
}

bool SetBinary(HANDLE h, const WCHAR* name, const void* data, DWORD cb) {
    static BYTE empty = 0;
    LPBYTE bytes = cb == 0 ? &empty : static_cast<LPBYTE>(const_cast<void*>(data));
    return SetPrinterDataW(h, const_cast<LPWSTR>(name), REG_BINARY, bytes, cb) == ERROR_SUCCESS;
}

// A name used as one folder level: no separators, not "." or "..", nothing a hostile value
// could use to reach another folder.
bool SafeFolderName(std::u16string_view name) {
    if (name.empty() || name == u"." || name == u"..") return false;
    for (char16_t c : name)
        if (c == u'\\' || c == u'/' || c == u':' || c < 0x20) return false;
    return true;
}

// The model name of the record: up to its first zero, never past its 64 units.
std::u16string ModelName(const VANTO_PRINTER_INFO& record) {
    size_t n = 0;
    while (n < std::size(record.szModelName) && record.szModelName[n] != 0) ++n;
    return std::u16string(record.szModelName, n);
}

}  // namespace

bool QueueExists(const std::u16string& queue) { return Queue(queue, PRINTER_ACCESS_USE).Get() != nullptr; }

int32_t ReadCustomVersion(const std::u16string& queue, uint32_t& version) {
    Queue q(queue, PRINTER_ACCESS_USE);
    if (q.Get() == nullptr) return KD_CFGX_ERR_PRINTER;
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD cb = 0;
    const DWORD status = GetPrinterDataW(q.Get(), const_cast<LPWSTR>(kValueCustomVersion), &type,
                                         reinterpret_cast<LPBYTE>(&value), sizeof value, &cb);
    // A value of another type or size is not ours to trust: count it as none.
    version = status == ERROR_SUCCESS && type == REG_DWORD && cb == sizeof value ? value : 0;
    return KD_CFGX_OK;
}

int32_t WriteCustomVersion(const std::u16string& queue, uint32_t version) {
    Queue q(queue, PRINTER_ALL_ACCESS);
    if (q.Get() == nullptr) return KD_CFGX_ERR_PRINTER;
    return SetDword(q.Get(), kValueCustomVersion, version) ? KD_CFGX_OK : KD_CFGX_ERR_PRINTER;
}

int32_t WriteRegistryData(const std::u16string& queue, uint32_t mode, const VANTO_PRINTER_INFO& record,
                          const cfx::CfxFile& file) {
    if (mode != KD_CFGX_REGUPDATE_FULL && mode != KD_CFGX_REGUPDATE_RECORD_ONLY && mode != KD_CFGX_REGUPDATE_REPLACE)
        return KD_CFGX_ERR_BAD_ARGUMENT;
    Queue q(queue, PRINTER_ALL_ACCESS);
    if (q.Get() == nullptr) return KD_CFGX_ERR_PRINTER;
    const HANDLE h = q.Get();
    const bool replace = mode == KD_CFGX_REGUPDATE_REPLACE;
    const uint64_t mask = record.ullElementMask;
    bool ok = SetDword(h, kValueUpdateMode, mode) && SetDword(h, kValueUpdateKind, record.dwRegistryUpdateKind) &&
              SetDword(h, kValueBinaryResID, record.dwBinaryResourceID) &&
              SetDword(h, kValueCFGXResID, record.dwCFGXResourceID);

    // One numeric field: its value when the mask selects it, 0 in replace mode, else untouched.
    auto number = [&](uint64_t bits, const WCHAR* name, uint32_t value) {
        if (!ok) return;
        if (mask & bits) ok = SetDword(h, name, value);
        else if (replace) ok = SetDword(h, name, 0);
    };
    if (ok && (mask & kMaskModelName)) ok = SetText(h, kValueModelName, ModelName(record));
    else if (ok && replace) ok = SetText(h, kValueModelName, u"");
    number(kMaskModelInfoBits, kValueModelInfoBits, record.dwModelInfoBits);
    number(kMaskSupportPDL, kValueSupportPDL, record.dwSupportPDLBits);
    number(kMaskOptionUnits, kValueOptionUnitBits, record.dwOptionUnitBits);
    number(kMaskInstalledMemory, kValueInstalledMemory, record.dwInstalledMemory);
    number(kMaskDefaultPDL, kValueDefaultPDL, record.dwDefaultPDLBits);
    if (ok && ((mask & kMaskCassettes) || replace)) {
        // The count is the caller's: only the record's eight slots exist, a negative count is none.
        const int32_t wanted = (mask & kMaskCassettes) ? record.nCassetteNum : 0;
        const uint32_t n = wanted < 0 ? 0 : wanted > VANTO_PRINTER_INFO_CASSETTES ? VANTO_PRINTER_INFO_CASSETTES
                                                                                  : static_cast<uint32_t>(wanted);
        ok = SetDword(h, kValueCassetteNum, n) &&
             SetBinary(h, kValueCassettes, record.stCassette, n * static_cast<DWORD>(sizeof(VANTO_CASETTE_INFO)));
    }
    if (ok && (mask & kMaskUserDefMaxMin))
        ok = SetBinary(h, kValueUserDefMaxMin, &record.stUserDefMaxMin, sizeof record.stUserDefMaxMin);
    else if (ok && replace)
        ok = SetBinary(h, kValueUserDefMaxMin, nullptr, 0);

    if (ok && mode != KD_CFGX_REGUPDATE_RECORD_ONLY)
        ok = SetText(h, kValueFileVersion, cfx::ToUtf16(file.version)) &&
             SetDword(h, kValueCustomVersion, file.customVersion);
    return ok ? KD_CFGX_OK : KD_CFGX_ERR_PRINTER;
}

int32_t DeleteBinFiles(const std::u16string& queue) {
    Queue q(queue, PRINTER_ACCESS_USE);
    if (q.Get() == nullptr) return KD_CFGX_ERR_PRINTER;

    // The driver's name, from the spooler's level-2 description.
    DWORD needed = 0;
    GetPrinterDriverW(q.Get(), nullptr, 2, nullptr, 0, &needed);
    if (needed < sizeof(DRIVER_INFO_2W) || needed > 1024 * 1024) return KD_CFGX_ERR_PRINTER;
    std::vector<BYTE> info(needed);
    if (!GetPrinterDriverW(q.Get(), nullptr, 2, info.data(), needed, &needed)) return KD_CFGX_ERR_PRINTER;
    DRIVER_INFO_2W driver{};
    std::memcpy(&driver, info.data(), sizeof driver);
    if (driver.pName == nullptr || !SafeFolderName(driver.pName)) return KD_CFGX_ERR_PRINTER;

    WCHAR guid[kMaxGuidBytes / sizeof(WCHAR) + 1] = {};
    DWORD type = REG_NONE;
    DWORD cb = 0;
    if (GetPrinterDataW(q.Get(), const_cast<LPWSTR>(kValueQueueGUID), &type, reinterpret_cast<LPBYTE>(guid),
                        kMaxGuidBytes, &cb) != ERROR_SUCCESS ||
        type != REG_SZ)
        guid[0] = 0;
    if (guid[0] != 0 && !SafeFolderName(guid)) return KD_CFGX_ERR_PRINTER;

    WCHAR appData[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, appData, CSIDL_COMMON_APPDATA, FALSE)) return KD_CFGX_ERR_PRINTER;
    std::u16string folder = std::u16string(appData) + u"\\" + kMakerFolder + u"\\" + driver.pName;
    if (guid[0] != 0) folder += u"\\" + std::u16string(guid);

    WIN32_FIND_DATAW found{};
    const std::u16string pattern = folder + u"\\" + kBinPattern;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return KD_CFGX_OK;  // no folder or no such file: nothing to delete
    int32_t result = KD_CFGX_OK;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        auto path = NativePath(folder + u"\\" + found.cFileName);
        if (!path || !cfgx_files::RemoveFile(*path)) result = KD_CFGX_ERR_IO;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return result;
}

std::optional<std::string> NativePath(std::u16string_view windowsPath) {
#ifdef _WIN32
    const int length = static_cast<int>(std::min<size_t>(windowsPath.size(), INT32_MAX));
    const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, windowsPath.data(), length, nullptr, 0,
                                          nullptr, nullptr);
    if (bytes <= 0) return std::nullopt;
    std::string path(static_cast<size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, windowsPath.data(), length, path.data(), bytes, nullptr,
                            nullptr) != bytes)
        return std::nullopt;
    return path;
#else
    return vplat::ToLinuxPath(windowsPath);
#endif
}

}  // namespace cfgx_queue
