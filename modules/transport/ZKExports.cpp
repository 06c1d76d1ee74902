// The thirteen exported functions, by name with C linkage. Each forwards to the module's state
// and turns an exhausted allocation into kZkResources: nothing is thrown across the boundary.
#include "modules/transport/CTransportModule.h"

#include <exception>
#include <mutex>

#ifdef _WIN32
#include "platform/win32.h"
// The module's .def file names the exports.
#define ZK_EXPORT extern "C"
#else
#include <dlfcn.h>
#define ZK_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

template <typename F>
auto Guarded(F&& call, decltype(call()) failure) noexcept -> decltype(call())
{
    try {
        return call();
    } catch (const std::exception&) {  // memory, threads or sockets ran out
        return failure;
    }
}

zk::CTransportModule& Module() { return zk::CTransportModule::Instance(); }

// Keeps this module loaded for the rest of the process once it has been initialised, as a
// pinned module on Windows: search threads may still be ending and the stand-in platform inside
// it keeps process-wide caches, neither of which may vanish with an unload.
void PinModule()
{
    static std::once_flag once;
    std::call_once(once, [] {
#ifdef _WIN32
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(&PinModule), &self);
#else
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&PinModule), &info) != 0 && info.dli_fname != nullptr)
            dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif
    });
}

}  // namespace

ZK_EXPORT int32_t ZKInitialize()
{
    return Guarded(
        [] {
            PinModule();
            return Module().Initialize();
        },
        kZkResources);
}

ZK_EXPORT int32_t ZKRelease()
{
    return Guarded([] { return Module().Release(); }, kZkResources);
}

ZK_EXPORT int32_t ZKGetDeviceID(int32_t nPrinterPathType, const char* pName, char* pBuffer, int32_t* pnSize)
{
    return Guarded([&] { return Module().GetDeviceID(nPrinterPathType, pName, pBuffer, pnSize); }, kZkResources);
}

ZK_EXPORT int32_t ZKGetAvailableChannel(int32_t nPrinterPathType, const char* pName, void* pBuffer, int32_t* pnSize)
{
    return Guarded([&] { return Module().GetAvailableChannel(nPrinterPathType, pName, pBuffer, pnSize); },
                   kZkResources);
}

ZK_EXPORT int32_t ZKOpenChannel(int32_t nPrinterPathType, const char* pName, uint32_t dwChannelKind)
{
    return Guarded([&] { return Module().OpenChannel(nPrinterPathType, pName, dwChannelKind); }, kZkResources);
}

ZK_EXPORT int32_t ZKCloseChannel(int32_t hChannel)
{
    return Guarded([&] { return Module().CloseChannel(hChannel); }, kZkResources);
}

ZK_EXPORT int32_t ZKSend(int32_t hChannel, const void* pData, uint32_t dwLength)
{
    return Guarded([&] { return Module().Send(hChannel, pData, dwLength); }, kZkResources);
}

ZK_EXPORT int32_t ZKReceive(int32_t hChannel, void* pBuffer, int32_t* pnSize, uint32_t dwTimeoutMs)
{
    return Guarded([&] { return Module().Receive(hChannel, pBuffer, pnSize, dwTimeoutMs); }, kZkResources);
}

ZK_EXPORT int32_t ZKGetStatus(int32_t hChannel, void* pBuffer, int32_t* pnSize)
{
    return Guarded([&] { return Module().GetStatus(hChannel, pBuffer, pnSize); }, kZkResources);
}

ZK_EXPORT uint64_t ZKStartProbe(const char* pSearch, const void* pProbeContext, ZK_PROBE_CALLBACK pfnCallback,
                                void* pContext)
{
    return Guarded([&] { return Module().StartProbe(pSearch, pProbeContext, pfnCallback, pContext); }, uint64_t{0});
}

ZK_EXPORT int32_t ZKStopProbe(uint64_t hProbe)
{
    return Guarded([&] { return Module().StopProbe(hProbe); }, kZkResources);
}

ZK_EXPORT int32_t ZKGetProbeResult(uint64_t a, uint32_t b, uint32_t c, SProbeResult** ppResult)
{
    return Guarded([&] { return Module().GetProbeResult(a, b, c, ppResult); }, kZkResources);
}

ZK_EXPORT int32_t ZKDeleteProbeResult(SProbeResult* pResult)
{
    return Guarded([&] { return Module().DeleteProbeResult(pResult); }, kZkResources);
}
