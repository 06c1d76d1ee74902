// The printer access over the installer's print-capability record (see CBIDI_ERD.h).
#include "bidi/CBIDI_ERD.h"

#include "common/BIInfo.h"
#include "common/BILogging.h"
#include "common/CQueueHolder.h"

#include <charconv>
#include <cstring>
#include <new>
#include <string>

namespace {

// Where the installer leaves its values: HKLM "SOFTWARE\KELDA\PRINTER\" + driver name.
constexpr char16_t kRegistryPathPrefix[] = u"SOFTWARE\\KELDA\\PRINTER\\";
constexpr REGSAM kRegistryAccess = 0x2001F;  // read and write

// The installer's values, also the names of their copies in the queue's printer data.
constexpr WCHAR kPrnCapabilityValue[] = u"ERDPrintCapability";
constexpr WCHAR kKeyValue[] = u"Key";
constexpr WCHAR kMailValue[] = u"Mail";

constexpr DWORD kDirectionNone = 1;   // default PaperDirection 0
constexpr DWORD kDirectionSet = 2;    // any other default PaperDirection

// Outcome of reading one registry value into a buffer.
enum class ReadResult { Ok, NoSize, NoMemory, ReadFailed };

// Reads a registry value of at most CBIDI_ERD::kMaxValueBytes: size first, then the data.
// A missing or empty value is NoSize; a larger one cannot be allocated (NoMemory).
ReadResult ReadRegistryValue(HKEY hKey, LPCWSTR name, std::vector<BYTE>& data, DWORD& size) {
    size = 0;
    if (RegQueryValueExW(hKey, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0)
        return ReadResult::NoSize;
    if (size > CBIDI_ERD::kMaxValueBytes) return ReadResult::NoMemory;
    try {
        data.assign(size, 0);
    } catch (const std::bad_alloc&) {
        return ReadResult::NoMemory;
    }
    DWORD read = size;
    if (RegQueryValueExW(hKey, name, nullptr, nullptr, data.data(), &read) != ERROR_SUCCESS || read != size)
        return ReadResult::ReadFailed;
    return ReadResult::Ok;
}

// An open registry key, closed on every path.
class RegistryKey {
public:
    ~RegistryKey() {
        if (m_hKey != nullptr) RegCloseKey(m_hKey);
    }
    LSTATUS Open(LPCWSTR path, REGSAM access) { return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, &m_hKey); }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

// Writes an ID as the driver's signed 32-bit decimal text, zero-terminated (at most 11 + 1 bytes).
void WriteDecimalText(char (&text)[BIDEFAULT_IDTEXT_BYTES], DWORD id) {
    std::memset(text, 0, sizeof(text));
    std::to_chars(text, text + sizeof(text) - 1, static_cast<LONG>(id));
}

// The low 32 bits of an address, as the log lines print them.
unsigned LogAddress(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

CBIDI_ERD::~CBIDI_ERD() {
    BI_LOG("CBIDI_ERD::~CBIDI_ERD\n");
    CBIDI_ERD::Close();
}

// Initialize: keeps the context; in registry mode builds the installer's registry path.
int CBIDI_ERD::Initialize(BIInfo* pBIInfo, DWORD dwFlags) {
    BI_LOG("CBIDI_ERD::Initialize pBIInfo=%08x / dwFlag = %08x.\n", LogAddress(pBIInfo), dwFlags);
    if (pBIInfo == nullptr) return 0;
    m_pBIInfo = pBIInfo;
    m_dwRegistryMode = (dwFlags & ERD_FLAG_REGISTRY_MODE) ? 1 : 0;
    if (!m_dwRegistryMode) return 1;

    const LPCWSTR driverName = pBIInfo->GetDriverName();
    std::u16string path = kRegistryPathPrefix;
    if (driverName != nullptr) path += driverName;
    if (driverName == nullptr || path.size() >= MAX_PATH) {
        BI_LOG("#Failed to make the path of BIREGKEY_PRNCAPABILITY_SETUP\n");
        return 0;
    }
    path.copy(m_szRegistryPath, path.size());
    m_szRegistryPath[path.size()] = u'\0';
    return 1;
}

// Open: reads the record (registry or printer data) and analyses it.
int CBIDI_ERD::Open(LPCWSTR pPrinterName) {
    BI_LOG("CBIDI_ERD::Open\n");
    if (pPrinterName == nullptr || m_pBIInfo == nullptr) {
        BI_LOG("#Error Parameter is invalid(NULL).\n");
        return 0;
    }
    m_Record.clear();
    m_dwReady = 0;

    std::vector<BYTE> record;
    if (!(m_dwRegistryMode ? ReadFromRegistry(record) : ReadFromPrinterData(record))) return 0;
    if (record.empty()) {
        BI_LOG("#Error Failed to Get the binary data from registry.\n");
        return 0;
    }
    if (!AnalyzePrintCapability(std::move(record))) {
        BI_LOG("#Error Failed to analyze PrintCapability data.\n");
        return 0;
    }
    return 1;
}

// ReadFromRegistry: reads the installer's three values, stores them as the queue's printer data
// and deletes them from the registry.
int CBIDI_ERD::ReadFromRegistry(std::vector<BYTE>& record) {
    const std::string path = BILogging::Narrow(m_szRegistryPath);
    BI_LOG("Try to read Registry Key written by NOVRA Module in instalation Key=HKLM:%s.\n", path.c_str());
    RegistryKey key;
    if (key.Open(m_szRegistryPath, kRegistryAccess) != ERROR_SUCCESS) {
        BI_LOG("#Error Failed to open registry key.\n");
        return 0;
    }

    DWORD recordSize = 0;
    switch (ReadRegistryValue(key.Get(), kPrnCapabilityValue, record, recordSize)) {
    case ReadResult::Ok: break;
    case ReadResult::NoSize: BI_LOG("#Error Failed to get size of BIREGENTRY_PRNCAPABILITY.\n"); return 0;
    case ReadResult::NoMemory: BI_LOG("#Error Failed to alloc memory for pPrnCapInfo.\n"); return 0;
    case ReadResult::ReadFailed: BI_LOG("#Error Failed CRegistry::GetBinary func.\n"); return 0;
    }

    // "Key" is optional: without it the others are still moved.
    std::vector<BYTE> keyData;
    DWORD keySize = 0;
    switch (ReadRegistryValue(key.Get(), kKeyValue, keyData, keySize)) {
    case ReadResult::Ok: break;
    case ReadResult::NoSize:
        BI_LOG("Failed to get size of BIREGENTRY_KEY. dwKeySize = 0x%08x\n", keySize);
        keyData.clear();
        break;
    case ReadResult::NoMemory: BI_LOG("#Error Failed to alloc memory for pKey.\n"); return 0;
    case ReadResult::ReadFailed: BI_LOG("#Error Failed CRegistry::GetBinary BIREGENTRY_KEY.\n"); return 0;
    }

    std::vector<BYTE> mailData;
    DWORD mailSize = 0;
    switch (ReadRegistryValue(key.Get(), kMailValue, mailData, mailSize)) {
    case ReadResult::Ok: break;
    case ReadResult::NoSize: BI_LOG("#Error Failed to get size of BIREGENTRY_Mail.\n"); return 0;
    case ReadResult::NoMemory: BI_LOG("#Error Failed to alloc memory for pMail.\n"); return 0;
    case ReadResult::ReadFailed: BI_LOG("#Error Failed CRegistry::GetBinary BIREGENTRY_Mail.\n"); return 0;
    }
    BI_LOG("Success to read the registry values.\n");

    BI_LOG("Copy the registry keys to PrinterDriverData\n");
    CQueueHolder queue;
    if (!queue.Open(m_pBIInfo->GetPrinterName())) {
        BI_LOG("#Error Failed to get Printer Handle.\n");
        return 0;
    }
    if (SetPrinterDataW(queue.Handle(), const_cast<LPWSTR>(kPrnCapabilityValue), REG_BINARY, record.data(),
                        recordSize) != ERROR_SUCCESS) {
        BI_LOG("#Error Failed to set BIREGENTRY_PRNCAPABILITY to PrinterDriverData.\n");
        return 0;
    }
    if (!keyData.empty() && SetPrinterDataW(queue.Handle(), const_cast<LPWSTR>(kKeyValue), REG_BINARY,
                                            keyData.data(), keySize) != ERROR_SUCCESS) {
        BI_LOG("#Error Failed to set BIREGENTRY_KEY to PrinterDriverData.\n");
        return 0;
    }
    // A UTF-16 text: whole characters only.
    if (SetPrinterDataW(queue.Handle(), const_cast<LPWSTR>(kMailValue), REG_SZ, mailData.data(), mailSize & ~1u) !=
        ERROR_SUCCESS) {
        BI_LOG("#Error Failed to set BIREGENTRY_Mail to PrinterDriverData.\n");
        return 0;
    }

    // The copies are in place; a value that cannot be deleted is read again next time.
    BI_LOG("Delete the registry keys.\n");
    for (LPCWSTR name : {kPrnCapabilityValue, kKeyValue, kMailValue})
        if (RegDeleteValueW(key.Get(), name) != ERROR_SUCCESS)
            BI_LOG("#Error Failed  to delete regostry entry by CRegistry::DeleteValue func.\n");
    BI_LOG("Success to get PrintCapability data from %s\n", path.c_str());
    return 1;
}

// ReadFromPrinterData: reads the record from the queue's printer data with the size query.
int CBIDI_ERD::ReadFromPrinterData(std::vector<BYTE>& record) {
    BI_LOG("Try to read Registry Key in PrinterDriverData.\n");
    CQueueHolder queue;
    if (!queue.Open(m_pBIInfo->GetPrinterName())) {
        BI_LOG("#Error Failed to get Printer Handle.\n");
        return 0;
    }

    DWORD type = 0;
    DWORD needed = 0;
    if (GetPrinterDataW(queue.Handle(), const_cast<LPWSTR>(kPrnCapabilityValue), &type, nullptr, 0, &needed) !=
            ERROR_MORE_DATA ||
        needed == 0) {
        // Not a failure of its own: Open reports the missing record.
        BI_LOG("#Error Failed to get size by KDGetBinPrinterData func.\n");
        record.clear();
        return 1;
    }
    try {
        if (needed > kMaxValueBytes) throw std::bad_alloc();
        record.assign(needed, 0);
    } catch (const std::bad_alloc&) {
        BI_LOG("#Error Failed to alloc memory for pPrnCapInfo. dwNeeded=%ld\n", static_cast<long>(needed));
        return 0;
    }
    DWORD readSize = 0;
    if (GetPrinterDataW(queue.Handle(), const_cast<LPWSTR>(kPrnCapabilityValue), &type, record.data(), needed,
                        &readSize) != ERROR_SUCCESS ||
        readSize != needed) {
        BI_LOG("#Error Failed to get PrintCapability by KDGetBinPrinterData func.\n");
        return 0;
    }
    queue.Close();
    BI_LOG("Success to get PrintCapability data from PrinterDriverData\n");
    return 1;
}

// AnalyzePrintCapability: keeps the record when it analyses, drops it otherwise.
int CBIDI_ERD::AnalyzePrintCapability(std::vector<BYTE> record) {
    m_Record = std::move(record);
    m_dwReady = AnalyzeRecord() ? 1 : 0;
    if (!m_dwReady) {
        m_Record.clear();
        ResetCapability();  // no half-read paper lists
    }
    return static_cast<int>(m_dwReady);
}

// AnalyzeRecord: logs the defaults, walks the paper-size blocks within the record's bounds and
// computes the forbidden pairs.
int CBIDI_ERD::AnalyzeRecord() {
    BI_LOG("CBIDI_ERD::AnalyzePrintCapability. pPrnCapData=%08x\n", LogAddress(m_Record.data()));
    ResetCapability();
    const size_t size = m_Record.size();
    if (size < prncap::kHeadBytes) {
        BI_LOG("#Error PrintCapability data of %u bytes is shorter than its head.\n", static_cast<unsigned>(size));
        return 0;
    }

    static constexpr const char* kDefaultNames[prncap::kDefaultCount] = {
        "dwMediaSizeID", "dwMediaTypeID", "dwLauout",   "dwQuality", "dwPaperSource",    "dwColorMode",
        "dwDuplex",      "dwReverseOrder", "dwCopies", "dwCollate", "dwPaperDirection", "dwMultiPage"};
    BI_LOG("DefaultSetting Info Detail.\n");
    for (size_t i = 0; i < prncap::kDefaultCount; ++i)
        BI_LOG("\t%s = 0x%08x\n", kDefaultNames[i], RecordU32(prncap::kDefaultOffset + 4 * i));

    // Every block head and entry must lie inside the record: a count that claims more than the
    // record holds refuses the record.
    const DWORD blocks = RecordU32(prncap::kBlockCountOffset);
    size_t at = prncap::kHeadBytes;
    for (DWORD block = 0; block < blocks; ++block) {
        if (size - at < prncap::kBlockHeadBytes) {
            BI_LOG("#Error Paper size block %u runs past the end of PrintCapability data.\n", block);
            return 0;
        }
        const DWORD paperSizeID = RecordU32(at + prncap::kBlockSizeIDOffset);
        const DWORD entries = RecordU32(at + prncap::kBlockEntryCountOffset);
        at += prncap::kBlockHeadBytes;
        for (DWORD entry = 0; entry < entries; ++entry) {
            if (size - at < prncap::kEntryBytes) {
                BI_LOG("#Error Paper type entry %u of block %u runs past the end of PrintCapability data.\n", entry,
                       block);
                return 0;
            }
            DWORD values[prncap::kEntryValues];
            for (size_t i = 0; i < prncap::kEntryValues; ++i) values[i] = RecordU32(at + 4 * i);
            if (!AddCapability(&paperSizeID, values)) {
                BI_LOG("#Failed to add print capability.\n");
                return 0;
            }
            at += prncap::kEntryBytes;
        }
    }
    return ComputeForbiddenPairs();
}

// Close: forgets the paper lists and the record.
int CBIDI_ERD::Close() {
    m_vecSupportPaperSize.clear();
    m_vecSupportPaperType.clear();
    m_vecPaperDirection.clear();
    m_Record.clear();
    return 1;
}

const WCHAR* CBIDI_ERD::GetModelName() {
    if (m_Record.empty()) return nullptr;
    // The record's field need not hold its terminator; the copy always does.
    for (size_t i = 0; i < prncap::kModelNameBytes / 2; ++i)
        m_szModelName[i] = static_cast<WCHAR>(m_Record[prncap::kModelNameOffset + 2 * i] |
                                              m_Record[prncap::kModelNameOffset + 2 * i + 1] << 8);
    m_szModelName[prncap::kModelNameBytes / 2] = u'\0';
    return m_szModelName;
}

int CBIDI_ERD::GetModelInfoBits(DWORD* pdwValue) {
    BI_LOG("CBIDI_ERD::GetModelInfoBits() pdwValue=%x\n", LogAddress(pdwValue));
    if (pdwValue == nullptr || m_Record.empty()) return 0;
    *pdwValue = RecordU32(prncap::kColorOffset) == prncap::kColorModel ? 1 : 0;
    return 1;
}

// The record has no option-unit field: no option unit is reported.
int CBIDI_ERD::GetOptionUnitBits(DWORD* pdwValue) {
    BI_LOG("CBIDI_ERD::GetOptionUnitBits pdwValue=%x\n", LogAddress(pdwValue));
    if (pdwValue == nullptr) return 0;
    *pdwValue = 0;
    return 1;
}

int CBIDI_ERD::GetCassetteInfo(BICassetteList* pCassettes) {
    if (pCassettes == nullptr) return 0;
    *pCassettes = m_vecPaperSource;
    return 1;
}

int CBIDI_ERD::GetUserDefMaxMin(VANTO_USERDEF_MAXMIN* pUserDefMaxMin) {
    BI_LOG("CBIDI_ERD::GetUserDefMaxMin\n");
    return pUserDefMaxMin != nullptr ? 1 : 0;
}

const BYTE* CBIDI_ERD::GetPrnCapInfo() {
    BI_LOG("CBIDI_ERD::GetPrnCapInfo\n");
    return m_Record.empty() ? nullptr : m_Record.data();
}

DWORD CBIDI_ERD::GetMaxCopies() {
    const DWORD value = m_Record.empty() ? 0 : RecordU32(prncap::kMaxCopiesOffset);
    BI_LOG("CBIDI_ERD::GetMaxCopies value=%ld\n", static_cast<long>(value));
    return value;
}

DWORD CBIDI_ERD::GetBaseResolution() {
    DWORD value = 0;
    if (!m_Record.empty()) {
        const DWORD bits = RecordU32(prncap::kResolutionOffset);
        for (const auto& entry : prncap::kResolutionBits) {
            if (bits & entry.bit) {
                value = entry.baseResolution;
                break;
            }
        }
    }
    BI_LOG("CBIDI_ERD::GetBaseResolution value=%ld\n", static_cast<long>(value));
    return value;
}

// GetDefaultSetting: the first 108 bytes of the caller's record from the record's defaults.
int CBIDI_ERD::GetDefaultSetting(BIDefaultSettings* pDefaultSettings) {
    if (pDefaultSettings == nullptr || m_Record.empty()) return 0;
    auto value = [this](prncap::DefaultIndex index) { return RecordU32(prncap::kDefaultOffset + 4 * index); };
    BIDefaultSettings& d = *pDefaultSettings;
    d.dwMediaSizeID = value(prncap::kDefMediaSizeID);
    d.dwMediaTypeID = value(prncap::kDefMediaTypeID);
    d.dwLayout = value(prncap::kDefLayout);
    d.dwQuality = value(prncap::kDefQuality);
    d.dwPaperSource = value(prncap::kDefPaperSource);
    d.dwColorMode = value(prncap::kDefColorMode) == prncap::kColorModel ? 1 : 0;
    d.dwDuplex = value(prncap::kDefDuplex);
    d.dwReverseOrder = value(prncap::kDefReverseOrder);
    d.dwCopies = value(prncap::kDefCopies);
    d.dwCollate = value(prncap::kDefCollate);
    d.dwPaperDirection = value(prncap::kDefPaperDirection) != 0 ? kDirectionSet : kDirectionNone;
    d.dwMultiPage = value(prncap::kDefMultiPage);
    WriteDecimalText(d.szMediaSizeID, d.dwMediaSizeID);
    WriteDecimalText(d.szMediaTypeID, d.dwMediaTypeID);
    return 1;
}
