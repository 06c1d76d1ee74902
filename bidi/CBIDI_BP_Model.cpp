// CBIDI_BP: what the printer is. Model-information bits (colour, A3-class paper, market, raster
// language, media capabilities), page-description languages, the job-control character set and
// the installed memory. Page printers are asked over the MIB; ink-jets answer from their device
// ID, status reply and media analysis; System OEM printers mostly from their System OEM record.
#include "bidi/CBIDI_BP.h"
#include "bidi/MIBObjects.h"

#include "common/BILogging.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

constexpr const char* kOIDJobCtrlLangCharSet = "4.1.4913.1.2.2.5.1.1.68";  // kdPrtGeneralJobCtrlLangCharSet
constexpr const char* kOIDMemorySize = "2.1.25.2.2.0";                  // hrMemorySize, KB
constexpr const char* kOIDStorageSize = "2.1.25.2.3.1.5";               // hrStorageSize, + "." + row

// ModelInfoBits.
constexpr DWORD kModelColour = 0x1;
constexpr DWORD kModelA3 = 0x2;
constexpr DWORD kModelJapan = 0x4;
constexpr DWORD kModelRaster = 0x8;
constexpr DWORD kModelOEMRecordBit = 0x400;  // copied from the System OEM record
constexpr DWORD kModelOEMChannel = 0x800;    // a System OEM printer that has a channel
constexpr DWORD kModelUTF8JobControl = 0x10000;

// Media-capability bits: P-record word 5 bits 0x2/0x4/0x8 -> 0x20000/0x40000/0x80000, word 21
// bits 0x1/0x2/0x8 -> 0x100000/0x200000/0x400000.
struct BitMap {
    DWORD dwFrom;
    DWORD dwTo;
};
constexpr BitMap kPWord5Bits[] = {{0x2, 0x20000}, {0x4, 0x40000}, {0x8, 0x80000}};
constexpr BitMap kPWord21Bits[] = {{0x1, 0x100000}, {0x2, 0x200000}, {0x8, 0x400000}};

// SupportPDLBits.
constexpr DWORD kPDLPage = 0x1;
constexpr DWORD kPDLPageColour = 0x2;
constexpr DWORD kPDLPageS = 0x4;
constexpr DWORD kPDLPCLAndPCLXL = 0x100 | 0x200;  // added in every category

constexpr DWORD kCmdPageLanguages = CMDSET_QLMPAGE_04 | CMDSET_QLMPAGEJ_04 | CMDSET_QLMPAGECOLOR_01 |
                                    CMDSET_QLMPAGECOLORJ_01;  // any of them: bits from the device ID
constexpr DWORD kCmdColour = CMDSET_QLMPAGECOLOR_01 | CMDSET_QLMPAGECOLORJ_01;
constexpr DWORD kCmdJapan = CMDSET_QLMPAGEJ_04 | CMDSET_QLMPAGECOLORJ_01;

constexpr int32_t kJobCtrlUTF8 = 106;      // the IANA character-set number of UTF-8
constexpr int32_t kMinColourColorants = 2;
constexpr int32_t kKB = 1024;

constexpr const char* kPrinterRAM = "Printer RAM";  // size in bytes
constexpr const char* kStorageRAM = "Storage RAM";  // size in KB

bool EqualsIgnoringCase(const std::string& text, const char* pOther) {
    const size_t n = std::strlen(pOther);
    if (text.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(pOther[i])))
            return false;
    return true;
}

DWORD MapBits(DWORD dwWord, const BitMap (&map)[3]) {
    DWORD dwBits = 0;
    for (const BitMap& m : map)
        if (dwWord & m.dwFrom) dwBits |= m.dwTo;
    return dwBits;
}

// Memory from a size: negative sizes are no memory at all.
DWORD MemoryMB(int32_t nValue, int32_t nDivisor) { return nValue < 0 ? 0 : static_cast<DWORD>(nValue / nDivisor); }

}  // namespace

int CBIDI_BP::GetModelInfoBits(DWORD* pdwValue) {
    BI_LOG("CBIDI_BP::GetModelInfoBits() pdwValue=%x\n", pdwValue != nullptr ? *pdwValue : 0u);
    if (pdwValue == nullptr) return 0;
    *pdwValue = 0;
    const DWORD dwCategory = m_stAutoConfigInfo.dwPrinterCategory;
    const DWORD dwOEMBit = GetSystemOEMWord(BP_OEM_MODELINFO_OFFSET) & kModelOEMRecordBit;

    if (dwCategory == PRINTER_CATEGORY_SYSTEM_OEM) {
        BI_LOG("dwPrinterCategory is Page(SystemOEM).\n");
        *pdwValue = GetSystemOEMWord(BP_OEM_MODELINFO_OFFSET) | (m_dwChannelAvailable ? kModelOEMChannel : 0);
        BI_LOG("CBIDI_BP::GetModelInfoBits. ModelInfoBis=0x%x\n", *pdwValue);
        return 1;
    }

    if (dwCategory == PRINTER_CATEGORY_PAGE) {
        const DWORD dwCmd = m_stDeviceIDInfo.dwCommandSetBits;
        if (dwCmd & kCmdPageLanguages) {
            if (dwCmd & kCmdColour) *pdwValue |= kModelColour;
            if (dwCmd & kCmdJapan) *pdwValue |= kModelJapan;
        } else {
            BI_LOG("QLMPAGES-04 Only\n");
            if (!GetColorInfoBitsByMIB(pdwValue)) return 0;
            BIStringList languages;
            if (!GetStringList(kOIDLocalizationLanguage, &languages)) {
                BI_LOG("#Failed to get Language from printer.\n");
                return 0;
            }
            if (std::any_of(languages.begin(), languages.end(),
                            [](const std::string& lang) { return EqualsIgnoringCase(lang, "ja"); }))
                *pdwValue |= kModelJapan;
        }
        const BIStringList* pSizes = GetSupportPaperSize(0);
        if (pSizes == nullptr || pSizes->empty()) {
            BI_LOG("#No supported paper size: the model bits cannot be told.\n");
            return 0;
        }
        if (ListHolds(*pSizes, "A3")) *pdwValue |= kModelA3;
        *pdwValue |= dwOEMBit;
        DWORD dwCharSet = 0;
        if (GetJobCtrlLangCharSet(&dwCharSet)) {
            if (dwCharSet == static_cast<DWORD>(kJobCtrlUTF8)) *pdwValue |= kModelUTF8JobControl;
        } else if (!PrinterAnswered(GetLastMIBResult())) {
            // Without the object the printer has no UTF-8 job control; without an answer the bit
            // is unknown, and leaving it out would be a wrong answer.
            BI_LOG("#CBIDI_BP::GetModelInfoBits: no answer about the job control character set.\n");
            return 0;
        }
        BI_LOG("CBIDI_BP::GetModelInfoBits. ModelInfoBis=0x%x\n", *pdwValue);
        return 1;
    }

    BI_LOG("dwPrinterCategory is Other(BIJ).\n");
    BI_LOG("CBIDI_BP::GetColorInfo\n");
    if (!m_pChannel || m_pChannel->nHandle < 0 || !GetStatusFromCurrentChannel() || !IsSupportColorMode(pdwValue)) {
        BI_LOG("#Failed CBIDI_BP::GetColorInfo\n");
        return 0;
    }
    if (m_stDeviceIDInfo.dwQLMPRBits != 0) *pdwValue |= kModelRaster;
    *pdwValue |= m_stAutoConfigInfo.dwResolutionFlag;
    const BIStringList* pSizes = GetSupportPaperSize(0);
    if (pSizes == nullptr || pSizes->empty()) {
        BI_LOG("#No supported paper size: the model bits cannot be told.\n");
        return 0;
    }
    if (ListHolds(*pSizes, "62") || ListHolds(*pSizes, "69")) *pdwValue |= kModelA3;
    *pdwValue |= MapBits(m_stAutoConfigInfo.dwPSectionWord5, kPWord5Bits);
    *pdwValue |= MapBits(m_stAutoConfigInfo.dwPSectionWord21, kPWord21Bits);
    *pdwValue |= m_stAutoConfigInfo.dwFormat17Mark;
    *pdwValue |= dwOEMBit;
    BI_LOG("CBIDI_BP::GetModelInfoBits. ModelInfoBis=0x%x\n", *pdwValue);
    return 1;
}

int CBIDI_BP::GetColorInfoBitsByMIB(DWORD* pdwValue) {
    BI_LOG("CBIDI_BP::GetColorInfoBitsByMIB() pdwValue=%x\n", pdwValue != nullptr ? *pdwValue : 0u);
    if (pdwValue == nullptr) return 0;
    std::vector<int32_t> colorants;
    if (!GetValueList(kOIDColorants, &colorants)) {
        BI_LOG("#Failed to get colorants from printer.\n");
        return 0;
    }
    if (colorants.empty()) return 1;
    BI_LOG("Succeed to GetValueList(BIDI_OID_COLORANTS, ...) lstValue.front() = %d\n", colorants.front());
    if (colorants.front() >= kMinColourColorants)
        *pdwValue |= kModelColour;
    else
        *pdwValue &= ~kModelColour;
    return 1;
}

DWORD CBIDI_BP::GetSupportPDLBits() {
    DWORD dwBits = 0;
    switch (m_stAutoConfigInfo.dwPrinterCategory) {
    case PRINTER_CATEGORY_PAGE: {
        const DWORD dwCmd = m_stDeviceIDInfo.dwCommandSetBits;
        if (dwCmd & (CMDSET_QLMPAGE_04 | CMDSET_QLMPAGEJ_04)) dwBits |= kPDLPage;
        if (dwCmd & kCmdColour) dwBits |= kPDLPageColour;
        if (dwCmd & CMDSET_QLMPAGES_04) dwBits |= kPDLPageS;
        break;
    }
    case PRINTER_CATEGORY_SYSTEM_OEM:
        dwBits = GetSystemOEMWord(BITableLayout::kOEMOffPDL);
        break;
    default:
        dwBits = m_stDeviceIDInfo.dwQLMPRBits;
        break;
    }
    dwBits |= kPDLPCLAndPCLXL;
    BI_LOG("CBIDI_BP::GetSupportPDLBits. dwSupportPDLBits=0x%x\n", dwBits);
    return dwBits;
}

// GetJobCtrlLangCharSet: a Get of the object itself. It has no row of its own; a walk from its
// parent meets the paper-type mask of the same table first and would report no character set.
int CBIDI_BP::GetJobCtrlLangCharSet(DWORD* pdwValue) {
    BI_LOG("CBIDI_BP::GetJobCtrlLangCharSet() pdwValue=%x\n", pdwValue != nullptr ? *pdwValue : 0u);
    if (pdwValue == nullptr) return 0;
    int32_t nCharSet = 0;
    if (!GetMIBInteger(kOIDJobCtrlLangCharSet, &nCharSet)) {
        BI_LOG("#Failed to get kdPrtGeneralJobCtrlLangCharSet from printer.\n");
        return 0;
    }
    BI_LOG(" JobCtrlLangCharSet=%d.\n", nCharSet);
    *pdwValue = static_cast<DWORD>(nCharSet);
    return 1;
}

DWORD CBIDI_BP::GetInstalledMemory() {
    BI_LOG("CBIDI_BP::GetInstalledMemory\n");
    const DWORD dwCategory = m_stAutoConfigInfo.dwPrinterCategory;
    if (dwCategory == PRINTER_CATEGORY_SYSTEM_OEM) {
        std::vector<int32_t> memory;
        if (m_dwChannelAvailable) {
            if (GetValueList(kOIDMemorySize, &memory) && !memory.empty()) return MemoryMB(memory.front(), kKB);
            // The record's figure stands in for a printer without the object, not for one whose
            // answer was lost: its memory may have grown since the record was made.
            if (!PrinterAnswered(GetLastMIBResult())) {
                BI_LOG("#Failed to get the hrMemorySize from printer. nRet=%d\n", GetLastMIBResult());
                return 0;
            }
        }
        return GetSystemOEMWord(BITableLayout::kOEMOffMemory);
    }
    if (dwCategory != PRINTER_CATEGORY_PAGE) return 0;

    BIStringList descriptions;
    if (!GetStringList(kOIDStorageDescr, &descriptions) || descriptions.empty()) {
        BI_LOG("#Failed to get the hrStorageDesc from printer.\n");
        return 0;
    }
    auto it = std::find(descriptions.begin(), descriptions.end(), kPrinterRAM);
    int32_t nDivisor = kKB * kKB;
    if (it == descriptions.end()) {
        BI_LOG("#Not Found PrinterRamString(Printer RAM) in hrStorageDesc.\n");
        it = std::find(descriptions.begin(), descriptions.end(), kStorageRAM);
        nDivisor = kKB;
        if (it == descriptions.end()) {
            BI_LOG("#Not Found PrinterRamString(Storage RAM) in hrStorageDesc.\n");
            return 0;
        }
    }
    const size_t nRow = static_cast<size_t>(it - descriptions.begin()) + 1;
    BI_LOG("MemorySizeIndex = %zu\n", nRow);
    if (nRow > BP_MAX_ROW_INDEX) {
        BI_LOG("#Failed to get the StorageSize from printer.\n");
        return 0;
    }
    int32_t nSize = 0;
    if (!GetMIBInteger(AppendIndex(kOIDStorageSize, static_cast<BYTE>(nRow)).c_str(), &nSize)) {
        BI_LOG("#Failed to get the StorageSize from printer.\n");
        return 0;
    }
    if (nSize < 0) BI_LOG("#The printer reports a negative storage size %d.\n", nSize);
    return MemoryMB(nSize, nDivisor);
}
