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
#include <functional>
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

class CProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_context.Build(u"Q1", 1));
        ASSERT_EQ(m_probe.Initialize(&m_context), 1);
        m_fake = std::make_unique<FakeModule>(m_prefix.DriveC() + "/Windows/System32/spool/drivers/x64/3/ZKNETx64.DLL");
        ASSERT_NE(m_fake->Fire, nullptr) << dlerror();
        m_fake->SetHit(1, "127.0.141.1", "PRN-Office", kSupported);
        m_fake->SetHit(2, "127.0.141.2", "MyPRN", kSupported);
        m_fake->SetHit(3, "127.0.141.3", nullptr, kSupported);
        m_fake->SetHit(4, "127.0.141.4", "prn-xyz", "MDL:X;CMD:XYZ;");
        m_fake->SetHit(5, "127.0.141.1", "PRN-Office", "MDL:Q;CMD:PCL;");  // hit 1 once more
    }

    // Runs one search on another thread; `during` runs once the module's search has started and
    // stops it. ProbePrinter's result.
    int Search(const std::function<void()>& during) {
        int result = -1;
        std::thread search([&] { result = m_probe.ProbePrinter(nullptr); });
        const auto limit = Clock::now() + std::chrono::seconds(10);
        while (!m_fake->Running() && Clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        during();
        search.join();
        return result;
    }

    std::vector<SBIProbeResult*> Results() {
        std::vector<SBIProbeResult*> out;
        for (SBIProbeResult* r = m_probe.GetProbeResult(); r != nullptr && out.size() < 100; r = r->pNext)
            out.push_back(r);
        return out;
    }

    static std::u16string Name(const SBIProbeResult* r) { return r->pDeviceName ? r->pDeviceName : u"(none)"; }

    vanto_test::TempPrefix m_prefix{"Q1", "IP_127.0.141.1", {VANTO_TEST_FAKE_NETWORK_MODULE}};
    BIInfo m_context;
    CProbe m_probe;
    std::unique_ptr<FakeModule> m_fake;
};

// Many searches stopped at random moments from another thread while several threads fire hits
// (duplicates and unsupported devices among them): each ends with a well-formed list without
// duplicates, and every raw hit is given back, also one fired after the stop. The name filter and
// a new search's empty list: ProbeNameSearch and ProbeExports in tests/interface.
TEST_F(CProbeTest, StressManySearchesStoppedAtRandomMomentsKeepConsistentLists) {
    std::mt19937 dice(12345);
    for (uint32_t hit = 6; hit <= 12; ++hit)
        m_fake->SetHit(hit, ("127.0.141." + std::to_string(hit)).c_str(), ("P" + std::to_string(hit)).c_str(),
                       kSupported);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(m_probe.GetProbeMode()->SetProbeMode(2, 0, 0, 161, 0, 0, 0), 1);
        const int stopAfterUs = static_cast<int>(dice() % 3000);
        const unsigned seed = dice();
        ASSERT_EQ(Search(
                      [&] {
                          std::vector<std::thread> threads;
                          for (int t = 0; t < 3; ++t)
                              threads.emplace_back([&, t] {
                                  std::mt19937 local(seed + t);
                                  for (int i = 0; i < 8; ++i) m_fake->Fire(1 + local() % 12);
                              });
                          threads.emplace_back([&] {
                              std::this_thread::sleep_for(std::chrono::microseconds(stopAfterUs));
                              m_probe.Stop();
                          });
                          for (auto& t : threads) t.join();
                      }),
                  1);
        std::set<std::pair<std::u16string, std::u16string>> seen;
        for (SBIProbeResult* r : Results()) {
            char16_t address[16];
            std::memcpy(address, reinterpret_cast<const char*>(r) + offsetof(SBIProbeResult, szAddress), sizeof address);
            ASSERT_NE(r->pAddressList, nullptr);
            EXPECT_TRUE(r->pAddressList->pNext == nullptr);
            EXPECT_EQ(+r->dwSupportPDL, 0x300u);
            if (r->pDeviceName != nullptr) {
                EXPECT_TRUE(seen.insert({Name(r), address}).second) << "duplicate";
            }
        }
        ASSERT_EQ(m_fake->Outstanding(), 0u);
    }
    // The module misbehaves: a hit after the stop is given back and joins no list.
    const size_t before = Results().size();
    m_fake->Fire(3);
    EXPECT_EQ(Results().size(), before);
    EXPECT_EQ(m_fake->Outstanding(), 0u);
}

}  // namespace
