// The transport module as the library meets it: loaded with dlopen from the build folder and
// called through the exported names only.
#pragma once

#include "modules/transport/zkapi.h"
#include "support/TempPrefix.h"
#include "support/VprinterProcess.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zktest {

#define ZK_FUNCTIONS(X)                                                                                  \
    X(Initialize) X(Release) X(GetDeviceID) X(GetAvailableChannel) X(OpenChannel) X(CloseChannel) X(Send) \
    X(Receive) X(GetStatus) X(StartProbe) X(StopProbe) X(GetProbeResult) X(DeleteProbeResult)

struct ZkModule {
    void* handle = nullptr;
#define ZK_MEMBER(name) PFN_ZK##name name = nullptr;
    ZK_FUNCTIONS(ZK_MEMBER)
#undef ZK_MEMBER

    explicit ZkModule(const char* file = "ZKAPI7x64.Dll")
    {
        handle = dlopen((std::string(VANTO_BUILD_DIR) + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
#define ZK_BIND(name) name = reinterpret_cast<PFN_ZK##name>(dlsym(handle, "ZK" #name));
        ZK_FUNCTIONS(ZK_BIND)
#undef ZK_BIND
    }
    ~ZkModule()
    {
        if (handle) dlclose(handle);
    }
    ZkModule(const ZkModule&) = delete;
    ZkModule& operator=(const ZkModule&) = delete;

    // Size query then fetch, as the library does. Returns the fetch's result; `out` the bytes.
    int32_t ReceiveWhole(int32_t channel, std::string& out, uint32_t timeoutMs)
    {
        int32_t size = 0;
        const int32_t r = Receive(channel, nullptr, &size, timeoutMs);
        if (r != kZkSizeQuery) return r;
        out.assign(static_cast<size_t>(size), '\0');
        return Receive(channel, out.data(), &size, timeoutMs);
    }
    // Sends the request and receives its whole reply.
    int32_t Exchange(int32_t channel, const std::string& request, std::string& reply, uint32_t timeoutMs)
    {
        const int32_t sent = Send(channel, request.data(), static_cast<uint32_t>(request.size()));
        return sent < 0 ? sent : ReceiveWhole(channel, reply, timeoutMs);
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

// build/vprinter serving a sample profile at each of `where` (colour-page's name is CP4500C-2F).
inline std::unique_ptr<vanto_test::VprinterProcess> Serve(const std::vector<std::string>& where,
                                                          const std::string& profile, std::vector<std::string> extra = {})
{
    for (const std::string& a : where) extra.insert(extra.end(), {"-p", a + "=" + vanto_test::SampleProfile(profile)});
    auto printer = std::make_unique<vanto_test::VprinterProcess>(extra);
    EXPECT_TRUE(printer->Ready()) << printer->Stderr();
    return printer;
}

// The module initialised in a temporary prefix with the sample driver; queues as the test adds them.
class TransportTest : public ::testing::Test {
protected:
    explicit TransportTest(const char* module = "ZKAPI7x64.Dll") : m_zk(module) {}
    void SetUp() override
    {
        ASSERT_NE(m_zk.handle, nullptr) << dlerror();
        ASSERT_EQ(m_zk.Initialize(), kZkOk);
        std::filesystem::create_directories(vplat::UsbFolder());
    }
    void TearDown() override
    {
        if (m_zk.handle) m_zk.Release();
    }
    void AddQueue(const std::string& queue, const std::string& port)
    {
        std::string error;
        ASSERT_TRUE(vplat::AddQueue(queue, vanto_test::kSampleDriverName, port, error)) << error;
    }

    vanto_test::TempPrefix m_prefix{vanto_test::TempPrefix::kNoQueue};
    ZkModule m_zk;
};

}  // namespace zktest
