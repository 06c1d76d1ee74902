// CBIPrinterInfo: the printer-information object of an instance.
//
// It owns the BiDi access (CBIDI_ERD when the flag word holds 0x10, else the live CBIDI_BP), the
// per-queue store of learnt values (BIStoreData) and the driver's binary resource tables
// (CBITableData). Callers read and write single values by small identifiers: enumDWID for 32-bit
// values, enumSTID for records; the one string (the model name) is read and written here too.
// A first Initialize on a queue seeds the store from a built-in default record; later instances
// find "BIStoreFlag" set and leave what is stored alone.
#pragma once

#include "bidi/CBIDI.h"
#include "common/BIInfo.h"
#include "platform/win32.h"
#include "printerinfo/BIStoreData.h"
#include "tables/CBITableData.h"
#include "vanto.h"

#include <memory>

// Flag bits of the instance's flag word that this object and its users read.
constexpr DWORD BIPI_FLAG_ERD = 0x10;              // information from the install-time record
constexpr DWORD BIPI_FLAG_BIJ_CUSTOM = 0x20;       // custom ink-jet printer: ink-jet defaults
constexpr DWORD BIPI_FLAG_LP_CUSTOM = 0x40;        // custom page printer: page defaults
constexpr DWORD BIPI_FLAG_LIJ_CUSTOM = 0x80;       // custom large ink-jet printer
constexpr DWORD BIPI_FLAG_CHECK_MODELNAME = 0x100; // require the driver's model name

// Printer kinds (GetPrinterKind).
constexpr DWORD BIPI_KIND_ERD = 1;
constexpr DWORD BIPI_KIND_BIJ = 2;
constexpr DWORD BIPI_KIND_PAGE = 3;

// Value identifiers.
enum enumDWID : DWORD {
    DWID_ModelInfoBits = 10,
    DWID_SupportPDLBits = 11,
    DWID_OptionUnitBits = 12,
    DWID_CassetteNum = 13,
    DWID_Reserved14 = 14,
    DWID_InstalledMemory = 15,
    DWID_DefaultPDLBits = 16,
    DWID_BinaryResourceID = 17,
    DWID_CFGXResourceID = 18,
};
enum enumSZID : DWORD {
    SZID_ModelName = 10,
};
enum enumSTID : DWORD {
    STID_CassetteInfo = 10,
    STID_PrinterInfo = 11,
    STID_UserDefMaxMin = 12,
};

class CBIPrinterInfo {
public:
    CBIPrinterInfo() = default;
    ~CBIPrinterInfo();
    CBIPrinterInfo(const CBIPrinterInfo&) = delete;
    CBIPrinterInfo& operator=(const CBIPrinterInfo&) = delete;

    // Creates the BiDi access, the store and the tables of binary resource ID 1, and seeds the
    // store when "BIStoreFlag" is absent or 0. On failure everything made is destroyed.
    BOOL Initialize(BIInfo* pBIInfo, DWORD dwFlags);

    BOOL GetDWORDValue(DWORD enumDWID, DWORD* pdwValue);
    BOOL SetDWORDValue(DWORD enumDWID, DWORD dwValue);
    // Number of records delivered; 0 on any failure.
    INT GetStructValue(DWORD enumSTID, DWORD dwParam, void* pBuffer, DWORD* pcbBuffer);
    BOOL SetStructValue(DWORD enumSTID, DWORD dwParam, const void* pRecord);
    // The stored model name (string ID 10) into a buffer of cchBuffer characters, terminated.
    BOOL GetModelName(LPWSTR pszBuffer, DWORD cchBuffer);
    BOOL SetModelName(LPCWSTR pszModelName);

    // 1 install-time record, 2 ink-jet, 3 page printer.
    DWORD GetPrinterKind();
    // Binary resource ID (value ID 17) and CFGX resource ID (value ID 18), computed.
    DWORD ComputeBinaryResourceID();
    DWORD ComputeCFGXResourceID();

    // Asks the printer for the elements selected by the low 32 bits of llElementBit and stores
    // what it reports in the driver's terms (CBIPrinterInfoUpdate.cpp). 0 success; -1 no
    // connection; -2 a model check or a query failed; -999 an object, the tables, the queue's
    // identifier or a store write missing. "BIStoreFlag" is written last, so a store whose update
    // broke off keeps its previous flag.
    INT UpdatePrinterInfo(uint64_t llElementBit, DWORD dwOption);
    // 0 when the printer is the model the store describes, 1 when it changed (always 1 for the
    // install-time record), -1 no connection, -999 otherwise.
    INT CheckModelNameHasChanged();

    // Rewrites the queue's driver configuration (CFX) file from the stored values through the
    // driver's CFGX module, saves it into the queue's work folder when anything changed, and hands
    // the printer information record to the module for the driver's registry data
    // (CBIPrinterInfoCFGX.cpp). Option 0x1: the registry data only. 1 success (also when nothing
    // had to change), 0 failure.
    BOOL UpdateCFGXFile(uint64_t llElementBit, DWORD dwOption);

    // The printer's supported paper sizes and types, stored in the driver's terms, and its
    // prohibit set: CBIPaperInfo and CBIProhibitInfo on this object's store, tables and BiDi
    // access (see there).
    BOOL GetSupportPaperSizeInfo(const BIStringList* pvecPaperDirection, const BIStringList* pvecSupportPaperSize);
    BOOL GetSupportPaperTypeInfo(const BIStringList* pvecSupportPaperType);
    BOOL MakeProhibitInfo(SBIProhibitSet* pSet, BOOL bPCLSupport, BOOL bLPModel);

    // Ready once Initialize has succeeded (the store exists).
    bool IsReady() const { return m_pStoreData != nullptr; }
    DWORD GetFlags() const { return m_dwFlags; }
    BIInfo* GetBIInfo() const { return m_pBIInfo; }
    CBIDI* GetBIDI() const { return m_pBIDI.get(); }
    BIStoreData* GetStoreData() const { return m_pStoreData.get(); }
    CBITableData* GetTableData() const { return m_pTableData.get(); }

private:
    bool IsConnected() const;
    void SeedStore(const VANTO_PRINTER_INFO& defaults);
    void DestroyObjects();
    INT ReadPrinterInfo(VANTO_PRINTER_INFO* pRecord, DWORD* pcbBuffer);
    BOOL WritePrinterInfo(const VANTO_PRINTER_INFO& record);

    DWORD m_dwFlags = 0;
    BIInfo* m_pBIInfo = nullptr;  // the instance's context, not owned
    std::unique_ptr<CBIDI> m_pBIDI;
    std::unique_ptr<BIStoreData> m_pStoreData;
    std::unique_ptr<CBITableData> m_pTableData;
};
