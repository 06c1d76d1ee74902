// The MIB query layer while the virtual printer misbehaves once: every fault kind on the SNMP
// and the job-language channel gives either a failed query with a negative code or the right
// answer, within the bounds of the receive time-out, and the next query works again.
#include "test_bp_live_printers.h"

#include <gtest/gtest.h>

using namespace bp_test;

namespace {

const char* const kInputNameColumn = "2.1.43.8.2.1.13.1.1";    // four trays: three SNMP exchanges
const char* const kPaperSizeColumn = "4.1.4913.1.2.2.6.1.1.2.1.1";  // seven sizes: five MDR requests
const char* const kMonoDeviceId = "MFG:Vintal;MDL:Corvia LP-2200;CMD:PJL,OPK,PCL,QLMPAGES-04;CLS:PRINTER;";

// How the query under one fault must end.
enum class Outcome { Fails, Succeeds, Either };

struct FaultCase {
    const char* name;
    const char* rule;  // without channel and "after"
    Outcome outcome;
};

// One reply is hit; "wrong" needs a reply before it to send instead. A reply to an earlier
// request is never taken for the answer: the SNMP channel waits for the one with its request
// ID, and an MDR answer that does not echo its request is asked again after a buffer drain.
const FaultCase kCases[] = {
    {"lost", "lost,count=1", Outcome::Fails},
    {"late", "late,delay=300,count=1", Outcome::Succeeds},
    {"too late", "late,delay=6000,count=1", Outcome::Fails},
    {"truncated", "truncated,count=1", Outcome::Fails},
    {"garbled", "garbled,count=1", Outcome::Either},
    {"wrong", "wrong,count=1", Outcome::Succeeds},
    {"vanish", "vanish,delay=200,count=1", Outcome::Fails},
};

constexpr auto kBound = std::chrono::seconds(30);  // far above the 3000 ms time-out of each exchange

class MIBFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_module.Load(WinPath(std::string(VANTO_BUILD_DIR) + "/ZKAPI7x64.Dll").c_str()));
        ASSERT_EQ(m_module.ZKInitialize(), kZkOk);
        const std::string colourMib = ReadFile(SampleProfile("colour-page") + "/mib.snmprec");
        const std::string monoMib = ReadFile(SampleProfile("mono-page-opk") + "/mib.snmprec");
        std::vector<std::pair<std::string, std::string>> printers;
        int host = 1;
        for (const FaultCase& c : kCases) {
            const std::string wrongAfter = std::string(c.name) == "wrong" ? "1" : "0";
            const std::string snmpAddress = "127.0.87." + std::to_string(host);
            printers.push_back({snmpAddress, WriteProfile(m_profiles, "snmp" + std::to_string(host),
                                                          R"({"faults": ["snmp:)" + std::string(c.rule) +
                                                              ",after=" + wrongAfter + R"("]})",
                                                          colourMib)});
            // The device ID is asked twice on the job-language port before the walk starts.
            const std::string opkAddress = "127.0.87." + std::to_string(100 + host);
            const std::string opkAfter = std::string(c.name) == "wrong" ? "3" : "2";
            printers.push_back({opkAddress, WriteProfile(m_profiles, "opk" + std::to_string(host),
                                                         std::string(R"({"device_id": ")") + kMonoDeviceId +
                                                             R"(", "channels": ["opk"], "faults": ["opk:)" + c.rule +
                                                             ",after=" + opkAfter + R"("]})",
                                                         monoMib)});
            m_live.AddQueue(std::string("Opk ") + c.name, "IP_" + opkAddress);
            ++host;
        }
        m_printers = std::make_unique<Printers>(printers);
        ASSERT_TRUE(m_printers->Ready()) << m_printers->Stderr();
        m_context = Context("Opk lost");
    }
    void TearDown() override { m_module.ZKRelease(); }

    // Runs the query under the fault, then again, and checks both ends.
    template <typename Query>
    void Check(const FaultCase& c, CBIDI_BP& bidi, Query query) {
        const auto start = Clock::now();
        const int result = query();
        EXPECT_LT(Clock::now() - start, kBound);
        if (c.outcome == Outcome::Fails) {
            EXPECT_EQ(result, 0);
            EXPECT_LT(bidi.GetLastMIBResult(), 0);
        } else if (c.outcome == Outcome::Succeeds) {
            EXPECT_EQ(result, 1);
        }
    }

    LivePrefix m_live;
    TempFolder m_profiles;
    CZkapiDll m_module;
    std::unique_ptr<Printers> m_printers;
    std::unique_ptr<BIInfo> m_context;
};

}  // namespace

TEST_F(MIBFaults, SnmpWalkUnderEveryFaultEndsBoundedAndTheNextWalkWorks) {
    int host = 1;
    for (const FaultCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string address = "127.0.87." + std::to_string(host++);
        CBIDI_BP bidi(&m_module);
        ASSERT_EQ(bidi.OpenSNMP(address.c_str()), 1);
        BIStringList trays;
        Check(c, bidi, [&] { return bidi.GetStringList(kInputNameColumn, &trays); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a vanished printer returns
        ASSERT_EQ(bidi.OpenSNMP(address.c_str()), 1);
        EXPECT_EQ(bidi.GetStringList(kInputNameColumn, &trays), 1);
        EXPECT_EQ(trays.size(), 4u);
    }
}

TEST_F(MIBFaults, MdrWalkUnderEveryFaultEndsBoundedAndTheNextWalkWorks) {
    for (const FaultCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string queue = std::string("Opk ") + c.name;
        CBIDI_BP bidi(&m_module);
        ASSERT_EQ(bidi.Initialize(m_context.get(), 0), 1);
        ASSERT_EQ(bidi.Open(Wide(queue).c_str()), 1);
        ASSERT_EQ(bidi.GetChannelKind(), kZkChannelOPK);
        BIStringList sizes;
        Check(c, bidi, [&] { return bidi.GetStringList(kPaperSizeColumn, &sizes); });
        // A stream that lost its place is not trusted again: the next walk runs on a new channel.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_EQ(bidi.Open(Wide(queue).c_str()), 1);
        EXPECT_EQ(bidi.GetStringList(kPaperSizeColumn, &sizes), 1);
        EXPECT_EQ(sizes.size(), 7u);
    }
}
