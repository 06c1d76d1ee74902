// Discovery through the exports of libvanto.so, as a caller sees it: a discovery-only instance
// (no queue; the network module beside the library), virtual printers on 127.0.142.x and
// 127.0.143.x, the WinSNMP module installed in the prefix where a test wants it.
#include "vanto.h"

#include "probe/ProbeProfiles.h"
#include "support/TempFolder.h"
#include "support/TempPrefix.h"
#include "support/VprinterProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using vanto_test::TempPrefix;
using vanto_test::VprinterProcess;

// What a caller reads from one record.
struct Found {
    std::u16string name, address, location, firstEntry;
    uint32_t entryValue = 0, domestic = 0, color = 0, duplex = 0, pdl = 0, obtained = 0;
    bool moreEntries = false;
};

template <size_t N>
std::u16string Field(const char16_t (&field)[N]) {
    char16_t copy[N];
    std::memcpy(copy, field, sizeof copy);
    return std::u16string(copy, std::char_traits<char16_t>::length(copy));
}

// The chain of GetProbeResult, keyed by the first address entry (the single-address device has
// no hit address); a record whose key repeats fails the test.
std::map<std::u16string, Found> Results(HVANTO instance, size_t* count = nullptr) {
    std::map<std::u16string, Found> out;
    size_t n = 0;
    for (const SBIProbeResult* r = GetProbeResult(instance); r != nullptr && n < 1000; r = r->pNext, ++n) {
        Found f;
        f.name = r->pDeviceName ? r->pDeviceName : u"(none)";
        f.address = Field(r->szAddress);
        f.location = Field(r->szLocation);
        f.domestic = r->dwDomestic;
        f.color = r->dwColor;
        f.duplex = r->dwDuplex;
        f.pdl = r->dwSupportPDL;
        f.obtained = r->dwInfoObtained;
        if (r->pAddressList != nullptr) {
            f.firstEntry = Field(r->pAddressList->szAddress);
            f.entryValue = r->pAddressList->dwValue;
            f.moreEntries = r->pAddressList->pNext != nullptr;
        }
        const std::u16string key = f.firstEntry + (f.pdl == VANTO_PROBE_PDL_SYSOEM ? u"/oem" : u"");
        EXPECT_TRUE(out.emplace(key, f).second) << "two records for one device";
    }
    if (count) *count = n;
    return out;
}

class ProbeExports : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string xyz = probe_test::WriteProfile(m_profiles.Path(), "xyz", "MDL:X9;CMD:XYZ;", "XYZ-1");
        m_printers = std::make_unique<VprinterProcess>(std::vector<std::string>{
            "-p", "127.0.142.10=" + Sample("colour-page"), "-p", "127.0.142.11=" + xyz, "-p",
            "127.0.142.12=" + Sample("colour-page-s04"), "-p", "127.0.143.10=" + Sample("system-oem-b")});
        ASSERT_TRUE(m_printers->Ready()) << m_printers->Stderr();
        m_instance = Initialize(nullptr, VANTO_FLAG_PROBE);
        ASSERT_NE(m_instance, nullptr);
    }
    void TearDown() override {
        if (m_instance) {
            EXPECT_EQ(Release(m_instance), 1);
        }
    }
    static std::string Sample(const std::string& name) { return std::string(VANTO_SOURCE_DIR) + "/samples/printers/" + name; }

    // Short rounds: answers within 300 ms, two rounds; entries' value 161.
    bool Mode(uint32_t type) { return SetProbeMode(m_instance, type, 300, 2, 161, 0, 0, 0) == 1; }

    TempPrefix m_prefix;
    TempFolder m_profiles;
    std::unique_ptr<VprinterProcess> m_printers;
    HVANTO m_instance = nullptr;
};

TEST_F(ProbeExports, SubnetAndRangeSearchesDescribeSupportedDevicesAndANewSearchReplacesTheList) {
    ASSERT_EQ(SetSubnetAddress(m_instance, u"127.0.142.0", u"255.255.255.0"), 1);
    ASSERT_TRUE(Mode(VANTO_PROBE_SUBIP));
    ASSERT_EQ(ProbePrinter(m_instance, nullptr), 1);
    size_t count = 0;
    auto found = Results(m_instance, &count);
    ASSERT_EQ(count, 2u);  // the XYZ-only device is not supported
    const Found& page = found[u"127.0.142.10"];
    EXPECT_EQ(page.name, u"CP4500C-2F");
    EXPECT_EQ(page.address, u"127.0.142.10");
    EXPECT_EQ(page.location, u"Second floor, copy room");
    EXPECT_EQ(page.entryValue, 161u);
    EXPECT_FALSE(page.moreEntries);
    EXPECT_EQ(page.pdl, VANTO_PROBE_PDL_PCL | VANTO_PROBE_PDL_QLMPAGE_COL);  // PCL, PCLXL, QLMPAGECOLOR-01
    EXPECT_EQ(page.obtained, 1u);
    EXPECT_EQ(page.color, 1u);
    EXPECT_EQ(page.duplex, 0u);  // "Duplex long Edge Binding": the long-edge path is not named as asked
    const Found& s04 = found[u"127.0.142.12"];
    EXPECT_EQ(s04.pdl, VANTO_PROBE_PDL_PCL | VANTO_PROBE_PDL_QLMPAGE_S04);  // PCLXL, QLMPAGES-04
    EXPECT_EQ(s04.domestic, VANTO_PROBE_DOMESTIC_JA);
    EXPECT_EQ(s04.obtained, 1u);

    // The search consumed the subnet: the range search asks only its own addresses.
    ASSERT_EQ(SetContextIPRANGE(m_instance, u"127.0.142.11", u"127.0.142.12"), 1);
    ASSERT_TRUE(Mode(VANTO_PROBE_IPRANGE));
    ASSERT_EQ(ProbePrinter(m_instance, nullptr), 1);
    found = Results(m_instance, &count);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(found.begin()->first, u"127.0.142.12");
}

// A one-address search: with WinSNMP, the System OEM model is recognised and the search ends
// well before its 10 s bound; without it, the single-address device keeps only its address.
TEST_F(ProbeExports, SingleAddressSearchRecognisesSystemOEMModelsOverWinSnmp) {
    ASSERT_EQ(SetContextIPADR(m_instance, u"127.0.143.10"), 1);
    ASSERT_TRUE(Mode(VANTO_PROBE_IPADR));
    ASSERT_EQ(ProbePrinter(m_instance, nullptr), 1);
    auto found = Results(m_instance);
    ASSERT_EQ(found.count(u"127.0.143.10/oem"), 1u);
    const Found& bare = found[u"127.0.143.10/oem"];
    EXPECT_EQ(bare.name, u"(none)");
    EXPECT_EQ(bare.entryValue, 161u);
    EXPECT_EQ(bare.obtained, 1u);

    std::string error;
    ASSERT_TRUE(vplat::InstallSystemModule(std::string(VANTO_BUILD_DIR) + "/WSNMP32.DLL", u"WSNMP32.DLL", error))
        << error;
    ASSERT_EQ(SetContextIPADR(m_instance, u"127.0.143.10"), 1);
    ASSERT_TRUE(Mode(VANTO_PROBE_IPADR));
    const auto start = Clock::now();
    ASSERT_EQ(ProbePrinter(m_instance, nullptr), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(9));
    found = Results(m_instance);
    ASSERT_EQ(found.count(u"127.0.143.10/oem"), 1u);
    const Found& oem = found[u"127.0.143.10/oem"];
    EXPECT_EQ(oem.name, u"Model-B");
    EXPECT_EQ(oem.duplex, 1u);  // model class 33: colour, duplex unit as standard
    EXPECT_EQ(oem.color, 1u);
    EXPECT_EQ(oem.domestic, 0u);
    EXPECT_EQ(oem.obtained, 1u);
}

TEST_F(ProbeExports, StopProbeFromAnotherThreadEndsTheSearchAtOnceAndUpdateEndsDiscovery) {
    EXPECT_EQ(StopProbe(m_instance), 1);  // no search: no effect
    ASSERT_EQ(SetSubnetAddress(m_instance, u"127.0.142.0", u"255.255.255.0"), 1);
    ASSERT_EQ(SetProbeMode(m_instance, VANTO_PROBE_SUBIP, 10000, 6, 161, 0, 0, 0), 1);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(StopProbe(m_instance), 1);
    });
    const auto start = Clock::now();
    EXPECT_EQ(ProbePrinter(m_instance, nullptr), 1);
    const auto took = Clock::now() - start;
    stopper.join();
    EXPECT_LT(took, std::chrono::milliseconds(2500));  // the quiet period alone is 3 s

    EXPECT_NE(UpdatePrinterInfo(m_instance, VANTO_ELEMENT_MODELNAME, 0), 1);  // no queue to update
    EXPECT_EQ(GetProbeResult(m_instance), nullptr);
    EXPECT_EQ(StopProbe(m_instance), 0);
    EXPECT_EQ(ProbePrinter(m_instance, nullptr), 0);
    EXPECT_EQ(Initialize(nullptr, VANTO_FLAG_PRINTERINFO), nullptr);
}

// Searches of the fleet stopped at random moments from another thread: every list is
// well-formed, without duplicates, and holds only what the fleet has.
TEST_F(ProbeExports, SearchesStoppedAtRandomMomentsLeaveConsistentLists) {
    std::mt19937 dice(4242);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(SetContextIPRANGE(m_instance, u"127.0.142.1", u"127.0.142.40"), 1);
        ASSERT_TRUE(Mode(VANTO_PROBE_IPRANGE));
        const auto delay = std::chrono::milliseconds(20 + dice() % 180);
        std::thread stopper([&] {
            std::this_thread::sleep_for(delay);
            StopProbe(m_instance);
        });
        ASSERT_EQ(ProbePrinter(m_instance, nullptr), 1);
        stopper.join();
        size_t count = 0;
        for (const auto& [key, f] : Results(m_instance, &count)) {
            EXPECT_TRUE(key == u"127.0.142.10" || key == u"127.0.142.12") << std::string(key.begin(), key.end());
            EXPECT_EQ(f.address, key);
        }
        EXPECT_LE(count, 2u);
    }
}

}  // namespace
