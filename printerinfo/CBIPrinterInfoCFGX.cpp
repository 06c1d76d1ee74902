// CBIPrinterInfo::UpdateCFGXFile: the rewrite of a queue's driver configuration (CFX) file from
// the stored values, so that the driver offers only what the printer has.
//
// One call opens the driver's source file through the CFGX module, runs the sections below in a
// fixed order (each selected by its element bit, reduced by the printer kind), and only when a
// call that modifies the file succeeded saves it into the queue's work folder; the driver's
// registry data are then updated from the printer information record. A failing call inside a
// section is logged and skipped; only the module's start, the queue handle, the save and the
// registry update end the call with 0. The log name of the operation is that of the live
// printer's object, CBIPrinterInfo_BP.
#include "printerinfo/CBIPrinterInfo.h"

#include "bidi/BIDIRecords.h"
#include "cfgx/CCfgxDll.h"
#include "cfgx/CfgxIDs.h"
#include "common/BILogging.h"
#include "common/CQueueHolder.h"
#include "printerinfo/BIElementBits.h"
#include "printerinfo/BIUserDefLog.h"
#include "printerinfo/CBIProhibitInfo.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <vector>

namespace {

// Element bits of the default settings, each selecting one default (BIElementBits.h has the others).
constexpr DWORD kElemDefPaperSource = 0x8000;
constexpr DWORD kElemDefOrientation = 0x10000;
constexpr DWORD kElemDefPaperSize = 0x20000;
constexpr DWORD kElemDefPaperType = 0x40000;
constexpr DWORD kElemDefQuality = 0x100000;
constexpr DWORD kElemDefColor = 0x200000;
constexpr DWORD kElemDefMultiPage = 0x800000;
constexpr DWORD kElemDefCopies = 0x1000000;
constexpr DWORD kElemDefCollate = 0x4000000;
constexpr DWORD kElemDefReverseOrder = 0x8000000;
constexpr DWORD kElemDefBorderless = 0x10000000;
constexpr DWORD kElemDefDuplex = 0x80000000;

// Option bits of the update.
constexpr DWORD kOptRegistryOnly = 0x1;      // no version, save or compiled-file deletion
constexpr DWORD kOptMaskIsElements = 0x2;    // the record's mask is the reduced element bits
constexpr DWORD kOptNoColorDefault = 0x4;
constexpr DWORD kOptRecordOnlyMode = 0x8;
constexpr DWORD kOptLanguageByBits = 0x10;   // the default language follows the stored bits
constexpr DWORD kOptReplaceMode = 0x20;
constexpr DWORD kOptDuplexAttached = 0x40;   // the duplex unit is attached, whatever is stored

// Registry update kind of the record (offset 352).
constexpr DWORD kRegKindCFGX = 3;
constexpr DWORD kRegKindDuplex = 11;

// Stored ModelInfoBits read here.
constexpr DWORD kMIColor = 0x1;
constexpr DWORD kMIA3 = 0x2;
constexpr DWORD kMILPSeries = 0x4;
constexpr DWORD kMIInk360 = 0x10;                // ink-jet quality levels at 360 dpi
constexpr DWORD kMIPCLHighQuality = 0x20;
constexpr DWORD kMIMonoPCLLevels = 0x80;         // quality levels of the PCL monochrome models
constexpr DWORD kMICFGXTables = 0x300;           // the CFGX table choice
constexpr DWORD kMICFGX200 = 0x200;
constexpr DWORD kMICFGX400 = 0x400;
constexpr DWORD kMIOutputBin = 0x200000;         // a face-up output bin
constexpr DWORD kMIAutoDupPageOrder = 0x400000;  // ... that reverses the page order in auto duplex
constexpr DWORD kMICapsPage100 = 0x10000;
constexpr DWORD kMITypeAlone = 0x10000000;       // prohibited paper types are ruled alone

// Model flags of the model table read here.
constexpr DWORD kMFA3Caps = 0x2;
constexpr DWORD kMFColorIntent = 0x4;
constexpr DWORD kMFSoftwareCollate = 0x8 | 0x20;
constexpr DWORD kMFCapsCommon80 = 0x40;
constexpr DWORD kMFEnvelopeNoHigh = 0x80;
constexpr DWORD kMFPhysicalPaper = 0x100;        // an ink-jet whose paper sizes are not logical
constexpr DWORD kMFLongPaperPCL = 0x200000;      // the long paper size is not offered with PCL

// Option unit bits.
constexpr DWORD kOUFiler = 0x4;
constexpr DWORD kOUConfidentialJob = 0x10000;
constexpr DWORD kOURestrictFunc = 0x20000;

// Language bits.
constexpr DWORD kPDLQLMPage = 0x1 | 0x2;
constexpr DWORD kPDLS04 = 0x4;
constexpr DWORD kPDLBasic = 0x10;
constexpr DWORD kPDLAdvance = 0x20;
constexpr DWORD kPDLPCL5 = 0x100;
constexpr DWORD kPDLPCL6 = 0x200;
constexpr DWORD kPDLLowByte = 0xFF;

// Tag bits.
constexpr int32_t kPanelMono = 0x2;
constexpr int32_t kCapsPage100 = 0x100;
constexpr int32_t kCapsPageMonoPCL = 0x40000;
constexpr int32_t kCapsPageA3 = 0x10000;
constexpr int32_t kCapsCommonOutputBin = 0x1;
constexpr int32_t kCapsCommon80 = 0x80;
constexpr int32_t kCaps2Filer = 0x40000;
constexpr int32_t kCaps2MonoPCL = 0x8000000;

// Element attributes and their flags.
constexpr DWORD kAttrFlagRemovable = KD_CFGX_ATTR_FLAG_REMOVABLE_PAPER;  // bit 27 of attribute 27
constexpr WORD kRowShown = 0x800;        // bit 11 of a language-table row: offered
constexpr WORD kTypeRowAlone = 0x1000;   // bit 12 of a paper-type row: always ruled alone
constexpr BYTE kSourceRowAllLanguages = 0x08;  // byte 19 of a paper-source row

// Status values.
constexpr DWORD kStatusShown = KD_CFGX_STATUS_SHOWN;
constexpr DWORD kStatusHidden = KD_CFGX_STATUS_HIDDEN;

// Quality bits of "BIQuality" and of the default settings.
constexpr DWORD kQFast = 0x1;
constexpr DWORD kQStandard = 0x2;
constexpr DWORD kQHigh = 0x4;
constexpr DWORD kQBest = 0x10;

// Bounds on what the store hands back: more entries than any driver table has are not read.
constexpr DWORD kMaxPaperEntries = 4096;
constexpr DWORD kMaxCassettes = 64;

// Default-setting paper sizes that keep the driver's own paper-size default.
constexpr DWORD kPaperLetter = 1;
constexpr DWORD kPaperA4 = 9;

// The language element of each supported-language bit, for per-language rules.
struct LanguageBit {
    DWORD dwBit;
    DWORD dwElement;
};
constexpr LanguageBit kLanguageElements[] = {
    {0x1, CFGX_ELEM_PDL_QLMPAGE},      {0x2, CFGX_ELEM_PDL_QLMPAGE},  {0x4, CFGX_ELEM_PDL_QLMPAGE_S04},
    {0x10, CFGX_ELEM_PDL_QLMPR_BASIC}, {0x20, CFGX_ELEM_PDL_QLMPR_ADVANCE}};

using Item = KD_CFGX_PROHIBIT_ITEM;
inline Item MakeItem(DWORD dwFunctionID, DWORD dwElementID) {
    return Item{static_cast<uint32_t>(dwFunctionID), static_cast<uint32_t>(dwElementID), 0, 0};
}

// The working state of one update and its sections.
class CCfgxUpdate {
public:
    CCfgxUpdate(CBIPrinterInfo& info, const CCfgxDll& cfgx, DWORD dwElements, DWORD dwOption, DWORD dwKind)
        : m_info(info), m_store(*info.GetStoreData()), m_tables(*info.GetTableData()), m_cfgx(cfgx),
          m_dwElements(dwElements), m_dwOption(dwOption), m_dwKind(dwKind) {}

    void ReadTag100();
    void RunSections();
    bool Changed() const { return m_bChanged; }
    DWORD Tag100() const { return m_dwTag100; }

private:
    bool Selected(DWORD dwBits) const { return (m_dwElements & dwBits) != 0; }
    DWORD StoredNumber(LPCWSTR pszName) {
        DWORD dwValue = 0;
        return m_store.ReadDWORD(pszName, &dwValue) ? dwValue : 0;
    }
    // The stored paper entries of a list, bounded by what was actually read.
    std::vector<SBIPaperEntry> StoredPaperEntries(LPCWSTR pszNumName, LPCWSTR pszIDsName);
    // The CFGX resource tables of the stored printer; null (logged) when they cannot be loaded.
    std::unique_ptr<CBITableData> LoadCfgxTables();
    // The same as the language table, when the supported languages call for it.
    std::unique_ptr<CBITableData> LoadLanguageTable();

    // The modifying calls: each success sets the changed flag.
    bool Modified(int32_t lRet) {
        if (lRet == KD_CFGX_OK) m_bChanged = true;
        return lRet == KD_CFGX_OK;
    }
    bool SetDefault(DWORD dwFunctionID, DWORD dwElementID) {
        return Modified(m_cfgx.SetDefault(dwFunctionID, dwElementID, 1, 0, 1, 1));
    }
    // Language defaults and the manual model selection do not become the current setting.
    bool SetDefaultKeepSetting(DWORD dwFunctionID, DWORD dwElementID) {
        return Modified(m_cfgx.SetDefault(dwFunctionID, dwElementID, 1, 0, 0, 1));
    }
    bool Available(DWORD dwFunctionID, DWORD dwElementID, bool bOn) {
        return Modified(AddProhibitInfo(&m_cfgx, dwFunctionID, dwElementID, bOn ? TRUE : FALSE) ? KD_CFGX_OK : -1);
    }
    // Adds a group; a group that names the user-defined paper size is added once more for
    // USERDEF_COMMSTARTID (pszFail10000, or pszFail, on failure).
    bool AddGroup(std::vector<Item> items, const char* pszFail, const char* pszFail10000 = nullptr);
    void AddLanguageGroups(DWORD dwFunctionID, DWORD dwElementID, const char* pszFail, const char* pszFail10000);
    void OrTag(DWORD dwTagID, int32_t lBits, const char* pszTagName);
    bool ElementExists(DWORD dwFunctionID, DWORD dwElementID) const {
        return m_cfgx.GetFunctionElementStatus(dwFunctionID, dwElementID) >= 0;
    }
    bool ElementRemovable(DWORD dwFunctionID, DWORD dwElementID) const {
        DWORD dwFlags = 0;
        return m_cfgx.GetFunctionElementAttribute(dwFunctionID, dwElementID, KD_CFGX_ATTR_FLAGS, &dwFlags) ==
                   KD_CFGX_OK &&
               (dwFlags & kAttrFlagRemovable) != 0;
    }

    void QualityLevels();
    void ModelInformation();
    void MaxCopies();
    void Quality();
    void Layout();
    void Languages();
    void DefaultLanguage();
    void PaperSizes();
    void PaperTypes();
    void UserDefinedLimits();
    void InputBins();
    void ProhibitRules();
    void DefaultSettings();
    void Duplex(DWORD dwDuplex);

    CBIPrinterInfo& m_info;
    BIStoreData& m_store;
    CBITableData& m_tables;
    const CCfgxDll& m_cfgx;
    const DWORD m_dwElements;
    const DWORD m_dwOption;
    const DWORD m_dwKind;
    DWORD m_dwTag100 = 0;
    DWORD m_dwModelInfo = 0;   // stored ModelInfoBits
    DWORD m_dwPDL = 0;         // stored supported languages
    DWORD m_dwModelFlags = 0;  // model table flags of the stored model, 0 when not in the table
    bool m_bModelKnown = false;
    bool m_bChanged = false;
    bool m_bOutputBinSet = false;
};

void CCfgxUpdate::ReadTag100() {
    int32_t lValue = 0;
    if (m_cfgx.GetLogPrinterData(CFGX_TAG_DRIVERCAPS, &lValue) == KD_CFGX_OK) m_dwTag100 = static_cast<DWORD>(lValue);
}

std::vector<SBIPaperEntry> CCfgxUpdate::StoredPaperEntries(LPCWSTR pszNumName, LPCWSTR pszIDsName) {
    std::vector<SBIPaperEntry> entries;
    const DWORD n = StoredNumber(pszNumName);
    if (n == 0) return entries;
    if (n > kMaxPaperEntries) {
        BI_LOG("#Stored paper count %u is beyond %u entries: ignored.\n", static_cast<unsigned>(n),
               static_cast<unsigned>(kMaxPaperEntries));
        return entries;
    }
    entries.resize(n);
    DWORD cb = n * sizeof(SBIPaperEntry);
    if (!m_store.ReadData(pszIDsName, reinterpret_cast<LPBYTE>(entries.data()), &cb)) return {};
    entries.resize(std::min<DWORD>(cb, n * sizeof(SBIPaperEntry)) / sizeof(SBIPaperEntry));
    return entries;
}

std::unique_ptr<CBITableData> CCfgxUpdate::LoadCfgxTables() {
    auto table = std::make_unique<CBITableData>();
    table->SetFlags(m_tables.GetFlags(), (m_info.GetFlags() & BIPI_FLAG_ERD) ? 1 : 0);
    if (!table->UpdateBinaryTable(m_info.GetBIInfo()->GetPrinterName(), m_info.ComputeCFGXResourceID())) {
        BI_LOG("#Failed to load the CFGX table data.\n");
        return nullptr;
    }
    return table;
}

std::unique_ptr<CBITableData> CCfgxUpdate::LoadLanguageTable() {
    if ((m_dwPDL & (kPDLPCL5 | kPDLPCL6)) == 0 || (m_dwPDL & kPDLLowByte) == 0) return nullptr;
    return LoadCfgxTables();
}

bool CCfgxUpdate::AddGroup(std::vector<Item> items, const char* pszFail, const char* pszFail10000) {
    const bool bAdded = Modified(m_cfgx.AddProhibitData(items.data(), static_cast<DWORD>(items.size()), 0));
    if (!bAdded) BI_LOG("%s\n", pszFail);
    bool bUserDef = false;
    for (Item& it : items) {
        if (it.functionID == CFGX_FUNC_OUTPUTPAPERSIZE && it.elementID == CFGX_ELEM_PAPERSIZE_USERDEF) {
            it.elementID = CFGX_ELEM_PAPERSIZE_USERDEF_COMMON;
            bUserDef = true;
        }
    }
    if (bUserDef && !Modified(m_cfgx.AddProhibitData(items.data(), static_cast<DWORD>(items.size()), 0)))
        BI_LOG("%s\n", pszFail10000 != nullptr ? pszFail10000 : pszFail);
    return bAdded;
}

// One group per supported language: the element with that language.
void CCfgxUpdate::AddLanguageGroups(DWORD dwFunctionID, DWORD dwElementID, const char* pszFail,
                                    const char* pszFail10000) {
    for (const LanguageBit& lang : kLanguageElements) {
        if ((m_dwPDL & lang.dwBit) == 0) continue;
        AddGroup({MakeItem(dwFunctionID, dwElementID), MakeItem(CFGX_FUNC_PDL_DRVMODE, lang.dwElement)}, pszFail,
                 pszFail10000);
    }
}

void CCfgxUpdate::OrTag(DWORD dwTagID, int32_t lBits, const char* pszTagName) {
    int32_t lValue = 0;
    if (m_cfgx.GetLogPrinterData(dwTagID, &lValue) != KD_CFGX_OK) {
        BI_LOG("#Failed to Get %s.\n", pszTagName);
        return;
    }
    lValue |= lBits;
    if (Modified(m_cfgx.SetLogPrinterData(dwTagID, lValue)))
        BI_LOG("Set value of %s. ID=%d\n", pszTagName, static_cast<int>(lValue));
    else
        BI_LOG("#Failed to Set %s. lValue=%d\n", pszTagName, static_cast<int>(lValue));
}

void CCfgxUpdate::RunSections() {
    m_dwModelInfo = m_store.GetModelInfoBits();
    m_dwPDL = m_store.GetSupportPDL();
    WCHAR szModel[64] = {};
    WORD wFeeder = 0;
    m_bModelKnown = m_store.ReadModelName(szModel, 64) && m_tables.GetModelInfo(szModel, &m_dwModelFlags, &wFeeder);
    if (!m_bModelKnown) m_dwModelFlags = 0;

    // The sections in their fixed order; the element bit of the base resolution selects the
    // quality levels, that of the trays the input bins.
    if (Selected(kElemResolution)) QualityLevels();
    if (Selected(kElemModelInfo)) ModelInformation();
    if (Selected(kElemMaxCopies)) MaxCopies();
    if (Selected(kElemQuality)) Quality();
    if (Selected(kElemLayout)) Layout();
    if (Selected(kElemSupportPDL)) Languages();
    if (Selected(kElemDefaultPDL)) DefaultLanguage();
    if (Selected(kElemPaperSizes)) PaperSizes();
    if (Selected(kElemPaperTypes)) PaperTypes();
    if (Selected(kElemUserDef)) UserDefinedLimits();
    if (Selected(kElemCassettes) && (m_info.GetFlags() & BIPI_FLAG_CHECK_MODELNAME) == 0) InputBins();
    if (Selected(kElemProhibit)) ProhibitRules();
    if (Selected(kElemDefaultSettings)) DefaultSettings();
    if (m_bOutputBinSet && SetDefault(CFGX_FUNC_REVERSEORDER, 0))
        BI_LOG("Set Default ReverseOrder. ID=%d\n", 0);
}

// Quality levels: a level is offered when its resolutions include the printer's base resolution.
void CCfgxUpdate::QualityLevels() {
    const DWORD r = StoredNumber(u"BIBaseResolution");
    for (const SBIQualityRow& row : m_tables.QualityLevels()) {
        const bool bSupported = (row.dwResolutionBits & r) != 0;
        const Item item = MakeItem(CFGX_FUNC_QUALITYLEVEL, row.wID);
        const int32_t lRet = bSupported ? m_cfgx.DeleteProhibitData(&item, 1) : m_cfgx.AddProhibitData(&item, 1, 0);
        if (Modified(lRet)) BI_LOG("Success to DeleteProhibitData for QualityLevel Customize.RID=%d\n", row.wID);
        if (m_dwKind == BIPI_KIND_ERD &&
            Modified(m_cfgx.SetFunctionElementAttribute(CFGX_FUNC_QUALITYLEVEL, row.wID,
                                                        KD_CFGX_ATTR_QUALITY_SUPPORTED, bSupported ? 1 : 0)))
            BI_LOG("Success to Update QualityLevel.RID=%d Default=%d\n", row.wID, bSupported ? 1 : 0);
    }
    m_bChanged = true;
}

void CCfgxUpdate::ModelInformation() {
    const DWORD m = m_dwModelInfo;
    const bool bColor = (m & kMIColor) != 0;
    DWORD dwType = bColor ? ((m & kMIA3) | 1) : ((m & kMIA3) ? 4 : 2);
    if (m_dwKind == BIPI_KIND_BIJ && (m & kMIInk360)) dwType += 4;
    if (SetDefault(CFGX_FUNC_PRINTER_MODELTYPE, dwType))
        BI_LOG("Set Default of KDFUNCTION_PRINTER_MODELTYPE to %d(1:A4Col/2:A4Mono/3:A3Color/4:A4Mono).\n",
               static_cast<int>(dwType));
    if (m_dwKind == BIPI_KIND_PAGE) {
        const DWORD dwSeries = (m & kMILPSeries) ? 1 : 2;
        if (SetDefault(CFGX_FUNC_PRINTER_MARKETSERIES, dwSeries))
            BI_LOG("Set Default of KDFUNCTION_PRINTER_MARKETSERIES to %d(1:LP/2:MV).\n", static_cast<int>(dwSeries));
    }
    if (m_dwKind != BIPI_KIND_ERD) {
        const DWORD dwCategory = m_dwKind == BIPI_KIND_PAGE ? 2 : 1;
        if (SetDefault(CFGX_FUNC_PRINTER_CATEGORY, dwCategory))
            BI_LOG("Set Default of KDFUNCTION_PRINTER_CATEGORY to %d(1:INK/2:Page).\n", static_cast<int>(dwCategory));
    }
    if (SetDefaultKeepSetting(CFGX_FUNC_MANUALSELMODEL, 1)) BI_LOG("Set PRINTERINFO MANUALSELMODEL Default. ElementID=%d\n", 1);
    if (!bColor && Modified(m_cfgx.SetFunctionStatus(CFGX_FUNC_COLORMODE, kStatusHidden)))
        BI_LOG("Update ColorMode function status to HIDE.\n");
    if ((m_dwOption & kOptNoColorDefault) == 0 && !Selected(kElemDefColor)) {
        const DWORD dwColor = bColor ? 2 : 1;
        if (SetDefault(CFGX_FUNC_COLORMODE, dwColor))
            BI_LOG("Set Default KDFUNCTION_COLORMODE. ID=%d(1:Mono/2:Color)\n", static_cast<int>(dwColor));
    }
    if (m_dwKind == BIPI_KIND_PAGE && !bColor) OrTag(CFGX_TAG_PRINTERPANEL, kPanelMono, "KDCFGXTAGID_PRINTERPANEL");
    if (m_dwKind == BIPI_KIND_PAGE && (m & (kMICapsPage100 | kMIMonoPCLLevels))) {
        const int32_t lBits = ((m & kMICapsPage100) ? kCapsPage100 : 0) | ((m & kMIMonoPCLLevels) ? kCapsPageMonoPCL : 0);
        OrTag(CFGX_TAG_PRINTERCAPSPAGE1, lBits, "KDCFGXTAGID_PRINTERCAPSPAGE1");
    }
    if (m_dwModelFlags & kMFA3Caps) OrTag(CFGX_TAG_PRINTERCAPSPAGE1, kCapsPageA3, "KDCFGXTAGID_PRINTERCAPSPAGE1");
    if (m_dwKind == BIPI_KIND_PAGE && (m_dwModelFlags & kMFColorIntent) && SetDefault(CFGX_FUNC_COLORINTENT, 1))
        BI_LOG("Set Default ColorIntent(Model Depended). ID=%d\n", 1);
    if ((m_dwModelFlags & kMFSoftwareCollate) && SetDefault(CFGX_FUNC_SOFTWARECOLLATE, 1))
        BI_LOG("Set Default of Software Collate On(Model Depended).\n");
    const DWORD dwOptions = m_store.GetOptionUnitBits();
    if ((dwOptions & kOUConfidentialJob) && SetDefault(CFGX_FUNC_CONFIDENTIALJOB, 1))
        BI_LOG("Set Default of ConfidentJob(Model Depended) On.\n");
    if ((dwOptions & kOURestrictFunc) && SetDefault(CFGX_FUNC_RESTRICTFUNC, 1))
        BI_LOG("Set Default of RestrictFunc(Model Depended) On.\n");
    if (m_dwModelFlags & kMFCapsCommon80) OrTag(CFGX_TAG_PRINTERCAPSCOMMON, kCapsCommon80, "KDCFGXTAGID_PRINTERCAPSCOMMON");
    if (m_dwModelFlags & kMFEnvelopeNoHigh) {
        const Item envelope = MakeItem(CFGX_FUNC_PAPERTYPE, CFGX_ELEM_PAPERTYPE_ENVELOPE);
        AddGroup({envelope, MakeItem(CFGX_FUNC_QUALITYMODE, CFGX_ELEM_QUALITY_HIGH)},
                 "#Failed to add Prohibit Envelope And HighQuality for Verdin-Mono.");
        AddGroup({envelope, MakeItem(CFGX_FUNC_QUALITYLEVEL, CFGX_ELEM_QLEVEL_PCL_MQ)},
                 "#Failed to add Prohibit Envelope And HighQuality 'PCL MQ' for Verdin-Mono.");
        AddGroup({envelope, MakeItem(CFGX_FUNC_QUALITYLEVEL, CFGX_ELEM_QLEVEL_FINEFAST_600)},
                 "#Failed to add Prohibit Envelope And HighQuality 'QLM/P-R Fine' for Verdin-Mono.");
    }
    if (m & kMICFGXTables) {
        if (Available(CFGX_FUNC_QUALITYMODE, CFGX_ELEM_QUALITY_FAST, false))
            BI_LOG("Hide 'Fast'  Element from QualityMode Func.\n");
        if (Available(CFGX_FUNC_QUALITYLEVEL, CFGX_ELEM_QLEVEL_FAST, false))
            BI_LOG("Hide 'Fast'  Element from QualityLevel Func.\n");
    }
    if (m & kMIOutputBin) {
        OrTag(CFGX_TAG_PRINTERCAPSCOMMON, kCapsCommonOutputBin, "KDCFGXTAGID_PRINTERCAPSCOMMON");
        if (SetDefault(CFGX_FUNC_OUTPUTBIN, CFGX_ELEM_OUTPUTBIN_FACEUP))
            BI_LOG("Set OutputBin. ID=%d\n", static_cast<int>(CFGX_ELEM_OUTPUTBIN_FACEUP));
        if (m & kMIAutoDupPageOrder) {
            DWORD dwValue = 0;
            if (m_cfgx.GetFunctionElementAttribute(CFGX_FUNC_OUTPUTBIN, CFGX_ELEM_OUTPUTBIN_FACEUP, KD_CFGX_ATTR_FLAGS,
                                                   &dwValue) == KD_CFGX_OK) {
                dwValue |= KD_CFGX_ATTR_FLAG_OUTPUTBIN_AUTODUP_PAGEORDER;
                if (Modified(m_cfgx.SetFunctionElementAttribute(CFGX_FUNC_OUTPUTBIN, CFGX_ELEM_OUTPUTBIN_FACEUP,
                                                                KD_CFGX_ATTR_FLAGS, dwValue)))
                    BI_LOG("Set value of KDDM_OUTPUTBINATTR_CHG_AUTODUP_PAGEORDER. ID=%d\n", static_cast<int>(dwValue));
                else
                    BI_LOG("#Failed to Set KDDM_OUTPUTBINATTR_CHG_AUTODUP_PAGEORDER. lValue=%d\n",
                           static_cast<int>(dwValue));
            }
        }
        m_bOutputBinSet = true;
        if (m_dwKind == BIPI_KIND_BIJ && Modified(m_cfgx.SetDefault(CFGX_FUNC_DIRECTFILINGPRINT, 1, 1, 0, 1, 0)))
            BI_LOG("Set DirectFilingPrint. ID=%d\n", 1);
    }
    int32_t lCaps2 = 0;
    if ((m_dwPDL & (kPDLBasic | kPDLAdvance)) && (dwOptions & kOUFiler)) lCaps2 |= kCaps2Filer;
    if (m & kMIMonoPCLLevels) lCaps2 |= kCaps2MonoPCL;
    if (lCaps2 != 0) OrTag(CFGX_TAG_PRINTERCAPSCOMMON2, lCaps2, "KDCFGXTAGID_PRINTERCAPSCOMMON2");
}

void CCfgxUpdate::MaxCopies() {
    const DWORD dwMax = StoredNumber(u"BIMaxCopies");
    Modified(m_cfgx.SetFunctionValueAttribute(CFGX_FUNC_COPIES, KD_CFGX_VALUE_MAXIMUM, static_cast<int32_t>(dwMax)));
    BI_LOG("Update MaxCopies value=%d.\n", static_cast<int>(dwMax));
}

void CCfgxUpdate::Quality() {
    const DWORD q = m_store.GetQuality();
    const DWORD m = m_dwModelInfo;
    if (m & kMIMonoPCLLevels) {
        if ((q & kQFast) == 0)
            AddGroup({MakeItem(CFGX_FUNC_QUALITYLEVEL, CFGX_ELEM_QLEVEL_FAST)},
                     "#Failed to add Prohibit Info of Quality Draft(600dpi).");
        BI_LOG("Update Quality Mode. dwQualityLevel=%08x\n", static_cast<unsigned>(q));
    } else if (m_dwTag100 & CFGX_DRIVERCAPS_QUALITY_LEVELS) {
        const bool bAdvance = (m_dwPDL & kPDLAdvance) && (m_dwTag100 & CFGX_DRIVERCAPS_QLMPR_ADVANCE);
        const DWORD dwLanguage = bAdvance ? CFGX_ELEM_PDL_QLMPR_ADVANCE : CFGX_ELEM_PDL_QLMPR_BASIC;
        struct Level {
            DWORD dwQualityBit;
            DWORD dwElement;
            const char* pszFail;
        };
        static constexpr Level kInk360[] = {
            {kQFast, CFGX_ELEM_QLEVEL_FAST_360, "#Failed to add Prohibit Info of Quality Fast(360dpi)."},
            {kQStandard, CFGX_ELEM_QLEVEL_STANDARD_360, "#Failed to add Prohibit Info of Quality Standard(360dpi)."},
            {kQHigh, CFGX_ELEM_QLEVEL_HIGH_360, "#Failed to add Prohibit Info of Quality High(360dpi)."}};
        static constexpr Level kBasic600[] = {
            {kQFast, CFGX_ELEM_QLEVEL_DRAFT_600, "#Failed to add Prohibit Info of Quality Draft(600dpi)."},
            {kQStandard, CFGX_ELEM_QLEVEL_FASTSTANDARD_600,
             "#Failed to add Prohibit Info of Quality FastStandard(600dpi)."},
            {kQHigh, CFGX_ELEM_QLEVEL_FINEFAST_600, "#Failed to add Prohibit Info of Quality FineFast(600dpi)."}};
        static constexpr Level kAdvance600[] = {
            {kQFast, CFGX_ELEM_QLEVEL_DRAFT_600, "#Failed to add Prohibit Info of Quality Draft(600dpi)."},
            {kQStandard, CFGX_ELEM_QLEVEL_STANDARD_600, "#Failed to add Prohibit Info of Quality Standard(600dpi)."},
            {kQHigh, CFGX_ELEM_QLEVEL_FINE_600, "#Failed to add Prohibit Info of Quality Fine(600dpi)."},
            {kQBest, CFGX_ELEM_QLEVEL_BEST_600, "#Failed to add Prohibit Info of Quality BestQuality(600dpi)."}};
        std::span<const Level> levels = (m & kMIInk360) ? std::span<const Level>(kInk360)
                                        : bAdvance       ? std::span<const Level>(kAdvance600)
                                                         : std::span<const Level>(kBasic600);
        for (const Level& level : levels) {
            if (q & level.dwQualityBit) continue;
            AddGroup({MakeItem(CFGX_FUNC_QUALITYLEVEL, level.dwElement), MakeItem(CFGX_FUNC_PDL_DRVMODE, dwLanguage)},
                     level.pszFail);
        }
        BI_LOG("Update Quality Mode. dwQualityLevel=%08x\n", static_cast<unsigned>(q));
    }
    if ((q & kQFast) == 0)
        AddGroup({MakeItem(CFGX_FUNC_QUALITYMODE, CFGX_ELEM_QUALITY_FAST)}, "#Failed to add Prohibit Info of Quality Fast.");
    if ((q & kQStandard) == 0)
        AddGroup({MakeItem(CFGX_FUNC_QUALITYMODE, CFGX_ELEM_QUALITY_STANDARD)},
                 "#Failed to add Prohibit Info of Quality Standard.");
    if ((q & kQHigh) == 0)
        AddGroup({MakeItem(CFGX_FUNC_QUALITYMODE, CFGX_ELEM_QUALITY_HIGH)}, "#Failed to add Prohibit Info of Quality High.");
    BI_LOG("Update Quality Mode. dwQuality=%08x\n", static_cast<unsigned>(q));
}

void CCfgxUpdate::Layout() {
    const DWORD dwLayout = StoredNumber(u"BILayout");
    if (dwLayout & 0x1) {
        Modified(m_cfgx.SetFunctionStatus(CFGX_FUNC_BORDERLESS, kStatusShown));
    } else {
        Modified(m_cfgx.SetFunctionStatus(CFGX_FUNC_BORDERLESS, kStatusHidden));
        AddGroup({MakeItem(CFGX_FUNC_BORDERLESS, 1)}, "#Failed to add Prohibit Info of Borderless ON.");
    }
    BI_LOG("Update Borderless Checkbox show/hide. dwLayout=%08x\n", static_cast<unsigned>(dwLayout));
}

void CCfgxUpdate::Languages() {
    struct Language {
        DWORD dwElement;
        const char* pszName;  // null: not logged
        bool bEnabled;
    };
    const bool bAdvance = (m_dwPDL & kPDLAdvance) && (m_dwTag100 & CFGX_DRIVERCAPS_QLMPR_ADVANCE);
    const Language languages[] = {
        {CFGX_ELEM_PDL_QLMPAGE, "QLM/Page", (m_dwPDL & kPDLQLMPage) != 0},
        {CFGX_ELEM_PDL_QLMPAGE_S04, "QLM/PageS04", (m_dwPDL & kPDLS04) != 0},
        {CFGX_ELEM_PDL_S04_COMPANION, nullptr, (m_dwPDL & kPDLS04) != 0},
        {CFGX_ELEM_PDL_QLMPR_BASIC, "QLM/P-R BASIC", (m_dwPDL & kPDLBasic) != 0},
        {CFGX_ELEM_PDL_QLMPR_ADVANCE, "QLM/P-R Advance", bAdvance},
        {CFGX_ELEM_PDL_PCL6, "PCL6", (m_dwPDL & kPDLPCL6) != 0},
        {CFGX_ELEM_PDL_PCL6_OPK, "PCL6 with OPK", (m_dwPDL & kPDLPCL6) && (m_dwModelInfo & kMICFGXTables) == 0},
    };
    for (const Language& lang : languages) {
        if (Available(CFGX_FUNC_PDL_DRVMODE, lang.dwElement, lang.bEnabled) && lang.pszName != nullptr)
            BI_LOG("Update Attribute Support %s(DRVMODE) = %d.\n", lang.pszName, lang.bEnabled ? 1 : 0);
        if (Available(CFGX_FUNC_PDL_PRNMODE, lang.dwElement, lang.bEnabled) && lang.pszName != nullptr)
            BI_LOG("Update Attribute Support %s(PRNMODE) = %d.\n", lang.pszName, lang.bEnabled ? 1 : 0);
        // Where the driver offers the advanced language, it replaces the basic one.
        if (lang.dwElement == CFGX_ELEM_PDL_QLMPR_ADVANCE && bAdvance) {
            Available(CFGX_FUNC_PDL_DRVMODE, CFGX_ELEM_PDL_QLMPR_BASIC, false);
            Available(CFGX_FUNC_PDL_PRNMODE, CFGX_ELEM_PDL_QLMPR_BASIC, false);
        }
    }
}

void CCfgxUpdate::DefaultLanguage() {
    const DWORD d = StoredNumber(u"BIDefaultPDL");
    const bool bAdvanceOffered = (m_dwTag100 & CFGX_DRIVERCAPS_QLMPR_ADVANCE) != 0;
    if ((m_dwOption & kOptLanguageByBits) == 0 && (d & kPDLPCL6) == 0) {
        DWORD dwElement = 0;
        const char* pszName = nullptr;
        if (m_dwKind == BIPI_KIND_PAGE) {
            const bool bS04 = (d & kPDLS04) != 0;
            dwElement = bS04 ? CFGX_ELEM_PDL_QLMPAGE_S04 : CFGX_ELEM_PDL_QLMPAGE;
            pszName = bS04 ? "QLMPageS04" : "QLMPage";
        } else {
            const bool bAdvance = (d & kPDLAdvance) && bAdvanceOffered;
            dwElement = bAdvance ? CFGX_ELEM_PDL_QLMPR_ADVANCE : CFGX_ELEM_PDL_QLMPR_BASIC;
            pszName = bAdvance ? "QLMPRAdv" : "QLMPRBasic";
        }
        if (SetDefaultKeepSetting(CFGX_FUNC_PDL_DRVMODE, dwElement)) BI_LOG("Set PDL RVMODE Default to %s.\n", pszName);
        if (SetDefaultKeepSetting(CFGX_FUNC_PDL_PRNMODE, dwElement)) BI_LOG("Set PDL PRNMODE Default to %s.\n", pszName);
        return;
    }
    DWORD dwElement = 0;
    if (d & kPDLS04)
        dwElement = CFGX_ELEM_PDL_QLMPAGE_S04;
    else if (d & kPDLQLMPage)
        dwElement = CFGX_ELEM_PDL_QLMPAGE;
    else if (d & kPDLAdvance)
        dwElement = bAdvanceOffered ? CFGX_ELEM_PDL_QLMPR_ADVANCE : CFGX_ELEM_PDL_QLMPR_BASIC;
    else if (d & kPDLBasic)
        dwElement = CFGX_ELEM_PDL_QLMPR_BASIC;
    else if (d & kPDLPCL6)
        dwElement = CFGX_ELEM_PDL_PCL6;
    if (dwElement == 0) return;
    if (SetDefaultKeepSetting(CFGX_FUNC_PDL_DRVMODE, dwElement))
        BI_LOG("Set PDL DRVMODE Default. ElementID=%d\n", static_cast<int>(dwElement));
    if (SetDefaultKeepSetting(CFGX_FUNC_PDL_PRNMODE, dwElement))
        BI_LOG("Set PDL PRNMODE Default. ElementID=%d\n", static_cast<int>(dwElement));
}

// The flags of a language-table row, or nothing when the table has no row of that ID.
template <typename Rows>
std::optional<WORD> RowFlags(const Rows& rows, WORD wID) {
    for (const auto& row : rows)
        if (row.wID == wID) return row.wFlags;
    return std::nullopt;
}

void CCfgxUpdate::PaperSizes() {
    const std::unique_ptr<CBITableData> language = LoadLanguageTable();
    const std::vector<SBIPaperEntry> entries = StoredPaperEntries(kValPaperSizeNum, kValPaperSizeIDs);
    if (entries.empty()) return;
    // Logical sizes: the printer's sizes are not its physical ones (page printers, and ink-jets
    // whose model row does not say otherwise).
    const bool bLogical = m_dwKind == BIPI_KIND_PAGE ||
                          (m_dwKind == BIPI_KIND_BIJ && (!m_bModelKnown || (m_dwModelFlags & kMFPhysicalPaper) == 0));
    const bool bLongPaperNoPCL = (m_dwModelFlags & kMFLongPaperPCL) != 0;
    for (const SBIPaperEntry& entry : entries) {
        const DWORD wID = entry.wID;
        if (!ElementExists(CFGX_FUNC_OUTPUTPAPERSIZE, wID)) continue;
        const bool bShown = entry.wShow != 0;
        if (!language) {
            const DWORD dwNotReported = bShown ? 0 : 1;
            if (Modified(m_cfgx.SetFunctionElementAttribute(CFGX_FUNC_PAPERSIZE, wID, KD_CFGX_ATTR_NOT_REPORTED,
                                                            dwNotReported)) &&
                Modified(m_cfgx.SetFunctionElementAttribute(CFGX_FUNC_OUTPUTPAPERSIZE, wID, KD_CFGX_ATTR_NOT_REPORTED,
                                                            dwNotReported)))
                Modified(m_cfgx.SetFunctionElementAttribute(CFGX_FUNC_OUTPUTPAPERSIZE, wID, KD_CFGX_ATTR_AVAILABLE,
                                                            bShown ? 1 : 0));
            if (!bShown)
                AddGroup({MakeItem(CFGX_FUNC_OUTPUTPAPERSIZE, wID)}, "#Failed to add Prohibit Info of OutputPaperSize.");
            BI_LOG("Update Attribute PaperSizeID=%d, nLogical=%d.\n", static_cast<int>(wID), bLogical ? 1 : 0);
        } else {
            const std::optional<WORD> flags = RowFlags(language->PaperSizes(), static_cast<WORD>(wID));
            const bool bRowShown = flags && (*flags & kRowShown);
            if (!bShown) {
                const char* pszFail = "#Failed to add Prohibit Info of OutputPaperSize_1.";
                const char* pszFail10000 = "#Failed to add Prohibit Info of OutputPaperSize_1 for USERDEF_COMMSTARTID.";
                if (!bRowShown || bLogical)
                    AddGroup({MakeItem(CFGX_FUNC_OUTPUTPAPERSIZE, wID)}, pszFail, pszFail10000);
                else
                    AddLanguageGroups(CFGX_FUNC_OUTPUTPAPERSIZE, wID, pszFail, pszFail10000);
            }
            if (!bRowShown || (bLogical && !bShown) || (bLongPaperNoPCL && wID == CFGX_ELEM_PAPERSIZE_LONG_346)) {
                for (DWORD dwPCL : {CFGX_ELEM_PDL_PCL6, CFGX_ELEM_PDL_PCL6_OPK})
                    AddGroup({MakeItem(CFGX_FUNC_OUTPUTPAPERSIZE, wID), MakeItem(CFGX_FUNC_PDL_DRVMODE, dwPCL)},
                             "#Failed to add Prohibit Info of OutputPaperSize_2.");
            }
        }
        if (!bShown && ElementRemovable(CFGX_FUNC_PAPERSIZE, wID)) {
            AddGroup({MakeItem(CFGX_FUNC_PAPERSIZE, wID)}, "#Failed to add Prohibit Info of PaperSize.");
            AddGroup({MakeItem(CFGX_FUNC_OUTPUTPAPERSIZE, wID)}, "#Failed to add Prohibit Info of OutputPaperSize.");
        }
    }
    if (m_dwKind == BIPI_KIND_PAGE && (m_info.GetFlags() & BIPI_FLAG_LP_CUSTOM))
        DeletePaperSizeProhibitInfo(&m_cfgx, entries.data(), static_cast<int>(entries.size()));
    m_bChanged = true;
}

void CCfgxUpdate::PaperTypes() {
    const std::unique_ptr<CBITableData> language = LoadLanguageTable();
    const std::vector<SBIPaperEntry> entries = StoredPaperEntries(kValPaperTypeNum, kValPaperTypeIDs);
    if (entries.empty()) return;
    for (const SBIPaperEntry& entry : entries) {
        const DWORD wID = entry.wID;
        if (!ElementExists(CFGX_FUNC_PAPERTYPE, wID)) continue;
        const DWORD dwState = entry.wShow != 0 ? kStatusShown : kStatusHidden;
        if (!language) {
            if (Modified(m_cfgx.SetFunctionElementStatus(CFGX_FUNC_PAPERTYPE, wID, dwState))) {
                if (dwState == kStatusHidden)
                    AddGroup({MakeItem(CFGX_FUNC_PAPERTYPE, wID)}, "#Failed to add Prohibit Info of PaperType.");
                BI_LOG("Update status PaperTypeID=%d, nState=%d.\n", static_cast<int>(wID), static_cast<int>(dwState));
            }
            continue;
        }
        const std::optional<WORD> flags = RowFlags(language->PaperTypes(), static_cast<WORD>(wID));
        const bool bRowShown = flags && (*flags & kRowShown);
        if (dwState == kStatusHidden) {
            const bool bAlone = !bRowShown || (*flags & kTypeRowAlone) || (m_dwModelInfo & kMITypeAlone) ||
                                m_dwKind == BIPI_KIND_PAGE;
            if (bAlone) AddGroup({MakeItem(CFGX_FUNC_PAPERTYPE, wID)}, "#Failed to add Prohibit Info of PaperType_1.");
            AddLanguageGroups(CFGX_FUNC_PAPERTYPE, wID, "#Failed to add Prohibit Info of PaperType_1.", nullptr);
        }
        if (!bRowShown || (m_dwKind == BIPI_KIND_PAGE && dwState == kStatusHidden)) {
            AddGroup({MakeItem(CFGX_FUNC_PAPERTYPE, wID), MakeItem(CFGX_FUNC_PDL_DRVMODE, CFGX_ELEM_PDL_PCL6)},
                     "#Failed to add Prohibit Info of PaperType_2.");
            AddGroup({MakeItem(CFGX_FUNC_PAPERTYPE, wID), MakeItem(CFGX_FUNC_PDL_DRVMODE, CFGX_ELEM_PDL_PCL6_OPK)},
                     "#Failed to add Prohibit Info of PaperType_3.");
        }
    }
}

void CCfgxUpdate::UserDefinedLimits() {
    VANTO_USERDEF_MAXMIN limits{};
    DWORD cb = sizeof limits;
    if (!m_store.ReadData(kValUserDefMaxMin, reinterpret_cast<LPBYTE>(&limits), &cb) || cb < sizeof limits) return;
    BI_LOG("Update MAX and MIN of User Defined Size.\n");
    const struct {
        DWORD dwFunctionID;
        DWORD dwAttribute;
        int32_t lValue;
    } limitsToSet[] = {
        {CFGX_FUNC_USERDEF_WIDTH_MM, KD_CFGX_VALUE_MAXIMUM, limits.lWidMAX},
        {CFGX_FUNC_USERDEF_WIDTH_MM, KD_CFGX_VALUE_MINIMUM, limits.lWidMIN},
        {CFGX_FUNC_USERDEF_HEIGHT_MM, KD_CFGX_VALUE_MAXIMUM, limits.lHeiMAX},
        {CFGX_FUNC_USERDEF_HEIGHT_MM, KD_CFGX_VALUE_MINIMUM, limits.lHeiMIN},
        {CFGX_FUNC_USERDEF_WIDTH_IN, KD_CFGX_VALUE_MAXIMUM, limits.lWidMAX_Inch},
        {CFGX_FUNC_USERDEF_WIDTH_IN, KD_CFGX_VALUE_MINIMUM, limits.lWidMIN_Inch},
        {CFGX_FUNC_USERDEF_HEIGHT_IN, KD_CFGX_VALUE_MAXIMUM, limits.lHeiMAX_Inch},
        {CFGX_FUNC_USERDEF_HEIGHT_IN, KD_CFGX_VALUE_MINIMUM, limits.lHeiMIN_Inch},
    };
    for (const auto& l : limitsToSet) Modified(m_cfgx.SetFunctionValueAttribute(l.dwFunctionID, l.dwAttribute, l.lValue));
    BI_LOG("Call CfgxAPI for setting User MaxMin.\n");
    LogUserDefMaxMin("stUdMaxMin", limits);
}

void CCfgxUpdate::InputBins() {
    const DWORD m = m_dwModelInfo;
    if (m_dwKind == BIPI_KIND_ERD || m_dwKind == BIPI_KIND_BIJ) {
        // The stored cassettes, bounded by the count and by what was read.
        std::vector<VANTO_CASETTE_INFO> cassettes;
        const DWORD n = std::min(m_store.GetCassetteNum(), kMaxCassettes);
        if (n > 0) {
            cassettes.resize(n);
            DWORD cb = n * sizeof(VANTO_CASETTE_INFO);
            if (m_store.ReadData(kValCassetteInfo, reinterpret_cast<LPBYTE>(cassettes.data()), &cb))
                cassettes.resize(std::min<DWORD>(cb, n * sizeof(VANTO_CASETTE_INFO)) / sizeof(VANTO_CASETTE_INFO));
            else
                cassettes.clear();
        }
        const bool bWantDefault = m_dwKind == BIPI_KIND_BIJ || (m & kMIMonoPCLLevels);
        std::optional<DWORD> defaultBin;
        for (const SBIPaperSourceRow& row : m_tables.PaperSources()) {
            bool bPresent = false;
            for (const VANTO_CASETTE_INFO& c : cassettes) bPresent = bPresent || (c.wPaperSourceBit & row.wSourceBits);
            if (bPresent && bWantDefault && !defaultBin) defaultBin = row.wElementID;
            if (!Modified(m_cfgx.SetFunctionElementAttribute(CFGX_FUNC_INPUTBIN, row.wElementID, KD_CFGX_ATTR_AVAILABLE,
                                                             bPresent ? 1 : 0)))
                continue;
            if (!bPresent) {
                AddGroup({MakeItem(CFGX_FUNC_INPUTBIN, row.wElementID)}, "#Failed to add Prohibit Info of InputBin.");
                AddGroup({MakeItem(CFGX_FUNC_INPUTBIN_CHANGEON2NDPAGE, row.wElementID)},
                         "#Failed to add Prohibit Info of InputBinChangeOn2ndPage.");
            }
            BI_LOG("Update InputBin PSID=%d nShow=%d.\n", static_cast<int>(row.wElementID), bPresent ? 1 : 0);
        }
        if (defaultBin) {
            if (SetDefault(CFGX_FUNC_INPUTBIN, *defaultBin))
                BI_LOG("Set InputBin Default to %d.\n", static_cast<int>(*defaultBin));
            else
                BI_LOG("#Failed to set InputBin default to %d.\n", static_cast<int>(*defaultBin));
        }
        return;
    }
    if ((m & kMICFGXTables) == 0 && (m & kMICFGX400) == 0) return;
    if (const std::unique_ptr<CBITableData> cfgxTables = LoadCfgxTables()) {
        for (const SBIPaperSourceRow& row : cfgxTables->PaperSources()) {
            if (row.byFlags2 & kSourceRowAllLanguages) continue;
            for (DWORD dwPCL : {CFGX_ELEM_PDL_PCL6, CFGX_ELEM_PDL_PCL6_OPK})
                AddGroup({MakeItem(CFGX_FUNC_INPUTBIN, row.wElementID), MakeItem(CFGX_FUNC_PDL_DRVMODE, dwPCL)},
                         "#Failed to add Prohibit Info of InputBin_1.");
            for (DWORD dwPCL : {CFGX_ELEM_PDL_PCL6, CFGX_ELEM_PDL_PCL6_OPK})
                AddGroup({MakeItem(CFGX_FUNC_INPUTBIN_CHANGEON2NDPAGE, row.wElementID),
                          MakeItem(CFGX_FUNC_PDL_DRVMODE, dwPCL)},
                         "#Failed to add Prohibit Info of InputBinChangeOn2ndPage_1.");
        }
    }
    if ((m & kMICFGXTables) == kMICFGX200 &&
        Modified(m_cfgx.SetFunctionStatus(CFGX_FUNC_INPUTBIN_CHANGEON2NDPAGE, kStatusHidden)))
        BI_LOG("Update [KDFUNCTION_INPUTBIN_CHANGEON2NDPAGE function status to HIDE.\n");
}

// The quality-level element a quality-mode element stands for in the driver's other quality
// lists; 0 when it has none.
DWORD QualityLevelOf(DWORD dwQualityElement, DWORD m, DWORD dwTag100, bool bMonoPCL) {
    const bool bAdvance = (dwTag100 & CFGX_DRIVERCAPS_QLMPR_ADVANCE) != 0;
    switch (dwQualityElement) {
    case CFGX_ELEM_QUALITY_FAST:
        return bMonoPCL ? CFGX_ELEM_QLEVEL_FAST : (m & kMIInk360) ? CFGX_ELEM_QLEVEL_FAST_360 : CFGX_ELEM_QLEVEL_DRAFT_600;
    case CFGX_ELEM_QUALITY_STANDARD:
        if (bMonoPCL) return (m & kMIPCLHighQuality) ? CFGX_ELEM_QLEVEL_PCL_STANDARD_HQ : CFGX_ELEM_QLEVEL_PCL_STANDARD;
        if (m & kMIInk360) return CFGX_ELEM_QLEVEL_STANDARD_360;
        return bAdvance ? CFGX_ELEM_QLEVEL_STANDARD_600 : CFGX_ELEM_QLEVEL_FASTSTANDARD_600;
    case CFGX_ELEM_QUALITY_HIGH:
        if (bMonoPCL) return (m & kMIPCLHighQuality) ? CFGX_ELEM_QLEVEL_PCL_FINE_HQ : CFGX_ELEM_QLEVEL_PCL_MQ;
        if (m & kMIInk360) return CFGX_ELEM_QLEVEL_HIGH_360;
        return bAdvance ? CFGX_ELEM_QLEVEL_FINE_600 : CFGX_ELEM_QLEVEL_FINEFAST_600;
    default:
        return 0;
    }
}

void CCfgxUpdate::ProhibitRules() {
    SBIProhibitSet set;
    if (!m_store.ReadProhibitInfo(&set)) return;
    const DWORD m = m_dwModelInfo;
    for (const SBIProhibitGroup& group : set.groups) {
        if (group.items.empty()) continue;
        std::vector<Item> items;
        items.reserve(group.items.size());
        bool bSkip = false, bBarred = false, bUserDef = false;
        std::optional<size_t> subTypeAt;
        DWORD dwSubType = 0;
        for (const SBIProhibitItem& it : group.items) {
            if (it.functionID == CFGX_FUNC_BORDERLESS && it.elementID == 0) bSkip = true;
            if (!ElementExists(it.functionID, it.elementID)) {
                if (it.functionID != CFGX_FUNC_QUALITYMODE) bSkip = true;
                bBarred = true;
            }
            if (it.functionID == CFGX_FUNC_PAPERTYPE && it.subelementID != 0 && !subTypeAt) {
                subTypeAt = items.size();
                dwSubType = it.subelementID;
            }
            if (it.functionID == CFGX_FUNC_OUTPUTPAPERSIZE && it.elementID == CFGX_ELEM_PAPERSIZE_USERDEF) bUserDef = true;
            items.push_back(Item{it.functionID, it.elementID, it.bInversion, 0});
        }
        if (bSkip) continue;
        // A size the driver drops when the printer lacks it is ruled for every language.
        for (const Item& it : items) {
            if (it.functionID != CFGX_FUNC_OUTPUTPAPERSIZE || !ElementRemovable(CFGX_FUNC_OUTPUTPAPERSIZE, it.elementID))
                continue;
            if (items.size() > 1 && items.back().functionID == CFGX_FUNC_PDL_DRVMODE) {
                items.pop_back();
            }
            break;
        }
        auto add = [&](const std::vector<Item>& group2) {
            if (Modified(m_cfgx.AddProhibitData(group2.data(), static_cast<DWORD>(group2.size()), 0))) {
                BI_LOG("Update Prohibit Info.\n");
                return;
            }
            BI_LOG("#Failed to update Prohibit Info.\n");
            for (const Item& it : group2)
                BI_LOG("FunctionID = %d ElementID = %d \n", static_cast<int>(it.functionID), static_cast<int>(it.elementID));
        };
        if (!bBarred) {
            add(items);
            if (bUserDef) {
                std::vector<Item> common = items;
                for (Item& it : common)
                    if (it.functionID == CFGX_FUNC_OUTPUTPAPERSIZE && it.elementID == CFGX_ELEM_PAPERSIZE_USERDEF)
                        it.elementID = CFGX_ELEM_PAPERSIZE_USERDEF_COMMON;
                add(common);
            }
            if (subTypeAt) {
                std::vector<Item> sub = items;
                sub[*subTypeAt].elementID = dwSubType;
                add(sub);
            }
        }
        // Quality modes stand for quality levels where the driver offers levels instead.
        const bool bMonoPCL = (m & kMIMonoPCLLevels) != 0;
        if (bMonoPCL || (Selected(kElemQuality) && (m_dwTag100 & CFGX_DRIVERCAPS_QUALITY_LEVELS))) {
            for (Item& it : items) {
                if (it.functionID != CFGX_FUNC_QUALITYMODE) continue;
                it.elementID = QualityLevelOf(it.elementID, m, m_dwTag100, bMonoPCL);
                it.functionID = CFGX_FUNC_QUALITYLEVEL;
            }
            add(items);
        }
    }
}

void CCfgxUpdate::DefaultSettings() {
    BIDefaultSettings s{};
    DWORD cb = sizeof s;
    if (!m_store.ReadData(u"BIDefaultSettings", reinterpret_cast<LPBYTE>(&s), &cb) || cb < BIDEFAULT_FILLED_BYTES) return;
    // "Set Default <name>. ID=<element>", and the failure only where the caller wants it said.
    auto setLogged = [&](DWORD dwFunctionID, DWORD dwElementID, const char* pszName, bool bLogFailure = false) {
        if (SetDefault(dwFunctionID, dwElementID))
            BI_LOG("Set Default %s. ID=%d\n", pszName, static_cast<int>(dwElementID));
        else if (bLogFailure)
            BI_LOG("#Failed to set Defaut setting of %s. ID=%d\n", pszName, static_cast<int>(dwElementID));
    };
    if (Selected(kElemDefPaperSource)) setLogged(CFGX_FUNC_INPUTBIN, s.dwPaperSource, "PaperSource");
    if (Selected(kElemDefPaperSize)) {
        if (s.dwMediaSizeID == kPaperLetter || s.dwMediaSizeID == kPaperA4)
            BI_LOG("Don't set default setting if the paper size is 'A4(9)' or 'Letter(1)'. ID=%d\n",
                   static_cast<int>(s.dwMediaSizeID));
        else
            setLogged(CFGX_FUNC_PAPERSIZE, s.dwMediaSizeID, "PaperSize", true);
        setLogged(CFGX_FUNC_OUTPUTPAPERSIZE, s.dwMediaSizeID, "OutputPaperSize", true);
    }
    if (Selected(kElemDefPaperType)) setLogged(CFGX_FUNC_PAPERTYPE, s.dwMediaTypeID, "PaperType");
    if (Selected(kElemDefQuality) && (m_dwTag100 & CFGX_DRIVERCAPS_QUALITY_LEVELS) == 0) {
        const DWORD dwQuality = (s.dwQuality & kQFast)   ? CFGX_ELEM_QUALITY_FAST
                                : (s.dwQuality & kQHigh) ? CFGX_ELEM_QUALITY_HIGH
                                                         : CFGX_ELEM_QUALITY_STANDARD;
        setLogged(CFGX_FUNC_QUALITYMODE, dwQuality, "Quality");
    }
    if (Selected(kElemDefOrientation)) setLogged(CFGX_FUNC_ORIENTATION, s.dwPaperDirection == 1 ? 1 : 2, "Orientation");
    if (Selected(kElemDefColor)) setLogged(CFGX_FUNC_COLORMODE, s.dwColorMode == 1 ? 2 : 1, "Color");
    if (Selected(kElemDefMultiPage))
        setLogged(CFGX_FUNC_MULTIPAGE, (s.dwMultiPage == 1 || s.dwMultiPage == 2) ? s.dwMultiPage : 0, "MultiPage");
    if (Selected(kElemDefCollate)) setLogged(CFGX_FUNC_COLLATE, s.dwCollate == 1 ? 1 : 0, "Collate");
    if (Selected(kElemDefBorderless)) setLogged(CFGX_FUNC_BORDERLESS, s.dwLayout & 0x1, "Borderless");
    if (Selected(kElemDefCopies)) setLogged(CFGX_FUNC_COPIES, s.dwCopies, "Copies");
    if (Selected(kElemDefReverseOrder)) setLogged(CFGX_FUNC_REVERSEORDER, s.dwReverseOrder == 1 ? 1 : 0, "ReverseOrder");
    if (Selected(kElemDefDuplex)) Duplex(s.dwDuplex);
}

void CCfgxUpdate::Duplex(DWORD dwDuplex) {
    auto attachUnit = [&] {
        if (SetDefault(CFGX_FUNC_DUPLEXUNIT, 1)) BI_LOG("Set DuplexUnit Attachment. ID=%d\n", 1);
        if (SetDefault(CFGX_FUNC_PRINTERDUPLEXCTRL, 1)) BI_LOG("Set Printer Duplex Default Control. ID=%d\n", 1);
    };
    if (m_dwOption & kOptDuplexAttached) {
        attachUnit();
        return;
    }
    BI_LOG(" stDefaultInfo.dwDuplex=%d\n", static_cast<int>(dwDuplex));
    if (dwDuplex == 1) attachUnit();
    if (!SetDefault(CFGX_FUNC_DUPLEX, dwDuplex)) return;
    BI_LOG("Set Default Duplex. ID=%d\n", static_cast<int>(dwDuplex));
    const DWORD dwCtrl = dwDuplex > 0 ? 2 : 1;
    if (SetDefault(CFGX_FUNC_DMDUPLEXCTRL, dwCtrl)) BI_LOG("Set Default DMDuplexCtrl. ID=%d\n", static_cast<int>(dwCtrl));
}

// The registry data: the printer information record handed to the module with its update mode.
// 0 when the module refuses it; 1 when done or when the record cannot be read (nothing to hand).
BOOL UpdateRegistryData(CBIPrinterInfo& info, const CCfgxDll& cfgx, HANDLE hPrinter, DWORD dwElements, DWORD dwOption,
                        DWORD dwTag100) {
    DWORD cb = 0;
    if (info.GetStructValue(STID_PrinterInfo, 0, nullptr, &cb) == 0 || cb < sizeof(VANTO_PRINTER_INFO)) return TRUE;
    auto record = std::make_unique<VANTO_PRINTER_INFO>();
    std::memset(record.get(), 0, sizeof *record);
    record->ullElementMask = (dwOption & kOptMaskIsElements) ? dwElements : ~0ull;
    cb = sizeof *record;
    if (info.GetStructValue(STID_PrinterInfo, 0, record.get(), &cb) == 0) return TRUE;
    BI_LOG("Update registry CFGX/USTX Data. pPrnInfo=%x\n",
           static_cast<unsigned>(reinterpret_cast<uintptr_t>(record.get())));
    DWORD dwMode = KD_CFGX_REGUPDATE_FULL;
    record->dwRegistryUpdateKind = kRegKindCFGX;
    if (dwOption & (kOptRegistryOnly | kOptRecordOnlyMode))
        dwMode = KD_CFGX_REGUPDATE_RECORD_ONLY;
    else if (dwOption & kOptReplaceMode)
        dwMode = KD_CFGX_REGUPDATE_REPLACE;
    // A driver without the advanced language takes the basic one as the default.
    if ((record->dwDefaultPDLBits & kPDLAdvance) && (dwTag100 & CFGX_DRIVERCAPS_QLMPR_ADVANCE) == 0)
        record->dwDefaultPDLBits = kPDLBasic;
    if (dwOption & kOptDuplexAttached) record->dwRegistryUpdateKind = kRegKindDuplex;
    const int32_t nRet = cfgx.UpdateREGData(hPrinter, dwMode, record.get(), 1);
    BI_LOG("Update registry CFGX/USTX Data.nRet=%d/UpdateMode=%d\n", static_cast<int>(nRet), static_cast<int>(dwMode));
    BI_LOG("dwModelInfoBits=0x%04x\n", static_cast<unsigned>(record->dwModelInfoBits));
    BI_LOG("dwSupportPDL=0x%04x\n", static_cast<unsigned>(record->dwSupportPDLBits));
    BI_LOG("dwDefaultPDL=0x%04x\n", static_cast<unsigned>(record->dwDefaultPDLBits));
    BI_LOG("dwBinaryResID=0x%04x\n", static_cast<unsigned>(record->dwBinaryResourceID));
    BI_LOG("dwBinaryResID2=0x%04x\n", static_cast<unsigned>(record->dwCFGXResourceID));
    BI_LOG("dwOptionUnitBits=0x%04x\n", static_cast<unsigned>(record->dwOptionUnitBits));
    BI_LOG("dwInstalledMemory=%d\n", static_cast<int>(record->dwInstalledMemory));
    if (nRet != KD_CFGX_OK) {
        BI_LOG("#Failed to update registry CFGX/USTX Data.\n");
        return FALSE;
    }
    return TRUE;
}

// The four paths of one update, each of the printer context's 260 characters.
struct CfgxPaths {
    WCHAR szModule[MAX_PATH] = {};
    WCHAR szVIF[MAX_PATH] = {};
    WCHAR szSource[MAX_PATH] = {};
    WCHAR szDestination[MAX_PATH] = {};
};

}  // namespace

BOOL CBIPrinterInfo::UpdateCFGXFile(uint64_t llElementBit, DWORD dwOption) {
    BI_LOG("CBIPrinterInfo_BP::UpdateCFGXFile\n");
    BI_LOG("UpdateCFGXFile llElementBit=0x%x\n", static_cast<unsigned>(llElementBit));
    BI_LOG("UpdateCFGXFile dwOption=0x%x\n", static_cast<unsigned>(dwOption));
    if (!m_pBIDI || !m_pTableData || !m_pStoreData) {
        BI_LOG("#Error UpdateCFGXFile parameters are invalid.\n");
        return FALSE;
    }
    // Every path and the queue come from the printer context.
    if (m_pBIInfo == nullptr) {
        BI_LOG("#Error m_pBIInfo is NULL\n");
        return FALSE;
    }
    try {
        auto paths = std::make_unique<CfgxPaths>();
        m_pBIInfo->GetPath(BIInfo::UIModule, paths->szModule);
        m_pBIInfo->GetPath(BIInfo::DataFile, paths->szVIF);
        m_pBIInfo->GetPath(BIInfo::CFXFolder, paths->szSource);
        m_pBIInfo->GetPath(BIInfo::WorkFolder, paths->szDestination);
        BI_LOG("Path of VIF file= %s.\n", BILogging::Narrow(paths->szVIF).c_str());
        BI_LOG("Path of CFGX Source file = %s.\n", BILogging::Narrow(paths->szSource).c_str());
        BI_LOG("Path of CFGX Destination file = %s.\n", BILogging::Narrow(paths->szDestination).c_str());

        const DWORD dwKind = GetPrinterKind();
        DWORD dwCategory = KD_CFGX_CATEGORY_PAGE;
        DWORD dwElements = static_cast<DWORD>(llElementBit);
        if (dwKind == BIPI_KIND_BIJ) {
            BI_LOG("PrinterCategory is BIJ\n");
            dwCategory = KD_CFGX_CATEGORY_INKJET;
            dwElements &= kMaskInkjet;
        } else if (dwKind == BIPI_KIND_ERD) {
            BI_LOG("PrinterCategory is ERD\n");
            dwCategory = KD_CFGX_CATEGORY_ERD;
            dwElements &= kMaskCapabilityRecord;
        } else {
            BI_LOG("PrinterCategory is Page\n");
            dwElements &= kMaskOther;
        }
        // The table rows the sections use are those of the stored printer, not the first table
        // that Initialize loaded: an ink-jet's paper sources are rows of the ink-jet tables.
        const DWORD dwResourceID = ComputeBinaryResourceID();
        if (!m_pTableData->UpdateBinaryTable(m_pBIInfo->GetPrinterName(), dwResourceID))
            BI_LOG("#Failed to UpdateBinaryTable. BinaryResourceID = 0x%x\n", static_cast<unsigned>(dwResourceID));

        CCfgxDll cfgx;
        const int32_t lRet =
            cfgx.Open(paths->szModule, paths->szVIF, paths->szSource, m_pBIInfo->GetPrinterName(), dwCategory);
        if (lRet != 0) {
            BI_LOG("#Failed to initialize CFGX API.lRet = %d\n", static_cast<int>(lRet));
            return FALSE;
        }
        CCfgxUpdate update(*this, cfgx, dwElements, dwOption, dwKind);
        update.ReadTag100();
        update.RunSections();
        if (!update.Changed() && (dwOption & kOptRegistryOnly) == 0) return TRUE;  // the file stays as it was

        CQueueHolder queue;
        if (!queue.Open(m_pBIInfo->GetPrinterName())) {
            BI_LOG("#Failed to get Printer Handle.\n");
            BI_LOG("#Failed to Update CFGX File.\n");
            return FALSE;
        }
        if ((dwOption & kOptRegistryOnly) == 0) {
            const int32_t lVer = cfgx.SetCustomVersionAuto(queue.Handle());
            if (lVer == KD_CFGX_OK)
                BI_LOG("Success to update the version of CFGX File.\n");
            else
                BI_LOG("#Failed to update the version of CFGX File. lRet_ver = %d\n", static_cast<int>(lVer));
            const int32_t lSave = cfgx.Save(paths->szDestination);
            if (lSave != KD_CFGX_OK) {
                BI_LOG("#Failed Save function of CFGX API. return = %d\n", static_cast<int>(lSave));
                BI_LOG("#Failed to Update CFGX File.\n");
                return FALSE;
            }
            BI_LOG("Save Modified CFGX File to '%s'.\n", BILogging::Narrow(paths->szDestination).c_str());
            BI_LOG("Delete CFGX Binary File.\n");
            cfgx.DeleteBinFiles(queue.Handle());
        }
        if (!UpdateRegistryData(*this, cfgx, queue.Handle(), dwElements, dwOption, update.Tag100())) {
            BI_LOG("#Failed to Update CFGX File.\n");
            return FALSE;
        }
        return TRUE;
    } catch (const std::bad_alloc&) {
        BI_LOG("#Error Failed to alloc memory in UpdateCFGXFile.\n");
        return FALSE;
    }
}
