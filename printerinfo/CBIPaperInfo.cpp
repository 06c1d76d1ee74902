// CBIPaperInfo: see CBIPaperInfo.h.
#include "printerinfo/CBIPaperInfo.h"

#include "common/BILogging.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

namespace {

// Failure code of the list builders; it appears only in their failure log line.
constexpr int kPaperInfoFailed = -999;

// Printer categories whose lists carry decimal printer codes when the tables are in numeric
// form (no printer access reports them today; the rule is kept for the ones that will).
constexpr DWORD kCategoryNumericCodes1 = 6;
constexpr DWORD kCategoryNumericCodes2 = 7;

// Paper rows of a System OEM printer: flag 0x4 or 0x8 marks a row for live printers that the
// OEM model offers, and flag 0x800 says whether it is shown.
constexpr WORD kRowFlagsSystemOEM = 0x4 | 0x8;
constexpr int kRowFlagShownBit = 11;  // 0x800

// First byte of a printer's direction entry.
constexpr unsigned char kDirectionByte1 = 0x80;
constexpr unsigned char kDirectionByte0 = 0x40;

// A paper-type row of this name is always shown; a row whose name is a reported name followed
// by this suffix (the black-ink variant of that paper) is shown with it.
constexpr std::string_view kTypeUnspecified = "Unspecified";
constexpr std::string_view kTypeBlackSuffix = "(BK)";

bool Contains(const BIStringList& list, std::string_view text) {
    return std::find(list.begin(), list.end(), text) != list.end();
}

// The pointer as the log shows it: its low 32 bits in hex.
unsigned LogAddress(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

WORD CBIPaperInfo::DirectionOf(const std::string& strEntry) {
    if (strEntry.empty()) return BIPAPER_DIRECTION_NONE;
    const auto first = static_cast<unsigned char>(strEntry[0]);
    if (first == kDirectionByte1) return BIPAPER_DIRECTION_1;
    if (first == kDirectionByte0) return BIPAPER_DIRECTION_0;
    return BIPAPER_DIRECTION_NONE;
}

bool CBIPaperInfo::UseNumericForm(DWORD dwCategory) const {
    return (dwCategory == kCategoryNumericCodes1 || dwCategory == kCategoryNumericCodes2) &&
           m_pTableData->IsNumericForm();
}

// BuildSystemOEMEntries: a System OEM printer answers from its record, not with a list; every
// row marked for it becomes the next entry, packed at the front.
int CBIPaperInfo::BuildSystemOEMEntries(bool bSizes, std::vector<SBIPaperEntry>& entries) const {
    size_t n = 0;
    auto add = [&](WORD wID, WORD wFlags) {
        if ((wFlags & kRowFlagsSystemOEM) == 0) return;
        const WORD wShow = static_cast<WORD>((wFlags >> kRowFlagShownBit) & 1);
        entries[n++] = SBIPaperEntry{wID, wShow, bSizes ? BIPAPER_DIRECTION_NONE : BIPAPER_DIRECTION_0, 0};
    };
    if (bSizes) {
        for (const SBIPaperSizeRow& r : m_pTableData->PaperSizes()) add(r.wID, r.wFlags);
    } else {
        for (const SBIPaperTypeRow& r : m_pTableData->PaperTypes()) add(r.wID, r.wFlags);
    }
    return n == 0 ? kPaperInfoFailed : 0;
}

// BuildSizeEntries: one entry per table row, shown when the printer reports the row.
//  - Name form: the row's name is an entry of the list; the direction is the direction entry at
//    the same position.
//  - Numeric form: the list holds the decimal text of one of the row's two printer codes; code 2
//    alone means direction 0, code 1 alone direction 1, both no direction.
void CBIPaperInfo::BuildSizeEntries(bool bNumeric, const BIStringList* pvecPaperDirection, const BIStringList& sizes,
                                   std::vector<SBIPaperEntry>& entries) const {
    const bool bDirections = pvecPaperDirection != nullptr && !pvecPaperDirection->empty();
    const std::vector<SBIPaperSizeRow>& rows = m_pTableData->PaperSizes();
    for (size_t i = 0; i < rows.size(); ++i) {
        const SBIPaperSizeRow& row = rows[i];
        SBIPaperEntry& entry = entries[i];
        entry = SBIPaperEntry{row.wID, 0, BIPAPER_DIRECTION_NONE, 0};
        if (!bNumeric) {
            const auto match = std::find(sizes.begin(), sizes.end(), row.strName);
            if (match == sizes.end()) continue;
            entry.wShow = 1;
            const size_t j = static_cast<size_t>(match - sizes.begin());
            // A direction list shorter than the size list says nothing about the later sizes.
            if (bDirections && j < pvecPaperDirection->size()) entry.wDirection = DirectionOf((*pvecPaperDirection)[j]);
            continue;
        }
        const std::string c1 = std::to_string(row.wCode1);
        const std::string c2 = std::to_string(row.wCode2);
        bool bFound1 = false, bFound2 = false;
        for (const std::string& s : sizes) {
            if (s == c1) bFound1 = true;
            if (s == c2) bFound2 = true;
            if (bFound1 && bFound2) break;
        }
        if (!bFound1 && !bFound2) continue;
        entry.wShow = 1;
        if (!bDirections) continue;
        if (bFound1 && bFound2) {
            entry.wDirection = BIPAPER_DIRECTION_NONE;
        } else {
            entry.wDirection = bFound2 ? BIPAPER_DIRECTION_0 : BIPAPER_DIRECTION_1;
        }
    }
}

// BuildTypeEntries: entries with direction 0, shown when the printer reports the row.
//  - Name form: rows without a name are skipped (the entries stay packed at the front); a row is
//    shown when its name is "Unspecified", a reported name, or a reported name + "(BK)".
//  - Numeric form: every row gives an entry, shown when its name is "Unspecified" or the list
//    holds the decimal text of one of its two printer codes.
void CBIPaperInfo::BuildTypeEntries(bool bNumeric, const BIStringList& types, std::vector<SBIPaperEntry>& entries) const {
    size_t n = 0;
    for (const SBIPaperTypeRow& row : m_pTableData->PaperTypes()) {
        if (!bNumeric && row.strName.empty()) continue;
        SBIPaperEntry& entry = entries[n++];
        entry = SBIPaperEntry{row.wID, 0, BIPAPER_DIRECTION_0, 0};
        bool bShown = row.strName == kTypeUnspecified;
        if (!bShown && bNumeric) {
            bShown = Contains(types, std::to_string(row.wCode1)) || Contains(types, std::to_string(row.wCode2));
        } else if (!bShown) {
            const std::string_view name = row.strName;
            for (const std::string& t : types) {
                const bool bBlack = name.size() == t.size() + kTypeBlackSuffix.size() && name.starts_with(t) &&
                                    name.ends_with(kTypeBlackSuffix);
                if (name == t || bBlack) {
                    bShown = true;
                    break;
                }
            }
        }
        entry.wShow = bShown ? 1 : 0;
    }
}

// StoreEntries: the count first, then the entries (8 bytes each, little-endian).
int CBIPaperInfo::StoreEntries(LPCWSTR pszNumName, LPCWSTR pszIDsName, const std::vector<SBIPaperEntry>& entries) {
    const DWORD dwCount = static_cast<DWORD>(entries.size());
    if (!m_pStoreData->WriteDWORD(pszNumName, dwCount)) return kPaperInfoFailed;
    const auto* pBytes = reinterpret_cast<const BYTE*>(entries.data());
    if (!m_pStoreData->WriteData(pszIDsName, pBytes, dwCount * static_cast<DWORD>(sizeof(SBIPaperEntry))))
        return kPaperInfoFailed;
    return 0;
}

// StoreNoEntries: the count 0, so that no reader trusts entries left from an earlier build.
void CBIPaperInfo::StoreNoEntries(LPCWSTR pszNumName) {
    try {
        m_pStoreData->WriteDWORD(pszNumName, 0);
    } catch (const std::bad_alloc&) {
        BI_LOG("#CBIPaperInfo: out of memory while clearing the stored count.\n");
    }
}

BOOL CBIPaperInfo::GetSupportPaperSizeInfo(const BIStringList* pvecPaperDirection,
                                           const BIStringList* pvecSupportPaperSize) {
    BI_LOG("GetSupportPaperSizeInfo pvecPaperDirection=%x.\n", LogAddress(pvecPaperDirection));
    BI_LOG("                        pvecSupportPaperSize=%x.\n", LogAddress(pvecSupportPaperSize));
    if (m_pStoreData == nullptr || m_pTableData == nullptr || m_pBIDI == nullptr) return FALSE;

    int nError = 0;
    std::vector<SBIPaperEntry> entries;
    try {
        entries.resize(m_pTableData->GetPaperSizeCount());  // zeroed
        const DWORD dwCategory = m_pBIDI->GetPrinterCategory();
        if (dwCategory == PRINTER_CATEGORY_SYSTEM_OEM) {
            nError = BuildSystemOEMEntries(true, entries);
        } else if (pvecSupportPaperSize == nullptr) {
            nError = kPaperInfoFailed;  // the printer's list was not obtained
        } else {
            BuildSizeEntries(UseNumericForm(dwCategory), pvecPaperDirection, *pvecSupportPaperSize, entries);
        }
        if (nError == 0) nError = StoreEntries(kValPaperSizeNum, kValPaperSizeIDs, entries);
    } catch (const std::bad_alloc&) {
        nError = kPaperInfoFailed;
    }
    if (nError != 0) {
        BI_LOG("#Failed to get information of Support PaperSize.error=%d\n", nError);
        StoreNoEntries(kValPaperSizeNum);
        return FALSE;
    }
    BI_LOG("--- PaperSizeInfo ---\n");
    for (size_t i = 0; i < entries.size(); ++i) {
        BI_LOG("pPaperSizeInfo[%03d]->wID=%03d wShow=%01d wDirection=%01d\n", static_cast<int>(i), entries[i].wID,
               entries[i].wShow, entries[i].wDirection);
    }
    return TRUE;
}

BOOL CBIPaperInfo::GetSupportPaperTypeInfo(const BIStringList* pvecSupportPaperType) {
    BI_LOG("GetSupportPaperTypeInfo\n");
    if (m_pStoreData == nullptr || m_pTableData == nullptr || m_pBIDI == nullptr) return FALSE;

    int nError = 0;
    std::vector<SBIPaperEntry> entries;
    try {
        entries.resize(m_pTableData->GetPaperTypeCount());  // zeroed
        const DWORD dwCategory = m_pBIDI->GetPrinterCategory();
        if (dwCategory == PRINTER_CATEGORY_SYSTEM_OEM) {
            nError = BuildSystemOEMEntries(false, entries);
        } else if (pvecSupportPaperType == nullptr) {
            nError = kPaperInfoFailed;
        } else {
            BuildTypeEntries(UseNumericForm(dwCategory), *pvecSupportPaperType, entries);
        }
        if (nError == 0) nError = StoreEntries(kValPaperTypeNum, kValPaperTypeIDs, entries);
    } catch (const std::bad_alloc&) {
        nError = kPaperInfoFailed;
    }
    if (nError != 0) {
        BI_LOG("#Failed to get information of Support PaperType.error=%d\n", nError);
        StoreNoEntries(kValPaperTypeNum);
        return FALSE;
    }
    BI_LOG("--- PaperTypeInfo ---\n");
    for (size_t i = 0; i < entries.size(); ++i) {
        BI_LOG("pPaperTypeInfo[%03d]->wID=%03d wShow=%01d\n", static_cast<int>(i), entries[i].wID, entries[i].wShow);
    }
    return TRUE;
}
