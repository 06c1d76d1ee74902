// CBIDI_BP: the paper questions. Input trays with their loaded paper and capacity, supported
// paper sizes, types and directions, and the limits of user-defined paper. Page printers are asked
// over the MIB; ink-jets through their tray-details reply and the supported-media analysis, which
// fills the same lists; System OEM printers from their record and the printer's input table.
// The size, type and direction lists are caches: once filled they are answered without asking
// the printer again, until Close empties them.
#include "bidi/CBIDI_BP.h"
#include "bidi/MIBObjects.h"

#include "bidi/InfoReplies.h"
#include "bidi/PITransfer.h"
#include "common/BILogging.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr const char* kOIDInputName = "2.1.43.8.2.1.13.1.1";              // prtInputName
constexpr const char* kOIDInputPaperSize = "4.1.4913.1.2.2.23.1.1.2.1.1"; // maker's input paper size column
constexpr const char* kOIDInputPaperType = "4.1.4913.1.2.2.23.1.1.6.1.1"; // maker's input paper type column
constexpr const char* kOIDInputMaxCapacity = "2.1.43.8.2.1.9.1.1";        // prtInputMaxCapacity
constexpr const char* kOIDInputCurrentLevel = "2.1.43.8.2.1.10.1.1";      // prtInputCurrentLevel
constexpr const char* kOIDInputType = "2.1.43.8.2.1.2.1.1";               // prtInputType
constexpr const char* kOIDPaperSize = "4.1.4913.1.2.2.6.1.1.2.1.1";       // BIDI_OID_PAPERSIZE
constexpr const char* kOIDPaperType = "4.1.4913.1.2.2.7.1.1.2.1.1";       // BIDI_OID_PAPERTYPE
constexpr const char* kOIDPaperTypeMask = "4.1.4913.1.2.2.5.1.1.30.1.1";  // maker's paper type support mask
constexpr const char* kOIDPaperDirection = "4.1.4913.1.2.2.6.1.1.14.1.1"; // maker's paper direction column
// Columns of the media path table with one index arc; the row is appended.
constexpr const char* kOIDMediaSizeUnit = "2.1.43.13.4.1.3.1";            // prtMediaPathMediaSizeUnit
constexpr const char* kOIDMaxFeed = "2.1.43.13.4.1.5.1";                  // prtMediaPathMaxMediaFeedDir
constexpr const char* kOIDMaxXFeed = "2.1.43.13.4.1.6.1";                 // prtMediaPathMaxMediaXFeedDir
constexpr const char* kOIDMinFeed = "2.1.43.13.4.1.7.1";                  // prtMediaPathMinMediaFeedDir
constexpr const char* kOIDMinXFeed = "2.1.43.13.4.1.8.1";                 // prtMediaPathMinMediaXFeedDir

// Paper types a printer announces through the support mask besides its type column, in order.
struct MaskedPaperType {
    DWORD dwBit;
    const char* pName;
};
constexpr MaskedPaperType kMaskedPaperTypes[] = {
    {0x80000000, "Plain"},      {0x40000000, "Thick"},       {0x04000000, "Letterhead"},
    {0x02000000, "Coated"},     {0x01000000, "Extra Thick"}, {0x00800000, "High Quality"},
    {0x00040000, "Labels"},
};

constexpr const char* kTrayMP = "MP Tray";
constexpr const char* kTrayAuto = "Auto";  // the entry before the first real tray
constexpr WORD kLevelUnknown = VANTO_CASETTE_UNKNOWN_LEVEL;

constexpr int32_t kPathSimplex = 5;             // prtMediaPathType simplex
constexpr int32_t kUnitTenThousandthsInch = 3;  // prtMediaPathMediaSizeUnit; other values: micrometres

// An input column read with "no rows" tells as little as a failed read: its trays are unknown.
bool ReadInputColumn(CBIDI_BP& bidi, const char* pOID, std::vector<int32_t>* pValues) {
    return bidi.GetValueList(pOID, pValues) && !pValues->empty();
}

// The support mask's value bytes as a 32-bit number; 0 when it cannot be read.
// The support mask, 0 for a printer without it; false when the printer's answer was lost.
bool PaperTypeMask(CBIDI_BP& bidi, DWORD* pdwMask) {
    *pdwMask = 0;
    std::vector<BYTE> value;
    const int nRet = bidi.GetMIBValue(kOIDPaperTypeMask, &value);
    if (nRet < 0) return CBIDI_BP::PrinterAnswered(nRet);
    if (value.size() > sizeof(DWORD)) {
        BI_LOG("#The paper type support mask has %zu bytes, more than 4: ignored.\n", value.size());
        return true;
    }
    for (const BYTE by : value) *pdwMask = *pdwMask << 8 | by;
    return true;
}

int CassetteReplyForm(int nForm) { return nForm == BP_CASSETTE_FORM_PI ? kCassetteReplyPI : kCassetteReplyCommand; }

}  // namespace

int CBIDI_BP::GetCassetteInfo(BICassetteList* pCassettes) {
    BI_LOG("CBIDI_BP::GetCassetteInfo\n");
    if (pCassettes == nullptr) return 0;
    switch (m_stAutoConfigInfo.dwPrinterCategory) {
    case PRINTER_CATEGORY_PAGE: break;
    case PRINTER_CATEGORY_SYSTEM_OEM: {
        const size_t nTrays = std::min<size_t>(GetSystemOEMHalf(BITableLayout::kOEMOffTrayCount) + size_t{1},
                                               BITableLayout::kOEMSourceCount);
        const auto sourceID = [this](size_t i) {
            return i < BITableLayout::kOEMSourceCount ? GetSystemOEMHalf(BITableLayout::kOEMOffSources + 2 * i) : WORD{0};
        };
        size_t nAdded = 0;
        for (; nAdded < nTrays && sourceID(nAdded) != 0; ++nAdded) {
            VANTO_CASETTE_INFO entry = {};
            entry.wPaperSourceEID = sourceID(nAdded);
            pCassettes->push_back(entry);
        }
        if (!m_dwChannelAvailable) return 1;
        std::vector<int32_t> inputTypes;
        if (!GetValueList(kOIDInputType, &inputTypes)) {
            BI_LOG("#Failed to get InputPaperType list.\n");
            return 0;
        }
        // Models with three inputs fitted have one tray more than the record counts.
        const DWORD dwKind = GetSystemOEMWord(BP_OEM_MODELINFO_OFFSET) & BP_OEM_SYSTEM_BITS;
        if ((dwKind == 0x100 || dwKind == 0x300) && inputTypes.size() == 3 && sourceID(nAdded) != 0) {
            VANTO_CASETTE_INFO entry = {};
            entry.wPaperSourceEID = sourceID(nAdded);
            pCassettes->push_back(entry);
        }
        return 1;
    }
    default: {
        // Without the details the list holds only what the media analysis found: that is the
        // printer's answer when it says it has none to give, but not when its reply was lost or
        // damaged.
        const int nDetails = AskCassetteDetails(&m_vecPaperSource);
        if (nDetails <= 0) BI_LOG("#Failed to get GetCassetteDetailInfoByD4Cmd().\n");
        if (nDetails < 0) return 0;
        *pCassettes = m_vecPaperSource;
        return 1;
    }
    }

    BIStringList names;
    if (!GetStringList(kOIDInputName, &names)) {
        BI_LOG("#Failed to get InputName list.\n");
        return 0;
    }
    size_t nFirst = static_cast<size_t>(std::find(names.begin(), names.end(), kTrayMP) - names.begin());
    if (nFirst == names.size()) {
        BI_LOG("#Failed to find MPTray Index.\n");
        nFirst = static_cast<size_t>(std::find(names.begin(), names.end(), kTrayAuto) - names.begin()) + 1;
        if (nFirst > names.size()) {
            BI_LOG("#Failed to find MPTray and Auto Index.\n");
            return 0;
        }
    }
    std::vector<int32_t> sizes;
    if (!GetValueList(kOIDInputPaperSize, &sizes)) {
        BI_LOG("#Failed to get InputPaperSize list.\n");
        return 0;
    }
    std::vector<int32_t> types;
    if (!GetValueList(kOIDInputPaperType, &types)) {
        BI_LOG("#Failed to get InputPaperType list.\n");
        return 0;
    }
    std::vector<int32_t> capacities;
    const bool bCapacities = ReadInputColumn(*this, kOIDInputMaxCapacity, &capacities);
    if (!bCapacities) BI_LOG("#Failed to get InputMaxCapacity list.\n");
    std::vector<int32_t> levels;
    const bool bLevels = ReadInputColumn(*this, kOIDInputCurrentLevel, &levels);
    if (!bLevels) BI_LOG("#Failed to get InputCurrentLevel list.\n");

    size_t nRows = std::min({names.size(), sizes.size(), types.size()});
    if (bCapacities) nRows = std::min(nRows, capacities.size());
    if (bLevels) nRows = std::min(nRows, levels.size());
    for (size_t nRow = nFirst; nRow < nRows; ++nRow) {
        VANTO_CASETTE_INFO entry = {};
        entry.wPaperSizeID = static_cast<WORD>(sizes[nRow]);
        entry.wPaperTypeID = static_cast<WORD>(types[nRow]);
        entry.wMaxCapacity = bCapacities ? static_cast<WORD>(capacities[nRow]) : kLevelUnknown;
        entry.wCurrentLevel = bLevels ? static_cast<WORD>(levels[nRow]) : kLevelUnknown;
        BI_LOG("stCasetteInfo.wPaperSizeID = %d / stCasetteInfo.wPaperTypeID = %d / stCasetteInfo.wMaxCapacity = %d / "
               "stCasetteInfo.wCurrentLevel = %d.\n",
               entry.wPaperSizeID, entry.wPaperTypeID, entry.wMaxCapacity, entry.wCurrentLevel);
        pCassettes->push_back(entry);
    }
    return 1;
}

int CBIDI_BP::GetCassetteDetailInfoByD4Cmd(BICassetteList* pCassettes) { return AskCassetteDetails(pCassettes) > 0 ? 1 : 0; }

int CBIDI_BP::AskCassetteDetails(BICassetteList* pCassettes) {
    BI_LOG("CBIDI_BP::GetCassetteDetailInfoByD4Cmd\n");
    if (pCassettes == nullptr || m_stAutoConfigInfo.dwPrinterCategory == PRINTER_CATEGORY_PAGE || !m_pChannel ||
        m_pChannel->nHandle < 0)
        return -1;
    std::vector<BYTE> reply;
    int nForm = BP_CASSETTE_FORM_COMMAND;
    if (IsChannel(kZkChannelOPK) || IsChannel(kZkChannelTVD4)) {
        nForm = BP_CASSETTE_FORM_PI;
        const int nRet = GetInfoTVD4(BP_PI_FORM_FIRST, BP_INFO_TRAYS, &reply);
        if (nRet == kPINotAvailable) return 0;
        if (nRet < 0) return -1;
    } else if (SupportMediaInfo(BP_INFO_TRAYS, &reply) < 0) {
        return -1;
    }
    BI_LOG("CassetteDetailInfo: \n");
    BI_DUMP(reply.data(), reply.size());
    BI_LOG("CBIDI_BP::AnalyzeCassetteDetialInfo() entry. \n");
    switch (AnalyzeCassetteReply(reply, CassetteReplyForm(nForm), pCassettes)) {
    case CassetteReply::Merged: return 1;
    case CassetteReply::NoDetails: return 0;
    case CassetteReply::Damaged: break;
    }
    return -1;
}

int CBIDI_BP::AnalyzeCassetteDetialInfo(const BYTE* pData, DWORD dwLength, BICassetteList* pCassettes, int nForm) {
    BI_LOG("CBIDI_BP::AnalyzeCassetteDetialInfo() entry. \n");
    if (pData == nullptr) return 0;
    return AnalyzeCassetteReply({pData, dwLength}, CassetteReplyForm(nForm), pCassettes) == CassetteReply::Merged ? 1 : 0;
}

BIStringList* CBIDI_BP::GetSupportPaperSize(DWORD dwArgument) {
    BI_LOG(" CBIDI_BP::GetSupportPaperSize(%d)\n", static_cast<int>(dwArgument));
    if (!m_vecSupportPaperSize.empty() || m_stAutoConfigInfo.dwPrinterCategory != PRINTER_CATEGORY_PAGE)
        return &m_vecSupportPaperSize;
    BIStringList sizes;
    if (!GetStringList(kOIDPaperSize, &sizes)) {
        BI_LOG(" Failed to GetStringList(BIDI_OID_PAPERSIZE, ...) \n");
        return nullptr;
    }
    m_vecSupportPaperSize.insert(m_vecSupportPaperSize.end(), sizes.begin(), sizes.end());
    return &m_vecSupportPaperSize;
}

BIStringList* CBIDI_BP::GetSupportPaperType() {
    BI_LOG(" CBIDI_BP::GetSupportPaperType()\n");
    if (!m_vecSupportPaperType.empty() || m_stAutoConfigInfo.dwPrinterCategory != PRINTER_CATEGORY_PAGE)
        return &m_vecSupportPaperType;
    BIStringList types;
    if (!GetStringList(kOIDPaperType, &types)) {
        BI_LOG(" Failed to GetStringList(BIDI_OID_PAPERTYPE, ...) \n");
        return nullptr;
    }
    DWORD dwMask = 0;
    if (!PaperTypeMask(*this, &dwMask)) {
        BI_LOG("#No answer about the paper type support mask.\n");
        return nullptr;
    }
    m_vecSupportPaperType.insert(m_vecSupportPaperType.end(), types.begin(), types.end());
    for (const MaskedPaperType& type : kMaskedPaperTypes)
        if ((dwMask & type.dwBit) && !ListHolds(m_vecSupportPaperType, type.pName))
            m_vecSupportPaperType.emplace_back(type.pName);
    return &m_vecSupportPaperType;
}

BIStringList* CBIDI_BP::GetPaperDirection() {
    BI_LOG("CBIDI_BP::GetPaperDirection\n");
    if (m_stAutoConfigInfo.dwPrinterCategory != PRINTER_CATEGORY_PAGE) return nullptr;
    if (!m_vecPaperDirection.empty()) return &m_vecPaperDirection;
    const BIStringList* pSizes = GetSupportPaperSize(0);
    if (pSizes == nullptr || pSizes->empty() || !m_pChannel || m_pChannel->nHandle < 0) {
        BI_LOG("#No paper sizes or no channel: the paper directions cannot be asked.\n");
        return nullptr;
    }
    BIStringList directions;
    if (IsChannel(kZkChannelSNMP)) {
        if (!GetStringList(kOIDPaperDirection, &directions)) return nullptr;
        if (directions.size() < pSizes->size()) directions.resize(pSizes->size());
    } else if (GetTableStringsByIndex(&directions, static_cast<DWORD>(std::min<size_t>(pSizes->size(), UINT32_MAX))) != 1) {
        return nullptr;
    }
    m_vecPaperDirection.insert(m_vecPaperDirection.end(), directions.begin(), directions.end());
    return &m_vecPaperDirection;
}

int CBIDI_BP::GetUserDefMaxMin(VANTO_USERDEF_MAXMIN* pUserDefMaxMin) {
    if (pUserDefMaxMin == nullptr) return 0;
    VANTO_USERDEF_MAXMIN& limits = *pUserDefMaxMin;
    const DWORD dwCategory = m_stAutoConfigInfo.dwPrinterCategory;
    if (dwCategory == PRINTER_CATEGORY_SYSTEM_OEM) {
        int32_t* const fields[BITableLayout::kOEMUserDefCount] = {
            &limits.lHeiMAX,      &limits.lWidMAX,      &limits.lHeiMIN,      &limits.lWidMIN,
            &limits.lHeiMAX_Inch, &limits.lWidMAX_Inch, &limits.lHeiMIN_Inch, &limits.lWidMIN_Inch};
        for (size_t i = 0; i < BITableLayout::kOEMUserDefCount; ++i)
            *fields[i] = static_cast<int32_t>(GetSystemOEMWord(BITableLayout::kOEMOffUserDef + 4 * i));
        return 1;
    }
    if (dwCategory != PRINTER_CATEGORY_PAGE) return 1;

    BI_LOG("CBIDI_BP::GetUserDefMaxMin\n");
    std::vector<int32_t> pathTypes;
    if (!GetValueList(kOIDMediaPathType, &pathTypes)) {
        BI_LOG("#Failed to get the media path type from printer.\n");
        return 0;
    }
    const auto simplex = std::find(pathTypes.begin(), pathTypes.end(), kPathSimplex);
    const size_t nRow = simplex == pathTypes.end() ? 1 : static_cast<size_t>(simplex - pathTypes.begin()) + 1;
    BI_LOG("nMediaIndex = %zu\n", nRow);

    // Each value is read at exactly the chosen row.
    const auto readAtRow = [this, nRow](const char* pColumn, int32_t* pnValue) {
        return nRow <= BP_MAX_ROW_INDEX &&
               GetMIBInteger(AppendIndex(pColumn, static_cast<BYTE>(nRow)).c_str(), pnValue) == 1;
    };
    int32_t nUnit = 0;
    if (!readAtRow(kOIDMediaSizeUnit, &nUnit)) {
        BI_LOG("#Failed to get the media size unit from printer.\n");
        return 0;
    }
    BI_LOG("prtMediaPathMediaSizeUnit = %d(3:1/10000inch 4:1/1000mm)\n", nUnit);
    int32_t a = 0, b = 0, c = 0, d = 0;
    if (!readAtRow(kOIDMaxFeed, &a) || !readAtRow(kOIDMaxXFeed, &b) || !readAtRow(kOIDMinFeed, &c) ||
        !readAtRow(kOIDMinXFeed, &d)) {
        BI_LOG("#Failed to get the max/min size of User defined paper.\n");
        return 0;
    }
    BI_LOG("prtMediaPathMaxMediaFeedDir = %ld\n", static_cast<long>(a));
    BI_LOG("prtMediaPathMaxMediaXFeedDir = %ld\n", static_cast<long>(b));
    BI_LOG("prtMediaPathMinMediaFeedDir = %ld\n", static_cast<long>(c));
    BI_LOG("prtMediaPathMinMediaXFeedDir = %ld\n", static_cast<long>(d));
    // The sizes are 32-bit arithmetic; a step that would wrap gives no size at all rather than a
    // wrong one.
    bool bFits = true;
    const auto step = [&bFits](int32_t nValue, int32_t nTimes, int32_t nAdd, int32_t nDivisor) {
        const int64_t llValue = static_cast<int64_t>(nValue) * nTimes + nAdd;
        if (llValue < INT32_MIN || llValue > INT32_MAX) {
            bFits = false;
            return int32_t{0};
        }
        return static_cast<int32_t>(llValue / nDivisor);
    };
    VANTO_USERDEF_MAXMIN result = limits;
    if (nUnit == kUnitTenThousandthsInch) {
        result.lHeiMAX = step(a, 254, 5555, 10000);
        result.lWidMAX = step(b, 254, 5555, 10000);
        result.lHeiMIN = step(c, 254, 9999, 10000);
        result.lWidMIN = step(d, 254, 9999, 10000);
        result.lHeiMAX_Inch = a / 100;
        result.lWidMAX_Inch = b / 100;
        result.lHeiMIN_Inch = step(c, 1, 99, 100);
        result.lWidMIN_Inch = step(d, 1, 99, 100);
    } else {
        result.lHeiMAX_Inch = step(step(a, 100, 0, 254), 1, 55, 100);
        result.lWidMAX_Inch = step(step(b, 100, 0, 254), 1, 55, 100);
        result.lHeiMIN_Inch = step(step(c, 100, 0, 254), 1, 99, 100);
        result.lWidMIN_Inch = step(step(d, 100, 0, 254), 1, 99, 100);
        result.lHeiMAX = a / 100;
        result.lWidMAX = b / 100;
        result.lHeiMIN = step(c, 1, 99, 100);
        result.lWidMIN = step(d, 1, 99, 100);
    }
    if (!bFits) {
        BI_LOG("#Failed to get the max/min size of User defined paper.\n");
        return 0;
    }
    limits = result;
    return 1;
}
