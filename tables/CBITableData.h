// CBITableData: the driver's binary resource tables of one queue (paper sizes, paper types,
// paper sources, quality levels, models, System OEM models) and the lookups that turn printer
// answers into the driver's IDs.
//
// The file is read whole, checked once (header, directory, every table's rows inside the file,
// row sizes large enough for the fields read) and decoded into row records; a file that fails a
// check is not loaded at all, so no lookup can ever read outside it.
#pragma once

#include "platform/win32.h"
#include "tables/BITableLayout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Rows as decoded from the file. Texts are cut at their first zero byte or at the field's width.
struct SBIPaperTypeRow {
    WORD wID = 0;
    std::string strName;
    WORD wFlags = 0;
    WORD wCode1 = 0;
    WORD wCode2 = 0;
};

struct SBIPaperSizeRow {
    WORD wID = 0;
    std::string strName;
    WORD wDirection = 0;
    WORD wShow = 0;
    WORD wFlags = 0;
    WORD wCode1 = 0;
    WORD wCode2 = 0;
};

struct SBIPaperSourceRow {
    WORD wElementID = 0;
    WORD wSourceBits = 0;
    BYTE byFlags = 0;
    BYTE byFlags2 = 0;
};

struct SBIQualityRow {
    WORD wID = 0;
    DWORD dwResolutionBits = 0;
    BYTE byFlags = 0;
};

struct SBIModelRow {
    std::string strName;
    WORD wFeeder = 0;
    DWORD dwModelFlags = 0;
};

using SBISystemOEMRow = std::array<BYTE, BITableLayout::kOEMRowSize>;

// One stored paper entry ("BIPaperSizeIDs", "BIPaperTypeIDs"): 8 bytes, little-endian.
struct SBIPaperEntry {
    WORD wID;
    WORD wShow;
    WORD wDirection;
    WORD wReserved;
};
static_assert(sizeof(SBIPaperEntry) == 8);

class CBITableData {
public:
    CBITableData() = default;

    // The printer-information object's flag word and the install-time switch (1: keep only
    // rows for the install-time record source).
    void SetFlags(DWORD dwFlags, DWORD dwERDSwitch);
    DWORD GetFlags() const { return m_dwFlags; }

    // (Re)loads the tables of binary resource ID dwResourceID for the queue: locates the file
    // through the driver's data file, reads it, overlays the stored paper directions and shown
    // flags, and filters the rows. 1 on success; on failure every list is empty.
    BOOL UpdateBinaryTable(LPCWSTR pszPrinterName, DWORD dwResourceID);

    // Loads tables from file bytes already in memory (checks, decoding, row filter); the
    // overlay, if any, is applied to the paper-size rows. 1 on success; on failure every list
    // is empty. UpdateBinaryTable ends here.
    BOOL LoadFromMemory(std::span<const BYTE> file, std::span<const SBIPaperEntry> overlay = {});

    // Lookups. Every ID is 0 when nothing matches.
    WORD GetPaperSizeIDByCode(LONG lCode, DWORD dwMask) const;
    WORD GetPaperTypeIDByCode(LONG lCode, DWORD dwMask) const;
    WORD GetSubPaperTypeID(LONG lCode) const;
    // pszName is the printer's 8-bit name; pwDirection (may be null) receives 1 for a landscape
    // name and 0 for a portrait one, and is left alone otherwise.
    WORD GetPaperSizeIDByName(const char* pszName, WORD* pwDirection, DWORD dwMask) const;
    WORD GetPaperTypeIDByName(const char* pszName, DWORD dwMask) const;
    WORD GetPaperSourceElementID(DWORD dwSourceBits) const;
    BOOL GetModelInfo(LPCWSTR pszModelName, DWORD* pdwModelFlags, WORD* pwFeeder) const;
    BOOL GetModelInfoA(const char* pszModelName, DWORD* pdwModelFlags, WORD* pwFeeder) const;
    BOOL GetSystemOEMModel(const char* pszName, SBISystemOEMRow* pRow) const;

    // The lists, in file order, after the row filter.
    const std::vector<SBIPaperSizeRow>& PaperSizes() const { return m_vecPaperSize; }
    const std::vector<SBIPaperTypeRow>& PaperTypes() const { return m_vecPaperType; }
    const std::vector<SBIPaperSourceRow>& PaperSources() const { return m_vecPaperSource; }
    const std::vector<std::vector<BYTE>>& Table3030() const { return m_vecTable3030; }
    const std::vector<SBIQualityRow>& QualityLevels() const { return m_vecQuality; }
    const std::vector<SBIModelRow>& Models() const { return m_vecModel; }
    const std::vector<SBISystemOEMRow>& SystemOEMModels() const { return m_vecSystemOEM; }
    DWORD GetPaperSizeCount() const { return static_cast<DWORD>(m_vecPaperSize.size()); }
    DWORD GetPaperTypeCount() const { return static_cast<DWORD>(m_vecPaperType.size()); }
    BOOL IsNumericForm() const { return m_bNumericForm; }

private:
    void Clear();
    bool LoadChecked(std::span<const BYTE> file, std::span<const SBIPaperEntry> overlay);
    bool KeepRow(DWORD dwRowFlags) const;

    DWORD m_dwFlags = 0;
    DWORD m_dwERDSwitch = 0;
    WORD m_wFormat = 0;
    WORD m_wDirCount = 0;
    DWORD m_dwFileFlags = 0;
    BOOL m_bNumericForm = FALSE;
    std::vector<SBIPaperSizeRow> m_vecPaperSize;
    std::vector<SBIPaperTypeRow> m_vecPaperType;
    std::vector<SBIPaperSourceRow> m_vecPaperSource;
    std::vector<std::vector<BYTE>> m_vecTable3030;
    std::vector<SBIQualityRow> m_vecQuality;
    std::vector<SBIModelRow> m_vecModel;
    std::vector<SBISystemOEMRow> m_vecSystemOEM;
};
