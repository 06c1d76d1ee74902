// CCfgxDll: the library's binding of the driver's CFGX module, the UI module that edits the
// driver's configuration (CFX) file (BIInfo path kind UIModule; VUD3CFGX.DLL in the sample
// driver).
//
// Open loads the module, resolves its 31 functions by name once and starts a session with
// KD_CFGXInitEx; the session handle is kept and passed to every call. A function the module does
// not export answers kCfgxMissingFunction (-3), so a caller treats it like any failing call.
// Close ends the session with KD_CFGXExit and unloads the module; the destructor closes too.
#pragma once

#include "common/CDllModule.h"
#include "modules/cfgx/kdcfgx.h"
#include "platform/win32.h"
#include "vanto.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Results of Open besides those of KD_CFGXInitEx.
constexpr int32_t kCfgxOpenNullPath = -1001;      // the module, VIF or source path is null
constexpr int32_t kCfgxOpenNotLoaded = -2000;     // the module does not load or lacks KD_CFGXInitEx
// Result of a call whose function the module does not export (or no module is loaded).
constexpr int32_t kCfgxMissingFunction = -3;

class CCfgxDll : public CDllModule {
public:
    // The functions, in the order they are resolved.
    enum Function : size_t {
        fnInit, fnInitEx, fnSetDefault, fnSetDefaultByDevmode, fnGetControlState, fnSetControlState,
        fnSetControlStateOnly, fnSetFunctionState, fnSave, fnGetVersionString, fnSetVersionString,
        fnSetCustomVersionAuto, fnGetCustomVersion, fnSetCustomVersion, fnUpdateREGData, fnDeleteBinFiles, fnExit,
        fnGetFunctionStatus, fnSetFunctionStatus, fnGetFunctionElementStatus, fnSetFunctionElementStatus,
        fnGetFunctionAttribute, fnSetFunctionAttribute, fnGetFunctionElementAttribute, fnSetFunctionElementAttribute,
        fnGetFunctionValueAttribute, fnSetFunctionValueAttribute, fnGetLogPrinterData, fnSetLogPrinterData,
        fnAddProhibitData, fnDeleteProhibitData,
        kFunctionCount
    };
    static_assert(kFunctionCount == 31);
    // The exported name of a function.
    static const char* FunctionName(Function fn);

    CCfgxDll() = default;
    ~CCfgxDll() override;

    // Loads the module at pszModulePath and opens the configuration file of dwCategory (0 ERD,
    // 1 ink-jet, 2 page) in the folder pszSourcePath for the queue: kCfgxOpenNullPath,
    // kCfgxOpenNotLoaded (the module is unloaded again), or the result of KD_CFGXInitEx (0: the
    // session is open). An earlier session is closed first.
    int32_t Open(LPCWSTR pszModulePath, LPCWSTR pszVIFPath, LPCWSTR pszSourcePath, LPCWSTR pszQueueName,
                 DWORD dwCategory);
    // Ends the session (KD_CFGXExit) when there is one and the module offers it, then unloads.
    void Close();

    HKDCFGX GetHandle() const { return m_hCfgx; }
    // Whether the loaded module exports the function.
    bool HasFunction(Function fn) const { return m_apfn[fn] != nullptr; }

    // The calls the library makes, each on the open session. Results are the module's (0 success
    // unless said), or kCfgxMissingFunction.
    int32_t GetLogPrinterData(DWORD dwTagID, int32_t* plValue) const;                 // out: *plValue
    int32_t SetLogPrinterData(DWORD dwTagID, int32_t lValue) const;
    int32_t SetDefault(DWORD dwFunctionID, DWORD dwElementID, DWORD dwSetDefault, DWORD dwLock, DWORD dwSelect,
                       DWORD dwCheckAvailable) const;
    int32_t SetFunctionStatus(DWORD dwFunctionID, DWORD dwStatus) const;
    int32_t GetFunctionElementStatus(DWORD dwFunctionID, DWORD dwElementID) const;    // >= 0: the status
    int32_t SetFunctionElementStatus(DWORD dwFunctionID, DWORD dwElementID, DWORD dwStatus) const;
    int32_t GetFunctionElementAttribute(DWORD dwFunctionID, DWORD dwElementID, DWORD dwAttribute,
                                        DWORD* pdwValue) const;                         // out: *pdwValue
    int32_t SetFunctionElementAttribute(DWORD dwFunctionID, DWORD dwElementID, DWORD dwAttribute,
                                        DWORD dwValue) const;
    int32_t SetFunctionValueAttribute(DWORD dwFunctionID, DWORD dwAttribute, int32_t lValue) const;
    int32_t AddProhibitData(const KD_CFGX_PROHIBIT_ITEM* pItems, DWORD dwCount, DWORD dwReserved) const;
    int32_t DeleteProhibitData(const KD_CFGX_PROHIBIT_ITEM* pItems, DWORD dwCount) const;
    int32_t SetCustomVersionAuto(HANDLE hPrinter) const;
    int32_t Save(LPCWSTR pszDestination) const;
    int32_t DeleteBinFiles(HANDLE hPrinter) const;  // needs no session
    int32_t UpdateREGData(HANDLE hPrinter, DWORD dwUpdateMode, const VANTO_PRINTER_INFO* pPrinterInfo,
                          DWORD dwRecordCount) const;

private:
    // Calls function fn as type Pfn with args, bracketed by the Call/Return log lines.
    template <typename Pfn, typename... Args>
    int32_t Call(Function fn, Args... args) const;
    void ForgetFunctions() { m_apfn.fill(nullptr); }

    std::array<FARPROC, kFunctionCount> m_apfn{};
    HKDCFGX m_hCfgx = nullptr;
};
