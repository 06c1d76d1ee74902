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
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

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
    // The module's test controls, reached in the copy that the prefix's driver folder holds.
    const std::string path = prefix.DriveC() + "/Windows/System32/spool/drivers/x64/3/ZKNETx64.DLL";
    const std::unique_ptr<void, int (*)(void*)> module(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL), dlclose);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto setHit = reinterpret_cast<void (*)(uint32_t, const char*, const char*, const char*)>(
        dlsym(module.get(), "FakeProbeSetHit"));
    const auto fire = reinterpret_cast<void (*)(uint32_t)>(dlsym(module.get(), "FakeProbeFire"));
    const auto running = reinterpret_cast<int (*)()>(dlsym(module.get(), "FakeProbeRunning"));
    const auto outstanding = reinterpret_cast<size_t (*)()>(dlsym(module.get(), "FakeProbeOutstanding"));
    ASSERT_TRUE(setHit && fire && running && outstanding);
    for (uint32_t hit = 1; hit <= 12; ++hit)
        setHit(hit, ("127.0.141." + std::to_string(hit)).c_str(), ("P" + std::to_string(hit)).c_str(),
               kSupported);
    setHit(3, "127.0.141.3", nullptr, kSupported);
    setHit(4, "127.0.141.4", "P4", "MDL:X;CMD:XYZ;");
    setHit(5, "127.0.141.1", "P1", "MDL:Q;CMD:PCL;");  // hit 1 once more
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
        while (!running() && Clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t)
            threads.emplace_back([&, t] {
                std::mt19937 local(seed + t);
                for (int i = 0; i < 8; ++i) fire(1 + local() % 12);
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
        ASSERT_EQ(outstanding(), 0u);
    }
    // The module misbehaves: a hit after the stop is given back and joins no list.
    const size_t before = results().size();
    fire(3);
    EXPECT_EQ(results().size(), before);
    EXPECT_EQ(outstanding(), 0u);
}

}  // namespace
