// CProbe with a scripted network module (tests/probe/module): the test fires the hits itself,
// from one or several threads, also after the search has stopped. No channel can be opened, so
// every accepted device stays unexamined.
#include "probe/CProbe.h"
#include "common/BIInfo.h"
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The module's test controls, reached in the copy that the prefix's driver folder holds.
struct FakeModule {
    void* handle = nullptr;
    void (*SetHit)(uint32_t, const char*, const char*, const char*) = nullptr;
    void (*Fire)(uint32_t) = nullptr;
    int (*Running)() = nullptr;
    size_t (*Outstanding)() = nullptr;

    explicit FakeModule(const std::string& path) {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return;
        SetHit = reinterpret_cast<decltype(SetHit)>(dlsym(handle, "FakeProbeSetHit"));
        Fire = reinterpret_cast<decltype(Fire)>(dlsym(handle, "FakeProbeFire"));
        Running = reinterpret_cast<decltype(Running)>(dlsym(handle, "FakeProbeRunning"));
        Outstanding = reinterpret_cast<decltype(Outstanding)>(dlsym(handle, "FakeProbeOutstanding"));
    }
    ~FakeModule() {
        if (handle != nullptr) dlclose(handle);
    }
};

constexpr const char* kSupported = "MDL:P;CMD:PJL,PCL;";

// Many searches stopped at random moments from another thread while several threads fire hits
// (duplicates, a nameless and an unsupported device among them): each ends with a well-formed list
// without duplicates, and every raw hit is given back, also one fired after the stop. The name
// filter and a new search's empty list: ProbeNameSearch and ProbeExports in tests/interface.
TEST(CProbeTest, StressManySearchesStoppedAtRandomMomentsKeepConsistentLists) {
    vanto_test::TempPrefix prefix{"Q1", "IP_127.0.141.1", {VANTO_TEST_FAKE_NETWORK_MODULE}};
    BIInfo context;
    ASSERT_TRUE(context.Build(u"Q1", 1));
    CProbe probe;
    ASSERT_EQ(probe.Initialize(&context), 1);
    FakeModule fake(prefix.DriveC() + "/Windows/System32/spool/drivers/x64/3/ZKNETx64.DLL");
    ASSERT_NE(fake.Fire, nullptr) << dlerror();
    for (uint32_t hit = 1; hit <= 12; ++hit)
        fake.SetHit(hit, ("127.0.141." + std::to_string(hit)).c_str(), ("P" + std::to_string(hit)).c_str(),
                    kSupported);
    fake.SetHit(3, "127.0.141.3", nullptr, kSupported);
    fake.SetHit(4, "127.0.141.4", "P4", "MDL:X;CMD:XYZ;");
    fake.SetHit(5, "127.0.141.1", "P1", "MDL:Q;CMD:PCL;");  // hit 1 once more
    const auto results = [&] {
        std::vector<SBIProbeResult*> out;
        for (SBIProbeResult* r = probe.GetProbeResult(); r != nullptr && out.size() < 100; r = r->pNext)
            out.push_back(r);
        return out;
    };

    std::mt19937 dice(12345);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(probe.GetProbeMode()->SetProbeMode(2, 0, 0, 161, 0, 0, 0), 1);
        const int stopAfterUs = static_cast<int>(dice() % 3000);
        const unsigned seed = dice();
        int result = -1;
        std::thread search([&] { result = probe.ProbePrinter(nullptr); });
        const auto limit = Clock::now() + std::chrono::seconds(10);
        while (!fake.Running() && Clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t)
            threads.emplace_back([&, t] {
                std::mt19937 local(seed + t);
                for (int i = 0; i < 8; ++i) fake.Fire(1 + local() % 12);
            });
        threads.emplace_back([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(stopAfterUs));
            probe.Stop();
        });
        for (auto& t : threads) t.join();
        search.join();
        ASSERT_EQ(result, 1);
        std::set<std::pair<std::u16string, std::u16string>> seen;
        for (SBIProbeResult* r : results()) {
            char16_t address[16];
            std::memcpy(address, reinterpret_cast<const char*>(r) + offsetof(SBIProbeResult, szAddress), sizeof address);
            ASSERT_NE(r->pAddressList, nullptr);
            EXPECT_TRUE(r->pAddressList->pNext == nullptr);
            EXPECT_EQ(+r->dwSupportPDL, 0x300u);
            if (r->pDeviceName != nullptr) {
                EXPECT_TRUE(seen.insert({r->pDeviceName, address}).second) << "duplicate";
            }
        }
        ASSERT_EQ(fake.Outstanding(), 0u);
    }
    // The module misbehaves: a hit after the stop is given back and joins no list.
    const size_t before = results().size();
    fake.Fire(3);
    EXPECT_EQ(results().size(), before);
    EXPECT_EQ(fake.Outstanding(), 0u);
}

}  // namespace
