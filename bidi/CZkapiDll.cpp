// CZkapiDll: each transport function is resolved by name when it is called.
#include "bidi/CZkapiDll.h"

namespace {

// Resolves name in module as Function and calls it with args, or answers missing.
template <typename Function, typename Result, typename... Args>
Result CallByName(const CZkapiDll& module, const char* name, Result missing, Args... args) {
    const Function function = module.GetFunction<Function>(name);
    if (function == nullptr) return missing;
    return function(args...);
}

}  // namespace

int32_t CZkapiDll::ZKInitialize() const {
    return CallByName<PFN_ZKInitialize>(*this, "ZKInitialize", kZkapiMissingFunction);
}

int32_t CZkapiDll::ZKRelease() const {
    return CallByName<PFN_ZKRelease>(*this, "ZKRelease", kZkapiMissingFunction);
}

int32_t CZkapiDll::ZKGetDeviceID(int32_t nPrinterPathType, const char* pName, char* pBuffer, int32_t* pnSize) const {
    return CallByName<PFN_ZKGetDeviceID>(*this, "ZKGetDeviceID", kZkapiMissingFunction, nPrinterPathType, pName,
                                         pBuffer, pnSize);
}

int32_t CZkapiDll::ZKGetAvailableChannel(int32_t nPrinterPathType, const char* pName, void* pBuffer,
                                         int32_t* pnSize) const {
    return CallByName<PFN_ZKGetAvailableChannel>(*this, "ZKGetAvailableChannel", kZkapiMissingFunction,
                                                 nPrinterPathType, pName, pBuffer, pnSize);
}

int32_t CZkapiDll::ZKOpenChannel(int32_t nPrinterPathType, const char* pName, uint32_t dwChannelKind) const {
    return CallByName<PFN_ZKOpenChannel>(*this, "ZKOpenChannel", kZkapiMissingFunction, nPrinterPathType, pName,
                                         dwChannelKind);
}

int32_t CZkapiDll::ZKCloseChannel(int32_t hChannel) const {
    return CallByName<PFN_ZKCloseChannel>(*this, "ZKCloseChannel", kZkapiMissingFunction, hChannel);
}

int32_t CZkapiDll::ZKSend(int32_t hChannel, const void* pData, uint32_t dwLength) const {
    return CallByName<PFN_ZKSend>(*this, "ZKSend", kZkapiMissingFunction, hChannel, pData, dwLength);
}

int32_t CZkapiDll::ZKReceive(int32_t hChannel, void* pBuffer, int32_t* pnSize, uint32_t dwTimeoutMs) const {
    return CallByName<PFN_ZKReceive>(*this, "ZKReceive", kZkapiMissingFunction, hChannel, pBuffer, pnSize,
                                     dwTimeoutMs);
}

int32_t CZkapiDll::ZKGetStatus(int32_t hChannel, void* pBuffer, int32_t* pnSize) const {
    return CallByName<PFN_ZKGetStatus>(*this, "ZKGetStatus", kZkapiMissingFunction, hChannel, pBuffer, pnSize);
}

uint64_t CZkapiDll::ZKStartProbe(const char* pSearch, const void* pProbeContext, ZK_PROBE_CALLBACK pfnCallback,
                                 void* pContext) const {
    return CallByName<PFN_ZKStartProbe>(*this, "ZKStartProbe", uint64_t{0}, pSearch, pProbeContext, pfnCallback,
                                        pContext);
}

int32_t CZkapiDll::ZKStopProbe(uint64_t hProbe) const {
    return CallByName<PFN_ZKStopProbe>(*this, "ZKStopProbe", kZkapiMissingFunction, hProbe);
}

int32_t CZkapiDll::ZKGetProbeResult(uint64_t a, uint32_t b, uint32_t c, SProbeResult** ppResult) const {
    return CallByName<PFN_ZKGetProbeResult>(*this, "ZKGetProbeResult", kZkapiMissingFunction, a, b, c, ppResult);
}

int32_t CZkapiDll::ZKDeleteProbeResult(SProbeResult* pResult) const {
    return CallByName<PFN_ZKDeleteProbeResult>(*this, "ZKDeleteProbeResult", kZkapiMissingFunction, pResult);
}
