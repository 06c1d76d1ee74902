// Discovery through the exports of libvanto.so: a discovery-only instance (no queue; the network
// module beside the library), virtual printers on 127.0.142.x and 127.0.143.x.
#include "vanto.h"

#include "probe/ProbeProfiles.h"
#include "support/TempFolder.h"
#include "support/TempPrefix.h"
#include "support/VprinterProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using probe_test::Field;

using Clock = std::chrono::steady_clock;
using vanto_test::TempPrefix;
using vanto_test::VprinterProcess;

// What a caller reads from one record.
struct Found {
    std::u16string name, address, location, firstEntry;
    uint32_t entryValue = 0, domestic = 0, color = 0, duplex = 0, pdl = 0, obtained = 0;
    bool moreEntries = false;
};

// The chain of GetProbeResult, keyed by the first address entry (the single-address device has
// no hit address); a record whose key repeats fails the test, so the map holds every record.
std::map<std::u16string, Found> Results(HVANTO instance) {
    std::map<std::u16string, Found> out;
    size_t n = 0;
    for (const SBIProbeResult* r = GetProbeResult(instance); r != nullptr && n < 1000; r = r->pNext, ++n) {
        Found f{r->pDeviceName ? r->pDeviceName : u"(none)", Field(r->szAddress), Field(r->szLocation), {}, 0,
                r->dwDomestic, r->dwColor, r->dwDuplex, r->dwSupportPDL, r->dwInfoObtained};
        if (r->pAddressList != nullptr) {
            f.firstEntry = Field(r->pAddressList->szAddress);
            f.entryValue = r->pAddressList->dwValue;
            f.moreEntries = r->pAddressList->pNext != nullptr;
        }
        const std::u16string key = f.firstEntry + (f.pdl == VANTO_PROBE_PDL_SYSOEM ? u"/oem" : u"");
        EXPECT_TRUE(out.emplace(key, f).second) << "two records for one device";
    }
    return out;
}

class ProbeExports : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string& dir = m_profiles.Path();
        const std::string xyz = probe_test::WriteProfile(dir, "xyz", "MDL:X9;CMD:XYZ;", "XYZ-1");
        // Location in UTF-8 (the maker's object says so), one colorant, "JA", a long-edge path only.
        const std::string page = probe_test::WriteProfile(
            dir, "page", "MDL:P;CMD:PJL,PCL;", "PAGE-1",
            {"1.3.6.1.2.1.1.6.0|4x|c3a9746167652032", "1.3.6.1.2.1.43.7.1.1.2.1.1|4|JA",
             "1.3.6.1.2.1.43.10.2.1.6.1.1|2|1", "1.3.6.1.2.1.43.13.4.1.10.1.1|4|Duplex Long Edge Binding",
             "1.3.6.1.4.1.4913.1.1.3.1.1.78.0|4x|8001"});
        // Ink-jet class: location in the ANSI code page, no colorants, both duplex paths (not read).
        const std::string inkjet = probe_test::WriteProfile(
            dir, "inkjet", "MDL:I;CMD:QLMPR1;", "INK-1",
            {"1.3.6.1.2.1.1.6.0|4x|e9746167652033", "1.3.6.1.2.1.43.13.4.1.10.1.1|4|Duplex Long Edge Binding",
             "1.3.6.1.2.1.43.13.4.1.10.1.2|4|Duplex Short Edge Binding"});
        m_printers = std::make_unique<VprinterProcess>(std::vector<std::string>{
            "-p", "127.0.142.10=" + Sample("colour-page"), "-p", "127.0.142.11=" + xyz,
            "-p", "127.0.142.13=" + page, "-p", "127.0.142.14=" + inkjet,
            "-p", "127.0.143.10=" + Sample("system-oem-b")});
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
    auto found = Results(m_instance);
    ASSERT_EQ(found.size(), 3u);  // the XYZ-only device is not supported
    // The sample printers' names, locations, languages and colour: ProbeVerb in tests/tools.
    const Found& colour = found[u"127.0.142.10"];
    EXPECT_EQ(colour.address, u"127.0.142.10");
    EXPECT_EQ(colour.entryValue, 161u);
    EXPECT_FALSE(colour.moreEntries);
    EXPECT_EQ(colour.obtained, 1u);
    EXPECT_EQ(colour.duplex, 1u);  // "Duplex long Edge Binding" and "Duplex Short Edge Binding", in any case
    const Found& page = found[u"127.0.142.13"];
    EXPECT_EQ(page.location, u"\u00e9tage 2");
    EXPECT_EQ(std::tie(page.duplex, page.color, page.domestic), std::make_tuple(0u, 0u, VANTO_PROBE_DOMESTIC_JA));
    const Found& inkjet = found[u"127.0.142.14"];
    EXPECT_EQ(inkjet.location, u"\u00e9tage 3");  // code page 1252
    EXPECT_EQ(std::tie(inkjet.duplex, inkjet.color, inkjet.domestic, inkjet.pdl),
              std::make_tuple(0u, 1u, VANTO_PROBE_DOMESTIC_INKJET, VANTO_PROBE_PDL_QLMPR));

    // The search consumed the subnet: the range search asks only its own addresses.
    ASSERT_EQ(SetContextIPRANGE(m_instance, u"127.0.142.11", u"127.0.142.13"), 1);
    ASSERT_TRUE(Mode(VANTO_PROBE_IPRANGE));
    ASSERT_EQ(ProbePrinter(m_instance, nullptr), 1);
    found = Results(m_instance);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.begin()->first, u"127.0.142.13");
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
    // Model class 33: colour, duplex unit as standard.
    EXPECT_EQ(std::tie(oem.duplex, oem.color, oem.domestic, oem.obtained), std::make_tuple(1u, 1u, 0u, 1u));
}

TEST_F(ProbeExports, StopProbeFromAnotherThreadEndsTheSearchAtOnceAndUpdateEndsDiscovery) {
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

    // The discovery object goes with its results (its absence: ExportsTest.JobControl...).
    EXPECT_NE(UpdatePrinterInfo(m_instance, VANTO_ELEMENT_MODELNAME, 0), 1);  // no queue to update
    EXPECT_EQ(GetProbeResult(m_instance), nullptr);
}

// A NAME search asks the whole default loopback block, so ctest runs it alone (RUN_SERIAL): the
// hits of other tests' printers must not count, and they are filtered out by name anyway.
TEST(ProbeNameSearch, KeepsDevicesWhoseNameBeginsWithTheTextInAnyCase) {
    TempPrefix prefix;
    TempFolder profiles;
    const std::string office = probe_test::WriteProfile(profiles.Path(), "office", "MDL:P;CMD:PJL,PCL;", "PRN-Office");
    const std::string mine = probe_test::WriteProfile(profiles.Path(), "mine", "MDL:P;CMD:PJL,PCL;", "MyPRN");
    VprinterProcess printers({"-p", "127.0.143.20=" + office, "-p", "127.0.143.21=" + mine});
    ASSERT_TRUE(printers.Ready()) << printers.Stderr();
    HVANTO instance = Initialize(nullptr, VANTO_FLAG_PROBE);
    ASSERT_NE(instance, nullptr);
    ASSERT_EQ(SetSubnetAddress(instance, u"127.0.143.0", u"255.255.255.0"), 1);  // dropped by a NAME search
    ASSERT_EQ(SetContextName(instance, u"prn"), 1);
    ASSERT_EQ(SetProbeMode(instance, VANTO_PROBE_NAME, 300, 2, 161, 0, 0, 0), 1);
    ASSERT_EQ(ProbePrinter(instance, nullptr), 1);
    auto found = Results(instance);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.count(u"127.0.143.20"), 1u) << "PRN-Office";
    EXPECT_EQ(Release(instance), 1);
}

}  // namespace
