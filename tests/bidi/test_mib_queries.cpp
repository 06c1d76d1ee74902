// The MIB query layer against virtual printers: SNMP table walks with their rows per request,
// MDR walks in batches with the end of a column, row-by-row reads with placeholders, retries of
// unanswered MDR requests, and the packet channels that have no MIB to ask.
#include "test_bp_live_printers.h"

#include <gtest/gtest.h>

#include "packet/CPacket.h"

#include <sstream>

using namespace bp_test;

namespace {

const char* const kColourAddress = "127.0.88.21";
const char* const kMonoAddress = "127.0.88.22";
const char* const kGapsAddress = "127.0.88.23";
const char* const kRetryAddress = "127.0.88.24";
const char* const kNoAnswerAddress = "127.0.88.25";

const char* const kPaperSizeColumn = "4.1.4913.1.2.2.6.1.1.2.1.1";
const char* const kInputNameColumn = "2.1.43.8.2.1.13.1.1";       // two rows per request
const char* const kInputCapacityColumn = "2.1.43.8.2.1.9.1.1";    // two rows per request
const char* const kInputDimUnitColumn = "2.1.43.8.2.1.3.1.1";     // not in the table: one row

const char* const kMonoDeviceId = "MFG:Vintal;MDL:Corvia LP-2200;CMD:PJL,OPK,PCL,QLMPAGES-04;CLS:PRINTER;";

// The values of a column in an snmprec file, in row order (text as written).
std::vector<std::string> Recorded(const std::string& snmprec, const std::string& column) {
    std::vector<std::string> values;
    std::istringstream in(ReadFile(snmprec));
    const std::string prefix = "1.3.6.1." + column.substr(0, column.rfind('.')) + ".";
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0 && line.find('.', prefix.size()) > line.find('|'))
            values.push_back(line.substr(line.find('|', line.find('|') + 1) + 1));
    return values;
}

std::vector<int32_t> Numbers(const std::vector<std::string>& texts) {
    std::vector<int32_t> numbers;
    for (const std::string& text : texts) numbers.push_back(std::stoi(text));
    return numbers;
}

// An OPK-only copy of the mono page printer with other profile settings.
std::string MonoVariant(const TempFolder& folder, const std::string& name, const std::string& extraJson,
                        const std::string& snmprec) {
    return WriteProfile(folder, name,
                        std::string("{\"device_id\": \"") + kMonoDeviceId + "\", \"channels\": [\"opk\"]" + extraJson +
                            "}",
                        snmprec);
}

class MIBQueries : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string monoMib = ReadFile(SampleProfile("mono-page-opk") + "/mib.snmprec");
        // Paper directions of rows 1, 2 and 4 only.
        const std::string gapsMib =
                                    "1.3.6.1.4.1.4913.1.2.2.6.1.1.14.1.1|4|SEF\n"
                                    "1.3.6.1.4.1.4913.1.2.2.6.1.1.14.1.2|4|LEF\n"
                                    "1.3.6.1.4.1.4913.1.2.2.6.1.1.14.1.4|4|LEF\n";
        const std::string gaps = MonoVariant(m_profiles, "gaps", "", gapsMib);
        // Every MDR and status reply after the device ID (asked once) and the first walk request
        // answers the request before it, for 55 replies: five unanswered walk requests, each
        // followed by a drain of ten status calls; the sixth walk request is answered.
        const std::string retry =
            MonoVariant(m_profiles, "retry", ", \"faults\": [\"opk:wrong,after=2,count=55\"]", monoMib);
        const std::string noAnswer = MonoVariant(m_profiles, "noanswer", ", \"faults\": [\"opk:wrong,after=2\"]", monoMib);

        m_printers = Serve(m_live, {{"Colour", kColourAddress, SampleProfile("colour-page")},
                                    {"Mono", kMonoAddress, SampleProfile("mono-page-opk")},
                                    {"Gaps", kGapsAddress, gaps},
                                    {"Retry", kRetryAddress, retry},
                                    {"NoAnswer", kNoAnswerAddress, noAnswer},
                                    {"Ink17", "USB001", SampleProfile("inkjet-usb-f17")},
                                    {"Ink14", "USB002", SampleProfile("inkjet-usb-f14")}});
        ASSERT_TRUE(m_printers->Ready());
    }

    TempFolder m_profiles;
    LivePrefix m_live;
    std::unique_ptr<Printers> m_printers;
};

}  // namespace

TEST_F(MIBQueries, SnmpWalksAskTheTablesRowsPerRequestAndReplaceTheList) {
    const std::string mib = SampleProfile("colour-page") + "/mib.snmprec";
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
    std::vector<int32_t> numbers;
    ASSERT_EQ(bidi->GetValueList(kInputCapacityColumn, &numbers), 1);
    EXPECT_EQ(numbers, Numbers(Recorded(mib, kInputCapacityColumn)));

    // A column outside the table: one row per request, so rows + 1 exchanges.
    m_live.MarkLog();
    ASSERT_EQ(bidi->GetValueList(kInputDimUnitColumn, &numbers), 1);
    const std::vector<std::string> units = Recorded(mib, kInputDimUnitColumn);
    ASSERT_FALSE(units.empty());
    EXPECT_EQ(numbers, Numbers(units));
    EXPECT_EQ(m_live.Sends(), units.size() + 1);

    // Integers asked of a text column: not found among the integer results.
    EXPECT_EQ(bidi->GetValueList(kInputNameColumn, &numbers), 0);
    EXPECT_EQ(bidi->GetLastMIBResult(), 0);

    // Single objects: a value, and an object the printer does not have.
    std::vector<BYTE> value;
    ASSERT_GE(bidi->GetMIBValue("2.1.1.5.0", &value), 0);
    EXPECT_EQ(std::string(value.begin(), value.end()), Recorded(mib, "2.1.1.5.0").at(0));
    EXPECT_LT(bidi->GetMIBValue("2.1.1.99.0", &value), 0);
    EXPECT_TRUE(value.empty());
}

TEST_F(MIBQueries, MdrWalkReadsSevenRowsInABatchOfFiveThenRowByRowToTheEnd) {
    const std::string mib = SampleProfile("mono-page-opk") + "/mib.snmprec";
    auto bidi = OpenQueue("Mono");
    ASSERT_EQ(bidi->GetChannelKind(), kZkChannelOPK);
    m_live.EnableLog();

    // Rows 1-5, then 6-10 (end of column), then 6, 7 and 8 (end): five requests.
    BIStringList sizes = {"stale"};
    ASSERT_EQ(bidi->GetStringList(kPaperSizeColumn, &sizes), 1);
    ASSERT_EQ(Recorded(mib, kPaperSizeColumn).size(), 7u);
    EXPECT_EQ(sizes, Recorded(mib, kPaperSizeColumn));
    EXPECT_EQ(m_live.Sends(), 5u);

    // From a later row on.
    ASSERT_EQ(bidi->GetStringList("4.1.4913.1.2.2.6.1.1.2.1.3", &sizes), 1);
    const std::vector<std::string> all = Recorded(mib, kPaperSizeColumn);
    EXPECT_EQ(sizes, std::vector<std::string>(all.begin() + 2, all.end()));

    // Other columns one row per request: three trays, four requests.
    m_live.MarkLog();
    std::vector<int32_t> capacities;
    ASSERT_EQ(bidi->GetValueList(kInputCapacityColumn, &capacities), 1);
    EXPECT_EQ(capacities, Numbers(Recorded(mib, kInputCapacityColumn)));
    EXPECT_EQ(m_live.Sends(), 4u);

    // Elements of the wrong kind fail the walk.
    EXPECT_EQ(bidi->GetStringList(kInputCapacityColumn, &sizes), 0);
    EXPECT_EQ(bidi->GetLastMIBResult(), BP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(bidi->GetValueList(kPaperSizeColumn, &capacities), 0);
    EXPECT_EQ(bidi->GetLastMIBResult(), BP_ERR_BAD_ARGUMENT);

    // A single object over OPK.
    std::vector<BYTE> value;
    ASSERT_GE(bidi->GetMIBValue("2.1.1.5.0", &value), 0);
    EXPECT_EQ(std::string(value.begin(), value.end()), Recorded(mib, "2.1.1.5.0").at(0));
    EXPECT_EQ(bidi->GetMIBValue("2.1.1.99.0", &value), PACKET_ERR_AGENT_ERROR);
}

TEST_F(MIBQueries, RowByRowReadKeepsMissingRowsInPlace) {
    auto bidi = OpenQueue("Gaps");
    BIStringList directions = {"kept"};
    ASSERT_EQ(bidi->GetTableStringsByIndex(&directions, 5), 1);
    EXPECT_EQ(directions, (std::vector<std::string>{"kept", "SEF", "LEF", "", "LEF", ""}));

    EXPECT_EQ(bidi->GetTableStringsByIndex(nullptr, 5), BP_ERR_BAD_ARGUMENT);
    auto snmp = OpenQueue("Colour");
    EXPECT_EQ(snmp->GetTableStringsByIndex(&directions, 5), BP_ERR_BAD_ARGUMENT);
}

TEST_F(MIBQueries, UnansweredMdrRequestsAreRetriedFiveTimesWithABufferDrainEach) {
    const std::string mib = SampleProfile("mono-page-opk") + "/mib.snmprec";
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

TEST_F(MIBQueries, PacketChannelsHaveNoMibToAsk) {
    for (const char* queue : {"Ink14", "Ink17"}) {
        SCOPED_TRACE(queue);
        auto bidi = OpenQueue(queue, BP_FLAG_FORCE_INKJET);
        EXPECT_EQ(bidi->GetChannelKind(), std::string(queue) == "Ink14" ? kZkChannelD4 : kZkChannelTVD4);
        BIStringList strings;
        std::vector<int32_t> numbers;
        EXPECT_EQ(bidi->GetStringList(kPaperSizeColumn, &strings), 0);
        EXPECT_EQ(bidi->GetValueList(kInputCapacityColumn, &numbers), 0);
        std::vector<BYTE> value = {1};
        EXPECT_EQ(bidi->GetMIBValue("2.1.1.5.0", &value), 0);
        EXPECT_TRUE(value.empty());
        EXPECT_EQ(bidi->GetTableStringsByIndex(&strings, 3), BP_ERR_BAD_ARGUMENT);
        EXPECT_EQ(bidi->FirmBufClear(), 0);  // ink-jets have no buffer to drain
    }
}

TEST_F(MIBQueries, TransactNeedsItsArgumentsAndAnOpenChannel) {
    auto bidi = OpenQueue("Mono");
    std::vector<BYTE> reply;
    const BYTE request[] = "@OPK ST2\r\n";
    EXPECT_EQ(bidi->Transact(nullptr, 4, &reply), BP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(bidi->Transact(request, sizeof request - 1, nullptr), BP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(bidi->FirmBufClear(), 1);
    bidi->Close();
    EXPECT_EQ(bidi->Transact(request, sizeof request - 1, &reply), BP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(bidi->FirmBufClear(), 0);
    BIStringList strings;
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
