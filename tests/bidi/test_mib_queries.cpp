// The MIB query layer against virtual printers: SNMP table walks with their rows per request, MDR
// walks in batches with the end of a column, row-by-row reads with placeholders, retries of
// unanswered MDR requests, the packet channels that have no MIB to ask, and what real agents hold
// around the columns read: the end of the MIB and objects of the SMI's application types.
// Printers live on 127.0.88.21-25, 127.0.94.1-4 and USB002.
#include "test_bp_live_printers.h"

#include "packet/CPacket.h"

using namespace bp_test;

namespace {

const char* const kPaperSizeColumn = "4.1.4913.1.2.2.6.1.1.2.1.1";
const char* const kPaperTypeColumn = "4.1.4913.1.2.2.7.1.1.2.1.1";  // 15 rows per request
const char* const kInputNameColumn = "2.1.43.8.2.1.13.1.1";         // two rows per request
const char* const kInputCapacityColumn = "2.1.43.8.2.1.9.1.1";      // two rows per request
const char* const kInputDimUnitColumn = "2.1.43.8.2.1.3.1.1";       // not in the table: one row

const char* const kMonoDeviceId = "MFG:Vintal;MDL:Corvia LP-2200;CMD:PJL,OPK,PCL,QLMPAGES-04;CLS:PRINTER;";
const char* const kPageDeviceId = "MFG:Vintal;MDL:Corvia CP-3100s;CMD:PJL,PCLXL,QLMPAGES-04;CLS:PRINTER;";

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

// The values the sample profile holds in the column a walk from this row identifier reads.
std::vector<std::string> Recorded(const std::string& profile, const std::string& first) {
    return SnmprecColumn(ReadFile(SampleProfile(profile) + "/mib.snmprec"),
                         "1.3.6.1." + first.substr(0, first.rfind('.')));
}

std::vector<int32_t> Numbers(const std::vector<std::string>& texts) {
    std::vector<int32_t> numbers;
    for (const std::string& text : texts) numbers.push_back(std::stoi(text));
    return numbers;
}

// A profile with this device ID, more profile settings and MIB.
std::string Profile(const TempFolder& folder, const std::string& name, const char* deviceId,
                    const std::string& extraJson, const std::string& snmprec) {
    return WriteProfile(folder, name, std::string("{\"device_id\": \"") + deviceId + "\"" + extraJson + "}", snmprec);
}

class MIBQueries : public LiveTest {
protected:
    void SetUp() override {
        const std::string mono = ReadFile(SampleProfile("mono-page-opk") + "/mib.snmprec");
        const std::string opk = ", \"channels\": [\"opk\"]";
        // Paper directions of rows 1, 2 and 4 only.
        const std::string gaps = Profile(m_files, "gaps", kMonoDeviceId, opk,
                                         "1.3.6.1.4.1.4913.1.2.2.6.1.1.14.1.1|4|SEF\n"
                                         "1.3.6.1.4.1.4913.1.2.2.6.1.1.14.1.2|4|LEF\n"
                                         "1.3.6.1.4.1.4913.1.2.2.6.1.1.14.1.4|4|LEF\n");
        // Every MDR and status reply after the device ID (asked once) and the first walk request
        // answers the request before it, for 55 replies: five unanswered walk requests, each
        // followed by a drain of ten status calls; the sixth walk request is answered.
        const std::string retry = Profile(m_files, "retry", kMonoDeviceId,
                                          opk + ", \"faults\": [\"opk:wrong,after=2,count=55\"]", mono);
        const std::string noAnswer =
            Profile(m_files, "noanswer", kMonoDeviceId, opk + ", \"faults\": [\"opk:wrong,after=2\"]", mono);
        // The maker's common-location object is the last in the MIB: its first binding of a
        // request finds it, the second meets the end.
        const std::string endsAtMaker =
            Profile(m_files, "ends-at-maker", kPageDeviceId, "",
                    std::string(kDiscoveryObjects) + "1.3.6.1.4.1.4913.1.1.3.1.1.78.0|4x|8000\n");
        // The maker's paper type column is the last in the MIB; no common-location object at all.
        const std::string endsAtPaperTypes =
            Profile(m_files, "ends-at-paper-types", kPageDeviceId, "",
                    std::string(kDiscoveryObjects) +
                        "1.3.6.1.4.1.4913.1.2.2.7.1.1.2.1.1|4|Plain\n"
                        "1.3.6.1.4.1.4913.1.2.2.7.1.1.2.1.2|4|Thick\n"
                        "1.3.6.1.4.1.4913.1.2.2.7.1.1.2.1.3|4|Labels\n");
        // Every column discovery reads is followed by an object of an application type, and the
        // MIB goes on after the maker's object (vprinter serves its objects in identifier order).
        const std::string applicationTypes =
            Profile(m_files, "application-types", kPageDeviceId, "",
                    std::string(kDiscoveryObjects) +
                        "1.3.6.1.2.1.1.8.0|67|3721980054\n"               // TimeTicks
                        "1.3.6.1.2.1.43.7.1.1.3.1.1|64|127.0.94.3\n"     // IpAddress
                        "1.3.6.1.2.1.43.8.2.1.13.1.1|4|Tray 1\n"
                        "1.3.6.1.2.1.43.8.2.1.13.1.2|4|MP Tray\n"
                        "1.3.6.1.2.1.43.10.2.1.4.1.1|65|123456\n"         // Counter32
                        "1.3.6.1.2.1.43.10.2.1.7.1.1|68x|9f78043f800000\n"  // Opaque
                        "1.3.6.1.2.1.43.13.4.1.11.1.1|66|7\n"             // Gauge32
                        "1.3.6.1.4.1.4913.1.1.3.1.1.78.0|4x|8000\n"
                        "1.3.6.1.4.1.4913.1.1.3.1.1.79.0|65|1\n");
        // The mono printer's MIB on SNMP.
        const std::string monoSnmp = Profile(m_files, "mono-snmp", kMonoDeviceId, "", mono);
        m_printers = Serve(m_live, {{"Colour", "127.0.88.21", SampleProfile("colour-page")},
                                    {"Mono", "127.0.88.22", SampleProfile("mono-page-opk")},
                                    {"Gaps", "127.0.88.23", gaps},
                                    {"Retry", "127.0.88.24", retry},
                                    {"NoAnswer", "127.0.88.25", noAnswer},
                                    {"EndsAtMaker", "127.0.94.1", endsAtMaker},
                                    {"EndsAtPaperTypes", "127.0.94.2", endsAtPaperTypes},
                                    {"ApplicationTypes", "127.0.94.3", applicationTypes},
                                    {"MonoSnmp", "127.0.94.4", monoSnmp},
                                    {"Ink14", "USB002", SampleProfile("inkjet-usb-f14")}});
        ASSERT_TRUE(m_printers->Ready());
    }

    // The discovery examination reads every object of kDiscoveryObjects.
    void ExpectDiscoveryObjects(CBIDI_BP& bidi, DWORD common) {
        std::string location;
        DWORD colorants = 99, readCommon = 0;
        BIStringList paths, languages;
        ASSERT_TRUE(bidi.GetInfoProbe(&location, &colorants, &readCommon, &paths, &languages, TRUE)) << m_live.NewLog();
        EXPECT_EQ(readCommon, common);
        EXPECT_EQ(location, "Room 7, east wing");
        EXPECT_EQ(colorants, 4u);
        EXPECT_EQ(paths, (BIStringList{"Simplex", "Duplex Long Edge Binding", "Duplex Short Edge Binding"}));
        EXPECT_EQ(languages, (BIStringList{"en", "ja"}));
    }
};

}  // namespace

TEST_F(MIBQueries, SnmpWalksAskTheTablesRowsPerRequestAndReplaceTheList) {
    const std::string mib = "colour-page";
    auto bidi = OpenQueue("Colour");
    ASSERT_EQ(bidi->GetChannelKind(), kZkChannelSNMP);
    m_live.EnableLog();

    // 24 rows per request: the seven paper sizes and the column's end come in one exchange.
    BIStringList strings = {"stale"};
    ASSERT_EQ(bidi->GetStringList(kPaperSizeColumn, &strings), 1);
    EXPECT_EQ(strings, Recorded(mib, kPaperSizeColumn));
    EXPECT_EQ(m_live.Sends(), 1u);

    // Two rows per request: four trays take three exchanges.
    m_live.MarkLog();
    ASSERT_EQ(bidi->GetStringList(kInputNameColumn, &strings), 1);
    EXPECT_EQ(strings, Recorded(mib, kInputNameColumn));
    EXPECT_EQ(m_live.Sends(), 3u);

    // A column outside the table: one row per request, so rows + 1 exchanges.
    m_live.MarkLog();
    std::vector<int32_t> numbers;
    ASSERT_EQ(bidi->GetValueList(kInputDimUnitColumn, &numbers), 1);
    const std::vector<std::string> units = Recorded(mib, kInputDimUnitColumn);
    ASSERT_FALSE(units.empty());
    EXPECT_EQ(numbers, Numbers(units));
    EXPECT_EQ(m_live.Sends(), units.size() + 1);

    // Integers asked of a text column: not found among the integer results.
    EXPECT_EQ(bidi->GetValueList(kInputNameColumn, &numbers), 0);
    EXPECT_EQ(bidi->GetLastMIBResult(), 0);

    // A single object the printer does not have.
    std::vector<BYTE> value = {1};
    EXPECT_LT(bidi->GetMIBValue("2.1.1.99.0", &value), 0);
    EXPECT_TRUE(value.empty());
}

TEST_F(MIBQueries, MdrWalkReadsSevenRowsInABatchOfFiveThenRowByRowToTheEnd) {
    const std::string mib = "mono-page-opk";
    auto bidi = OpenQueue("Mono");
    ASSERT_EQ(bidi->GetChannelKind(), kZkChannelOPK);
    m_live.EnableLog();

    // Rows 1-5, then 6-10 (end of column), then 6, 7 and 8 (end): five requests.
    BIStringList sizes = {"stale"};
    ASSERT_EQ(bidi->GetStringList(kPaperSizeColumn, &sizes), 1);
    const std::vector<std::string> all = Recorded(mib, kPaperSizeColumn);
    ASSERT_EQ(all.size(), 7u);
    EXPECT_EQ(sizes, all);
    EXPECT_EQ(m_live.Sends(), 5u);
    // From a later row on.
    ASSERT_EQ(bidi->GetStringList("4.1.4913.1.2.2.6.1.1.2.1.3", &sizes), 1);
    EXPECT_EQ(sizes, std::vector<std::string>(all.begin() + 2, all.end()));

    // Other columns one row per request: three trays, four requests.
    m_live.MarkLog();
    std::vector<int32_t> capacities;
    ASSERT_EQ(bidi->GetValueList(kInputCapacityColumn, &capacities), 1);
    EXPECT_EQ(capacities, Numbers(Recorded(mib, kInputCapacityColumn)));
    EXPECT_EQ(m_live.Sends(), 4u);

    // Elements of the wrong kind fail the walk.
    EXPECT_EQ(bidi->GetValueList(kPaperSizeColumn, &capacities), 0);
    EXPECT_EQ(bidi->GetLastMIBResult(), BP_ERR_BAD_ARGUMENT);
    std::vector<BYTE> value;
    EXPECT_EQ(bidi->GetMIBValue("2.1.1.99.0", &value), PACKET_ERR_AGENT_ERROR);

    // Row by row, missing rows keep their place; only over MDR.
    auto gaps = OpenQueue("Gaps");
    BIStringList directions = {"kept"};
    ASSERT_EQ(gaps->GetTableStringsByIndex(&directions, 5), 1);
    EXPECT_EQ(directions, (std::vector<std::string>{"kept", "SEF", "LEF", "", "LEF", ""}));
    EXPECT_EQ(gaps->GetTableStringsByIndex(nullptr, 5), BP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(OpenQueue("Colour")->GetTableStringsByIndex(&directions, 5), BP_ERR_BAD_ARGUMENT);
}

TEST_F(MIBQueries, UnansweredMdrRequestsAreRetriedFiveTimesWithABufferDrainEach) {
    const std::string mib = "mono-page-opk";
    m_live.EnableLog();
    auto retry = OpenQueue("Retry");
    BIStringList sizes;
    ASSERT_EQ(retry->GetStringList(kPaperSizeColumn, &sizes), 1) << m_live.NewLog();
    EXPECT_EQ(sizes, Recorded(mib, kPaperSizeColumn));
    EXPECT_EQ(m_live.CountInNewLog("CBIDI_BP::FirmBufClear"), 5u);

    // The sixth unanswered request fails the walk; the rows read before it stay.
    auto noAnswer = OpenQueue("NoAnswer");
    m_live.MarkLog();
    ASSERT_EQ(noAnswer->GetStringList(kPaperSizeColumn, &sizes), 0);
    EXPECT_EQ(noAnswer->GetLastMIBResult(), PACKET_ERR_NOT_ECHOED);
    EXPECT_EQ(sizes.size(), 5u);
    EXPECT_EQ(m_live.Sends(), 7u);  // the answered batch, the unanswered one and its five retries
    EXPECT_EQ(m_live.CountInNewLog("CBIDI_BP::FirmBufClear"), 5u);
}

TEST_F(MIBQueries, PacketChannelsAndClosedChannelsHaveNoMibToAsk) {
    // D4 stands for TVD4 too: the query layer asks neither.
    auto ink = OpenQueue("Ink14", BP_FLAG_FORCE_INKJET);
    ASSERT_EQ(ink->GetChannelKind(), kZkChannelD4);
    BIStringList strings;
    std::vector<int32_t> numbers;
    EXPECT_EQ(ink->GetStringList(kPaperSizeColumn, &strings), 0);
    EXPECT_EQ(ink->GetValueList(kInputCapacityColumn, &numbers), 0);
    std::vector<BYTE> reply = {1};
    EXPECT_EQ(ink->GetMIBValue("2.1.1.5.0", &reply), 0);
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(ink->GetTableStringsByIndex(&strings, 3), BP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(ink->FirmBufClear(), 0);  // ink-jets have no buffer to drain

    auto bidi = OpenQueue("Mono");
    const BYTE request[] = "@OPK ST2\r\n";
    EXPECT_EQ(bidi->Transact(nullptr, 4, &reply), BP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(bidi->Transact(request, sizeof request - 1, nullptr), BP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(bidi->FirmBufClear(), 1);
    bidi->Close();
    EXPECT_EQ(bidi->Transact(request, sizeof request - 1, &reply), BP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(bidi->GetStringList(kPaperSizeColumn, &strings), 0);
}

TEST(MIBIdentifiers, RowsAreAppendedAsOneByteAndSplitFromTheLastArc) {
    EXPECT_EQ(CBIDI_BP::AppendIndex("2.1.43.8.2.1.9.1", 255), "2.1.43.8.2.1.9.1.255");
    std::string column;
    DWORD index = 0;
    ASSERT_TRUE(CBIDI_BP::SplitIndex("4.1.4913.1.2.2.6.1.1.2.1.12", &column, &index));
    EXPECT_EQ(column, "4.1.4913.1.2.2.6.1.1.2.1");
    EXPECT_EQ(index, 12u);
    for (const char* bad : {"", "12", "2.1.", "2.1.x", "2.1.3x", "2.1.99999999999"})
        EXPECT_FALSE(CBIDI_BP::SplitIndex(bad, &column, &index)) << bad;
}

TEST_F(MIBQueries, DiscoveryReadsEveryObjectWhenTheMakersObjectEndsTheMibOrLiesPastIt) {
    m_live.EnableLog();
    // The maker's object is the last: the bindings the refusal withheld are asked again, so its
    // value (0x80: the location is UTF-8) is still read.
    ExpectDiscoveryObjects(*OpenQueue("EndsAtMaker").bidi, 1);
    // No maker's object at all: that column is dropped, the others are read.
    ExpectDiscoveryObjects(*OpenQueue("EndsAtPaperTypes").bidi, 0);
    // An object of an application type after each column ends it and is no value.
    ExpectDiscoveryObjects(*OpenQueue("ApplicationTypes").bidi, 1);
}

TEST_F(MIBQueries, ColumnsAtTheEndOfTheMibOrBesideApplicationTypesAreReadWhole) {
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

    auto applicationTypes = OpenQueue("ApplicationTypes");
    BIStringList names;
    ASSERT_EQ(applicationTypes->GetStringList(kInputNameColumn, &names), 1);
    EXPECT_EQ(names, (BIStringList{"Tray 1", "MP Tray"}));
    // Asked by itself, a Counter32 is no value the query layer can hand out.
    std::vector<BYTE> value = {1};
    EXPECT_EQ(applicationTypes->GetMIBValue("2.1.43.10.2.1.4.1.1", &value), PACKET_ERR_STRUCTURE);
    EXPECT_TRUE(value.empty());
    int32_t number = 0;
    EXPECT_EQ(applicationTypes->GetMIBInteger("2.1.43.10.2.1.4.1.1", &number), 0);
}

TEST_F(MIBQueries, ObjectsReadAsTheSameBytesOverSnmpAndTheJobLanguagePort) {
    auto snmp = OpenQueue("MonoSnmp");
    auto opk = OpenQueue("Mono");
    ASSERT_EQ(snmp->GetChannelKind(), kZkChannelSNMP);
    ASSERT_EQ(opk->GetChannelKind(), kZkChannelOPK);
    // The sample's capacities -2, 250 (a sign byte before it) and 500, a level of 0, its name.
    const std::vector<std::pair<const char*, std::vector<BYTE>>> objects = {
        {"2.1.43.8.2.1.9.1.1", {0xFE}},
        {"2.1.43.8.2.1.9.1.2", {0x00, 0xFA}},
        {"2.1.43.8.2.1.9.1.3", {0x01, 0xF4}},
        {"2.1.43.8.2.1.11.1.1", {0x00}},
        {"2.1.1.5.0", {'L', 'P', '2', '2', '0', '0', '-', '1', 'F'}}};
    for (const auto& [oid, bytes] : objects) {
        SCOPED_TRACE(oid);
        for (CBIDI_BP* bidi : {snmp.bidi.get(), opk.bidi.get()}) {
            std::vector<BYTE> value;
            EXPECT_GE(bidi->GetMIBValue(oid, &value), 0) << bidi->GetChannelKind();
            EXPECT_EQ(value, bytes) << bidi->GetChannelKind();
        }
    }
}
