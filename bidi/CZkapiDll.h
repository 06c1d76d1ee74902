// CZkapiDll: the library's view of the maker's transport module ("ZKAPI7x64.Dll", or
// "ZKNETx64.DLL" for discovery). Every function is looked up by name at the moment it is called,
// so a module that lacks one still serves the others; a missing function answers
// kZkapiMissingFunction (-100). The module is unloaded when the object is destroyed.
#pragma once

#include "common/CDllModule.h"
#include "modules/transport/zkapi.h"

#include <cstdint>

// Result of a call whose function the loaded module does not export (or nothing is loaded).
constexpr int32_t kZkapiMissingFunction = -100;

class CZkapiDll : public CDllModule {
public:
    CZkapiDll() = default;
    ~CZkapiDll() override = default;

    int32_t ZKInitialize() const;
    int32_t ZKRelease() const;
    int32_t ZKGetDeviceID(int32_t nPrinterPathType, const char* pName, char* pBuffer, int32_t* pnSize) const;
    int32_t ZKGetAvailableChannel(int32_t nPrinterPathType, const char* pName, void* pBuffer,
                                  int32_t* pnSize) const;
    int32_t ZKOpenChannel(int32_t nPrinterPathType, const char* pName, uint32_t dwChannelKind) const;
    int32_t ZKCloseChannel(int32_t hChannel) const;
    int32_t ZKSend(int32_t hChannel, const void* pData, uint32_t dwLength) const;
    int32_t ZKReceive(int32_t hChannel, void* pBuffer, int32_t* pnSize, uint32_t dwTimeoutMs) const;
    int32_t ZKGetStatus(int32_t hChannel, void* pBuffer, int32_t* pnSize) const;
    // Discovery. ZKStartProbe answers 0 (no probe) when the function is missing.
    uint64_t ZKStartProbe(const char* pSearch, const void* pProbeContext, ZK_PROBE_CALLBACK pfnCallback,
                          void* pContext) const;
    int32_t ZKStopProbe(uint64_t hProbe) const;
    int32_t ZKGetProbeResult(uint64_t a, uint32_t b, uint32_t c, SProbeResult** ppResult) const;
    int32_t ZKDeleteProbeResult(SProbeResult* pResult) const;

    // The running search of a discovery user (0: none).
    uint64_t m_hProbe = 0;
};
