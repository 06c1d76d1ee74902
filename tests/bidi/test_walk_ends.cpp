// How the MIB query layer meets what real agents hold around the columns it reads, against
// virtual printers: a column past the end of the agent's MIB, a column that is the last in it,
// objects of the SMI's application types next to a column, and an integer object read by
// GetMIBValue over SNMP and over the job-language port. Printers live on 127.0.94.x.
#include "test_bp_live_printers.h"

#include <gtest/gtest.h>

#include "packet/CPacket.h"

using namespace bp_test;

namespace {

const char* const kEndsAtMakerAddress = "127.0.94.1";
const char* const kEndsAtPaperTypesAddress = "127.0.94.2";
const char* const kApplicationTypesAddress = "127.0.94.3";
const char* const kIntegersSnmpAddress = "127.0.94.4";
const char* const kIntegersOpkAddress = "127.0.94.5";

const char* const kPageDeviceId = "MFG:Vintal;MDL:Corvia CP-3100s;CMD:PJL,PCLXL,QLMPAGES-04;CLS:PRINTER;";
const char* const kOpkDeviceId = "MFG:Vintal;MDL:Corvia LP-2200;CMD:PJL,OPK,PCL,QLMPAGES-04;CLS:PRINTER;";

const char* const kPaperTypeColumn = "4.1.4913.1.2.2.7.1.1.2.1.1";  // 15 rows per request
const char* const kInputNameColumn = "2.1.43.8.2.1.13.1.1";          // 2 rows per request

// What discovery reads, ahead of the device ID the virtual printer adds at 4.1.2699.
const char* const kDiscoveryObjects =
    "1.3.6.1.2.1.1.5.0|4|ROOM7-PRN\n"
    "1.3.6.1.2.1.1.6.0|4|Room 7, east wing\n"
    "1.3.6.1.2.1.43.7.1.1.2.1.1|4|en\n"
    "1.3.6.1.2.1.43.7.1.1.2.1.2|4|ja\n"
    "1.3.6.1.2.1.43.10.2.1.6.1.1|2|4\n"
    "1.3.6.1.2.1.43.13.4.1.10.1.1|4|Simplex\n"
    "1.3.6.1.2.1.43.13.4.1.10.1.2|4|Duplex Long Edge Binding\n"
    "1.3.6.1.2.1.43.13.4.1.10.1.3|4|Duplex Short Edge Binding\n";

const BIStringList kPaths = {"Simplex", "Duplex Long Edge Binding", "Duplex Short Edge Binding"};
const BIStringList kLanguages = {"en", "ja"};

// Integer objects asked over both channels, with their contents bytes.
const char* const kIntegerObjects =
    "1.3.6.1.2.1.43.8.2.1.9.1.7|2|524288\n"
    "1.3.6.1.2.1.43.8.2.1.10.1.7|2|-3\n"
    "1.3.6.1.2.1.43.8.2.1.11.1.7|2|0\n";

struct Probe {
    BOOL bResult = FALSE;
    std::string location;
    DWORD dwColorants = 99;
    DWORD dwCommon = 0;
    BIStringList paths, languages;
};

class WalkEnds : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string page = std::string("{\"device_id\": \"") + kPageDeviceId + "\"}";
        // The maker's common-location object is the last in the MIB: its first binding of a
        // request finds it, the second meets the end.
        const std::string endsAtMaker = WriteProfile(m_profiles, "ends-at-maker", page,
                                                     std::string(kDiscoveryObjects) +
                                                         "1.3.6.1.4.1.4913.1.1.3.1.1.78.0|4x|8000\n");
        // The maker's paper type column is the last in the MIB, and there is no common-location
        // object at all.
        const std::string endsAtPaperTypes =
            WriteProfile(m_profiles, "ends-at-paper-types", page,
                         std::string(kDiscoveryObjects) +
                             "1.3.6.1.4.1.4913.1.2.2.7.1.1.2.1.1|4|Plain\n"
                             "1.3.6.1.4.1.4913.1.2.2.7.1.1.2.1.2|4|Thick\n"
                             "1.3.6.1.4.1.4913.1.2.2.7.1.1.2.1.3|4|Labels\n");
        // Every column discovery reads is followed by an object of an application type, and
        // the MIB goes on after the maker's object.
        const std::string applicationTypes = WriteProfile(
            m_profiles, "application-types", page,
            "1.3.6.1.2.1.1.6.0|4|Room 7, east wing\n"
            "1.3.6.1.2.1.1.8.0|67|3721980054\n"               // TimeTicks
            "1.3.6.1.2.1.43.7.1.1.2.1.1|4|en\n"
            "1.3.6.1.2.1.43.7.1.1.2.1.2|4|ja\n"
            "1.3.6.1.2.1.43.7.1.1.3.1.1|64|127.0.94.3\n"     // IpAddress
            "1.3.6.1.2.1.43.8.2.1.13.1.1|4|Tray 1\n"
            "1.3.6.1.2.1.43.8.2.1.13.1.2|4|MP Tray\n"
            "1.3.6.1.2.1.43.10.2.1.4.1.1|65|123456\n"         // Counter32
            "1.3.6.1.2.1.43.10.2.1.6.1.1|2|4\n"
            "1.3.6.1.2.1.43.10.2.1.7.1.1|68x|9f78043f800000\n"  // Opaque
            "1.3.6.1.2.1.43.13.4.1.10.1.1|4|Simplex\n"
            "1.3.6.1.2.1.43.13.4.1.10.1.2|4|Duplex Long Edge Binding\n"
            "1.3.6.1.2.1.43.13.4.1.10.1.3|4|Duplex Short Edge Binding\n"
            "1.3.6.1.2.1.43.13.4.1.11.1.1|66|7\n"             // Gauge32
            "1.3.6.1.4.1.4913.1.1.3.1.1.78.0|4x|8000\n"
            "1.3.6.1.4.1.4913.1.1.3.1.1.79.0|65|1\n");
        const std::string mono = ReadFile(SampleProfile("mono-page-opk") + "/mib.snmprec");
        const std::string integersSnmp =
            WriteProfile(m_profiles, "integers-snmp", std::string("{\"device_id\": \"") + kOpkDeviceId + "\"}",
                         mono + kIntegerObjects);
        const std::string integersOpk = WriteProfile(
            m_profiles, "integers-opk",
            std::string("{\"device_id\": \"") + kOpkDeviceId + "\", \"channels\": [\"opk\"]}", mono + kIntegerObjects);

        m_printers = Serve(m_live, {{"EndsAtMaker", kEndsAtMakerAddress, endsAtMaker},
                                    {"EndsAtPaperTypes", kEndsAtPaperTypesAddress, endsAtPaperTypes},
                                    {"ApplicationTypes", kApplicationTypesAddress, applicationTypes},
                                    {"IntegersSnmp", kIntegersSnmpAddress, integersSnmp},
                                    {"IntegersOpk", kIntegersOpkAddress, integersOpk}});
        ASSERT_TRUE(m_printers->Ready());
    }

    static Probe RunProbe(CBIDI_BP& bidi) {
        Probe probe;
        probe.bResult = bidi.GetInfoProbe(&probe.location, &probe.dwColorants, &probe.dwCommon, &probe.paths,
                                          &probe.languages, TRUE);
        return probe;
    }

    TempFolder m_profiles;
    LivePrefix m_live;
    std::unique_ptr<Printers> m_printers;
};

}  // namespace

TEST_F(WalkEnds, DiscoveryReadsEveryObjectWhenTheMakersObjectEndsTheMibOrLiesPastIt) {
    m_live.EnableLog();
    // The maker's object is the last: the bindings the refusal withheld are asked again, so its
    // value (0x80: the location is UTF-8) is still read.
    auto atMaker = OpenQueue("EndsAtMaker");
    ASSERT_EQ(atMaker->GetChannelKind(), kZkChannelSNMP);
    Probe probe = RunProbe(*atMaker.bidi);
    ASSERT_TRUE(probe.bResult) << m_live.NewLog();
    EXPECT_EQ(probe.dwCommon, 1u);
    EXPECT_EQ(probe.location, "Room 7, east wing");
    EXPECT_EQ(probe.dwColorants, 4u);
    EXPECT_EQ(probe.paths, kPaths);
    EXPECT_EQ(probe.languages, kLanguages);

    // No maker's object at all: that column is dropped, the others are read.
    auto pastMaker = OpenQueue("EndsAtPaperTypes");
    probe = RunProbe(*pastMaker.bidi);
    ASSERT_TRUE(probe.bResult);
    EXPECT_EQ(probe.dwCommon, 0u);
    EXPECT_EQ(probe.location, "Room 7, east wing");
    EXPECT_EQ(probe.dwColorants, 4u);
    EXPECT_EQ(probe.paths, kPaths);
    EXPECT_EQ(probe.languages, kLanguages);
}

TEST_F(WalkEnds, ColumnThatIsTheLastInTheMibIsReadWhole) {
    auto bidi = OpenQueue("EndsAtPaperTypes");
    m_live.EnableLog();
    BIStringList types = {"stale"};
    ASSERT_EQ(bidi->GetStringList(kPaperTypeColumn, &types), 1) << m_live.NewLog();
    EXPECT_EQ(types, (BIStringList{"Plain", "Thick", "Labels"}));
    // The first request asks 15 rows; the agent refuses the fourth binding (GetNext of row 3),
    // so the second asks the parent and rows 1 and 2 again, which end the column.
    EXPECT_EQ(m_live.Sends(), 2u);

    // A column past the end, with no row at all, is an empty column.
    std::vector<int32_t> numbers = {7};
    ASSERT_EQ(bidi->GetValueList("4.1.4913.1.2.2.25.1.1.3.1.1", &numbers), 1);
    EXPECT_TRUE(numbers.empty());
}

TEST_F(WalkEnds, ObjectsOfApplicationTypesNextToAColumnEndItAndAreNoValue) {
    auto bidi = OpenQueue("ApplicationTypes");
    m_live.EnableLog();
    const Probe probe = RunProbe(*bidi.bidi);
    ASSERT_TRUE(probe.bResult) << m_live.NewLog();
    EXPECT_EQ(probe.location, "Room 7, east wing");
    EXPECT_EQ(probe.dwColorants, 4u);
    EXPECT_EQ(probe.dwCommon, 1u);
    EXPECT_EQ(probe.paths, kPaths);
    EXPECT_EQ(probe.languages, kLanguages);

    BIStringList names;
    ASSERT_EQ(bidi->GetStringList(kInputNameColumn, &names), 1);
    EXPECT_EQ(names, (BIStringList{"Tray 1", "MP Tray"}));

    // Asked by itself, a Counter32 is no value the query layer can hand out.
    std::vector<BYTE> value = {1};
    EXPECT_EQ(bidi->GetMIBValue("2.1.43.10.2.1.4.1.1", &value), PACKET_ERR_STRUCTURE);
    EXPECT_TRUE(value.empty());
    int32_t number = 0;
    EXPECT_EQ(bidi->GetMIBInteger("2.1.43.10.2.1.4.1.1", &number), 0);
}

TEST_F(WalkEnds, IntegerObjectReadsAsTheSameBytesOverSnmpAndTheJobLanguagePort) {
    auto snmp = OpenQueue("IntegersSnmp");
    auto opk = OpenQueue("IntegersOpk");
    ASSERT_EQ(snmp->GetChannelKind(), kZkChannelSNMP);
    ASSERT_EQ(opk->GetChannelKind(), kZkChannelOPK);
    const std::vector<std::pair<const char*, std::vector<BYTE>>> objects = {
        {"2.1.43.8.2.1.9.1.7", {0x08, 0x00, 0x00}},  // 524288
        {"2.1.43.8.2.1.10.1.7", {0xFD}},             // -3
        {"2.1.43.8.2.1.11.1.7", {0x00}},             // 0
        {"2.1.1.7.0", {0x48}}};                      // sysServices 72, from the sample
    for (const auto& [oid, bytes] : objects) {
        SCOPED_TRACE(oid);
        for (CBIDI_BP* bidi : {snmp.bidi.get(), opk.bidi.get()}) {
            std::vector<BYTE> value;
            EXPECT_GE(bidi->GetMIBValue(oid, &value), 0) << bidi->GetChannelKind();
            EXPECT_EQ(value, bytes) << bidi->GetChannelKind();
        }
    }
    // Text objects keep reading as their bytes on both.
    std::vector<BYTE> snmpName, opkName;
    ASSERT_GE(snmp->GetMIBValue("2.1.1.5.0", &snmpName), 0);
    ASSERT_GE(opk->GetMIBValue("2.1.1.5.0", &opkName), 0);
    EXPECT_FALSE(snmpName.empty());
    EXPECT_EQ(snmpName, opkName);
}
