// The transport module as the library meets it: loaded with dlopen from the build folder and
// called through the exported names only.
#pragma once

#include "modules/transport/zkapi.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <string>

namespace zktest {

struct ZkModule {
    void* handle = nullptr;
    PFN_ZKInitialize Initialize = nullptr;
    PFN_ZKRelease Release = nullptr;
    PFN_ZKGetDeviceID GetDeviceID = nullptr;
    PFN_ZKGetAvailableChannel GetAvailableChannel = nullptr;
    PFN_ZKOpenChannel OpenChannel = nullptr;
    PFN_ZKCloseChannel CloseChannel = nullptr;
    PFN_ZKSend Send = nullptr;
    PFN_ZKReceive Receive = nullptr;
    PFN_ZKGetStatus GetStatus = nullptr;
    PFN_ZKStartProbe StartProbe = nullptr;
    PFN_ZKStopProbe StopProbe = nullptr;
    PFN_ZKGetProbeResult GetProbeResult = nullptr;
    PFN_ZKDeleteProbeResult DeleteProbeResult = nullptr;

    explicit ZkModule(const char* file = "ZKAPI7x64.Dll")
    {
        handle = dlopen((std::string(VANTO_BUILD_DIR) + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        Bind(Initialize, "ZKInitialize");
        Bind(Release, "ZKRelease");
        Bind(GetDeviceID, "ZKGetDeviceID");
        Bind(GetAvailableChannel, "ZKGetAvailableChannel");
        Bind(OpenChannel, "ZKOpenChannel");
        Bind(CloseChannel, "ZKCloseChannel");
        Bind(Send, "ZKSend");
        Bind(Receive, "ZKReceive");
        Bind(GetStatus, "ZKGetStatus");
        Bind(StartProbe, "ZKStartProbe");
        Bind(StopProbe, "ZKStopProbe");
        Bind(GetProbeResult, "ZKGetProbeResult");
        Bind(DeleteProbeResult, "ZKDeleteProbeResult");
    }
    ~ZkModule()
    {
        if (handle) dlclose(handle);
    }
    ZkModule(const ZkModule&) = delete;
    ZkModule& operator=(const ZkModule&) = delete;

    template <typename T>
    void Bind(T& fn, const char* name)
    {
        fn = reinterpret_cast<T>(dlsym(handle, name));
    }

    // Size query then fetch, as the library does. Returns the fetch's result; `out` the bytes.
    int32_t ReceiveWhole(int32_t channel, std::string& out, uint32_t timeoutMs)
    {
        int32_t size = 0;
        const int32_t r = Receive(channel, nullptr, &size, timeoutMs);
        if (r != kZkSizeQuery) return r;
        out.assign(static_cast<size_t>(size), '\0');
        return Receive(channel, out.data(), &size, timeoutMs);
    }
    int32_t DeviceId(int32_t pathType, const char* name, std::string& out)
    {
        int32_t size = 0;
        const int32_t r = GetDeviceID(pathType, name, nullptr, &size);
        if (r != kZkSizeQuery) return r;
        out.assign(static_cast<size_t>(size) + 1, '\0');
        const int32_t f = GetDeviceID(pathType, name, out.data(), &size);
        out.resize(out.find('\0') == std::string::npos ? out.size() : out.find('\0'));
        return f;
    }
    int32_t Channels(int32_t pathType, const char* name, std::vector<ZKChannelEntry>& out)
    {
        int32_t size = 0;
        const int32_t r = GetAvailableChannel(pathType, name, nullptr, &size);
        if (r != kZkSizeQuery) return r;
        out.assign(static_cast<size_t>(size) / sizeof(ZKChannelEntry), ZKChannelEntry{});
        return GetAvailableChannel(pathType, name, out.data(), &size);
    }
};

}  // namespace zktest
