// BIStoreData: typed reads and writes of a queue's stored values through the AUDF module.
#include "printerinfo/BIStoreData.h"

#include "common/BILogging.h"

#include <cstring>
#include <new>

namespace {

constexpr size_t kCassetteBytes = sizeof(VANTO_CASETTE_INFO);  // 16 bytes per stored cassette
constexpr DWORD kMaxCassettes = 0xFFFF;                        // a larger stored count is corrupt
constexpr DWORD kProhibitHeaderBytes = 4;                      // u32 number of groups
constexpr DWORD kProhibitGroupHeaderBytes = 4;                 // u32 number of items
constexpr DWORD kProhibitItemBytes = 16;
constexpr DWORD kMaxProhibitBytes = 16 * 1024 * 1024;          // a larger stored size is corrupt
constexpr size_t kMaxModelNameChars = 0x7FFFFFFE;              // shorter than 2147483647 characters
constexpr DWORD kMaxModelNameReadBytes = 64 * 1024;            // a longer stored name is corrupt
// A holder of the store lock that keeps it longer than this is taken to be stuck.
constexpr DWORD kStoreLockTimeoutMs = 30000;
// The store lock's name: one mutex per queue identifier, visible across sessions.
constexpr char16_t kStoreMutexPrefix[] = u"Global\\VANTO.BIStore.";

// A key of the store, closed through the module when it goes out of scope.
class AUDFKey {
public:
    explicit AUDFKey(const CAUDFWrapper& audf) : m_audf(audf) {}
    ~AUDFKey() {
        if (m_hKey != nullptr) m_audf.CloseKey(m_hKey);
    }
    AUDFKey(const AUDFKey&) = delete;
    AUDFKey& operator=(const AUDFKey&) = delete;
    HKEY* Out() { return &m_hKey; }
    HKEY Get() const { return m_hKey; }

private:
    const CAUDFWrapper& m_audf;
    HKEY m_hKey = nullptr;
};

DWORD LoadU32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}
void StoreU32(std::vector<BYTE>& out, DWORD v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
}

}  // namespace

BIStoreLock::BIStoreLock(HANDLE hMutex) : m_hMutex(hMutex) {
    if (m_hMutex == nullptr) return;
    const DWORD dwWait = WaitForSingleObject(m_hMutex, kStoreLockTimeoutMs);
    // An abandoned mutex is owned all the same; each stored value is whole on its own.
    m_bHeld = dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
    if (!m_bHeld) BI_LOG("#BIStoreData: the store lock of the queue is not free, wait=0x%x\n", dwWait);
}

BIStoreLock::~BIStoreLock() {
    if (m_bHeld) ReleaseMutex(m_hMutex);
}

BIStoreData::~BIStoreData() {
    if (m_hStoreMutex != nullptr) CloseHandle(m_hStoreMutex);
}

BIStoreLock BIStoreData::LockStore() {
    if (m_hStoreMutex == nullptr && m_pBIInfo) {
        LPCWSTR pszGUID = m_pBIInfo->GetQueueGUID();
        if (pszGUID != nullptr && pszGUID[0] != 0) {
            // A backslash would make the identifier a namespace path.
            std::u16string strName = kStoreMutexPrefix;
            for (size_t i = 0; i < MAX_PATH && pszGUID[i] != 0; ++i) strName.push_back(pszGUID[i] == u'\\' ? u'_' : pszGUID[i]);
            m_hStoreMutex = CreateMutexW(nullptr, FALSE, strName.c_str());
            if (m_hStoreMutex == nullptr)
                BI_LOG("#BIStoreData: cannot make the store lock, error=%u\n", static_cast<unsigned>(GetLastError()));
        }
    }
    return BIStoreLock(m_hStoreMutex);
}

// Initialize: the store's own printer context (flags 0) and its AUDF binding.
BOOL BIStoreData::Initialize(LPCWSTR pszPrinterName) {
    BI_LOG("BIStoreData::Initialize\n");
    try {
        auto pInfo = std::make_unique<BIInfo>();
        if (!pInfo->Build(pszPrinterName, 0)) {
            BI_LOG("#BIStoreData::Initialize cannot build the printer context.\n");
            return FALSE;
        }
        WCHAR szDataFile[MAX_PATH] = {};
        LPCWSTR pszDataFile = pInfo->GetPath(BIInfo::DataFile, szDataFile, MAX_PATH) ? szDataFile : nullptr;
        auto pAUDF = std::make_unique<CAUDFWrapper>();
        HRESULT hr = pAUDF->LoadAUDF(pszDataFile);
        if (hr != S_OK) {
            BI_LOG("#BIStoreData::Initialize LoadAUDF failed, hr=0x%x\n", static_cast<unsigned>(hr));
            return FALSE;
        }
        m_pBIInfo = std::move(pInfo);
        m_pAUDF = std::move(pAUDF);
        return TRUE;
    } catch (const std::bad_alloc&) {
        BI_LOG("#BIStoreData::Initialize out of memory.\n");
        m_pBIInfo.reset();
        m_pAUDF.reset();
        return FALSE;
    }
}

// QueueKey: "SOFTWARE\KELDA\PRINTER\<driver>\<KDPQGUID>". A queue without an identifier has no
// key: its values would otherwise land in the driver's key, shared by every such queue.
bool BIStoreData::QueueKey(std::u16string& strKey) const {
    if (!m_pBIInfo || !m_pAUDF) return false;
    LPCWSTR pszGUID = m_pBIInfo->GetQueueGUID();
    if (pszGUID == nullptr || pszGUID[0] == 0) {
        BI_LOG("#BIStoreData: the queue has no KDPQGUID.\n");
        return false;
    }
    if (!CAUDFWrapper::BuildQueueKey(m_pBIInfo->GetDriverName(), pszGUID, strKey)) {
        BI_LOG("#BIStoreData: the queue's key is longer than 259 characters.\n");
        return false;
    }
    return true;
}

LSTATUS BIStoreData::QueryData(LPCWSTR pszName, LPBYTE pData, LPDWORD pcbData) {
    if (pszName == nullptr || pcbData == nullptr) return ERROR_INVALID_PARAMETER;
    std::u16string strKey;
    if (!QueueKey(strKey)) return ERROR_INVALID_PARAMETER;
    AUDFKey key(*m_pAUDF);
    if (LSTATUS st = m_pAUDF->OpenKey(strKey.c_str(), KEY_READ, key.Out()); st != ERROR_SUCCESS) return st;
    LSTATUS st = m_pAUDF->QueryValue(key.Get(), pszName, pData, pcbData);
    if (st != ERROR_SUCCESS)
        BI_LOG("#BIStoreData::ReadData %s failed, status=%d\n", BILogging::Narrow(pszName).c_str(), st);
    return st;
}

BOOL BIStoreData::ReadData(LPCWSTR pszName, LPBYTE pData, LPDWORD pcbData) {
    return QueryData(pszName, pData, pcbData) == ERROR_SUCCESS ? TRUE : FALSE;
}

LSTATUS BIStoreData::QueryDWORD(LPCWSTR pszName, DWORD* pdwValue) {
    if (pszName == nullptr || pdwValue == nullptr) return ERROR_INVALID_PARAMETER;
    BYTE bytes[sizeof(DWORD)] = {};
    DWORD cb = sizeof(bytes);
    const LSTATUS st = QueryData(pszName, bytes, &cb);
    if (st == ERROR_SUCCESS) *pdwValue = LoadU32(bytes);
    return st;
}

BOOL BIStoreData::ReadDWORD(LPCWSTR pszName, DWORD* pdwValue) {
    return QueryDWORD(pszName, pdwValue) == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL BIStoreData::ReadModelName(LPWSTR pszBuffer, DWORD cchBuffer) {
    if (pszBuffer == nullptr || cchBuffer == 0) return FALSE;
    pszBuffer[0] = 0;
    DWORD cb = 0;
    if (!ReadData(kValModelName, nullptr, &cb)) return FALSE;
    if (cb > kMaxModelNameReadBytes) {
        BI_LOG("#BIStoreData::ReadModelName BIModelName of %u bytes is not believable.\n", cb);
        return FALSE;
    }
    try {
        std::vector<char16_t> name(cb / sizeof(char16_t) + 1, 0);
        if (!ReadData(kValModelName, reinterpret_cast<LPBYTE>(name.data()), &cb)) return FALSE;
        size_t cch = 0;
        while (cch < cb / sizeof(char16_t) && name[cch] != 0) ++cch;
        if (cch >= cchBuffer) {
            BI_LOG("#BIStoreData::ReadModelName BIModelName of %u characters is cut to %u.\n",
                   static_cast<unsigned>(cch), cchBuffer - 1);
            cch = cchBuffer - 1;
        }
        std::memcpy(pszBuffer, name.data(), cch * sizeof(char16_t));
        pszBuffer[cch] = 0;
        return TRUE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

// WriteValue: open for writing, else create the key; set one typed value.
BOOL BIStoreData::WriteValue(LPCWSTR pszName, DWORD dwType, const BYTE* pData, DWORD cbData) {
    if (pszName == nullptr) return FALSE;
    std::u16string strKey;
    if (!QueueKey(strKey)) return FALSE;
    AUDFKey key(*m_pAUDF);
    if (m_pAUDF->OpenKey(strKey.c_str(), KEY_WRITE, key.Out()) != ERROR_SUCCESS &&
        m_pAUDF->CreateKey(strKey.c_str(), key.Out()) != ERROR_SUCCESS) {
        BI_LOG("#BIStoreData: cannot open or create the queue's key.\n");
        return FALSE;
    }
    LSTATUS st = m_pAUDF->SetValue(key.Get(), pszName, dwType, pData, cbData);
    if (st != ERROR_SUCCESS) {
        BI_LOG("#BIStoreData: writing %s failed, status=%d\n", BILogging::Narrow(pszName).c_str(), st);
        return FALSE;
    }
    return TRUE;
}

BOOL BIStoreData::WriteDWORD(LPCWSTR pszName, DWORD dwValue) {
    BYTE bytes[sizeof(DWORD)];
    for (size_t i = 0; i < sizeof(bytes); ++i) bytes[i] = static_cast<BYTE>(dwValue >> (8 * i));
    return WriteValue(pszName, REG_DWORD, bytes, sizeof(bytes));
}

BOOL BIStoreData::WriteModelName(LPCWSTR pszModelName) {
    if (pszModelName == nullptr) return FALSE;
    size_t cch = 0;
    while (cch <= kMaxModelNameChars && pszModelName[cch] != 0) ++cch;
    if (cch > kMaxModelNameChars) return FALSE;
    return WriteValue(kValModelName, REG_SZ, reinterpret_cast<const BYTE*>(pszModelName),
                      static_cast<DWORD>((cch + 1) * sizeof(WCHAR)));
}

BOOL BIStoreData::WriteData(LPCWSTR pszName, const BYTE* pData, DWORD cbData) {
    if (pData == nullptr && cbData != 0) return FALSE;
    return WriteValue(pszName, REG_BINARY, pData, cbData);
}

// ReadCassette: entry [index] of "BICassetteInfo", read with the capacity of "BICassetteNum"
// entries into a zeroed buffer (a short blob leaves the later entries zero).
BOOL BIStoreData::ReadCassette(DWORD dwIndex, VANTO_CASETTE_INFO* pEntry) {
    if (pEntry == nullptr) return FALSE;
    const BIStoreLock lock = LockStore();  // the count and the blob of one writer
    DWORD dwNum = 0;
    if (!ReadDWORD(kValCassetteNum, &dwNum) || dwNum == 0 || dwIndex >= dwNum) return FALSE;
    if (dwNum > kMaxCassettes) {
        BI_LOG("#BIStoreData::ReadCassette BICassetteNum=%u is not believable.\n", dwNum);
        return FALSE;
    }
    try {
        std::vector<BYTE> blob(dwNum * kCassetteBytes, 0);
        DWORD cb = static_cast<DWORD>(blob.size());
        if (!ReadData(kValCassetteInfo, blob.data(), &cb)) return FALSE;
        std::memcpy(pEntry, blob.data() + dwIndex * kCassetteBytes, kCassetteBytes);
        return TRUE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

// WriteCassette: rewrites the whole blob of "BICassetteNum" entries with entry [index] replaced;
// the other entries keep what is stored (zero where the blob is short or missing).
BOOL BIStoreData::WriteCassette(DWORD dwIndex, const VANTO_CASETTE_INFO* pEntry) {
    if (pEntry == nullptr) return FALSE;
    // The other entries are read back and written again: no other writer may come between.
    const BIStoreLock lock = LockStore();
    if (!lock.Held()) return FALSE;
    DWORD dwNum = 0;
    if (!ReadDWORD(kValCassetteNum, &dwNum) || dwIndex >= dwNum) return FALSE;
    if (dwNum > kMaxCassettes) {
        BI_LOG("#BIStoreData::WriteCassette BICassetteNum=%u is not believable.\n", dwNum);
        return FALSE;
    }
    try {
        std::vector<BYTE> blob(dwNum * kCassetteBytes, 0);
        DWORD cb = static_cast<DWORD>(blob.size());
        if (!ReadData(kValCassetteInfo, blob.data(), &cb)) std::fill(blob.begin(), blob.end(), BYTE{0});
        else if (cb < blob.size()) std::fill(blob.begin() + cb, blob.end(), BYTE{0});
        std::memcpy(blob.data() + dwIndex * kCassetteBytes, pEntry, kCassetteBytes);
        return WriteData(kValCassetteInfo, blob.data(), static_cast<DWORD>(blob.size()));
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

// ---- Prohibit set ----

bool BIStoreData::SerializeProhibitSet(const SBIProhibitSet& set, std::vector<BYTE>& blob) {
    uint64_t size = kProhibitHeaderBytes;
    for (const SBIProhibitGroup& g : set.groups)
        size += kProhibitGroupHeaderBytes + uint64_t{kProhibitItemBytes} * g.items.size();
    if (size > kMaxProhibitBytes || set.groups.size() > 0xFFFFFFFFu) return false;
    blob.clear();
    blob.reserve(static_cast<size_t>(size));
    StoreU32(blob, static_cast<DWORD>(set.groups.size()));
    for (const SBIProhibitGroup& g : set.groups) {
        StoreU32(blob, static_cast<DWORD>(g.items.size()));
        for (const SBIProhibitItem& it : g.items) {
            StoreU32(blob, it.functionID);
            StoreU32(blob, it.elementID);
            StoreU32(blob, it.bInversion);
            StoreU32(blob, it.subelementID);
        }
    }
    return true;
}

bool BIStoreData::ParseProhibitSet(std::span<const BYTE> blob, SBIProhibitSet& set) {
    set = SBIProhibitSet{};
    if (blob.size() < kProhibitHeaderBytes) return false;
    DWORD dwGroups = LoadU32(blob.data());
    size_t off = kProhibitHeaderBytes;
    // Each group needs at least its header: a count beyond that is a corrupt blob.
    if (dwGroups > (blob.size() - off) / kProhibitGroupHeaderBytes) return false;
    set.groups.reserve(dwGroups);
    for (DWORD g = 0; g < dwGroups; ++g) {
        if (blob.size() - off < kProhibitGroupHeaderBytes) return false;
        DWORD dwItems = LoadU32(blob.data() + off);
        off += kProhibitGroupHeaderBytes;
        if (dwItems > (blob.size() - off) / kProhibitItemBytes) return false;
        SBIProhibitGroup group;
        group.items.resize(dwItems);
        for (SBIProhibitItem& it : group.items) {
            it.functionID = LoadU32(blob.data() + off);
            it.elementID = LoadU32(blob.data() + off + 4);
            it.bInversion = LoadU32(blob.data() + off + 8);
            it.subelementID = LoadU32(blob.data() + off + 12);
            off += kProhibitItemBytes;
        }
        set.groups.push_back(std::move(group));
    }
    return true;
}

// ReadProhibitInfo: "BIProhibitBuffSize" bytes of "BIProhibitInfo", decoded group by group.
BOOL BIStoreData::ReadProhibitInfo(SBIProhibitSet* pSet) {
    if (pSet == nullptr) return FALSE;
    const BIStoreLock lock = LockStore();  // the size and the blob of one writer
    DWORD dwSize = 0;
    if (!ReadDWORD(kValProhibitBuffSize, &dwSize) || dwSize < kProhibitHeaderBytes) {
        BI_LOG("#BIStoreData::ReadProhibitInfo BIProhibitBuffSize missing or below 4.\n");
        return FALSE;
    }
    if (dwSize > kMaxProhibitBytes) {
        BI_LOG("#BIStoreData::ReadProhibitInfo BIProhibitBuffSize=%u is not believable.\n", dwSize);
        return FALSE;
    }
    try {
        std::vector<BYTE> blob(dwSize, 0);
        DWORD cb = dwSize;
        if (!ReadData(kValProhibitInfo, blob.data(), &cb)) return FALSE;
        SBIProhibitSet set;
        if (!ParseProhibitSet(std::span<const BYTE>(blob.data(), cb), set)) {
            BI_LOG("#BIStoreData::ReadProhibitInfo BIProhibitInfo is shorter than its counts (%u bytes).\n", cb);
            return FALSE;
        }
        *pSet = std::move(set);
        return TRUE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

BOOL BIStoreData::WriteProhibitInfo(const SBIProhibitSet* pSet) {
    if (pSet == nullptr) return FALSE;
    const BIStoreLock lock = LockStore();
    if (!lock.Held()) return FALSE;
    try {
        std::vector<BYTE> blob;
        if (!SerializeProhibitSet(*pSet, blob)) return FALSE;
        if (!WriteDWORD(kValProhibitBuffSize, static_cast<DWORD>(blob.size()))) return FALSE;
        return WriteData(kValProhibitInfo, blob.data(), static_cast<DWORD>(blob.size()));
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

// ---- Named readers ----

namespace {
DWORD ReadOrZero(BIStoreData& store, LPCWSTR pszName) {
    DWORD dw = 0;
    return store.ReadDWORD(pszName, &dw) ? dw : 0;
}
}  // namespace

DWORD BIStoreData::GetModelInfoBits() { return ReadOrZero(*this, kValModelInfoBits); }
DWORD BIStoreData::GetSupportPDL() { return ReadOrZero(*this, kValSupportPDL); }
DWORD BIStoreData::GetDefaultPDL() { return ReadOrZero(*this, kValDefaultPDL); }
DWORD BIStoreData::GetOptionUnitBits() { return ReadOrZero(*this, kValOptionUnitBits); }
DWORD BIStoreData::GetCassetteNum() { return ReadOrZero(*this, kValCassetteNum); }
DWORD BIStoreData::GetQuality() { return ReadOrZero(*this, kValQuality); }
