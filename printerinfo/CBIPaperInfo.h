// CBIPaperInfo: the printer's supported paper sizes and paper types in the driver's terms.
//
// The printer reports its paper as text entries (names, or the decimal codes of numeric-form
// tables) and, for sizes, a feed-direction entry per size. Each row of the driver's paper-size or
// paper-type table (CBITableData) becomes one stored paper entry {row ID, shown, direction}, and
// the lists are written as "BIPaperSizeNum"/"BIPaperSizeIDs" and "BIPaperTypeNum"/
// "BIPaperTypeIDs". The stored count is always the table's row count; entries that a form leaves
// unused are zero. A failed build stores the count 0, so no reader trusts a half-written list.
//
// The object is a short-lived view: it owns nothing and works on the printer-information
// object's store, tables and BiDi access, which must outlive it.
#pragma once

#include "bidi/CBIDI.h"
#include "platform/win32.h"
#include "printerinfo/BIStoreData.h"
#include "tables/CBITableData.h"

#include <vector>

// Direction of a stored paper-size entry.
constexpr WORD BIPAPER_DIRECTION_0 = 0;      // the printer feeds this size in direction 0
constexpr WORD BIPAPER_DIRECTION_1 = 1;      // ... in direction 1
constexpr WORD BIPAPER_DIRECTION_NONE = 2;   // no direction reported

class CBIPaperInfo {
public:
    // Any of the three may be null: the builders then fail without touching the store.
    CBIPaperInfo(BIStoreData* pStoreData, const CBITableData* pTableData, CBIDI* pBIDI)
        : m_pStoreData(pStoreData), m_pTableData(pTableData), m_pBIDI(pBIDI) {}

    // Stores the supported paper sizes. pvecPaperDirection (may be null) holds one entry per
    // entry of pvecSupportPaperSize, in the same order. 1 on success; 0 on failure, with
    // "BIPaperSizeNum" = 0 stored whenever the store could be reached.
    BOOL GetSupportPaperSizeInfo(const BIStringList* pvecPaperDirection, const BIStringList* pvecSupportPaperSize);
    // Stores the supported paper types; the same contract as for sizes, direction always 0.
    BOOL GetSupportPaperTypeInfo(const BIStringList* pvecSupportPaperType);

    // The direction that a printer's direction entry names: its first byte 0x80 gives 1, 0x40
    // gives 0; an empty entry or any other byte gives "none".
    static WORD DirectionOf(const std::string& strEntry);

private:
    // The entries of each form, into the zeroed array of one entry per table row. The System OEM
    // form returns 0, or the failure code when no row is marked for it.
    int BuildSystemOEMEntries(bool bSizes, std::vector<SBIPaperEntry>& entries) const;
    void BuildSizeEntries(bool bNumeric, const BIStringList* pvecPaperDirection, const BIStringList& sizes,
                          std::vector<SBIPaperEntry>& entries) const;
    void BuildTypeEntries(bool bNumeric, const BIStringList& types, std::vector<SBIPaperEntry>& entries) const;
    // True when the printer's list is to be read as decimal codes (numeric form).
    bool UseNumericForm(DWORD dwCategory) const;
    // Writes the count and the entries; 0 or the failure code.
    int StoreEntries(LPCWSTR pszNumName, LPCWSTR pszIDsName, const std::vector<SBIPaperEntry>& entries);
    void StoreNoEntries(LPCWSTR pszNumName);

    BIStoreData* m_pStoreData;
    const CBITableData* m_pTableData;
    CBIDI* m_pBIDI;
};
