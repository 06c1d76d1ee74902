// CBIDI_BP: the object, loading the transport module, the device ID and printer category, the
// System OEM model list, and choosing and opening a channel.
#include "bidi/CBIDI_BP.h"

#include "common/BIInfo.h"
#include "common/BILogging.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Command-set bits that make an ink-jet printer, and those that make a page printer.
constexpr DWORD kInkjetCommandSets = CMDSET_D4 | CMDSET_QLMPL2;
constexpr DWORD kPageCommandSets = CMDSET_QLMPAGE_04 | CMDSET_QLMPAGEJ_04 | CMDSET_QLMPAGECOLOR_01 |
                                   CMDSET_QLMPAGECOLORJ_01 | CMDSET_QLMPAGES_04;
constexpr DWORD kForcedCategoryFlags = BP_FLAG_FORCE_INKJET | BP_FLAG_FORCE_PAGE | BP_FLAG_FORCE_LARGE_INKJET;

// The largest device ID and channel list accepted from the transport module.
constexpr int32_t kMaxDeviceIDBytes = 64 * 1024;
constexpr int32_t kMaxChannelListBytes = 64 * 1024;

}  // namespace

CBIDI_BP::CBIDI_BP() = default;

DWORD CBIDI_BP::GetSystemOEMWord(size_t nOffset) const {
    if (nOffset > m_SystemOEMRecord.size() - sizeof(DWORD)) return 0;
    const BYTE* p = m_SystemOEMRecord.data() + nOffset;
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
           static_cast<DWORD>(p[3]) << 24;
}

WORD CBIDI_BP::GetSystemOEMHalf(size_t nOffset) const {
    if (nOffset > m_SystemOEMRecord.size() - sizeof(WORD)) return 0;
    return static_cast<WORD>(m_SystemOEMRecord[nOffset] | m_SystemOEMRecord[nOffset + 1] << 8);
}

CBIDI_BP::CBIDI_BP(CZkapiDll* pModule)
    : m_pZkapiDll(pModule), m_dwShared(pModule != nullptr ? 1 : 0),
      m_dwReceiveTimeout(pModule != nullptr ? BP_PROBE_TIMEOUT_MS : BP_RECEIVE_TIMEOUT_MS) {}

// Destruction: closes the channel; an owned module is released and unloaded, a shared one is
// left to its creator.
CBIDI_BP::~CBIDI_BP() {
    BI_LOG("CBIDI_BP::~CBIDI_BP\n");
    Close();
    if (m_pOwnedZkapi) {
        BI_LOG("Call CZkapiDll::Release\n");
        m_pOwnedZkapi->ZKRelease();
        BI_LOG("Return CZkapiDll::Release\n");
        m_pOwnedZkapi.reset();
    }
    m_pZkapiDll = nullptr;
}

// Initialize: loads and initialises the transport module named by the printer context, unless
// a module is already there (own or shared).
int CBIDI_BP::Initialize(BIInfo* pBIInfo, DWORD dwFlags) {
    BI_LOG("CBIDI_BP::Initialize dwFlags=0x%x\n", dwFlags);
    m_dwOptionFlags = dwFlags;
    if (pBIInfo == nullptr) {
        BI_LOG("#CBIDI_BP::Initialize pBIInfo is null.\n");
        return FALSE;
    }
    m_pBIInfo = pBIInfo;
    if (m_pZkapiDll != nullptr) return TRUE;

    std::unique_ptr<CZkapiDll> module(new (std::nothrow) CZkapiDll());
    if (!module) return FALSE;
    WCHAR szPath[MAX_PATH] = {};
    const BOOL bPath = pBIInfo->GetPath(BIInfo::TransportModule, szPath, MAX_PATH);
    BI_LOG("Get the Path of ZKAPI7. filename=%s\n", BILogging::Narrow(szPath).c_str());
    if (!bPath || !module->Load(szPath)) {
        BI_LOG("#Failed to Load ZKAPI Module.\n");
        return FALSE;
    }
    const int32_t nRet = module->ZKInitialize();
    BI_LOG("Call Initialize function of ZKAPI Module. nRet=%d(0:success)\n", nRet);
    if (nRet != kZkOk) {
        BI_LOG("#Failed to Initialize ZKAPI Module.\n");
        return FALSE;
    }
    m_pOwnedZkapi = std::move(module);
    m_pZkapiDll = m_pOwnedZkapi.get();
    return TRUE;
}

// Open: reads and analyses the queue's device ID, decides the category, then opens a channel.
int CBIDI_BP::Open(LPCWSTR pPrinterName) {
    Close();
    BI_LOG("CBIDI_BP::Open\n");
    BI_LOG("Open PrinterName = %s\n", BILogging::Narrow(pPrinterName).c_str());
    if (pPrinterName == nullptr) return FALSE;

    std::memset(m_szPrinterName, 0, sizeof m_szPrinterName);
    if (WideCharToMultiByte(CP_ACP, 0, pPrinterName, -1, m_szPrinterName, sizeof m_szPrinterName - 1, nullptr,
                            nullptr) <= 0) {
        BI_LOG("#CBIDI_BP::Open the printer name cannot be converted.\n");
        return FALSE;
    }
    m_szPrinterName[sizeof m_szPrinterName - 1] = 0;

    if (!GetDeviceID(m_szPrinterName)) {
        BI_LOG("#Failed to get and analyze DeviceID.\n");
        m_dwReady = 0;
        return FALSE;
    }
    m_dwReady = 1;

    DWORD& dwCategory = m_stAutoConfigInfo.dwPrinterCategory;
    if (m_dwOptionFlags & BP_FLAG_FORCE_INKJET) {
        dwCategory = PRINTER_CATEGORY_INKJET;
        BI_LOG("PrinterCategory is BIJ_CUSTOM.\n");
    } else if (m_dwOptionFlags & BP_FLAG_FORCE_PAGE) {
        dwCategory = PRINTER_CATEGORY_PAGE;
        BI_LOG("PrinterCategory is LP_CUSTOM.\n");
    } else if (m_dwOptionFlags & BP_FLAG_FORCE_LARGE_INKJET) {
        dwCategory = PRINTER_CATEGORY_LARGE_INKJET;
        BI_LOG("PrinterCategory is LIJ_CUSTOM.\n");
    } else {
        const DWORD dwCommandSets = m_stDeviceIDInfo.dwCommandSetBits;
        if ((dwCommandSets & kInkjetCommandSets) != 0 || m_stDeviceIDInfo.dwQLMPRBits != 0) {
            dwCategory = PRINTER_CATEGORY_INKJET;
            BI_LOG("PrinterCategory is BIJ.\n");
        } else if ((dwCommandSets & kPageCommandSets) != 0) {
            dwCategory = PRINTER_CATEGORY_PAGE;
            BI_LOG("PrinterCategory is Page.\n");
        }
        m_SystemOEMRecord.fill(0);
        if (LookupSystemOEMModel(pPrinterName) &&
            (GetSystemOEMWord(BP_OEM_MODELINFO_OFFSET) & BP_OEM_SYSTEM_BITS) != 0) {
            dwCategory = PRINTER_CATEGORY_SYSTEM_OEM;
            BI_LOG("PrinterCategory is System OEM.\n");
        }
    }
    return OpenA(m_szPrinterName, kZkPathQueue);
}

// OpenA: opens a channel to a queue's printer (the chosen channel) or to a network address
// (SNMP). An ink-jet printer opened by queue must answer its media information.
int CBIDI_BP::OpenA(const char* pPrinterName, int32_t nPrinterPathType) {
    BI_LOG("CBIDI_BP::OpenA\n");
    BI_LOG("Open PrinterName = %s\n", pPrinterName != nullptr ? pPrinterName : "(null)");
    if (pPrinterName == nullptr) return FALSE;
    if (std::strlen(pPrinterName) > kZkMaxNameLength) {
        BI_LOG("#CBIDI_BP::OpenA the printer name is too long.\n");
        return FALSE;
    }
    m_PrinterName = pPrinterName;
    BI_LOG("m_PrinterName = %s\n", m_PrinterName.c_str());
    if (m_pZkapiDll == nullptr) {
        BI_LOG("#CBIDI_BP::OpenA the transport module is not loaded.\n");
        return FALSE;
    }

    if (nPrinterPathType == kZkPathQueue) {
        const int nSelect = SelectOpenChannel(nPrinterPathType, m_PrinterName.c_str());
        if (nSelect < 0) {
            if (m_stAutoConfigInfo.dwPrinterCategory == PRINTER_CATEGORY_SYSTEM_OEM) {
                m_dwChannelAvailable = 0;
                BI_LOG("#Can't find channel, but there is a possibility of System OEM Local Connection.\n");
                return TRUE;
            }
            BI_LOG("#Failed SelectOpenChannel function. return value=%d\n", nSelect);
            return FALSE;
        }
    } else {
        m_pChannel.reset(new (std::nothrow) TransportChannel());
        if (!m_pChannel) return FALSE;
        m_pChannel->pModule = m_pZkapiDll;
        m_pChannel->dwChannelKind = kZkChannelSNMP;
    }

    m_pChannel->nHandle = m_pZkapiDll->ZKOpenChannel(nPrinterPathType, m_PrinterName.c_str(), m_pChannel->dwChannelKind);
    BI_LOG("Return 'OpenChannel' function of ZKAPI Module.return value=%d(>0:success)\n", m_pChannel->nHandle);
    if (m_pChannel->nHandle < 0) {
        BI_LOG("#Failed to open ZKAPI Channel.\n");
        m_pChannel->nHandle = -1;
        m_pChannel.reset();
        return FALSE;
    }

    if ((m_dwOptionFlags & kForcedCategoryFlags) != 0 || nPrinterPathType != kZkPathQueue) return TRUE;
    if (m_stAutoConfigInfo.dwPrinterCategory == PRINTER_CATEGORY_INKJET && GetSupportMediaInfo() == 0) {
        BI_LOG("#CBIDI_BP::OpenA the ink-jet printer's media information is not available.\n");
        Close();
        return FALSE;
    }
    return TRUE;
}

// OpenSNMP: a fresh SNMP channel to a network address (discovery).
int CBIDI_BP::OpenSNMP(const char* pAddress) {
    Close();
    return OpenA(pAddress, kZkPathAddress);
}

// Close: closes the channel and forgets what belongs to this connection (status cache, lists).
int CBIDI_BP::Close() {
    BI_LOG("CBIDI_BP::Close function\n");
    if (m_pChannel) {
        if (m_pChannel->nHandle >= 0 && m_pChannel->pModule != nullptr) {
            BI_LOG("Call 'CloseChannel' function of ZKAPI Module\n");
            m_pChannel->pModule->ZKCloseChannel(m_pChannel->nHandle);
            BI_LOG("Return 'CloseChannel' function of ZKAPI Module\n");
        }
        m_pChannel->nHandle = -1;
        m_pChannel.reset();
    }
    std::vector<BYTE>().swap(m_stAutoConfigInfo.vecStatus);
    m_vecSupportPaperSize.clear();
    m_vecSupportPaperType.clear();
    m_vecPaperDirection.clear();
    m_vecPaperSource.clear();
    m_vecForbiddenPairs.clear();
    return TRUE;
}

// GetDeviceID: the queue's device ID through the transport module (size query, then the
// text), parsed into m_stDeviceIDInfo.
int CBIDI_BP::GetDeviceID(const char* pPrinterName) {
    BI_LOG("nPrinterPathType = %d\n", kZkPathQueue);
    BI_LOG("pPrinterName = \"%s\"\n", pPrinterName != nullptr ? pPrinterName : "(null)");
    if (m_pZkapiDll == nullptr || pPrinterName == nullptr) {
        BI_LOG("#Failed ZKAPIDLL::GetDeviceID func.\n");
        return 0;
    }
    int32_t nSize = 0;
    int32_t nRet = m_pZkapiDll->ZKGetDeviceID(kZkPathQueue, pPrinterName, nullptr, &nSize);
    BI_LOG("Return GetDeviceID function of ZKAPI Mudule(for buffsize). nRet=%d(-4:Success)\n", nRet);
    if (nRet != kZkSizeQuery || nSize < 0 || nSize > kMaxDeviceIDBytes) {
        BI_LOG("#Failed ZKAPIDLL::GetDeviceID func.\n");
        return 0;
    }
    std::vector<char> buffer;
    try {
        buffer.assign(static_cast<size_t>(nSize) + 1, 0);
    } catch (const std::bad_alloc&) {
        BI_LOG("#Failed ZKAPIDLL::GetDeviceID func.\n");
        return 0;
    }
    int32_t nBufferSize = nSize;
    nRet = m_pZkapiDll->ZKGetDeviceID(kZkPathQueue, pPrinterName, buffer.data(), &nBufferSize);
    BI_LOG("Return GetDeviceID function of ZKAPI Mudule. nRet=%d(0:Success).\n", nRet);
    if (nRet < 0) {
        BI_LOG("#Failed ZKAPIDLL::GetDeviceID func.\n");
        return 0;
    }
    buffer.back() = 0;  // the module's text is not trusted to be terminated
    m_strDeviceID.assign(buffer.data());
    BI_LOG("Success to get deviceID string.\n");
    BI_LOG("\t\"%s\"\n", m_strDeviceID.c_str());

    m_stDeviceIDInfo = DeviceIDInfo{};
    if (!ConvertDeviceID(&m_stDeviceIDInfo, m_strDeviceID.c_str())) {
        BI_LOG("#Failed to Convert DeviceID String.\n");
        return 0;
    }
    return 1;
}

// LookupSystemOEMModel: the queue's System OEM model list (table 3080 of resource 201), the
// first row whose pattern starts the device ID's model name.
int CBIDI_BP::LookupSystemOEMModel(LPCWSTR pQueueName) {
    if (m_stDeviceIDInfo.szModelName[0] == 0 || pQueueName == nullptr) return 0;
    try {
        CBITableData tables;
        if (!tables.UpdateBinaryTable(pQueueName, BP_SYSTEM_OEM_RESOURCE_ID)) {
            BI_LOG("CBIDI_BP::LookupSystemOEMModel no System OEM model list.\n");
            return 0;
        }
        SBISystemOEMRow row{};
        if (!tables.GetSystemOEMModel(m_stDeviceIDInfo.szModelName, &row)) return 0;
        m_SystemOEMRecord = row;
    } catch (const std::bad_alloc&) {
        BI_LOG("#CBIDI_BP::LookupSystemOEMModel out of memory.\n");
        return 0;
    }
    BI_LOG("CBIDI_BP::LookupSystemOEMModel found %s, ModelInfo=0x%x\n", m_stDeviceIDInfo.szModelName,
           GetSystemOEMWord(BP_OEM_MODELINFO_OFFSET));
    return 1;
}

// SelectOpenChannel: walks the printer's channel list in order. SNMP wins at once; otherwise a
// later usable entry replaces an earlier one: OPK for page printers, TVD4 when the device ID
// names it, else D4.
int CBIDI_BP::SelectOpenChannel(int32_t nPrinterPathType, const char* pPrinterName) {
    if (m_pZkapiDll == nullptr || pPrinterName == nullptr) return BP_ERR_BAD_ARGUMENT;
    int32_t nSize = 0;
    int32_t nRet = m_pZkapiDll->ZKGetAvailableChannel(nPrinterPathType, pPrinterName, nullptr, &nSize);
    if (nRet != kZkSizeQuery) return nRet;
    if (nSize < 0 || nSize > kMaxChannelListBytes) return BP_ERR_BAD_ARGUMENT;

    std::vector<ZKChannelEntry> entries;
    try {
        entries.assign(static_cast<size_t>(nSize) / sizeof(ZKChannelEntry) + 1, ZKChannelEntry{});
    } catch (const std::bad_alloc&) {
        return BP_ERR_BAD_ARGUMENT;
    }
    int32_t nBufferSize = nSize;
    nRet = m_pZkapiDll->ZKGetAvailableChannel(nPrinterPathType, pPrinterName, entries.data(), &nBufferSize);
    if (nRet < 0) return nRet;
    // Never read past what was allocated, whatever count the module claims.
    const size_t nCount = std::min(static_cast<size_t>(nRet), static_cast<size_t>(nSize) / sizeof(ZKChannelEntry));

    const DWORD dwCategory = m_stAutoConfigInfo.dwPrinterCategory;
    const bool bPageLike = dwCategory == PRINTER_CATEGORY_PAGE || dwCategory == PRINTER_CATEGORY_LARGE_INKJET;
    const ZKChannelEntry* pChosen = nullptr;
    for (size_t i = 0; i < nCount; ++i) {
        const ZKChannelEntry& entry = entries[i];
        if (entry.dwChannelKind == kZkChannelSNMP) {
            BI_LOG("Found SNMP Channel\n");
            pChosen = &entry;
            break;
        }
        if (bPageLike) {
            if (entry.dwChannelKind == kZkChannelOPK) {
                BI_LOG("Found OPK Channel\n");
                pChosen = &entry;
            }
        } else if (m_stDeviceIDInfo.dwCommandSetBits & CMDSET_TVD4) {
            if (entry.dwChannelKind == kZkChannelTVD4) {
                BI_LOG("Found TVD4 Channel\n");
                pChosen = &entry;
            }
        } else if (entry.dwChannelKind == kZkChannelD4) {
            BI_LOG("Found D4 Channel\n");
            pChosen = &entry;
        }
    }
    if (pChosen == nullptr) {
        BI_LOG("Could not find Channel. nRet=%d\n", nRet);
        return BP_ERR_NO_CHANNEL;
    }
    m_pChannel.reset(new (std::nothrow) TransportChannel());
    if (!m_pChannel) return BP_ERR_BAD_ARGUMENT;
    m_pChannel->pModule = m_pZkapiDll;
    m_pChannel->dwChannelKind = pChosen->dwChannelKind;
    m_pChannel->wWord1 = pChosen->wPortOrSelector;
    m_pChannel->wWord2 = pChosen->wReserved;
    m_pChannel->nHandle = -1;
    BI_LOG("Found and set ZKAPI channel. Channel=%08x\n", m_pChannel->dwChannelKind);
    return nRet;
}

const WCHAR* CBIDI_BP::GetModelName() {
    BI_LOG("CBIDI_BP::GetModelName.ModelName=%s\n", BILogging::Narrow(m_stDeviceIDInfo.wszModelName).c_str());
    return m_stDeviceIDInfo.wszModelName;
}
