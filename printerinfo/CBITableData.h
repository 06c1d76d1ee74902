// CBITableData: the driver's binary resource tables of one queue (paper sizes, paper types,
// paper sources, quality levels, models, System OEM models) and the lookups that turn printer
// answers into the driver's IDs.
//
// The file is read whole, checked once (header, directory, every table's rows inside the file,
// row sizes large enough for the fields read) and decoded into row records; a file that fails a
// check is not loaded at all, so no lookup can ever read outside it.
#pragma once

#include "platform/win32.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The binary resource file layout (little-endian). Shared with the table compiler.
namespace BITableLayout {
constexpr size_t kHeaderSize = 32;              // bytes before the table directory
constexpr size_t kOffFormat = 0;                // u16 format value (not interpreted)
constexpr size_t kOffDirCount = 2;              // u16 number of directory entries
constexpr size_t kOffFlags = 4;                 // u32 file flags
constexpr DWORD kFlagNumericForm = 0x4;         // rows carry numeric printer codes
constexpr size_t kDirEntrySize = 28;            // bytes per directory entry
constexpr size_t kDirOffTableID = 0;            // u32 table ID
constexpr size_t kDirOffRowSize = 8;            // u32 row size in bytes
constexpr size_t kDirOffRowCount = 12;          // u32 number of rows
constexpr size_t kDirOffRowsOffset = 16;        // u32 file offset of row 0
constexpr size_t kMaxFileSize = 16 * 1024 * 1024;  // larger files are refused unread

// Table IDs.
constexpr DWORD kTablePaperType = 3000;
constexpr DWORD kTablePaperSize = 3010;
constexpr DWORD kTablePaperSource = 3020;
constexpr DWORD kTableUninterpreted = 3030;
constexpr DWORD kTableQuality = 3040;
constexpr DWORD kTableModel = 3050;
constexpr DWORD kTableSystemOEM = 3080;

// Paper type rows (3000).
constexpr size_t kPTOffID = 0;          // u16 paper type ID
constexpr size_t kPTOffName = 20;       // name text
constexpr size_t kPTNameWidth = 30;
constexpr size_t kPTOffFlags = 50;      // u16 flags
constexpr size_t kPTOffCode1 = 52;      // u16 printer code 1
constexpr size_t kPTOffCode2 = 54;      // u16 printer code 2
constexpr size_t kPTMinRowSize = 56;

// Paper size rows (3010).
constexpr size_t kPSOffID = 0;          // u16 paper size ID
constexpr size_t kPSOffName = 72;       // name text
constexpr size_t kPSNameWidth = 30;
constexpr size_t kPSOffDirection = 102; // u16 direction
constexpr size_t kPSOffShown = 104;     // u16 shown
constexpr size_t kPSOffFlags = 106;     // u16 flags
constexpr size_t kPSOffCode1 = 108;     // u16 printer code 1
constexpr size_t kPSOffCode2 = 110;     // u16 printer code 2
constexpr size_t kPSMinRowSize = 112;

// Paper source rows (3020, 32 bytes in the driver's files).
constexpr size_t kSrcOffElementID = 0;  // u16 element ID
constexpr size_t kSrcOffBits = 16;      // u16 paper source bits
constexpr size_t kSrcOffFlags = 18;     // u8 flags
constexpr size_t kSrcOffFlags2 = 19;    // u8 further flags
constexpr size_t kSrcRowSize = 32;
constexpr size_t kSrcMinRowSize = 20;

// Quality level rows (3040).
constexpr size_t kQOffID = 0;           // u16 quality-level ID
constexpr size_t kQOffResolution = 10;  // u32 resolution bits
constexpr size_t kQOffFlags = 14;       // u8 flags
constexpr size_t kQMinRowSize = 15;

// Model rows (3050).
constexpr size_t kMOffName = 0;         // model name text
constexpr size_t kMNameWidth = 30;
constexpr size_t kMOffFeeder = 30;      // u16 feeder value
constexpr size_t kMOffFlags = 36;       // u32 model flags
constexpr size_t kMMinRowSize = 40;

// System OEM rows (3080): a model name pattern at 0, the row handed out whole. The words after
// the pattern are the System OEM record the connection code answers from.
constexpr size_t kOEMRowSize = 200;
constexpr size_t kOEMPatternWidth = 64;     // pattern text, zero-terminated before the first word
constexpr size_t kOEMOffModelInfo = 64;     // u32 model-information bits (0x100, 0x200: System OEM)
constexpr size_t kOEMOffPDL = 68;           // u32 page-description language bits
constexpr size_t kOEMOffOptions = 76;       // u32 option bits (0x1: duplex unit)
constexpr size_t kOEMOffMemory = 80;        // u32 installed memory in MB
constexpr size_t kOEMOffSources = 100;      // u16 paper source element IDs, up to the tray count
constexpr size_t kOEMSourceCount = 11;
constexpr size_t kOEMOffTrayCount = 122;    // u16 tray count
constexpr size_t kOEMOffUserDef = 124;      // 8 x i32 user-defined paper limits (mm/10, then inch/100)
constexpr size_t kOEMUserDefCount = 8;

// Low four flag bits of rows of tables 3000, 3010, 3020, 3040: which source the row is for.
constexpr DWORD kRowSourceMask = 0xF;
constexpr DWORD kRowSourceInstallTime = 0x1;
constexpr DWORD kRowSourceLive = 0x2 | 0x4 | 0x8;
}  // namespace BITableLayout

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
