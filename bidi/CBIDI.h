// CBIDI: the one interface through which the library asks what a printer is and what is fitted
// to it. CBIDI_BP asks a live printer; CBIDI_ERD answers from the installer's capability record.
// The base owns the lists both implementations fill (paper sizes, types, directions, sources,
// quality and layout masks) and the print-capability set with its forbidden pairs.
#pragma once

#include "bidi/BIDIRecords.h"
#include "bidi/CPrintCapabilitySet.h"
#include "platform/win32.h"
#include "vanto.h"

#include <algorithm>
#include <string>
#include <vector>

class BIInfo;

using BIStringList = std::vector<std::string>;
using BICassetteList = std::vector<VANTO_CASETTE_INFO>;

// The list has an entry equal to pText: exact and case-sensitive, as printers' names are matched.
inline bool ListHolds(const BIStringList& list, const char* pText) {
    return std::find(list.begin(), list.end(), pText) != list.end();
}

// Printer categories (dwPrinterCategory).
constexpr DWORD PRINTER_CATEGORY_PAGE = 1;
constexpr DWORD PRINTER_CATEGORY_INKJET = 2;
constexpr DWORD PRINTER_CATEGORY_CAPABILITY_RECORD = 3;
constexpr DWORD PRINTER_CATEGORY_SYSTEM_OEM = 4;
constexpr DWORD PRINTER_CATEGORY_LARGE_INKJET = 5;

constexpr size_t BIDI_PRINTERNAME_BYTES = 1024;  // the ANSI copy of the printer name

class CBIDI {
public:
    CBIDI();
    CBIDI(const CBIDI&) = delete;
    CBIDI& operator=(const CBIDI&) = delete;

    // The operations, in slot order.
    virtual ~CBIDI();                                                    // 0
    virtual int Initialize(BIInfo* pBIInfo, DWORD dwFlags) = 0;          // 1
    virtual int Open(LPCWSTR pPrinterName) = 0;                          // 2
    virtual int Close() = 0;                                             // 3
    virtual const WCHAR* GetModelName() = 0;                             // 4: null when unknown
    virtual DWORD GetSupportPDLBits() = 0;                               // 5
    virtual int GetModelInfoBits(DWORD* pdwValue) = 0;                   // 6
    virtual DWORD GetInstalledMemory() = 0;                              // 7: MB, 0 unknown
    virtual int GetOptionUnitBits(DWORD* pdwValue) = 0;                  // 8
    virtual int GetOptionUnitBitsStorage(DWORD* pdwValue) = 0;           // 9
    virtual int GetOptionUnitBitsDuplexUnit(DWORD* pdwValue) = 0;        // 10
    virtual int GetOptionUnitBitsFinisher(DWORD* pdwValue) = 0;          // 11
    virtual int GetOptionUnitBitsConfidentialJobFunction(DWORD* pdwValue) = 0;  // 12
    virtual int GetCassetteInfo(BICassetteList* pCassettes) = 0;         // 13
    virtual BIStringList* GetSupportPaperSize(DWORD dwArgument) = 0;     // 14: null on failure
    virtual BIStringList* GetSupportPaperType() = 0;                     // 15: null on failure
    virtual BIStringList* GetPaperDirection() = 0;                       // 16: entry i for size i
    virtual int GetUserDefMaxMin(VANTO_USERDEF_MAXMIN* pUserDefMaxMin) = 0;   // 17
    virtual const BYTE* GetPrnCapInfo();                                 // 18: null, no record
    virtual DWORD GetPrinterCategory() = 0;                              // 19
    virtual DWORD GetMaxCopies() = 0;                                    // 20
    virtual DWORD GetBaseResolution() = 0;                               // 21
    virtual DWORD GetCompressionBandHeight();                            // 22: 0
    virtual int GetDefaultSetting(BIDefaultSettings* pDefaultSettings) = 0;  // 23

    // Feeds one (paper size, paper type entry) of a printer's capabilities into the base lists
    // and the capability set. pEntry holds PaperTypeID, PaperSource bits, Quality bits, Layout.
    // Returns 1; 0 for a null argument or when the capability set is full.
    int AddCapability(const DWORD* pPaperSizeID, const DWORD* pEntry);
    // Computes the capability set's combinations and copies its disable list into the forbidden
    // pairs. Returns 1; 0 when the set has too many combinations to compute.
    int ComputeForbiddenPairs();
    // Empties the paper-size, paper-type and paper-source lists, both masks, the forbidden pairs
    // and the capability set.
    void ResetCapability();

    const BICassetteList& PaperSources() const { return m_vecPaperSource; }
    DWORD GetQualityMask() const { return m_dwQualityMask; }
    DWORD GetLayoutMask() const { return m_dwLayoutMask; }
    const std::vector<DisableCombination>& GetForbiddenPairs() const { return m_vecForbiddenPairs; }
    const CPrintCapabilitySet& CapabilitySet() const { return m_CapabilitySet; }
    // 1 once the implementation can answer (device ID analysed, or record analysed).
    DWORD IsReady() const { return m_dwReady; }

protected:
    BIStringList m_vecSupportPaperSize;   // decimal paper-size IDs, first-seen order, once each
    BIStringList m_vecSupportPaperType;   // decimal paper-type IDs, once each
    BIStringList m_vecPaperDirection;     // entry i belongs to m_vecSupportPaperSize[i]
    BICassetteList m_vecPaperSource;      // one entry per paper source bit 0 to 15 met
    DWORD m_dwQualityMask = 0;            // quality bits 1, 2 and 4 met
    DWORD m_dwLayoutMask = 0;             // bit 0 when a layout with bit 0 was met
    std::string m_PrinterName;            // ANSI printer name of the live implementation
    char m_szPrinterName[BIDI_PRINTERNAME_BYTES] = {};
    CPrintCapabilitySet m_CapabilitySet;
    std::vector<DisableCombination> m_vecForbiddenPairs;
    DWORD m_dwReady = 0;
};
