// CBIPrinterInfo: see CBIPrinterInfo.h.
#include "printerinfo/CBIPrinterInfo.h"

#include "bidi/CBIDI_BP.h"
#include "bidi/CBIDI_ERD.h"
#include "common/BILogging.h"
#include "printerinfo/CBIPaperInfo.h"
#include "printerinfo/CBIProhibitInfo.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// "BIStoreFlag" bit: the store was seeded from a built-in default record.
constexpr DWORD kStoreFlagSeeded = 0x1;
// "BIDefaultPDL" written when seeding, whatever the default record holds.
constexpr DWORD kSeedDefaultPDL = 1;

// ModelInfoBits read by the resource-ID choice.
constexpr DWORD kModelInfoInkjet = 0x8;       // ink-jet printer
constexpr DWORD kModelInfoResource2 = 0x2;    // selects the next page-printer table
constexpr DWORD kModelInfoResource4 = 0x4;    // selects the page-printer table after next
constexpr DWORD kModelInfoCFGXMask = 0x300;   // CFGX table choice
constexpr DWORD kModelInfoCFGX100 = 0x100;
constexpr DWORD kModelInfoCFGX200 = 0x200;
constexpr DWORD kModelInfoCFGX300 = 0x300;
constexpr DWORD kModelInfoCFGX400 = 0x400;    // CFGX table 202 when no 0x300 bit is set

// Binary resource IDs.
constexpr DWORD kResourceIDPageFirst = 1;     // 1 to 4 by ModelInfoBits 0x2 and 0x4
constexpr DWORD kResourceIDCustom = 0;        // custom ink-jet or page printer
constexpr DWORD kResourceIDInkjet = 101;      // ink-jets and the install-time record
// CFGX resource IDs.
constexpr DWORD kCFGXResourceDefault = 201;
constexpr DWORD kCFGXResource400 = 202;
constexpr DWORD kCFGXResource100 = 203;
constexpr DWORD kCFGXResource200 = 204;
constexpr DWORD kCFGXResource300 = 205;

// The built-in defaults carry this version; a delivered record carries VANTO_PRINTER_INFO_VERSION.
constexpr DWORD kDefaultRecordVersion = 100;
constexpr DWORD kDefaultCassettes = 2;

constexpr DWORD kCassetteBytes = sizeof(VANTO_CASETTE_INFO);
constexpr DWORD kUserDefBytes = sizeof(VANTO_USERDEF_MAXMIN);
constexpr DWORD kModelNameBytes = sizeof(VANTO_PRINTER_INFO::szModelName);
constexpr size_t kModelNameChars = kModelNameBytes / sizeof(char16_t);

// Element-mask bits of the record.
constexpr uint64_t kMaskOptionUnits = VANTO_ELEMENT_OPTIONUNITBITS | VANTO_ELEMENT_OPTIONUNIT_MORE;

// The built-in default records: size 416, version 100, mask 0, no model name, two zero cassettes.
VANTO_PRINTER_INFO MakeDefaultRecord(DWORD dwModelInfoBits, DWORD dwSupportPDL, DWORD dwDefaultPDL,
                                     DWORD dwBinaryResourceID, DWORD dwOptionUnitBits, DWORD dwInstalledMemory,
                                     const VANTO_USERDEF_MAXMIN& limits) {
    VANTO_PRINTER_INFO record{};
    record.dwSize = VANTO_PRINTER_INFO_SIZE;
    record.dwVersion = kDefaultRecordVersion;
    record.dwModelInfoBits = dwModelInfoBits;
    record.dwSupportPDLBits = dwSupportPDL;
    record.dwDefaultPDLBits = dwDefaultPDL;
    record.dwBinaryResourceID = dwBinaryResourceID;
    record.dwOptionUnitBits = dwOptionUnitBits;
    record.dwInstalledMemory = dwInstalledMemory;
    record.nCassetteNum = static_cast<int32_t>(kDefaultCassettes);
    record.stUserDefMaxMin = limits;
    return record;
}

VANTO_PRINTER_INFO InkjetDefaults() {
    return MakeDefaultRecord(0x8, 0x30, 0x10, 0, 1, 0, VANTO_USERDEF_MAXMIN{});
}

// The page record; the general record has the same values.
VANTO_PRINTER_INFO PageDefaults() {
    const VANTO_USERDEF_MAXMIN limits{12000, 3290, 980, 700, 4724, 1295, 385, 275, {0, 0}};
    return MakeDefaultRecord(0, 1, 1, 1, 0, 64, limits);
}

// A failed step of Initialize, caught in its one clean-up path.
struct InitializeFailure {};

// Length of a string of at most `limit` units that need not be terminated.
size_t BoundedLength(const char16_t* text, size_t limit) {
    size_t n = 0;
    while (n < limit && text[n] != 0) ++n;
    return n;
}

}  // namespace

CBIPrinterInfo::~CBIPrinterInfo() {
    BI_LOG("CBIPrinterInfo::~CBIPrinterInfo\n");
    DestroyObjects();
}

// The store (with its own context and AUDF binding) goes first, then the tables, then the BiDi
// access, which may still hold the transport module.
void CBIPrinterInfo::DestroyObjects() {
    m_pStoreData.reset();
    m_pTableData.reset();
    m_pBIDI.reset();
}

BOOL CBIPrinterInfo::Initialize(BIInfo* pBIInfo, DWORD dwFlags) {
    BI_LOG("CBIPrinterInfo::Initialize\n");
    if (pBIInfo == nullptr || m_pStoreData) return FALSE;
    m_pBIInfo = pBIInfo;
    m_dwFlags = dwFlags;

    try {
        if (!m_pBIDI) {
            std::unique_ptr<CBIDI> bidi;
            if (dwFlags & BIPI_FLAG_ERD) {
                bidi = std::make_unique<CBIDI_ERD>();
            } else {
                bidi = std::make_unique<CBIDI_BP>();
            }
            if (!bidi->Initialize(pBIInfo, dwFlags)) throw InitializeFailure();
            m_pBIDI = std::move(bidi);
        }
        m_pStoreData = std::make_unique<BIStoreData>();
        m_pTableData = std::make_unique<CBITableData>();
        if (!m_pStoreData->Initialize(pBIInfo->GetPrinterName())) {
            BI_LOG("#Failed to initialize BIStoreData class.\n");
            throw InitializeFailure();
        }
        m_pTableData->SetFlags(dwFlags, (dwFlags & BIPI_FLAG_ERD) ? 1 : 0);
        if (!m_pTableData->UpdateBinaryTable(pBIInfo->GetPrinterName(), kResourceIDPageFirst)) {
            BI_LOG("#Failed to initialize CBITableData class.\n");
            throw InitializeFailure();
        }
    } catch (...) {
        DestroyObjects();
        return FALSE;
    }

    // Another process may be seeding or updating the same queue: look and seed as one step.
    const BIStoreLock lock = m_pStoreData->LockStore();
    DWORD dwStoreFlag = 0;
    const LSTATUS stFlag = m_pStoreData->QueryDWORD(kValStoreFlag, &dwStoreFlag);
    if (stFlag == ERROR_SUCCESS && dwStoreFlag != 0) return TRUE;
    // Only a flag that is missing or 0 asks for seeding: a flag that exists but cannot be read
    // must not replace what was learnt from the printer with the defaults.
    if (stFlag != ERROR_SUCCESS && stFlag != static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)) {
        BI_LOG("#BIStoreFlag cannot be read (status=%d): the store is kept as it is.\n", stFlag);
        return TRUE;
    }
    if (!lock.Held()) return TRUE;  // seeding without the lock could overwrite another writer

    const DWORD dwTableFlags = m_pTableData->GetFlags();
    if (dwTableFlags & BIPI_FLAG_BIJ_CUSTOM) {
        SeedStore(InkjetDefaults());
    } else {
        SeedStore(PageDefaults());  // the page record, and the general one with the same values
    }
    return TRUE;
}

// Writes a default record into the store. Results are not checked: a store that refuses a
// value is seeded again by the next instance, since "BIStoreFlag" is written last.
void CBIPrinterInfo::SeedStore(const VANTO_PRINTER_INFO& defaults) {
    BI_LOG("Initialize AUDF Entry Values.\n");
    BIStoreData& store = *m_pStoreData;
    store.WriteModelName(u"");
    store.WriteDWORD(kValModelInfoBits, defaults.dwModelInfoBits);
    store.WriteDWORD(kValInstalledMemory, defaults.dwInstalledMemory);
    store.WriteDWORD(kValOptionUnitBits, defaults.dwOptionUnitBits);
    const DWORD dwCassettes = static_cast<DWORD>(defaults.nCassetteNum);
    store.WriteDWORD(kValCassetteNum, dwCassettes);
    for (DWORD i = 0; i < dwCassettes && i < VANTO_PRINTER_INFO_CASSETTES; ++i) store.WriteCassette(i, &defaults.stCassette[i]);
    store.WriteDWORD(kValPaperSizeNum, 0);
    store.WriteDWORD(kValPaperTypeNum, 0);
    store.WriteDWORD(kValDefaultPDL, kSeedDefaultPDL);
    store.WriteDWORD(kValStoreFlag, kStoreFlagSeeded);
}

bool CBIPrinterInfo::IsConnected() const { return m_pBIDI && m_pBIDI->IsReady(); }

DWORD CBIPrinterInfo::GetPrinterKind() {
    if (m_dwFlags & BIPI_FLAG_ERD) return BIPI_KIND_ERD;
    if (IsConnected()) return m_pBIDI->GetPrinterCategory() == PRINTER_CATEGORY_INKJET ? BIPI_KIND_BIJ : BIPI_KIND_PAGE;
    const DWORD dwBits = m_pStoreData ? m_pStoreData->GetModelInfoBits() : 0;
    return (dwBits & kModelInfoInkjet) ? BIPI_KIND_BIJ : BIPI_KIND_PAGE;
}

DWORD CBIPrinterInfo::ComputeBinaryResourceID() {
    const DWORD dwKind = GetPrinterKind();
    if (dwKind == BIPI_KIND_ERD) return kResourceIDInkjet;
    if (m_dwFlags & (BIPI_FLAG_BIJ_CUSTOM | BIPI_FLAG_LP_CUSTOM)) return kResourceIDCustom;
    // The kind already weighs the connected printer's category against the stored bits.
    if (dwKind == BIPI_KIND_BIJ) return kResourceIDInkjet;
    const DWORD dwBits = m_pStoreData ? m_pStoreData->GetModelInfoBits() : 0;
    DWORD n = 0;
    if (dwBits & kModelInfoResource2) n += 1;
    if (dwBits & kModelInfoResource4) n += 2;
    return kResourceIDPageFirst + n;
}

DWORD CBIPrinterInfo::ComputeCFGXResourceID() {
    const DWORD dwBits = m_pStoreData ? m_pStoreData->GetModelInfoBits() : 0;
    switch (dwBits & kModelInfoCFGXMask) {
    case kModelInfoCFGX100:
        return kCFGXResource100;
    case kModelInfoCFGX200:
        return kCFGXResource200;
    case kModelInfoCFGX300:
        return kCFGXResource300;
    default:
        return (dwBits & kModelInfoCFGX400) ? kCFGXResource400 : kCFGXResourceDefault;
    }
}

BOOL CBIPrinterInfo::GetDWORDValue(DWORD enumDWID, DWORD* pdwValue) {
    if (pdwValue == nullptr || !m_pStoreData) return FALSE;
    BIStoreData& store = *m_pStoreData;
    switch (enumDWID) {
    case DWID_ModelInfoBits:
        *pdwValue = store.GetModelInfoBits();
        BI_LOG("ModelInfoBits = 0x%x\n", *pdwValue);
        return TRUE;
    case DWID_SupportPDLBits:
        *pdwValue = store.GetSupportPDL();
        BI_LOG("SupportPDLBits = 0x%x\n", *pdwValue);
        return TRUE;
    case DWID_OptionUnitBits:
        *pdwValue = store.GetOptionUnitBits();
        BI_LOG("OptionUnitBits = 0x%x\n", *pdwValue);
        return TRUE;
    case DWID_CassetteNum:
        *pdwValue = store.GetCassetteNum();
        BI_LOG("CassetteNum = 0x%x\n", *pdwValue);
        return TRUE;
    case DWID_Reserved14:
        return TRUE;  // answered without a value
    case DWID_InstalledMemory: {
        DWORD dwMemory = 0;
        if (!store.ReadDWORD(kValInstalledMemory, &dwMemory) || dwMemory == 0) {
            BI_LOG("#Failed to Get InstalledMemory.\n");
            return FALSE;
        }
        *pdwValue = dwMemory;
        BI_LOG("InstalledMemory = 0x%x\n", dwMemory);
        return TRUE;
    }
    case DWID_DefaultPDLBits:
        *pdwValue = store.GetDefaultPDL();
        BI_LOG("DefaultPDLBits = 0x%x\n", *pdwValue);
        return TRUE;
    case DWID_BinaryResourceID: {
        *pdwValue = ComputeBinaryResourceID();
        BI_LOG("BinaryResourceID = 0x%x\n", *pdwValue);
        // The tables follow the resource ID asked for.
        if (!m_pTableData || !m_pBIInfo || !m_pTableData->UpdateBinaryTable(m_pBIInfo->GetPrinterName(), *pdwValue)) {
            BI_LOG("#Failed to UpdateBinaryTable.\n");
            return FALSE;
        }
        return TRUE;
    }
    case DWID_CFGXResourceID:
        *pdwValue = ComputeCFGXResourceID();
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CBIPrinterInfo::SetDWORDValue(DWORD enumDWID, DWORD dwValue) {
    if (!m_pStoreData) return FALSE;
    BIStoreData& store = *m_pStoreData;
    if (enumDWID == DWID_ModelInfoBits) {
        const BIStoreLock lock = store.LockStore();  // the comparison holds until the flag is written
        if (!lock.Held()) return FALSE;
        const DWORD dwBefore = store.GetModelInfoBits();
        BOOL bOK = store.WriteDWORD(kValModelInfoBits, dwValue);
        BI_LOG("Set ModelInfoBits = 0x%x\n", dwValue);
        // Other model bits make everything learnt for the old ones doubtful: reseed next time.
        if (dwValue != dwBefore) {
            BI_LOG("Clear StoreFlag in AUDF.\n");
            if (!store.WriteDWORD(kValStoreFlag, 0)) bOK = FALSE;
        }
        return bOK;
    }
    // The other settable IDs are plain stored numbers.
    struct PlainValue {
        DWORD id;
        const WCHAR* name;
        const char* label;
    };
    static constexpr PlainValue kPlainValues[] = {
        {DWID_SupportPDLBits, kValSupportPDL, "SupportPDLBits"},
        {DWID_OptionUnitBits, kValOptionUnitBits, "OptionUnitBits"},
        {DWID_CassetteNum, kValCassetteNum, "CassetteNum"},
        {DWID_InstalledMemory, kValInstalledMemory, "InstalledMemory"},
        {DWID_DefaultPDLBits, kValDefaultPDL, "DefaultPDLBits"},
    };
    for (const PlainValue& v : kPlainValues) {
        if (v.id != enumDWID) continue;
        const BOOL bOK = store.WriteDWORD(v.name, dwValue);
        BI_LOG("Set %s = 0x%x\n", v.label, dwValue);
        return bOK;
    }
    return FALSE;  // 14, the computed IDs 17 and 18, and unknown IDs cannot be set
}

INT CBIPrinterInfo::GetStructValue(DWORD enumSTID, DWORD dwParam, void* pBuffer, DWORD* pcbBuffer) {
    INT nRet = 0;
    if (m_pStoreData) {
        switch (enumSTID) {
        case STID_CassetteInfo: {
            VANTO_CASETTE_INFO entry{};
            if (pBuffer != nullptr && pcbBuffer != nullptr && *pcbBuffer >= kCassetteBytes &&
                m_pStoreData->ReadCassette(dwParam, &entry)) {
                std::memcpy(pBuffer, &entry, kCassetteBytes);
                nRet = static_cast<INT>(*pcbBuffer / kCassetteBytes);
            }
            break;
        }
        case STID_PrinterInfo:
            nRet = ReadPrinterInfo(static_cast<VANTO_PRINTER_INFO*>(pBuffer), pcbBuffer);
            break;
        case STID_UserDefMaxMin: {
            BYTE limits[kUserDefBytes] = {};
            DWORD cb = kUserDefBytes;
            if (pBuffer != nullptr && pcbBuffer != nullptr && *pcbBuffer >= kUserDefBytes &&
                m_pStoreData->ReadData(kValUserDefMaxMin, limits, &cb)) {
                std::memcpy(pBuffer, limits, kUserDefBytes);
                nRet = static_cast<INT>(*pcbBuffer / kUserDefBytes);
            }
            break;
        }
        default:
            break;
        }
    }
    BI_LOG("CBIPrinterInfo::GetStructValue enumSTID=%d, nRet=%d\n", static_cast<int>(enumSTID), nRet);
    return nRet;
}

// The record by its element mask. The caller's buffer need not be aligned: the record is built in
// a copy of what the caller put there and copied back whole.
INT CBIPrinterInfo::ReadPrinterInfo(VANTO_PRINTER_INFO* pRecord, DWORD* pcbBuffer) {
    if (pcbBuffer == nullptr) return 0;
    if (pRecord == nullptr) {
        *pcbBuffer = VANTO_PRINTER_INFO_SIZE;
        return 1;
    }
    if (*pcbBuffer < VANTO_PRINTER_INFO_SIZE) return 0;

    BIStoreData& store = *m_pStoreData;
    VANTO_PRINTER_INFO record;
    std::memcpy(&record, pRecord, sizeof record);
    record.dwSize = VANTO_PRINTER_INFO_SIZE;
    record.dwVersion = VANTO_PRINTER_INFO_VERSION;
    const uint64_t mask = record.ullElementMask;
    // The values of one record writer, not a mix of two (readers go on without the lock).
    const BIStoreLock lock = store.LockStore();

    if (mask & VANTO_ELEMENT_MODELNAME) {
        // A name longer than the field is cut to fit, never delivered empty.
        char16_t name[kModelNameChars] = {};
        store.ReadModelName(name, kModelNameChars);
        std::memcpy(record.szModelName, name, kModelNameBytes);
    }
    if (mask & VANTO_ELEMENT_MODELINFOBITS) record.dwModelInfoBits = store.GetModelInfoBits();
    if (mask & VANTO_ELEMENT_SUPPORTPDLBITS) record.dwSupportPDLBits = store.GetSupportPDL();
    if (mask & VANTO_ELEMENT_DEFAULTPDLBITS) record.dwDefaultPDLBits = store.GetDefaultPDL();
    if (mask & kMaskOptionUnits) record.dwOptionUnitBits = store.GetOptionUnitBits();
    if (mask & VANTO_ELEMENT_INSTALLEDMEMORY) {
        DWORD dwMemory = 0;
        record.dwInstalledMemory = store.ReadDWORD(kValInstalledMemory, &dwMemory) ? dwMemory : 0;
    }
    if (mask & VANTO_ELEMENT_CASSETTE) {
        const DWORD dwCount = store.GetCassetteNum();
        record.nCassetteNum = static_cast<int32_t>(dwCount);
        const DWORD dwFill = std::min<DWORD>(dwCount, VANTO_PRINTER_INFO_CASSETTES);
        for (DWORD i = 0; i < dwFill; ++i) {
            VANTO_CASETTE_INFO entry{};
            if (!store.ReadCassette(i, &entry)) entry = VANTO_CASETTE_INFO{};
            record.stCassette[i] = entry;
        }
    }
    if (mask & VANTO_ELEMENT_USERDEF_MAXMIN) {
        BYTE limits[kUserDefBytes] = {};
        DWORD cb = kUserDefBytes;
        if (store.ReadData(kValUserDefMaxMin, limits, &cb)) std::memcpy(&record.stUserDefMaxMin, limits, kUserDefBytes);
    }
    if (m_pBIDI) {
        DWORD dwValue = 0;
        BI_LOG("CBIPrinterInfo::GetDWORDValue enumDWID=%d\n", static_cast<int>(DWID_BinaryResourceID));
        GetDWORDValue(DWID_BinaryResourceID, &dwValue);  // a failed table reload still gives the ID
        record.dwBinaryResourceID = dwValue;
        BI_LOG("CBIPrinterInfo::GetDWORDValue enumDWID=%d\n", static_cast<int>(DWID_CFGXResourceID));
        GetDWORDValue(DWID_CFGXResourceID, &dwValue);
        record.dwCFGXResourceID = dwValue;
    }
    std::memcpy(pRecord, &record, sizeof record);
    return static_cast<INT>(*pcbBuffer / VANTO_PRINTER_INFO_SIZE);
}

BOOL CBIPrinterInfo::SetStructValue(DWORD enumSTID, DWORD dwParam, const void* pRecord) {
    if (pRecord == nullptr || !m_pStoreData) return FALSE;
    switch (enumSTID) {
    case STID_CassetteInfo: {
        VANTO_CASETTE_INFO entry;
        std::memcpy(&entry, pRecord, kCassetteBytes);
        return m_pStoreData->WriteCassette(dwParam, &entry);
    }
    case STID_PrinterInfo: {
        VANTO_PRINTER_INFO record;
        std::memcpy(&record, pRecord, sizeof record);
        return WritePrinterInfo(record);
    }
    case STID_UserDefMaxMin:
        return m_pStoreData->WriteData(kValUserDefMaxMin, static_cast<const BYTE*>(pRecord), kUserDefBytes);
    default:
        return FALSE;
    }
}

// Stores each field whose mask bit is set. The computed resource IDs are never stored.
BOOL CBIPrinterInfo::WritePrinterInfo(const VANTO_PRINTER_INFO& record) {
    const uint64_t mask = record.ullElementMask;
    if ((mask & VANTO_ELEMENT_CASSETTE) && record.nCassetteNum < 0) {
        BI_LOG("#CBIPrinterInfo::SetStructValue nCassetteNum=%d is not a count.\n", record.nCassetteNum);
        return FALSE;
    }
    BIStoreData& store = *m_pStoreData;
    // A record is written whole before another writer or a reader of records gets the store.
    const BIStoreLock lock = store.LockStore();
    if (!lock.Held()) return FALSE;
    bool bOK = true;
    if (mask & VANTO_ELEMENT_MODELNAME) {
        // At most what a record read takes back: the field's units before its last, which
        // holds the terminator. A field without one is cut there.
        size_t cch = BoundedLength(record.szModelName, kModelNameChars);
        if (cch == kModelNameChars) {
            cch = kModelNameChars - 1;
            BI_LOG("#CBIPrinterInfo::SetStructValue the model name fills its field; %u characters are stored.\n",
                   static_cast<unsigned>(cch));
        }
        std::u16string name(record.szModelName, cch);
        bOK &= store.WriteModelName(name.c_str()) != FALSE;
    }
    if (mask & VANTO_ELEMENT_MODELINFOBITS) bOK &= store.WriteDWORD(kValModelInfoBits, record.dwModelInfoBits) != FALSE;
    if (mask & VANTO_ELEMENT_SUPPORTPDLBITS) bOK &= store.WriteDWORD(kValSupportPDL, record.dwSupportPDLBits) != FALSE;
    if (mask & VANTO_ELEMENT_DEFAULTPDLBITS) bOK &= store.WriteDWORD(kValDefaultPDL, record.dwDefaultPDLBits) != FALSE;
    if (mask & kMaskOptionUnits) bOK &= store.WriteDWORD(kValOptionUnitBits, record.dwOptionUnitBits) != FALSE;
    if (mask & VANTO_ELEMENT_INSTALLEDMEMORY)
        bOK &= store.WriteDWORD(kValInstalledMemory, record.dwInstalledMemory) != FALSE;
    if (mask & VANTO_ELEMENT_CASSETTE) {
        const DWORD dwCount = static_cast<DWORD>(record.nCassetteNum);
        bOK &= store.WriteDWORD(kValCassetteNum, dwCount) != FALSE;
        const DWORD dwFill = std::min<DWORD>(dwCount, VANTO_PRINTER_INFO_CASSETTES);
        for (DWORD i = 0; i < dwFill; ++i) bOK &= store.WriteCassette(i, &record.stCassette[i]) != FALSE;
    }
    if (mask & VANTO_ELEMENT_USERDEF_MAXMIN) {
        bOK &= store.WriteData(kValUserDefMaxMin, reinterpret_cast<const BYTE*>(&record.stUserDefMaxMin),
                               kUserDefBytes) != FALSE;
    }
    return bOK ? TRUE : FALSE;
}

// String ID 10: "BIModelName" read with twice the character count as its byte size. The result
// is always terminated inside the buffer, whatever the store held.
BOOL CBIPrinterInfo::GetModelName(LPWSTR pszBuffer, DWORD cchBuffer) {
    if (pszBuffer == nullptr || cchBuffer == 0 || !m_pStoreData) return FALSE;
    const DWORD cchUsable = std::min<DWORD>(cchBuffer, 0x7FFFFFFF);  // byte size fits 32 bits
    DWORD cb = cchUsable * sizeof(WCHAR);
    if (!m_pStoreData->ReadData(kValModelName, reinterpret_cast<LPBYTE>(pszBuffer), &cb)) return FALSE;
    const DWORD cchRead = std::min<DWORD>(cb / sizeof(WCHAR), cchUsable);
    const size_t cch = BoundedLength(pszBuffer, cchRead);
    if (cch == cchRead) pszBuffer[std::min<DWORD>(cchRead, cchUsable - 1)] = 0;
    return TRUE;
}

BOOL CBIPrinterInfo::SetModelName(LPCWSTR pszModelName) {
    if (pszModelName == nullptr || !m_pStoreData) return FALSE;
    return m_pStoreData->WriteModelName(pszModelName);
}

BOOL CBIPrinterInfo::GetSupportPaperSizeInfo(const BIStringList* pvecPaperDirection,
                                             const BIStringList* pvecSupportPaperSize) {
    CBIPaperInfo paper(m_pStoreData.get(), m_pTableData.get(), m_pBIDI.get());
    return paper.GetSupportPaperSizeInfo(pvecPaperDirection, pvecSupportPaperSize);
}

BOOL CBIPrinterInfo::GetSupportPaperTypeInfo(const BIStringList* pvecSupportPaperType) {
    CBIPaperInfo paper(m_pStoreData.get(), m_pTableData.get(), m_pBIDI.get());
    return paper.GetSupportPaperTypeInfo(pvecSupportPaperType);
}

BOOL CBIPrinterInfo::MakeProhibitInfo(SBIProhibitSet* pSet, BOOL bPCLSupport, BOOL bLPModel) {
    CBIProhibitInfo prohibit(m_pTableData.get(), m_pBIDI.get());
    return prohibit.MakeProhibitInfo(pSet, bPCLSupport, bLPModel);
}
