// CCfgxDll: loading the CFGX module, its session and the calls the library makes.
#include "cfgx/CCfgxDll.h"

#include "common/BILogging.h"

namespace {

// Exported names, in the order of CCfgxDll::Function.
constexpr const char* kFunctionNames[CCfgxDll::kFunctionCount] = {
    "KD_CFGXInit",
    "KD_CFGXInitEx",
    "KD_CFGXSetDefault",
    "KD_CFGXSetDefaultByDevmode",
    "KD_CFGXGetControlState",
    "KD_CFGXSetControlState",
    "KD_CFGXSetControlStateOnly",
    "KD_CFGXSetFunctionState",
    "KD_CFGXSave",
    "KD_CFGXGetVersionString",
    "KD_CFGXSetVersionString",
    "KD_CFGXSetCustomVersionAuto",
    "KD_CFGXGetCustomVersion",
    "KD_CFGXSetCustomVersion",
    "KD_CFGXUpdateREGData",
    "KD_CFGXDeleteBinFiles",
    "KD_CFGXExit",
    "KD_CFGXGetFunctionStatus",
    "KD_CFGXSetFunctionStatus",
    "KD_CFGXGetFunctionElementStatus",
    "KD_CFGXSetFunctionElementStatus",
    "KD_CFGXGetFunctionAttribute",
    "KD_CFGXSetFunctionAttribute",
    "KD_CFGXGetFunctionElementAttribute",
    "KD_CFGXSetFunctionElementAttribute",
    "KD_CFGXGetFunctionValueAttribute",
    "KD_CFGXSetFunctionValueAttribute",
    "KD_CFGXGetLogPrinterData",
    "KD_CFGXSetLogPrinterData",
    "KD_CFGXAddProhibitData",
    "KD_CFGXDeleteProhibitData",
};

// The module's text parameters are UTF-16 units; WCHAR is the UTF-16 unit on both platforms.
static_assert(sizeof(WCHAR) == sizeof(char16_t));
const char16_t* Utf16(LPCWSTR psz) { return reinterpret_cast<const char16_t*>(psz); }

}  // namespace

const char* CCfgxDll::FunctionName(Function fn) { return fn < kFunctionCount ? kFunctionNames[fn] : ""; }

CCfgxDll::~CCfgxDll() { Close(); }

template <typename Pfn, typename... Args>
int32_t CCfgxDll::Call(Function fn, Args... args) const {
    const auto pfn = reinterpret_cast<Pfn>(m_apfn[fn]);
    if (pfn == nullptr) {
        BI_LOG("#'%s' function of CFGX Module is missing.\n", kFunctionNames[fn]);
        return kCfgxMissingFunction;
    }
    BI_LOG("Call '%s' function of CFGX Module.\n", kFunctionNames[fn]);
    const int32_t lRet = pfn(args...);
    BI_LOG("Return '%s' function of CFGX Module. lRet=%d\n", kFunctionNames[fn], lRet);
    return lRet;
}

// Open: load, resolve every function by name, start the session.
int32_t CCfgxDll::Open(LPCWSTR pszModulePath, LPCWSTR pszVIFPath, LPCWSTR pszSourcePath, LPCWSTR pszQueueName,
                       DWORD dwCategory) {
    BI_LOG("CCfgxDll::Open dwCategory=%u\n", static_cast<unsigned>(dwCategory));
    Close();
    if (pszModulePath == nullptr || pszVIFPath == nullptr || pszSourcePath == nullptr) {
        BI_LOG("#CCfgxDll::Open a path is null.\n");
        return kCfgxOpenNullPath;
    }
    if (!Load(pszModulePath)) return kCfgxOpenNotLoaded;  // Load logs the failure
    for (size_t i = 0; i < kFunctionCount; ++i) {
        m_apfn[i] = GetProc(kFunctionNames[i]);
        if (m_apfn[i] == nullptr) BI_LOG("#CCfgxDll::Open the module lacks %s.\n", kFunctionNames[i]);
    }
    if (m_apfn[fnInitEx] == nullptr) {
        ForgetFunctions();
        Unload();
        return kCfgxOpenNotLoaded;
    }

    HKDCFGX hCfgx = nullptr;
    const int32_t lRet = Call<PFN_KD_CFGXInitEx>(fnInitEx, &hCfgx, Utf16(pszVIFPath), Utf16(pszSourcePath),
                                                 Utf16(pszQueueName), static_cast<uint32_t>(dwCategory));
    // A handle from a failed start is not a session.
    m_hCfgx = lRet == KD_CFGX_OK ? hCfgx : nullptr;
    return lRet;
}

void CCfgxDll::Close() {
    if (m_hCfgx != nullptr && m_apfn[fnExit] != nullptr) Call<PFN_KD_CFGXExit>(fnExit, m_hCfgx);
    m_hCfgx = nullptr;
    ForgetFunctions();
    Unload();
}

int32_t CCfgxDll::GetLogPrinterData(DWORD dwTagID, int32_t* plValue) const {
    return Call<PFN_KD_CFGXGetLogPrinterData>(fnGetLogPrinterData, m_hCfgx, static_cast<uint32_t>(dwTagID), plValue);
}

int32_t CCfgxDll::SetLogPrinterData(DWORD dwTagID, int32_t lValue) const {
    return Call<PFN_KD_CFGXSetLogPrinterData>(fnSetLogPrinterData, m_hCfgx, static_cast<uint32_t>(dwTagID), lValue);
}

int32_t CCfgxDll::SetDefault(DWORD dwFunctionID, DWORD dwElementID, DWORD dwSetDefault, DWORD dwLock, DWORD dwSelect,
                             DWORD dwCheckAvailable) const {
    return Call<PFN_KD_CFGXSetDefault>(fnSetDefault, m_hCfgx, static_cast<uint32_t>(dwFunctionID),
                                       static_cast<uint32_t>(dwElementID), static_cast<uint32_t>(dwSetDefault),
                                       static_cast<uint32_t>(dwLock), static_cast<uint32_t>(dwSelect),
                                       static_cast<uint32_t>(dwCheckAvailable));
}

int32_t CCfgxDll::SetFunctionStatus(DWORD dwFunctionID, DWORD dwStatus) const {
    return Call<PFN_KD_CFGXSetFunctionStatus>(fnSetFunctionStatus, m_hCfgx, static_cast<uint32_t>(dwFunctionID),
                                              static_cast<uint32_t>(dwStatus));
}

int32_t CCfgxDll::GetFunctionElementStatus(DWORD dwFunctionID, DWORD dwElementID) const {
    return Call<PFN_KD_CFGXGetFunctionElementStatus>(fnGetFunctionElementStatus, m_hCfgx,
                                                     static_cast<uint32_t>(dwFunctionID),
                                                     static_cast<uint32_t>(dwElementID));
}

int32_t CCfgxDll::SetFunctionElementStatus(DWORD dwFunctionID, DWORD dwElementID, DWORD dwStatus) const {
    return Call<PFN_KD_CFGXSetFunctionElementStatus>(fnSetFunctionElementStatus, m_hCfgx,
                                                     static_cast<uint32_t>(dwFunctionID),
                                                     static_cast<uint32_t>(dwElementID), static_cast<uint32_t>(dwStatus));
}

int32_t CCfgxDll::GetFunctionElementAttribute(DWORD dwFunctionID, DWORD dwElementID, DWORD dwAttribute,
                                              DWORD* pdwValue) const {
    static_assert(sizeof(DWORD) == sizeof(uint32_t));
    return Call<PFN_KD_CFGXGetFunctionElementAttribute>(
        fnGetFunctionElementAttribute, m_hCfgx, static_cast<uint32_t>(dwFunctionID), static_cast<uint32_t>(dwElementID),
        static_cast<uint32_t>(dwAttribute), reinterpret_cast<uint32_t*>(pdwValue));
}

int32_t CCfgxDll::SetFunctionElementAttribute(DWORD dwFunctionID, DWORD dwElementID, DWORD dwAttribute,
                                              DWORD dwValue) const {
    return Call<PFN_KD_CFGXSetFunctionElementAttribute>(
        fnSetFunctionElementAttribute, m_hCfgx, static_cast<uint32_t>(dwFunctionID), static_cast<uint32_t>(dwElementID),
        static_cast<uint32_t>(dwAttribute), static_cast<uint32_t>(dwValue));
}

int32_t CCfgxDll::SetFunctionValueAttribute(DWORD dwFunctionID, DWORD dwAttribute, int32_t lValue) const {
    return Call<PFN_KD_CFGXSetFunctionValueAttribute>(fnSetFunctionValueAttribute, m_hCfgx,
                                                      static_cast<uint32_t>(dwFunctionID),
                                                      static_cast<uint32_t>(dwAttribute), lValue);
}

int32_t CCfgxDll::AddProhibitData(const KD_CFGX_PROHIBIT_ITEM* pItems, DWORD dwCount, DWORD dwReserved) const {
    return Call<PFN_KD_CFGXAddProhibitData>(fnAddProhibitData, m_hCfgx, pItems, static_cast<uint32_t>(dwCount),
                                            static_cast<uint32_t>(dwReserved));
}

int32_t CCfgxDll::DeleteProhibitData(const KD_CFGX_PROHIBIT_ITEM* pItems, DWORD dwCount) const {
    return Call<PFN_KD_CFGXDeleteProhibitData>(fnDeleteProhibitData, m_hCfgx, pItems, static_cast<uint32_t>(dwCount));
}

int32_t CCfgxDll::SetCustomVersionAuto(HANDLE hPrinter) const {
    return Call<PFN_KD_CFGXSetCustomVersionAuto>(fnSetCustomVersionAuto, m_hCfgx, hPrinter);
}

int32_t CCfgxDll::Save(LPCWSTR pszDestination) const {
    return Call<PFN_KD_CFGXSave>(fnSave, m_hCfgx, Utf16(pszDestination));
}

int32_t CCfgxDll::DeleteBinFiles(HANDLE hPrinter) const {
    return Call<PFN_KD_CFGXDeleteBinFiles>(fnDeleteBinFiles, hPrinter);
}

int32_t CCfgxDll::UpdateREGData(HANDLE hPrinter, DWORD dwUpdateMode, const VANTO_PRINTER_INFO* pPrinterInfo,
                                DWORD dwRecordCount) const {
    return Call<PFN_KD_CFGXUpdateREGData>(fnUpdateREGData, m_hCfgx, hPrinter, static_cast<uint32_t>(dwUpdateMode),
                                          pPrinterInfo, static_cast<uint32_t>(dwRecordCount));
}
