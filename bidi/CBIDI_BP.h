// CBIDI_BP: the CBIDI implementation that asks a live printer through the maker's transport
// module. Its work is spread over several files:
//   CBIDI_BP.cpp         construction, Initialize, Open/OpenA/OpenSNMP/Close, the device ID, the
//                        printer category, the System OEM model list and the channel choice;
//   CBIDI_BP_MIB.cpp     the MIB query layer: Transact, GetMIBValue, the SNMP table walk and the
//                        MDR walk (GetValueList, GetStringList, GetTableStringsByIndex),
//                        FirmBufClear;
//   CBIDI_BP_Status.cpp  information commands, the paged PI request, the status reply and its
//                        fields, the discovery examination (GetInfoProbe);
//   CBIDI_BP_Media.cpp   the supported-media analysis (formats 14/16 and 17).
//   CBIDI_BP_Model.cpp   model-information and language bits, colour, memory;
//   CBIDI_BP_Options.cpp option units: storage, duplex unit, finisher, confidential jobs;
//   CBIDI_BP_Paper.cpp   input trays, paper sizes, types and directions, user-defined limits.
//
// Result conventions: BOOL operations give 1/0; the others give >= 0 on success or a negative
// code (-1 no channel or handle, -100 transport function missing, -201 bad argument or memory
// exhausted, packet codes -104 ... -129 and transport codes passed on unchanged).
#pragma once

#include "bidi/CBIDI.h"
#include "bidi/CZkapiDll.h"
#include "probe/DeviceIDParser.h"
#include "tables/CBITableData.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CPacket;

// Option flags of Initialize that force a category (and skip the media check at open).
constexpr DWORD BP_FLAG_FORCE_INKJET = 0x20;        // category 2, "BIJ_CUSTOM"
constexpr DWORD BP_FLAG_FORCE_PAGE = 0x40;          // category 1, "LP_CUSTOM"
constexpr DWORD BP_FLAG_FORCE_LARGE_INKJET = 0x80;  // category 5, "LIJ_CUSTOM"

// Receive time-outs in ms: printer information (object created alone) and discovery (created
// with a shared module).
constexpr DWORD BP_RECEIVE_TIMEOUT_MS = 10000;
constexpr DWORD BP_PROBE_TIMEOUT_MS = 3000;

// Rows of a table that an identifier can name: the appended index is one unsigned byte.
constexpr DWORD BP_MAX_ROW_INDEX = 255;

// Codes of the operations (besides the packet and transport codes they pass on).
constexpr int BP_ERR_NO_CHANNEL = -1;
constexpr int BP_ERR_MISSING_FUNCTION = -100;
constexpr int BP_ERR_BAD_ARGUMENT = -201;

// Information command codes of SupportMediaInfo / GetInfoTVD4.
constexpr DWORD BP_INFO_CONFIDENTIAL = 1;   // "pc" 01 00 00
constexpr DWORD BP_INFO_TRAYS = 2;          // "sr" 01 00 00
constexpr DWORD BP_INFO_STATUS = 10;        // "st" 01 00 01
constexpr DWORD BP_INFO_MEDIA = 14;         // "pm" 01 00 01
constexpr DWORD BP_INFO_INPUT_PATH = 16;    // "pm" 01 00 02
constexpr DWORD BP_INFO_MEDIA_F17 = 17;     // paged PI request (second form over D4 and SNMP)

// Forms of a tray-details reply (AnalyzeCassetteDetialInfo).
constexpr int BP_CASSETTE_FORM_COMMAND = 0;  // reply to the "sr" command: "sr:00:" ... block
constexpr int BP_CASSETTE_FORM_PI = 1;       // data of the PI request: the block itself

// GetInfoTVD4 request forms.
constexpr int BP_PI_FORM_FIRST = 0;   // "PI" request, echoed reply (OPK and TVD4)
constexpr int BP_PI_FORM_SECOND = 1;  // "pm" request, unechoed reply (D4 and SNMP, code 17 only)

// One open (or chosen) channel of the transport module.
struct TransportChannel {
    CZkapiDll* pModule = nullptr;  // the module it belongs to
    DWORD dwChannelKind = 0;       // kZkChannel...
    WORD wWord1 = 0;               // first 16-bit word of the channel list entry
    WORD wWord2 = 0;               // second 16-bit word
    int32_t nHandle = -1;          // -1 while not open
};

// What the live access learnt besides the device ID: the cached status reply, the category and
// the flags of the supported-media analysis.
struct BIAutoConfigInfo {
    std::vector<BYTE> vecStatus;          // cached status reply; empty until read, until Close
    DWORD dwPrinterCategory = PRINTER_CATEGORY_PAGE;
    DWORD dwResolutionFlag = 0;           // 16: base resolution a multiple of 360
    DWORD dwPSectionWord5 = 0;            // format-17 P record word at offset 5
    DWORD dwPSectionWord7 = 0;            // ... at offset 7 (compression band height)
    DWORD dwPSectionWord21 = 0;           // ... at offset 21
    DWORD dwFormat17Mark = 0;             // 0x10000000 after a format-17 analysis
};

// Resource ID of the binary resource file holding the System OEM model list (table 3080).
constexpr DWORD BP_SYSTEM_OEM_RESOURCE_ID = 201;
// Word of the System OEM record (byte offset) with model-information bits, and the bits of it
// that make a matching printer a System OEM page printer.
constexpr size_t BP_OEM_MODELINFO_OFFSET = 64;
constexpr DWORD BP_OEM_SYSTEM_BITS = 0x100 | 0x200;

class CBIDI_BP : public CBIDI {
public:
    // Alone: the object loads and owns its transport module (receive time-out 10000 ms).
    CBIDI_BP();
    // Sharing: pModule stays owned by the creator (discovery); receive time-out 3000 ms.
    explicit CBIDI_BP(CZkapiDll* pModule);
    ~CBIDI_BP() override;

    // ---- Connection (CBIDI_BP.cpp) ------------------------------------------------------------
    int Initialize(BIInfo* pBIInfo, DWORD dwFlags) override;
    int Open(LPCWSTR pPrinterName) override;
    // nPrinterPathType: kZkPathQueue (1) or kZkPathAddress (2).
    int OpenA(const char* pPrinterName, int32_t nPrinterPathType);
    int OpenSNMP(const char* pAddress);
    int Close() override;
    // Reads and parses the device ID of the queue pPrinterName (ANSI). 1 or 0.
    int GetDeviceID(const char* pPrinterName);
    // Chooses a channel from the printer's channel list; the count of entries, or a negative code.
    int SelectOpenChannel(int32_t nPrinterPathType, const char* pPrinterName);

    const WCHAR* GetModelName() override;
    DWORD GetPrinterCategory() override { return m_stAutoConfigInfo.dwPrinterCategory; }
    const BYTE* GetPrnCapInfo() override { return nullptr; }
    DWORD GetMaxCopies() override { return 0; }
    DWORD GetBaseResolution() override { return 0; }
    DWORD GetCompressionBandHeight() override { return m_stAutoConfigInfo.dwPSectionWord7; }
    int GetDefaultSetting(BIDefaultSettings*) override { return 0; }

    // ---- Model, languages, colour and memory (CBIDI_BP_Model.cpp) -------------------------------
    DWORD GetSupportPDLBits() override;
    int GetModelInfoBits(DWORD* pdwValue) override;
    DWORD GetInstalledMemory() override;
    // Sets bit 0x1 of *pdwValue when the first process colorant count is 2 or more, clears it
    // when below; an empty list leaves it. BOOL.
    int GetColorInfoBitsByMIB(DWORD* pdwValue);
    // The job-control character set (106: UTF-8). BOOL.
    int GetJobCtrlLangCharSet(DWORD* pdwValue);

    // ---- Option units (CBIDI_BP_Options.cpp) ----------------------------------------------------
    int GetOptionUnitBits(DWORD* pdwValue) override;
    int GetOptionUnitBitsStorage(DWORD* pdwValue) override;
    int GetOptionUnitBitsDuplexUnit(DWORD* pdwValue) override;
    int GetOptionUnitBitsFinisher(DWORD* pdwValue) override;
    int GetOptionUnitBitsConfidentialJobFunction(DWORD* pdwValue) override;
    // *pdwFlag = 1 when the status reply's storage field shows a storage device. BOOL.
    int GetOptionStorageInfoBySTReply(DWORD* pdwFlag);
    // The confidential-job kinds of the "pc" reply: bit 0x1 kind 0, bit 0x2 kind 1. 1 or 0.
    int IsSupportConfidentialJobFunction(DWORD* pdwKinds);

    // ---- Input trays and paper (CBIDI_BP_Paper.cpp) ---------------------------------------------
    int GetCassetteInfo(BICassetteList* pCassettes) override;
    BIStringList* GetSupportPaperSize(DWORD dwArgument) override;
    BIStringList* GetSupportPaperType() override;
    BIStringList* GetPaperDirection() override;
    int GetUserDefMaxMin(VANTO_USERDEF_MAXMIN* pUserDefMaxMin) override;
    // Asks an ink-jet for its tray details ("sr" or the PI request with code 2) and merges them
    // into the list. BOOL.
    int GetCassetteDetailInfoByD4Cmd(BICassetteList* pCassettes);
    // Merges a tray-details reply into the list; nForm is BP_CASSETTE_FORM_COMMAND or
    // BP_CASSETTE_FORM_PI. BOOL.
    int AnalyzeCassetteDetialInfo(const BYTE* pData, DWORD dwLength, BICassetteList* pCassettes, int nForm);

    // ---- MIB query layer (CBIDI_BP_MIB.cpp) ------------------------------------------------------
    // One request out, one reply in, on the open channel. pReply receives the reply. >= 0 (the
    // transport's result) or a negative code; -201 for a null argument or no open channel.
    int Transact(const BYTE* pRequest, DWORD dwLength, std::vector<BYTE>* pReply);
    // The raw value bytes of one object. >= 0 with pValue filled; 0 with pValue empty when the
    // channel is neither SNMP nor OPK; negative on failure.
    int GetMIBValue(const char* pOID, std::vector<BYTE>* pValue);
    // The integers (strings) of a column from the identifier's row on. 1 or 0; the list is
    // replaced (SNMP) or filled as far as the walk got (OPK).
    int GetValueList(const char* pOID, std::vector<int32_t>* pList);
    int GetStringList(const char* pOID, BIStringList* pList);
    // The integer of exactly the object pOID (a Get, not a walk), decoded as GetValueList decodes
    // its values. 1 or 0.
    int GetMIBInteger(const char* pOID, int32_t* pnValue);
    // The paper direction column over OPK, row 1 to dwLastIndex, one request per row; a missing
    // row becomes an empty string. 1 when every row was read; 0 or a negative code otherwise.
    int GetTableStringsByIndex(BIStringList* pList, DWORD dwLastIndex);
    // Drains stale replies by asking for the status until the printer takes its time. 1 when
    // every status call was answered, else 0.
    int FirmBufClear();
    // "%s.%u" of an identifier and a row (0 to 255).
    static std::string AppendIndex(const std::string& strOID, BYTE byIndex);
    // Splits "a.b.c.7" into "a.b.c" and 7. False when there is no "." or no number after it.
    static bool SplitIndex(const std::string& strOID, std::string* pColumn, DWORD* pdwIndex);

    // ---- Status and command replies (CBIDI_BP_Status.cpp) ---------------------------------------
    // Sends information command dwCode (BP_INFO_...) on the open channel. >= 0 with pReply
    // filled, 0 for a page printer, negative on failure.
    int SupportMediaInfo(DWORD dwCode, std::vector<BYTE>* pReply);
    // The paged PI request in form nForm (BP_PI_FORM_...) for dwCode; pData receives the joined
    // data of all pages. >= 0 on success, negative on failure.
    int GetInfoTVD4(int nForm, DWORD dwCode, std::vector<BYTE>* pData);
    // Reads the status reply into the cache (kept until Close). BOOL.
    BOOL GetStatusFromCurrentChannel();
    // Length of status field byHeader (0: absent or empty); with pBuffer, copies it. -1 on
    // failure (no status, no "ST2", buffer too small).
    int GetStatusFieldData(BYTE byHeader, BYTE* pBuffer, DWORD dwSize);
    // Sets bit 0x1 of *pdwBits when an ink of the status reply is a colour. BOOL.
    BOOL IsSupportColorMode(DWORD* pdwBits);
    // Discovery's single SNMP walk: location, colorant count, common-location flag, media path
    // descriptions (page printers only) and languages. BOOL.
    BOOL GetInfoProbe(std::string* pLocation, DWORD* pdwColorantCount, DWORD* pdwCommonLocation,
                      BIStringList* pMediaPaths, BIStringList* pLanguages, BOOL bPagePrinter);

    // ---- Supported-media analysis (CBIDI_BP_Media.cpp) ------------------------------------------
    // Fetches and analyses the media information of an ink-jet printer. 1 or 0.
    int GetSupportMediaInfo();
    // The format 14/16 analysis of a supported-media and an input-path reply. 1 or 0.
    int AnalyzeSupportMediaInfo(const std::vector<BYTE>& media, const std::vector<BYTE>& inputPath);
    // The format-17 analysis. 1 or 0.
    int AnalyzeSupportMediaInfo17(const std::vector<BYTE>& reply);
    // Paper source bits as the capability set wants them: 0x80 -> 0x1000, 0x20 -> 0x100,
    // 0x40 -> 0x200, other bits unchanged.
    static DWORD TranslatePaperSource(DWORD dwSourceBits);

    // ---- Read access for the other parts, the tool and tests ------------------------------------
    const DeviceIDInfo& GetDeviceIDInfo() const { return m_stDeviceIDInfo; }
    const std::string& GetDeviceIDString() const { return m_strDeviceID; }
    const BIAutoConfigInfo& GetAutoConfigInfo() const { return m_stAutoConfigInfo; }
    const SBISystemOEMRow& GetSystemOEMRecord() const { return m_SystemOEMRecord; }
    // Little-endian 32-bit and 16-bit words of the System OEM record; 0 past its end.
    DWORD GetSystemOEMWord(size_t nOffset) const;
    WORD GetSystemOEMHalf(size_t nOffset) const;
    // The open channel's kind, 0 when none.
    DWORD GetChannelKind() const { return m_pChannel ? m_pChannel->dwChannelKind : 0; }
    const TransportChannel* GetChannel() const { return m_pChannel.get(); }
    DWORD IsChannelAvailable() const { return m_dwChannelAvailable; }
    DWORD GetOptionFlags() const { return m_dwOptionFlags; }
    DWORD GetReceiveTimeout() const { return m_dwReceiveTimeout; }
    // The time-out of every receive from now on, in ms (tools and tests that want a printer's
    // silence noticed sooner than the default).
    void SetReceiveTimeout(DWORD dwMs) { m_dwReceiveTimeout = dwMs; }
    // The code of the last GetValueList / GetStringList / GetMIBInteger: 1, or why it failed (0
    // column missing from the answers or no integer, or a negative code such as -129 after the
    // retries).
    int GetLastMIBResult() const { return m_nLastMIBResult; }
    // A MIB question with this result came back from the printer, with the object or a refusal
    // of it (the agent's error, an MDR status, a value of a type no question reads), rather than
    // being lost, cut, damaged or unanswered on the way.
    static bool PrinterAnswered(int nResult);
    // The base's ready flag: the device ID of the last Open was read and analysed.
    BOOL IsDeviceIDAnalyzed() const { return m_dwReady != 0; }

protected:
    // One object by GetRequest (SNMP) or a one-object MDR request (OPK): the parse result with
    // *pPacket holding the reply, 0 and no packet on other channels, or a negative code.
    int AskOne(const char* pOID, std::unique_ptr<CPacket>* pPacket);
    // Sends one information command: over SNMP as a GetMIBValue of the command identifier with
    // each byte as one more arc (first reply byte dropped), else with Transact.
    int SendInfoCommand(const BYTE* pCommand, DWORD dwLength, std::vector<BYTE>* pReply);
    // The SNMP table walk of one column (rows per request from the table); the packet's result
    // maps answer the caller.
    int WalkSNMP(const char* pOID, bool bStrings, std::vector<int32_t>* pValues, BIStringList* pStrings);
    // The MDR walk of one column from its row on, batch by batch.
    int WalkMDR(const char* pOID, bool bStrings, std::vector<int32_t>* pValues, BIStringList* pStrings);
    // Looks the analysed "MDL" value up in the System OEM model list of queue pQueueName; copies
    // the matching row into m_SystemOEMRecord. 1 on a match.
    int LookupSystemOEMModel(LPCWSTR pQueueName);
    // GetCassetteDetailInfoByD4Cmd telling why it merged nothing: 1 merged, 0 the printer
    // answered that it has no tray details (NA, BUSY, a status other than "00"), -1 no answer
    // or a damaged one.
    int AskCassetteDetails(BICassetteList* pCassettes);
    // IsSupportConfidentialJobFunction telling why it read no kinds: 1 read, 0 the printer
    // answered "NA", -1 no answer or a damaged one.
    int AskConfidentialJobKinds(DWORD* pdwKinds);

    // The channel is open and its kind is dwKind.
    bool IsChannel(DWORD dwKind) const {
        return m_pChannel && m_pChannel->nHandle >= 0 && m_pChannel->dwChannelKind == dwKind;
    }

    CZkapiDll* m_pZkapiDll = nullptr;           // the transport module (owned unless shared)
    std::unique_ptr<CZkapiDll> m_pOwnedZkapi;   // holds it when owned
    std::unique_ptr<TransportChannel> m_pChannel;
    DWORD m_dwOptionFlags = 0;
    DWORD m_dwShared = 0;                        // 1: module belongs to the creator
    DWORD m_dwReceiveTimeout = BP_RECEIVE_TIMEOUT_MS;
    DeviceIDInfo m_stDeviceIDInfo = {};
    std::string m_strDeviceID;                   // the raw device ID of the last Open
    BIAutoConfigInfo m_stAutoConfigInfo;
    DWORD m_dwChannelAvailable = 1;
    SBISystemOEMRow m_SystemOEMRecord = {};
    BIInfo* m_pBIInfo = nullptr;
    int m_nLastMIBResult = 0;
};
