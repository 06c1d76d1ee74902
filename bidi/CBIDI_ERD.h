// CBIDI_ERD: the printer access that answers from the print-capability record the driver's
// installer left in the registry instead of from a live printer. On first use (registry mode) it
// moves the record and its companion values "Key" and "Mail" into the queue's printer data and
// deletes them from the registry; later instances read the record from the printer data.
#pragma once

#include "bidi/CBIDI.h"
#include "bidi/PrnCapRecord.h"

#include <vector>

// Initialize flag: read the installer's values from the registry and move them.
constexpr DWORD ERD_FLAG_REGISTRY_MODE = 0x4;

class CBIDI_ERD : public CBIDI {
public:
    // The largest record or companion value accepted from the registry or the printer data.
    static constexpr DWORD kMaxValueBytes = 1024 * 1024;

    CBIDI_ERD() = default;
    ~CBIDI_ERD() override;

    int Initialize(BIInfo* pBIInfo, DWORD dwFlags) override;
    int Open(LPCWSTR pPrinterName) override;
    int Close() override;
    const WCHAR* GetModelName() override;
    DWORD GetSupportPDLBits() override { return 0; }
    int GetModelInfoBits(DWORD* pdwValue) override;
    DWORD GetInstalledMemory() override { return 0; }
    int GetOptionUnitBits(DWORD* pdwValue) override;
    int GetOptionUnitBitsStorage(DWORD*) override { return 1; }
    int GetOptionUnitBitsDuplexUnit(DWORD*) override { return 1; }
    int GetOptionUnitBitsFinisher(DWORD*) override { return 1; }
    int GetOptionUnitBitsConfidentialJobFunction(DWORD*) override { return 1; }
    int GetCassetteInfo(BICassetteList* pCassettes) override;
    BIStringList* GetSupportPaperSize(DWORD) override { return &m_vecSupportPaperSize; }
    BIStringList* GetSupportPaperType() override { return &m_vecSupportPaperType; }
    BIStringList* GetPaperDirection() override { return &m_vecPaperDirection; }
    int GetUserDefMaxMin(VANTO_USERDEF_MAXMIN* pUserDefMaxMin) override;
    const BYTE* GetPrnCapInfo() override;
    DWORD GetPrinterCategory() override { return PRINTER_CATEGORY_CAPABILITY_RECORD; }
    DWORD GetMaxCopies() override;
    DWORD GetBaseResolution() override;
    int GetDefaultSetting(BIDefaultSettings* pDefaultSettings) override;

    // Takes record as this object's record, checks it and feeds its paper entries into the
    // capability set; computes the forbidden pairs. Returns 1; 0 for a record that is shorter
    // than its head or than its own block and entry counts claim, or whose capabilities are too
    // many: then the record is dropped and the object is not ready.
    int AnalyzePrintCapability(std::vector<BYTE> record);

    // The record's size in bytes (0 without a record).
    DWORD GetPrnCapInfoSize() const { return static_cast<DWORD>(m_Record.size()); }

private:
    int ReadFromRegistry(std::vector<BYTE>& record);
    int ReadFromPrinterData(std::vector<BYTE>& record);
    int AnalyzeRecord();
    DWORD RecordU32(size_t offset) const { return prncap::ReadU32(m_Record.data(), offset); }

    BIInfo* m_pBIInfo = nullptr;
    DWORD m_dwRegistryMode = 0;
    WCHAR m_szRegistryPath[MAX_PATH] = {};
    std::vector<BYTE> m_Record;                      // empty: no record
    WCHAR m_szModelName[prncap::kModelNameBytes / 2 + 1] = {};  // the record's name, terminated
};
