// CBIPrinterInfo::UpdatePrinterInfo and CheckModelNameHasChanged: the update of a queue's store
// from its printer, and the check that the printer is still the model the store describes.
//
// The update asks every selected element first and writes only when all of them were obtained,
// in a fixed order with "BIStoreFlag" last: a store whose update broke off (a failed query, a
// refused write, a killed process) keeps the flag it had, and with it the meaning of its values.
#include "printerinfo/CBIPrinterInfo.h"

#include "common/BILogging.h"
#include "common/CQueueHolder.h"
#include "printerinfo/BIElementBits.h"
#include "printerinfo/BIUserDefLog.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>

namespace {

// Status codes of the update and the model check.
constexpr INT kStatusOK = 0;
constexpr INT kStatusNoConnection = -1;
constexpr INT kStatusQueryFailed = -2;
constexpr INT kStatusOther = -999;
constexpr INT kModelUnchanged = 0;
constexpr INT kModelChanged = 1;

// Option bits of the update.
constexpr DWORD kOptKeepCassetteIDs = 0x1;  // cassette codes of non-page printers are driver IDs
constexpr DWORD kOptWideNames300 = 0x2;     // widen the cassette name match by 0x300
constexpr DWORD kOptWideNames500 = 0x4;     // ... by 0x500 when 0x2 is clear
constexpr DWORD kNameMaskWide300 = 0x300;
constexpr DWORD kNameMaskWide500 = 0x500;

// Paper-table rows that may match: install-time or custom printers use the record's rows (3),
// live printers the others (12).
constexpr DWORD kFlagsRecordSource = BIPI_FLAG_ERD | BIPI_FLAG_BIJ_CUSTOM | BIPI_FLAG_LP_CUSTOM | BIPI_FLAG_LIJ_CUSTOM;
constexpr DWORD kSourceMaskRecord = 3;
constexpr DWORD kSourceMaskLive = 12;

// Categories that the update tests for beyond those of the printer access.
constexpr DWORD kCategoryNumeric6 = 6;
constexpr DWORD kCategoryNumeric7 = 7;

// "BIStoreFlag" bits written by an update.
constexpr DWORD kStoreFlagUpdated = 0x2;
constexpr DWORD kStoreFlagDirections = 0x4;

// Model information bits that come with a compression band height.
constexpr DWORD kModelInfoBandHeight = 0x20000 | 0x80000;

// Language bits.
constexpr DWORD kPDLPCL = 0x100 | 0x200;  // the two PCL bits, cleared for models flagged 0x400
constexpr DWORD kPDLLowByte = 0xFF;
constexpr DWORD kPDLPaperDirections = 0x4;  // printers of this language report feed directions
constexpr DWORD kPDLBase = 0x1;
constexpr DWORD kPDLPCLFirst = 0x200;
constexpr DWORD kPDLPreferred[] = {0x20, 0x10, 0x4, 0x2};

// Model table flags.
constexpr DWORD kModelFlagFeeder = 0x1;
constexpr DWORD kModelFlagOption10000 = 0x10;
constexpr DWORD kModelFlagOption20000 = 0x200;
constexpr DWORD kModelFlagNoPCL = 0x400;
constexpr DWORD kModelFlagDuplexDefault = 0x800;

// Option unit bits added by the update.
constexpr DWORD kOptionUnit10000 = 0x10000;
constexpr DWORD kOptionUnit20000 = 0x20000;
constexpr DWORD kOptionUnitDuplex = 0x1;

// The extra feeder of ink-jets whose model row names one.
constexpr WORD kFeederSourceBit = 0x1000;
constexpr WORD kUnknownID = 0xFFFF;
constexpr WORD kUnknownLevel = 0xFFFE;

// Bytes of the stored model name read by the check, and of the queue's "KDMDLNAME".
constexpr DWORD kModelNameBytes = 128;
constexpr DWORD kModelNameChars = kModelNameBytes / sizeof(WCHAR);
constexpr WCHAR kDataFileSection[] = u"CommonDrvInfo";
constexpr WCHAR kDataFileModelKey[] = u"ModelName";
constexpr WCHAR kQueueModelValue[] = u"KDMDLNAME";

// A failed step of the update, raised with its status and caught once in UpdatePrinterInfo.
struct UpdateFailure {
    INT nStatus;
};

[[noreturn]] void Fail(const char* pszLine, INT nStatus) {
    BI_LOG("%s\n", pszLine);
    throw UpdateFailure{nStatus};
}

// Closes the printer connection on every way out of an operation.
class ConnectionGuard {
public:
    explicit ConnectionGuard(CBIDI* pBIDI) : m_pBIDI(pBIDI) {}
    ~ConnectionGuard() { m_pBIDI->Close(); }
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

private:
    CBIDI* m_pBIDI;
};

// Default language from the supported languages: with a PCL preference PCL comes first and the
// base language last; otherwise the maker's languages first, then the base language, then PCL.
DWORD DefaultPDL(DWORD dwSupport, bool bPCLPriority) {
    if (bPCLPriority && (dwSupport & kPDLPCLFirst)) return kPDLPCLFirst;
    for (DWORD bit : kPDLPreferred)
        if (dwSupport & bit) return bit;
    if (dwSupport & kPDLBase) return kPDLBase;
    if (!bPCLPriority && (dwSupport & kPDLPCLFirst)) return kPDLPCLFirst;
    return 0;
}

// Everything the queries obtained, written only once all of them succeeded.
struct UpdateResults {
    DWORD dwStoreFlag = kStoreFlagUpdated;
    std::u16string strModelName;
    bool bHaveModelName = false;
    DWORD dwModelInfoBits = 0;
    DWORD dwBandHeight = 0;
    DWORD dwSupportPDL = 0;
    bool bHaveSupportPDL = false;
    DWORD dwDefaultPDL = 0;
    DWORD dwMemory = 0;
    DWORD dwOptionUnits = 0;
    BICassetteList cassettes;
    const BIStringList* pDirections = nullptr;
    const BIStringList* pSizes = nullptr;
    const BIStringList* pTypes = nullptr;
    VANTO_USERDEF_MAXMIN userDef{};
    DWORD dwMaxCopies = 0;
    DWORD dwResolution = 0;
    DWORD dwQuality = 0;
    DWORD dwLayout = 0;
    BIDefaultSettings defaults{};
    SBIProhibitSet prohibit;
};

// One update: the object's parts, the reduced element bits and what the queries found.
class CUpdate {
public:
    CUpdate(CBIPrinterInfo& info, DWORD dwElements, DWORD dwOption)
        : m_info(info), m_bidi(*info.GetBIDI()), m_store(*info.GetStoreData()), m_tables(*info.GetTableData()),
          m_context(*info.GetBIInfo()), m_dwElements(dwElements), m_dwOption(dwOption) {}

    void CheckDriverModel();
    void ReduceAndLoadTables();
    void Query();
    void Write();

private:
    bool Wants(DWORD dwBits) const { return (m_dwElements & dwBits) != 0; }
    DWORD SourceMask() const { return (m_info.GetFlags() & kFlagsRecordSource) ? kSourceMaskRecord : kSourceMaskLive; }
    // The printer's model name: the one the update asked for, else asked now; empty when unknown.
    std::u16string ModelName();
    // Flags of the printer's model row; nullopt when the model is not in the table.
    std::optional<DWORD> ModelFlags(WORD* pwFeeder = nullptr);
    DWORD SupportPDL();
    void QueryCassettes();
    void ConvertCassettesByCode();
    void ConvertCassettesByName();

    void WriteNumber(LPCWSTR pszName, DWORD dwValue);
    void WriteBytes(LPCWSTR pszName, const void* pData, DWORD cbData);

    CBIPrinterInfo& m_info;
    CBIDI& m_bidi;
    BIStoreData& m_store;
    CBITableData& m_tables;
    BIInfo& m_context;
    DWORD m_dwElements;
    DWORD m_dwOption;
    DWORD m_dwCategory = 0;
    bool m_bOEM = false;
    UpdateResults m_r;
};

std::u16string CUpdate::ModelName() {
    if (m_r.bHaveModelName) return m_r.strModelName;
    const WCHAR* pName = m_bidi.GetModelName();
    return pName ? std::u16string(pName) : std::u16string();
}

std::optional<DWORD> CUpdate::ModelFlags(WORD* pwFeeder) {
    const std::u16string name = ModelName();
    DWORD dwFlags = 0;
    WORD wFeeder = 0;
    if (name.empty() || !m_tables.GetModelInfo(name.c_str(), &dwFlags, &wFeeder)) return std::nullopt;
    if (pwFeeder) *pwFeeder = wFeeder;
    return dwFlags;
}

// Supported languages, asked once, with the PCL bits cleared for models whose row says so.
DWORD CUpdate::SupportPDL() {
    if (m_r.bHaveSupportPDL) return m_r.dwSupportPDL;
    DWORD dwBits = m_bidi.GetSupportPDLBits();
    if (m_r.bHaveModelName) {
        const std::optional<DWORD> flags = ModelFlags();
        if (flags && (*flags & kModelFlagNoPCL)) dwBits &= ~kPDLPCL;
    }
    m_r.dwSupportPDL = dwBits;
    m_r.bHaveSupportPDL = true;
    return dwBits;
}

// With flag 0x100 the printer must be the model the driver was made for.
void CUpdate::CheckDriverModel() {
    if ((m_info.GetFlags() & BIPI_FLAG_CHECK_MODELNAME) == 0) return;
    const WCHAR* pPrinterModel = m_bidi.GetModelName();
    if (pPrinterModel == nullptr || pPrinterModel[0] == 0) Fail("#Failed to get ModelName from BiDi.", kStatusQueryFailed);
    WCHAR szDataFile[MAX_PATH] = {};
    WCHAR szDriverModel[BIInfo::kModelNameChars] = {};
    if (m_context.GetPath(BIInfo::DataFile, szDataFile, MAX_PATH))
        GetPrivateProfileStringW(kDataFileSection, kDataFileModelKey, u"", szDriverModel, BIInfo::kModelNameChars,
                                 szDataFile);
    m_context.SetDriverModelName(szDriverModel);
    if (szDriverModel[0] == u'0') Fail("#Error Failed to get ModelName from VIF.", kStatusQueryFailed);
    if (std::u16string_view(pPrinterModel) != std::u16string_view(m_context.GetDriverModelName()))
        Fail("#Failed to unmatch access printer ModelName.", kStatusQueryFailed);
}

void CUpdate::ReduceAndLoadTables() {
    m_dwCategory = m_bidi.GetPrinterCategory();
    switch (m_dwCategory) {
    case PRINTER_CATEGORY_INKJET:
        m_dwElements &= kMaskInkjet;
        break;
    case PRINTER_CATEGORY_CAPABILITY_RECORD:
        m_dwElements &= kMaskCapabilityRecord;
        break;
    default:
        m_dwElements &= kMaskOther;
        break;
    }
    if (m_dwCategory == PRINTER_CATEGORY_SYSTEM_OEM) {
        // The OEM record decides the tables, so its model bits are needed (and kept) first.
        DWORD dwBits = 0;
        if (!m_bidi.GetModelInfoBits(&dwBits)) Fail("#Failed to get ModelInfoBits from printer.", kStatusQueryFailed);
        WriteNumber(kValModelInfoBits, dwBits);
        m_bOEM = true;
    }
    const DWORD dwID = m_bOEM ? DWID_CFGXResourceID : DWID_BinaryResourceID;
    BI_LOG("CBIPrinterInfo::GetDWORDValue enumDWID=%d\n", static_cast<int>(dwID));
    DWORD dwResourceID = 0;
    BOOL bLoaded = m_info.GetDWORDValue(dwID, &dwResourceID);  // ID 17 reloads the tables itself
    if (bLoaded && m_bOEM) bLoaded = m_tables.UpdateBinaryTable(m_context.GetPrinterName(), dwResourceID);
    if (!bLoaded) Fail("#Failed to UpdateBinaryTable.", kStatusOther);
}

void CUpdate::Query() {
    if (Wants(kElemModelName)) {
        const WCHAR* pName = m_bidi.GetModelName();
        if (pName == nullptr) Fail("#Failed to get ModelName.", kStatusQueryFailed);
        m_r.strModelName = pName;
        m_r.bHaveModelName = true;
    }
    if (Wants(kElemModelInfo)) {
        if (!m_bidi.GetModelInfoBits(&m_r.dwModelInfoBits))
            Fail("#Failed to get ModelInfoBits from printer.", kStatusQueryFailed);
        if (m_r.dwModelInfoBits & kModelInfoBandHeight) m_r.dwBandHeight = m_bidi.GetCompressionBandHeight();
    }
    if (Wants(kElemSupportPDL)) SupportPDL();
    if (Wants(kElemDefaultPDL)) m_r.dwDefaultPDL = DefaultPDL(SupportPDL(), m_context.IsPCLPriority() != FALSE);
    if (Wants(kElemMemory)) {
        m_r.dwMemory = m_bidi.GetInstalledMemory();
        if (m_r.dwMemory == 0) Fail("#Failed to get InstalledMemory from printer.", kStatusQueryFailed);
    }
    if (Wants(kElemOptionUnits) && !m_bidi.GetOptionUnitBits(&m_r.dwOptionUnits))
        Fail("#Failed to get OptionUnitBits from printer.", kStatusQueryFailed);
    if (Wants(kElemCassettes)) QueryCassettes();
    if (Wants(kElemPaperSizes)) {
        if (Wants(kElemDirections) && (SupportPDL() & kPDLPaperDirections)) {
            m_r.pDirections = m_bidi.GetPaperDirection();
            if (m_r.pDirections == nullptr || m_r.pDirections->empty())
                Fail("#Failed GetPaperDirection Info.", kStatusQueryFailed);
            m_r.dwStoreFlag |= kStoreFlagDirections;
        }
        if (!m_bOEM) {
            m_r.pSizes = m_bidi.GetSupportPaperSize(0);
            if (m_r.pSizes == nullptr) Fail("#Failed GetSupportPaperSize.", kStatusQueryFailed);
            if (m_r.pSizes->empty()) Fail("#Failed pvecSupportPaperSize->size().", kStatusOther);
            BI_LOG("Success to get information of Support PaperSize from printer. # of SupportPaperSize=%d\n",
                   static_cast<int>(m_r.pSizes->size()));
        }
    }
    if (Wants(kElemPaperTypes) && !m_bOEM) {
        m_r.pTypes = m_bidi.GetSupportPaperType();
        if (m_r.pTypes == nullptr) Fail("#Failed GetSupportPaperType.", kStatusQueryFailed);
        if (m_r.pTypes->empty()) Fail("#Failed pvecSupportPaperType size().", kStatusOther);
        BI_LOG("Success to get information of Support PaperType from printer. # of SupportPaperType=%d\n",
               static_cast<int>(m_r.pTypes->size()));
    }
    if (Wants(kElemUserDef)) {
        if (!m_bidi.GetUserDefMaxMin(&m_r.userDef)) Fail("#Failed GetUserDefMaxMin func.", kStatusQueryFailed);
        BI_LOG("Update Userdefine MaxMin of AUDF as below.\n");
        LogUserDefMaxMin("UserDefMaxMin", m_r.userDef);
    }
    if (Wants(kElemMaxCopies)) m_r.dwMaxCopies = m_bidi.GetMaxCopies();
    if (Wants(kElemResolution)) m_r.dwResolution = m_bidi.GetBaseResolution();
    if (Wants(kElemQuality)) m_r.dwQuality = m_bidi.GetQualityMask();
    if (Wants(kElemLayout)) m_r.dwLayout = m_bidi.GetLayoutMask();
    if (Wants(kElemDefaultSettings)) m_bidi.GetDefaultSetting(&m_r.defaults);  // a printer without one: zeros
    if (Wants(kElemProhibit)) {
        const DWORD dwPDL = SupportPDL();
        const BOOL bPCL = (dwPDL & kPDLPCL) != 0 && (dwPDL & kPDLLowByte) != 0;
        const BOOL bLP = m_dwCategory == PRINTER_CATEGORY_PAGE || m_dwCategory == kCategoryNumeric6;
        if (!m_info.MakeProhibitInfo(&m_r.prohibit, bPCL, bLP)) {
            BI_LOG("#Failed MakeProhibitInfo func. bPCLSupport=%d bLPModel=%d\n", bPCL, bLP);
            throw UpdateFailure{kStatusQueryFailed};
        }
    }
}

void CUpdate::QueryCassettes() {
    BICassetteList& list = m_r.cassettes;
    if (!m_bidi.GetCassetteInfo(&list)) Fail("#Failed to get CassetteInfo from printer.", kStatusQueryFailed);
    if (m_dwCategory == PRINTER_CATEGORY_INKJET) {
        bool bHasFeeder = false;
        for (const VANTO_CASETTE_INFO& c : list) bHasFeeder = bHasFeeder || (c.wPaperSourceBit & kFeederSourceBit);
        WORD wFeeder = 0;
        const std::optional<DWORD> flags = bHasFeeder ? std::nullopt : ModelFlags(&wFeeder);
        if (flags && (*flags & kModelFlagFeeder) && wFeeder != 0)
            list.push_back(VANTO_CASETTE_INFO{kUnknownID, kUnknownID, 0, 0, kFeederSourceBit, 0, kUnknownLevel,
                                              kUnknownLevel, 0});
    }
    BI_LOG("CassetteNum = %d\n", static_cast<int>(list.size()));
    if (list.empty() && (m_info.GetFlags() & (BIPI_FLAG_BIJ_CUSTOM | BIPI_FLAG_LP_CUSTOM)) == 0)
        Fail("#Failed to get CassetteInfo.", kStatusQueryFailed);
    switch (m_dwCategory) {
    case PRINTER_CATEGORY_INKJET:
    case PRINTER_CATEGORY_CAPABILITY_RECORD:
    case PRINTER_CATEGORY_SYSTEM_OEM:
        ConvertCassettesByCode();
        break;
    default:
        ConvertCassettesByName();
        break;
    }
    for (size_t i = 0; i < list.size(); ++i) {
        const VANTO_CASETTE_INFO& c = list[i];
        BI_LOG("Cassette[%d]:PaperSizeID=%d,PaperTypeID=%d,PaperSourceBit=%d,PaperSourceEID=%d,Direction=%d,"
               "MaxCapacity=%d,CurrentLevel=%d\n",
               static_cast<int>(i), c.wPaperSizeID, c.wPaperTypeID, c.wPaperSourceBit, c.wPaperSourceEID,
               c.byDirection, c.wMaxCapacity, c.wCurrentLevel);
    }
}

// Non-page printers report the driver's codes: convert them (unless told they already are IDs)
// and name the tray's element. An OEM printer's trays come from its record as they are.
void CUpdate::ConvertCassettesByCode() {
    if (m_bOEM) return;
    const DWORD dwMask = SourceMask();
    for (VANTO_CASETTE_INFO& c : m_r.cassettes) {
        if ((m_dwOption & kOptKeepCassetteIDs) == 0) {
            c.wPaperSizeID = m_tables.GetPaperSizeIDByCode(c.wPaperSizeID, dwMask);
            c.wPaperTypeID = m_tables.GetPaperTypeIDByCode(c.wPaperTypeID, dwMask);
        }
        c.wPaperSourceEID = m_tables.GetPaperSourceElementID(c.wPaperSourceBit);
    }
}

// Page printers report positions in their own paper lists: code n is name n of the list.
void CUpdate::ConvertCassettesByName() {
    const DWORD dwArgument = (m_dwCategory == kCategoryNumeric6 || m_dwCategory == kCategoryNumeric7) ? 1 : 0;
    const BIStringList* pSizes = m_bidi.GetSupportPaperSize(dwArgument);
    const BIStringList* pTypes = m_bidi.GetSupportPaperType();
    if (pSizes == nullptr || pTypes == nullptr || pSizes->empty() || pTypes->empty())
        Fail("#Failed to get GetSupportPaperSize or GetSupportPaperType.", kStatusQueryFailed);
    DWORD dwMask = SourceMask();
    if ((m_info.GetFlags() & BIPI_FLAG_CHECK_MODELNAME) || (m_dwOption & kOptWideNames300))
        dwMask |= kNameMaskWide300;
    else if (m_dwOption & kOptWideNames500)
        dwMask |= kNameMaskWide500;
    for (VANTO_CASETTE_INFO& c : m_r.cassettes) {
        if (c.wPaperSizeID >= 1 && c.wPaperSizeID <= pSizes->size()) {
            const std::string& name = (*pSizes)[c.wPaperSizeID - 1];
            WORD wDirection = c.byDirection;
            c.wPaperSizeID = name.empty() ? 0 : m_tables.GetPaperSizeIDByName(name.c_str(), &wDirection, dwMask);
            c.byDirection = static_cast<BYTE>(wDirection);
        }
        if (c.wPaperTypeID >= 1 && c.wPaperTypeID <= pTypes->size()) {
            const std::string& name = (*pTypes)[c.wPaperTypeID - 1];
            c.wPaperTypeID = name.empty() ? 0 : m_tables.GetPaperTypeIDByName(name.c_str(), dwMask);
        }
    }
}

// A write the store refuses ends the update: the flag is not written over values that are not
// all there.
void CUpdate::WriteNumber(LPCWSTR pszName, DWORD dwValue) {
    if (m_store.WriteDWORD(pszName, dwValue)) return;
    BI_LOG("#Failed to write %s to AUDF.\n", BILogging::Narrow(pszName).c_str());
    throw UpdateFailure{kStatusOther};
}

void CUpdate::WriteBytes(LPCWSTR pszName, const void* pData, DWORD cbData) {
    if (m_store.WriteData(pszName, static_cast<const BYTE*>(pData), cbData)) return;
    BI_LOG("#Failed to write %s to AUDF.\n", BILogging::Narrow(pszName).c_str());
    throw UpdateFailure{kStatusOther};
}

void CUpdate::Write() {
    // The writes of one update are one change of the store: a record read, a cassette write or
    // another update of the queue in another process waits until they are all done.
    const BIStoreLock lock = m_store.LockStore();
    if (!lock.Held()) {
        BI_LOG("#The store of the queue is locked by another writer.\n");
        throw UpdateFailure{kStatusOther};
    }
    if (m_r.bHaveModelName) {
        if (!m_store.WriteModelName(m_r.strModelName.c_str())) {
            BI_LOG("#Failed to write %s to AUDF.\n", "BIModelName");
            throw UpdateFailure{kStatusOther};
        }
        BI_LOG("\tModelName = %s\n", BILogging::Narrow(m_r.strModelName.c_str()).c_str());
    }
    if (Wants(kElemModelInfo)) {
        WriteNumber(kValModelInfoBits, m_r.dwModelInfoBits);
        BI_LOG("\tModelInfoBits = 0x%08x\n", m_r.dwModelInfoBits);
        if (m_r.dwModelInfoBits & kModelInfoBandHeight) {
            WriteNumber(u"BIRHV2CompBandHeight", m_r.dwBandHeight);
            BI_LOG("\tRHV2CompBandHeight = %d\n", static_cast<int>(m_r.dwBandHeight));
        }
    }
    if (Wants(kElemSupportPDL)) {
        WriteNumber(kValSupportPDL, m_r.dwSupportPDL);
        BI_LOG("\tSupportPDLBits = 0x%08x\n", m_r.dwSupportPDL);
    }
    if (Wants(kElemDefaultPDL)) {
        WriteNumber(kValDefaultPDL, m_r.dwDefaultPDL);
        BI_LOG("defaultPDL = 0x%x\n", m_r.dwDefaultPDL);
    }
    if (Wants(kElemMemory)) {
        WriteNumber(kValInstalledMemory, m_r.dwMemory);
        BI_LOG("\tInstalledMemory = %d\n", static_cast<int>(m_r.dwMemory));
    }
    if (Wants(kElemOptionUnits)) {
        const DWORD dwKind = m_info.GetPrinterKind();
        const std::optional<DWORD> flags = dwKind == BIPI_KIND_BIJ ? ModelFlags() : std::nullopt;
        const bool bRow10 = flags && (*flags & kModelFlagOption10000);
        const bool bRow200 = flags && (*flags & kModelFlagOption20000);
        if ((dwKind == BIPI_KIND_PAGE && !m_bOEM) || bRow10) m_r.dwOptionUnits |= kOptionUnit10000;
        if (bRow200) m_r.dwOptionUnits |= kOptionUnit20000;
        WriteNumber(kValOptionUnitBits, m_r.dwOptionUnits);
        BI_LOG("OptionUnitBits = 0x%08x\n", m_r.dwOptionUnits);
    }
    if (Wants(kElemCassettes)) {
        WriteNumber(kValCassetteNum, static_cast<DWORD>(m_r.cassettes.size()));
        for (size_t i = 0; i < m_r.cassettes.size(); ++i) {
            if (!m_store.WriteCassette(static_cast<DWORD>(i), &m_r.cassettes[i])) {
                BI_LOG("#Failed to write %s to AUDF.\n", "BICassetteInfo");
                throw UpdateFailure{kStatusOther};
            }
        }
    }
    if (Wants(kElemPaperSizes) && !m_info.GetSupportPaperSizeInfo(m_r.pDirections, m_r.pSizes)) {
        BI_LOG("#Failed GetSupportPaperSizeInfo function.\n");
        m_store.WriteDWORD(kValPaperSizeNum, 0);
        throw UpdateFailure{kStatusQueryFailed};
    }
    if (Wants(kElemPaperTypes) && !m_info.GetSupportPaperTypeInfo(m_r.pTypes)) {
        BI_LOG("#Failed GetSupportPaperTypeInfo function.\n");
        m_store.WriteDWORD(kValPaperTypeNum, 0);
        throw UpdateFailure{kStatusQueryFailed};
    }
    if (Wants(kElemUserDef)) WriteBytes(kValUserDefMaxMin, &m_r.userDef, sizeof m_r.userDef);
    if (Wants(kElemMaxCopies)) WriteNumber(u"BIMaxCopies", m_r.dwMaxCopies);
    if (Wants(kElemResolution)) WriteNumber(u"BIBaseResolution", m_r.dwResolution);
    if (Wants(kElemQuality)) WriteNumber(kValQuality, m_r.dwQuality);
    if (Wants(kElemLayout)) WriteNumber(u"BILayout", m_r.dwLayout);
    if (Wants(kElemDefaultSettings)) {
        BIDefaultSettings& d = m_r.defaults;
        // The ID texts come from outside: read them only up to their field's end. An empty text
        // names no paper (a table may hold an unnamed row, which must not be taken for it).
        const std::string sizeText(d.szMediaSizeID, strnlen(d.szMediaSizeID, sizeof d.szMediaSizeID));
        const std::string typeText(d.szMediaTypeID, strnlen(d.szMediaTypeID, sizeof d.szMediaTypeID));
        d.dwMediaSizeID = sizeText.empty() ? 0 : m_tables.GetPaperSizeIDByName(sizeText.c_str(), nullptr, 0);
        d.dwMediaTypeID = typeText.empty() ? 0 : m_tables.GetPaperTypeIDByName(typeText.c_str(), 0);
        d.dwPaperSource = m_tables.GetPaperSourceElementID(d.dwPaperSource);
        const DWORD dwOptionUnits = Wants(kElemOptionUnits) ? m_r.dwOptionUnits : m_store.GetOptionUnitBits();
        const std::optional<DWORD> flags = ModelFlags();
        d.dwDuplex = ((dwOptionUnits & kOptionUnitDuplex) && flags && (*flags & kModelFlagDuplexDefault)) ? 1 : 0;
        BI_LOG("stDefaultSettings.dwDuplex = 0x%x.\n", d.dwDuplex);
        WriteBytes(u"BIDefaultSettings", &d, sizeof d);
    }
    if (Wants(kElemProhibit) && !m_store.WriteProhibitInfo(&m_r.prohibit)) {
        BI_LOG("#Failed to write %s to AUDF.\n", "BIProhibitInfo");
        throw UpdateFailure{kStatusOther};
    }
    WriteNumber(kValStoreFlag, m_r.dwStoreFlag);
}

}  // namespace

INT CBIPrinterInfo::UpdatePrinterInfo(uint64_t llElementBit, DWORD dwOption) {
    BI_LOG("CBIPrinterInfo::UpdatePrinterInfo\n");
    BI_LOG("UpdatePrinterInfo llElementBit=%x\n", static_cast<unsigned>(llElementBit));  // the bits that take part
    BI_LOG("UpdatePrinterInfo dwOption=%x\n", dwOption);
    if (!m_pBIDI || !m_pStoreData || !m_pTableData || m_pBIInfo == nullptr) return kStatusOther;
    // Without the queue's identifier the store has no key: nothing learnt could be kept.
    const BIInfo* pStoreContext = m_pStoreData->GetBIInfo();
    if (pStoreContext == nullptr || pStoreContext->GetQueueGUID()[0] == 0) {
        BI_LOG("#The queue has no KDPQGUID: there is no store to update.\n");
        return kStatusOther;
    }
    if (!m_pBIDI->Open(m_pBIInfo->GetPrinterName())) {
        BI_LOG("#Failed to open Bidi communication.\n");
        return kStatusNoConnection;
    }
    INT nStatus = kStatusOK;
    {
        ConnectionGuard guard(m_pBIDI.get());
        try {
            CUpdate update(*this, static_cast<DWORD>(llElementBit), dwOption);
            update.CheckDriverModel();
            update.ReduceAndLoadTables();
            update.Query();
            update.Write();
        } catch (const UpdateFailure& failure) {
            nStatus = failure.nStatus;
        } catch (const std::bad_alloc&) {
            BI_LOG("#Failed to alloc memory.\n");
            nStatus = kStatusQueryFailed;
        }
    }
    if (nStatus == kStatusOK) BI_LOG("End CBIPrinterInfo::UpdatePrinterInfo function.\n");
    return nStatus;
}

INT CBIPrinterInfo::CheckModelNameHasChanged() {
    BI_LOG("CBIPrinterInfo::CheckModelNameHasChanged\n");
    if (!m_pBIDI || !m_pStoreData || m_pBIInfo == nullptr) return kStatusOther;
    if (GetPrinterKind() == BIPI_KIND_ERD) return kModelChanged;
    if (!m_pBIDI->Open(m_pBIInfo->GetPrinterName())) {
        BI_LOG("#Failed to open Bidi communication.\n");
        return kStatusNoConnection;
    }
    ConnectionGuard guard(m_pBIDI.get());

    WCHAR szStored[kModelNameChars + 1] = {};  // one unit more: terminated whatever is stored
    DWORD cb = kModelNameBytes;
    const WCHAR* pPrinterModel = m_pBIDI->GetModelName();
    if (!m_pStoreData->ReadData(kValModelName, reinterpret_cast<LPBYTE>(szStored), &cb) || pPrinterModel == nullptr)
        return kStatusOther;
    const std::u16string_view stored(szStored);
    if (stored == std::u16string_view(pPrinterModel)) {
        BI_LOG("ModelName has not changed between printer and AUDF.\n");
        // The queue's own record of its model, where the installer left one, must agree too.
        WCHAR szQueueModel[kModelNameChars + 1] = {};
        DWORD dwType = 0;
        DWORD cbNeeded = 0;
        CQueueHolder queue;
        const bool bHaveQueueModel =
            queue.Open(m_pBIInfo->GetPrinterName()) &&
            GetPrinterDataW(queue.Handle(), const_cast<LPWSTR>(kQueueModelValue), &dwType,
                            reinterpret_cast<LPBYTE>(szQueueModel), kModelNameBytes, &cbNeeded) == ERROR_SUCCESS;
        m_pBIInfo->SetDriverModelName(szQueueModel);
        if (!bHaveQueueModel || stored == std::u16string_view(m_pBIInfo->GetDriverModelName())) return kModelUnchanged;
    }
    BI_LOG("ModelName has changed from '%s' to '%s'.\n", BILogging::Narrow(szStored).c_str(),
           BILogging::Narrow(pPrinterModel).c_str());
    return kModelChanged;
}
