// BIStoreData: the per-queue store of learnt values ("BIModelName", "BIModelInfoBits", ...),
// reached through the driver's AUDF module. Every operation builds the queue's key, opens it,
// does one value operation and closes it again.
#pragma once

#include "common/BIInfo.h"
#include "platform/win32.h"
#include "common/CAUDFWrapper.h"
#include "vanto.h"

#include <memory>
#include <span>
#include <string>
#include <vector>

// Names of the stored values, for this class and for the callers that read or write a value
// by name.
inline constexpr WCHAR kValStoreFlag[] = u"BIStoreFlag";
inline constexpr WCHAR kValModelName[] = u"BIModelName";
inline constexpr WCHAR kValModelInfoBits[] = u"BIModelInfoBits";
inline constexpr WCHAR kValSupportPDL[] = u"BISupportPDL";
inline constexpr WCHAR kValDefaultPDL[] = u"BIDefaultPDL";
inline constexpr WCHAR kValInstalledMemory[] = u"BIInstalledMemory";
inline constexpr WCHAR kValOptionUnitBits[] = u"BIOptionUnitBits";
inline constexpr WCHAR kValCassetteNum[] = u"BICassetteNum";
inline constexpr WCHAR kValCassetteInfo[] = u"BICassetteInfo";
inline constexpr WCHAR kValPaperSizeNum[] = u"BIPaperSizeNum";
inline constexpr WCHAR kValPaperSizeIDs[] = u"BIPaperSizeIDs";
inline constexpr WCHAR kValPaperTypeNum[] = u"BIPaperTypeNum";
inline constexpr WCHAR kValPaperTypeIDs[] = u"BIPaperTypeIDs";
inline constexpr WCHAR kValUserDefMaxMin[] = u"BIUserDefMaxMin";
inline constexpr WCHAR kValQuality[] = u"BIQuality";
inline constexpr WCHAR kValProhibitBuffSize[] = u"BIProhibitBuffSize";
inline constexpr WCHAR kValProhibitInfo[] = u"BIProhibitInfo";

// One prohibit item: a setting that must not be combined with the other items of its group.
struct SBIProhibitItem {
    DWORD functionID = 0;
    DWORD elementID = 0;
    DWORD bInversion = 0;
    DWORD subelementID = 0;
};
static_assert(sizeof(SBIProhibitItem) == 16);

// A group of items (a rule the driver must forbid).
struct SBIProhibitGroup {
    std::vector<SBIProhibitItem> items;
};

// The prohibit set: kind (always 1) and the groups. Stored as u32 number of groups, then per group
// a u32 number of items and the items (16 bytes each), little-endian.
struct SBIProhibitSet {
    static constexpr DWORD kKindRules = 1;
    DWORD dwKind = kKindRules;
    std::vector<SBIProhibitGroup> groups;
};

// The store lock of a queue, held while this object lives: a mutex named after the queue's
// identifier, shared by every process, so that a read-modify-write of the store (a cassette
// entry, the prohibit set, a record written or read value by value, the seeding) is never mixed
// with another one. Recursive: an operation that takes it may call others that take it again.
class BIStoreLock {
public:
    explicit BIStoreLock(HANDLE hMutex);
    ~BIStoreLock();
    BIStoreLock(const BIStoreLock&) = delete;
    BIStoreLock& operator=(const BIStoreLock&) = delete;
    // False when the lock could not be had (no queue identifier, or another holder kept it
    // past the time-out): writers then fail, readers go on unguarded.
    bool Held() const { return m_bHeld; }

private:
    HANDLE m_hMutex;
    bool m_bHeld = false;
};

class BIStoreData {
public:
    BIStoreData() = default;
    ~BIStoreData();
    BIStoreData(const BIStoreData&) = delete;
    BIStoreData& operator=(const BIStoreData&) = delete;

    // Builds the object's own printer context from the queue name (flags 0) and loads the AUDF
    // module named by its data file. On failure both are destroyed.
    BOOL Initialize(LPCWSTR pszPrinterName);

    BOOL ReadDWORD(LPCWSTR pszName, DWORD* pdwValue);
    // As ReadDWORD, with the reason of a failure: ERROR_FILE_NOT_FOUND when the queue's key or
    // the value does not exist, another status when it exists and cannot be read as a number.
    LSTATUS QueryDWORD(LPCWSTR pszName, DWORD* pdwValue);
    // Reads into the caller's buffer; *pcbData is the capacity in and the size read out.
    BOOL ReadData(LPCWSTR pszName, LPBYTE pData, LPDWORD pcbData);
    // "BIModelName" into a buffer of cchBuffer units, cut to cchBuffer - 1 units when longer
    // (logged) and always terminated; FALSE when it cannot be read.
    BOOL ReadModelName(LPWSTR pszBuffer, DWORD cchBuffer);
    BOOL WriteDWORD(LPCWSTR pszName, DWORD dwValue);
    // Writes "BIModelName" (type 1, the string and its zero).
    BOOL WriteModelName(LPCWSTR pszModelName);
    BOOL WriteData(LPCWSTR pszName, const BYTE* pData, DWORD cbData);

    BOOL ReadCassette(DWORD dwIndex, VANTO_CASETTE_INFO* pEntry);
    BOOL WriteCassette(DWORD dwIndex, const VANTO_CASETTE_INFO* pEntry);

    BOOL ReadProhibitInfo(SBIProhibitSet* pSet);
    BOOL WriteProhibitInfo(const SBIProhibitSet* pSet);

    // Named readers: the stored number, 0 when it cannot be read.
    DWORD GetModelInfoBits();
    DWORD GetSupportPDL();
    DWORD GetDefaultPDL();
    DWORD GetOptionUnitBits();
    DWORD GetCassetteNum();
    DWORD GetQuality();

    // Takes the queue's store lock; see BIStoreLock.
    BIStoreLock LockStore();

    // The printer context the store was built with (null before Initialize).
    BIInfo* GetBIInfo() const { return m_pBIInfo.get(); }

    // Encoding of the stored prohibit set. Serialize fails (false) when the size does not fit 32
    // bits; Parse fails on a blob shorter than its counts say.
    static bool SerializeProhibitSet(const SBIProhibitSet& set, std::vector<BYTE>& blob);
    static bool ParseProhibitSet(std::span<const BYTE> blob, SBIProhibitSet& set);

private:
    bool QueueKey(std::u16string& strKey) const;
    LSTATUS QueryData(LPCWSTR pszName, LPBYTE pData, LPDWORD pcbData);
    BOOL WriteValue(LPCWSTR pszName, DWORD dwType, const BYTE* pData, DWORD cbData);

    std::unique_ptr<BIInfo> m_pBIInfo;
    std::unique_ptr<CAUDFWrapper> m_pAUDF;
    HANDLE m_hStoreMutex = nullptr;  // made by the first LockStore
};
