// CBITableData: locating, reading, checking and decoding a binary resource file, the overlay of
// stored paper settings, the row filter and the lookups.
#include "tables/CBITableData.h"

#include "common/BILogging.h"
#include "common/CAUDFWrapper.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

namespace L = BITableLayout;

namespace {

constexpr WCHAR kSectionDependDrvInfo[] = u"DependDrvInfo";
constexpr char kKeyBinaryResFileID[] = "BinaryResFileID";
constexpr DWORD kFallbackResourceID = 0;           // "BinaryResFileID000"
constexpr DWORD kQueueGUIDBytes = 96;              // "KDPQGUID" read capacity
constexpr DWORD kMaxRowsPerTable = 0xFFFF;         // IDs are 16-bit: more rows are inconsistent
constexpr DWORD kMaxStoredPaperEntries = 0xFFFF;
constexpr LONG kNoSubPaperType = 999;              // code that never has a sub paper type
constexpr size_t kMaxNameBytes = 1024;             // bound of a name handed to a lookup

// Stored values read for the overlay.
constexpr DWORD kStoreFlagDirections = 0x4;        // "BIPaperSizeIDs" carries paper directions
constexpr WORD kNoDirection = 2;                   // stored direction: none reported

// Name-match mask bits of paper rows: a match only on 0x100 needs one of the widening bits too.
constexpr DWORD kNameMatchRestricted = 0x100;
constexpr DWORD kNameMatchWidening = 0x200 | 0x400 | 0x800;

constexpr std::string_view kLandscape = "Landscape";
constexpr std::string_view kPortrait = "Portrait";

// Paper names with an orientation and the plain name each stands for.
struct OrientationName {
    const char* pszWithOrientation;
    const char* pszPlain;
};
constexpr OrientationName kOrientationNames[] = {
    {"A4 Portrait", "A4"},
    {"A4 Landscape", "A4"},
    {"B5 Portrait", "B5"},
    {"B5 Landscape", "B5"},
    {"LT Portrait", "Letter"},
    {"LT Landscape", "Letter"},
    {"Letter Portrait", "Letter"},
    {"Letter Landscape", "Letter"},
    {"A5 Portrait", "A5"},
    {"A5 Landscape", "A5"},
    {"B4 Portrait", "B4"},
    {"B4 Landscape", "B4"},
    {"16K 195 x 270 mm Portrait", "16K 195 x 270 mm"},
    {"16K 195 x 270 mm Landscape", "16K 195 x 270 mm"},
};

// ---- Bounded little-endian reads; callers have checked that the field lies inside `b`. ----
WORD U16(std::span<const BYTE> b, size_t off) { return static_cast<WORD>(b[off] | (b[off + 1] << 8)); }
DWORD U32(std::span<const BYTE> b, size_t off) {
    return static_cast<DWORD>(b[off]) | (static_cast<DWORD>(b[off + 1]) << 8) |
           (static_cast<DWORD>(b[off + 2]) << 16) | (static_cast<DWORD>(b[off + 3]) << 24);
}
// A text field: up to its first zero byte, never beyond `width` bytes or the row.
std::string Text(std::span<const BYTE> row, size_t off, size_t width) {
    if (off >= row.size()) return {};
    width = std::min(width, row.size() - off);
    const BYTE* p = row.data() + off;
    const BYTE* end = std::find(p, p + width, BYTE{0});
    return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p));
}

bool NameMaskMatches(WORD wRowFlags, DWORD dwMask) {
    if (dwMask == 0) return true;
    DWORD m = wRowFlags & dwMask;
    if (m == 0) return false;
    return (m & kNameMatchRestricted) == 0 || (m & kNameMatchWidening) != 0;
}

bool CodeMaskMatches(WORD wRowFlags, DWORD dwMask) { return dwMask == 0 || (wRowFlags & dwMask) != 0; }

bool EqualsIgnoreCaseASCII(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

size_t BoundedLength(LPCWSTR psz, size_t cchMax) {
    size_t n = 0;
    while (n < cchMax && psz[n] != 0) ++n;
    return n;
}

// A directory entry, checked against the file.
struct TableSpan {
    DWORD dwID = 0;
    DWORD dwRowSize = 0;
    DWORD dwRowCount = 0;
    DWORD dwOffset = 0;
    std::span<const BYTE> Row(std::span<const BYTE> file, DWORD i) const {
        return file.subspan(dwOffset + static_cast<size_t>(i) * dwRowSize, dwRowSize);
    }
};

// The smallest row that holds every field read from a table; 1 for tables whose rows are kept raw.
size_t MinRowSize(DWORD dwTableID) {
    switch (dwTableID) {
        case L::kTablePaperType: return L::kPTMinRowSize;
        case L::kTablePaperSize: return L::kPSMinRowSize;
        case L::kTablePaperSource: return L::kSrcMinRowSize;
        case L::kTableQuality: return L::kQMinRowSize;
        case L::kTableModel: return L::kMMinRowSize;
        case L::kTableSystemOEM: return L::kOEMRowSize;
        default: return 1;
    }
}

// ---- Platform handles ----
struct PrinterCloser {
    void operator()(HANDLE h) const { ClosePrinter(h); }
};
using UniquePrinter = std::unique_ptr<void, PrinterCloser>;
struct FileCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using UniqueFile = std::unique_ptr<void, FileCloser>;

UniquePrinter OpenQueue(LPCWSTR pszPrinterName) {
    std::u16string strName(pszPrinterName, BoundedLength(pszPrinterName, 1023));
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    if (!OpenPrinterW(strName.data(), &h, &defaults) || h == nullptr) return UniquePrinter();
    return UniquePrinter(h);
}

// The level-2 driver description of an open queue, or empty.
std::vector<BYTE> QueryDriverInfo(HANDLE hPrinter) {
    DWORD cbNeeded = 0;
    if (GetPrinterDriverW(hPrinter, nullptr, 2, nullptr, 0, &cbNeeded) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
        cbNeeded < sizeof(DRIVER_INFO_2W))
        return {};
    std::vector<BYTE> buffer(cbNeeded, 0);
    if (!GetPrinterDriverW(hPrinter, nullptr, 2, buffer.data(), cbNeeded, &cbNeeded)) return {};
    return buffer;
}

// Folder of a file path, with its trailing backslash (empty when the path has none).
std::u16string FolderOf(const std::u16string& strPath) {
    size_t pos = strPath.find_last_of(u"\\/");
    return pos == std::u16string::npos ? std::u16string() : strPath.substr(0, pos + 1);
}

std::u16string ResourceKey(DWORD dwResourceID) {
    char szDigits[16];
    std::snprintf(szDigits, sizeof(szDigits), "%03u", static_cast<unsigned>(dwResourceID));
    std::u16string strKey;
    for (const char* p = kKeyBinaryResFileID; *p; ++p) strKey += static_cast<char16_t>(*p);
    for (const char* p = szDigits; *p; ++p) strKey += static_cast<char16_t>(*p);
    return strKey;
}

std::u16string ReadDependKey(const std::u16string& strDataFile, DWORD dwResourceID) {
    std::u16string strValue(MAX_PATH, u'\0');
    std::u16string strKey = ResourceKey(dwResourceID);
    DWORD cch = GetPrivateProfileStringW(kSectionDependDrvInfo, strKey.c_str(), u"", strValue.data(), MAX_PATH,
                                         strDataFile.c_str());
    strValue.resize(std::min<DWORD>(cch, MAX_PATH - 1));
    return strValue;
}

// Reads a whole file of at most kMaxFileSize bytes; empty on any failure.
std::vector<BYTE> ReadWholeFile(const std::u16string& strPath) {
    HANDLE h = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        BI_LOG("#CBITableData: cannot open %s, error=%u\n", BILogging::Narrow(strPath.c_str()).c_str(), GetLastError());
        return {};
    }
    UniqueFile file(h);
    DWORD dwHigh = 0;
    DWORD dwSize = GetFileSize(h, &dwHigh);
    if (dwSize == INVALID_FILE_SIZE || dwHigh != 0 || dwSize == 0 || dwSize > L::kMaxFileSize) {
        BI_LOG("#CBITableData: file size %u not accepted\n", dwSize);
        return {};
    }
    std::vector<BYTE> data(dwSize);
    DWORD dwDone = 0;
    while (dwDone < dwSize) {
        DWORD dwRead = 0;
        if (!ReadFile(h, data.data() + dwDone, dwSize - dwDone, &dwRead, nullptr) || dwRead == 0) {
            BI_LOG("#CBITableData: read failed after %u of %u bytes\n", dwDone, dwSize);
            return {};
        }
        dwDone += dwRead;
    }
    return data;
}

// The stored paper-size entries of the queue when its store says they carry directions; empty
// when anything is missing (the overlay is then skipped).
std::vector<SBIPaperEntry> ReadStoredPaperSizes(HANDLE hPrinter, const std::u16string& strDataFile,
                                                const std::u16string& strDriverName) {
    WCHAR szGUIDName[] = u"KDPQGUID";
    WCHAR szGUID[kQueueGUIDBytes / sizeof(WCHAR) + 1] = {};
    DWORD dwType = 0;
    DWORD cbNeeded = 0;
    if (GetPrinterDataW(hPrinter, szGUIDName, &dwType, reinterpret_cast<LPBYTE>(szGUID), kQueueGUIDBytes, &cbNeeded) !=
        ERROR_SUCCESS)
        return {};

    CAUDFWrapper audf;
    if (audf.LoadAUDF(strDataFile.c_str()) != S_OK) return {};
    std::u16string strKey;
    if (!CAUDFWrapper::BuildQueueKey(strDriverName.c_str(), szGUID, strKey)) return {};
    HKEY hKey = nullptr;
    if (audf.OpenKey(strKey.c_str(), KEY_READ, &hKey) != ERROR_SUCCESS) return {};

    std::vector<SBIPaperEntry> entries;
    DWORD dwFlag = 0, dwNum = 0;
    DWORD cb = sizeof(dwFlag);
    bool bOk = audf.QueryValue(hKey, u"BIStoreFlag", reinterpret_cast<LPBYTE>(&dwFlag), &cb) == ERROR_SUCCESS &&
               (dwFlag & kStoreFlagDirections) != 0;
    cb = sizeof(dwNum);
    bOk = bOk && audf.QueryValue(hKey, u"BIPaperSizeNum", reinterpret_cast<LPBYTE>(&dwNum), &cb) == ERROR_SUCCESS &&
          dwNum != 0 && dwNum <= kMaxStoredPaperEntries;
    if (bOk) {
        entries.assign(dwNum, SBIPaperEntry{});
        cb = dwNum * sizeof(SBIPaperEntry);
        if (audf.QueryValue(hKey, u"BIPaperSizeIDs", reinterpret_cast<LPBYTE>(entries.data()), &cb) == ERROR_SUCCESS)
            entries.resize(std::min<size_t>(dwNum, cb / sizeof(SBIPaperEntry)));
        else
            entries.clear();
    }
    audf.CloseKey(hKey);
    return entries;
}

}  // namespace

void CBITableData::SetFlags(DWORD dwFlags, DWORD dwERDSwitch) {
    m_dwFlags = dwFlags;
    m_dwERDSwitch = dwERDSwitch;
}

void CBITableData::Clear() {
    m_wFormat = 0;
    m_wDirCount = 0;
    m_dwFileFlags = 0;
    m_bNumericForm = FALSE;
    m_vecPaperSize.clear();
    m_vecPaperType.clear();
    m_vecPaperSource.clear();
    m_vecTable3030.clear();
    m_vecQuality.clear();
    m_vecModel.clear();
    m_vecSystemOEM.clear();
}

// KeepRow: rows marked for a source are kept only for that source; unmarked rows always.
bool CBITableData::KeepRow(DWORD dwRowFlags) const {
    DWORD dwSource = dwRowFlags & L::kRowSourceMask;
    if (dwSource == 0) return true;
    return m_dwERDSwitch ? (dwSource & L::kRowSourceInstallTime) != 0 : (dwSource & L::kRowSourceLive) != 0;
}

// UpdateBinaryTable: finds the file of the resource ID through the data file ("BinaryResFileID"
// + three digits, else the 000 key), reads it, reads the store's paper overlay and loads.
BOOL CBITableData::UpdateBinaryTable(LPCWSTR pszPrinterName, DWORD dwResourceID) {
    BI_LOG("CBITableData::UpdateBinaryTable dwResourceID=%u\n", dwResourceID);
    if (pszPrinterName == nullptr) {
        BI_LOG("#CBITableData::UpdateBinaryTable printer name is null.\n");
        return FALSE;
    }
    Clear();
    try {
        UniquePrinter printer = OpenQueue(pszPrinterName);
        if (!printer) {
            BI_LOG("#CBITableData::UpdateBinaryTable cannot open the queue %s\n",
                   BILogging::Narrow(pszPrinterName).c_str());
            return FALSE;
        }
        std::vector<BYTE> driverInfo = QueryDriverInfo(printer.get());
        if (driverInfo.empty()) {
            BI_LOG("#CBITableData::UpdateBinaryTable GetPrinterDriverW failed.\n");
            return FALSE;
        }
        const auto* pInfo = reinterpret_cast<const DRIVER_INFO_2W*>(driverInfo.data());
        if (pInfo->pDataFile == nullptr || pInfo->pName == nullptr) return FALSE;
        std::u16string strDataFile(pInfo->pDataFile, BoundedLength(pInfo->pDataFile, MAX_PATH - 1));
        std::u16string strDriverName(pInfo->pName, BoundedLength(pInfo->pName, MAX_PATH - 1));

        std::u16string strFileName = ReadDependKey(strDataFile, dwResourceID);
        if (strFileName.empty()) strFileName = ReadDependKey(strDataFile, kFallbackResourceID);
        if (strFileName.empty()) {
            BI_LOG("#CBITableData::UpdateBinaryTable no BinaryResFileID for %u\n", dwResourceID);
            return FALSE;
        }
        std::u16string strPath = FolderOf(strDataFile) + strFileName;
        BI_LOG("CBITableData::UpdateBinaryTable file=%s\n", BILogging::Narrow(strPath.c_str()).c_str());
        std::vector<BYTE> file = ReadWholeFile(strPath);
        if (file.empty()) return FALSE;

        std::vector<SBIPaperEntry> overlay = ReadStoredPaperSizes(printer.get(), strDataFile, strDriverName);
        printer.reset();
        return LoadFromMemory(file, overlay);
    } catch (const std::bad_alloc&) {
        BI_LOG("#CBITableData::UpdateBinaryTable out of memory.\n");
        Clear();
        return FALSE;
    }
}

// LoadFromMemory: checks the header, the directory and every table against the file, then decodes the
// first table of each known ID into its list (row filter and overlay applied). Any check that
// fails leaves everything empty.
BOOL CBITableData::LoadFromMemory(std::span<const BYTE> file, std::span<const SBIPaperEntry> overlay) {
    Clear();
    try {
        if (LoadChecked(file, overlay)) return TRUE;
    } catch (const std::bad_alloc&) {
        BI_LOG("#CBITableData::LoadFromMemory out of memory.\n");
    }
    Clear();
    return FALSE;
}

bool CBITableData::LoadChecked(std::span<const BYTE> file, std::span<const SBIPaperEntry> overlay) {
    if (file.size() < L::kHeaderSize || file.size() > L::kMaxFileSize) {
        BI_LOG("#CBITableData::LoadFromMemory file size %zu outside %zu..%zu\n", file.size(), L::kHeaderSize, L::kMaxFileSize);
        return false;
    }
    WORD wDirCount = U16(file, L::kOffDirCount);
    if (L::kHeaderSize + static_cast<size_t>(wDirCount) * L::kDirEntrySize > file.size()) {
        BI_LOG("#CBITableData::LoadFromMemory directory of %u entries runs past the file end\n", wDirCount);
        return false;
    }

    std::vector<TableSpan> tables;
    tables.reserve(wDirCount);
    for (WORD i = 0; i < wDirCount; ++i) {
        size_t off = L::kHeaderSize + static_cast<size_t>(i) * L::kDirEntrySize;
        TableSpan t{U32(file, off + L::kDirOffTableID), U32(file, off + L::kDirOffRowSize),
                    U32(file, off + L::kDirOffRowCount), U32(file, off + L::kDirOffRowsOffset)};
        if (t.dwRowCount == 0) {
            tables.push_back(t);
            continue;
        }
        if (t.dwRowCount > kMaxRowsPerTable) {
            BI_LOG("#CBITableData::LoadFromMemory table %u has %u rows\n", t.dwID, t.dwRowCount);
            return false;
        }
        if (t.dwRowSize < MinRowSize(t.dwID)) {
            BI_LOG("#CBITableData::LoadFromMemory table %u row size %u below %zu\n", t.dwID, t.dwRowSize, MinRowSize(t.dwID));
            return false;
        }
        uint64_t end = uint64_t{t.dwOffset} + uint64_t{t.dwRowCount} * t.dwRowSize;
        if (t.dwOffset < L::kHeaderSize || end > file.size()) {
            BI_LOG("#CBITableData::LoadFromMemory table %u rows %u..%llu outside the file of %zu bytes\n", t.dwID, t.dwOffset,
                   static_cast<unsigned long long>(end), file.size());
            return false;
        }
        tables.push_back(t);
    }
    auto find = [&tables](DWORD dwID) -> const TableSpan* {
        for (const TableSpan& t : tables)
            if (t.dwID == dwID) return &t;
        return nullptr;
    };

    if (const TableSpan* t = find(L::kTablePaperSize)) {
        for (DWORD i = 0; i < t->dwRowCount; ++i) {
            auto row = t->Row(file, i);
            SBIPaperSizeRow r{U16(row, L::kPSOffID), Text(row, L::kPSOffName, L::kPSNameWidth),
                              U16(row, L::kPSOffDirection), U16(row, L::kPSOffShown), U16(row, L::kPSOffFlags),
                              U16(row, L::kPSOffCode1), U16(row, L::kPSOffCode2)};
            if (!KeepRow(r.wFlags)) continue;
            auto stored = std::find_if(overlay.begin(), overlay.end(),
                                       [&r](const SBIPaperEntry& e) { return e.wID == r.wID; });
            if (stored != overlay.end()) {
                r.wShow = stored->wShow;
                if (stored->wDirection < kNoDirection) r.wDirection = stored->wDirection;
            }
            m_vecPaperSize.push_back(std::move(r));
        }
    }
    if (const TableSpan* t = find(L::kTablePaperType)) {
        for (DWORD i = 0; i < t->dwRowCount; ++i) {
            auto row = t->Row(file, i);
            SBIPaperTypeRow r{U16(row, L::kPTOffID), Text(row, L::kPTOffName, L::kPTNameWidth),
                              U16(row, L::kPTOffFlags), U16(row, L::kPTOffCode1), U16(row, L::kPTOffCode2)};
            if (KeepRow(r.wFlags)) m_vecPaperType.push_back(std::move(r));
        }
    }
    if (const TableSpan* t = find(L::kTablePaperSource)) {
        for (DWORD i = 0; i < t->dwRowCount; ++i) {
            auto row = t->Row(file, i);
            SBIPaperSourceRow r{U16(row, L::kSrcOffElementID), U16(row, L::kSrcOffBits), row[L::kSrcOffFlags],
                                row[L::kSrcOffFlags2]};
            if (KeepRow(r.byFlags)) m_vecPaperSource.push_back(r);
        }
    }
    if (const TableSpan* t = find(L::kTableUninterpreted)) {
        for (DWORD i = 0; i < t->dwRowCount; ++i) {
            auto row = t->Row(file, i);
            m_vecTable3030.emplace_back(row.begin(), row.end());
        }
    }
    if (const TableSpan* t = find(L::kTableQuality)) {
        for (DWORD i = 0; i < t->dwRowCount; ++i) {
            auto row = t->Row(file, i);
            SBIQualityRow r{U16(row, L::kQOffID), U32(row, L::kQOffResolution), row[L::kQOffFlags]};
            if (KeepRow(r.byFlags)) m_vecQuality.push_back(r);
        }
    }
    if (const TableSpan* t = find(L::kTableModel)) {
        for (DWORD i = 0; i < t->dwRowCount; ++i) {
            auto row = t->Row(file, i);
            m_vecModel.push_back(
                SBIModelRow{Text(row, L::kMOffName, L::kMNameWidth), U16(row, L::kMOffFeeder), U32(row, L::kMOffFlags)});
        }
    }
    if (const TableSpan* t = find(L::kTableSystemOEM)) {
        for (DWORD i = 0; i < t->dwRowCount; ++i) {
            auto row = t->Row(file, i);
            SBISystemOEMRow r{};
            std::copy_n(row.begin(), L::kOEMRowSize, r.begin());
            m_vecSystemOEM.push_back(r);
        }
    }

    m_wFormat = U16(file, L::kOffFormat);
    m_wDirCount = wDirCount;
    m_dwFileFlags = U32(file, L::kOffFlags);
    m_bNumericForm = (m_dwFileFlags & L::kFlagNumericForm) ? TRUE : FALSE;
    BI_LOG("CBITableData::LoadFromMemory sizes=%zu types=%zu sources=%zu qualities=%zu models=%zu numeric=%d\n",
           m_vecPaperSize.size(), m_vecPaperType.size(), m_vecPaperSource.size(), m_vecQuality.size(),
           m_vecModel.size(), m_bNumericForm);
    return true;
}

// ---- Lookups ----

WORD CBITableData::GetPaperSizeIDByCode(LONG lCode, DWORD dwMask) const {
    std::string strCode = std::to_string(lCode);
    for (const SBIPaperSizeRow& r : m_vecPaperSize) {
        bool bCode = m_bNumericForm ? (lCode == r.wCode1 || lCode == r.wCode2) : r.strName == strCode;
        if (bCode && CodeMaskMatches(r.wFlags, dwMask)) return r.wID;
    }
    return 0;
}

WORD CBITableData::GetPaperTypeIDByCode(LONG lCode, DWORD dwMask) const {
    std::string strCode = std::to_string(lCode);
    for (const SBIPaperTypeRow& r : m_vecPaperType) {
        bool bCode = m_bNumericForm ? (lCode == r.wCode1 || lCode == r.wCode2) : r.strName == strCode;
        if (bCode && CodeMaskMatches(r.wFlags, dwMask)) return r.wID;
    }
    return 0;
}

// GetSubPaperTypeID: the paper type that a code names second (the first is its main type).
WORD CBITableData::GetSubPaperTypeID(LONG lCode) const {
    if (lCode == kNoSubPaperType) return 0;
    std::string strCode = std::to_string(lCode);
    int nMatch1 = 0, nMatch2 = 0;
    for (const SBIPaperTypeRow& r : m_vecPaperType) {
        if (!m_bNumericForm) {
            if (r.strName == strCode && ++nMatch1 == 2) return r.wID;
            continue;
        }
        bool bSecond = false;
        if (lCode == r.wCode1 && ++nMatch1 == 2) bSecond = true;
        if (lCode == r.wCode2 && ++nMatch2 == 2) bSecond = true;
        if (bSecond) return r.wID;
    }
    return 0;
}

WORD CBITableData::GetPaperSizeIDByName(const char* pszName, WORD* pwDirection, DWORD dwMask) const {
    if (pszName == nullptr) return 0;
    std::string_view strName(pszName, strnlen(pszName, kMaxNameBytes));
    bool bLandscape = strName.find(kLandscape) != std::string_view::npos;
    if (bLandscape || strName.find(kPortrait) != std::string_view::npos) {
        if (pwDirection != nullptr) *pwDirection = bLandscape ? 1 : 0;
        for (const OrientationName& o : kOrientationNames) {
            if (strName == o.pszWithOrientation) {
                strName = o.pszPlain;
                break;
            }
        }
    }
    for (const SBIPaperSizeRow& r : m_vecPaperSize)
        if (r.strName == strName && NameMaskMatches(r.wFlags, dwMask)) return r.wID;
    return 0;
}

WORD CBITableData::GetPaperTypeIDByName(const char* pszName, DWORD dwMask) const {
    if (pszName == nullptr) return 0;
    std::string_view strName(pszName, strnlen(pszName, kMaxNameBytes));
    for (const SBIPaperTypeRow& r : m_vecPaperType)
        if (r.strName == strName && NameMaskMatches(r.wFlags, dwMask)) return r.wID;
    return 0;
}

WORD CBITableData::GetPaperSourceElementID(DWORD dwSourceBits) const {
    for (const SBIPaperSourceRow& r : m_vecPaperSource) {
        if (dwSourceBits != 0 ? (r.wSourceBits & dwSourceBits) != 0 : r.wSourceBits == 0) return r.wElementID;
    }
    return 0;
}

// GetModelInfo: the model row whose name equals the model name in the thread's code page.
BOOL CBITableData::GetModelInfo(LPCWSTR pszModelName, DWORD* pdwModelFlags, WORD* pwFeeder) const {
    if (pszModelName == nullptr || pszModelName[0] == 0) return FALSE;
    int cchName = static_cast<int>(BoundedLength(pszModelName, kMaxNameBytes));
    int cb = WideCharToMultiByte(CP_THREAD_ACP, 0, pszModelName, cchName, nullptr, 0, nullptr, nullptr);
    if (cb <= 0 || static_cast<size_t>(cb) > kMaxNameBytes) return FALSE;
    std::string strName(static_cast<size_t>(cb), '\0');
    if (WideCharToMultiByte(CP_THREAD_ACP, 0, pszModelName, cchName, strName.data(), cb, nullptr, nullptr) != cb)
        return FALSE;
    return GetModelInfoA(strName.c_str(), pdwModelFlags, pwFeeder);
}

BOOL CBITableData::GetModelInfoA(const char* pszModelName, DWORD* pdwModelFlags, WORD* pwFeeder) const {
    if (pszModelName == nullptr || pszModelName[0] == 0) return FALSE;
    std::string_view strName(pszModelName, strnlen(pszModelName, kMaxNameBytes));
    for (const SBIModelRow& r : m_vecModel) {
        if (r.strName != strName) continue;
        if (pdwModelFlags != nullptr) *pdwModelFlags = r.dwModelFlags;
        if (pwFeeder != nullptr) *pwFeeder = r.wFeeder;
        return TRUE;
    }
    return FALSE;
}

// GetSystemOEMModel: the first row whose pattern (its text up to a "*") starts the name, ignoring
// case. A row without text is unused and matches nothing; a row of just "*" matches every name.
BOOL CBITableData::GetSystemOEMModel(const char* pszName, SBISystemOEMRow* pRow) const {
    if (pszName == nullptr || pszName[0] == 0 || pRow == nullptr) return FALSE;
    std::string_view strName(pszName, strnlen(pszName, kMaxNameBytes));
    for (const SBISystemOEMRow& row : m_vecSystemOEM) {
        std::string strPattern = Text(row, 0, L::kOEMPatternWidth);
        if (strPattern.empty()) continue;
        strPattern = strPattern.substr(0, strPattern.find('*'));
        if (strPattern.size() > strName.size()) continue;
        if (EqualsIgnoreCaseASCII(strPattern, strName.substr(0, strPattern.size()))) {
            *pRow = row;
            return TRUE;
        }
    }
    return FALSE;
}
