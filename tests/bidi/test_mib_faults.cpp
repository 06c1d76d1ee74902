// The MIB query layer while the virtual printer misbehaves once: each way a reply goes wrong on
// the SNMP and the job-language channel gives either a failed query with a negative code or the
// right answer, within the bounds of the receive time-out, and the next query works again.
#include "test_bp_live_printers.h"

using namespace bp_test;

namespace {

// How the query under one fault must end.
enum class Outcome { Fails, Succeeds, Either };

// One reply is hit; "wrong" needs a reply before it to send instead. A reply to an earlier
// request is never taken for the answer: the SNMP channel waits for the one with its request
// ID, and an MDR answer that does not echo its request is asked again after a buffer drain. A
// reply later than the wait or a printer gone reach the library as the lost reply does.
const std::pair<const char*, Outcome> kCases[] = {
    {"lost,count=1", Outcome::Fails},     {"late,delay=300,count=1", Outcome::Succeeds},
    {"truncated,count=1", Outcome::Fails}, {"garbled,count=1", Outcome::Either},
    {"wrong,count=1", Outcome::Succeeds},
};

}  // namespace

TEST(MIBFaults, WalksUnderEveryFaultEndBoundedAndTheNextWalkWorks) {
    LivePrefix live;
    TempFolder profiles;
    // A sample printer under the name with the fault.
    auto faulty = [&profiles](const char* sample, const std::string& name, const std::string& fault) {
        return CopyProfile(profiles, sample, name, [&](nlohmann::json& p) { p["faults"] = {fault}; });
    };
    std::vector<std::pair<std::string, std::string>> printers;
    for (size_t i = 0; i < std::size(kCases); ++i) {
        const std::string rule = kCases[i].first;
        const bool wrong = rule.rfind("wrong", 0) == 0;
        const std::string n = std::to_string(i + 1);
        printers.push_back(
            {"127.0.87." + n, faulty("colour-page", "snmp" + n, "snmp:" + rule + ",after=" + (wrong ? "1" : "0"))});
        // The device ID is asked twice on the job-language port before the walk starts.
        printers.push_back(
            {"127.0.87.10" + n, faulty("mono-page-opk", "opk" + n, "opk:" + rule + ",after=" + (wrong ? "3" : "2"))});
        live.AddQueue("Opk" + n, "IP_127.0.87.10" + n);
    }
    // Verbose: each fault and vanish is logged, and shown when a walk ends otherwise than expected.
    std::vector<std::string> args = PrinterArguments(printers);
    args.push_back("-v");
    Printers served(args);
    ASSERT_TRUE(served.Ready()) << served.Stderr();
    CZkapiDll module;
    ASSERT_TRUE(module.Load(WinPath(std::string(VANTO_BUILD_DIR) + "/ZKAPI7x64.Dll").c_str()));
    ASSERT_EQ(module.ZKInitialize(), kZkOk);
    const auto context = Context("Opk1");

    // SNMP: four trays in three exchanges; MDR: seven sizes in five requests.
    for (const bool onSnmp : {true, false}) {
        for (size_t i = 0; i < std::size(kCases); ++i) {
            const auto& [rule, outcome] = kCases[i];
            const std::string snmp = "127.0.87." + std::to_string(i + 1);
            const std::u16string opk = Wide("Opk" + std::to_string(i + 1));
            SCOPED_TRACE(std::string(rule) + (onSnmp ? " over SNMP" : " over MDR"));
            CBIDI_BP bidi(&module);
            auto open = [&] { return onSnmp ? bidi.OpenSNMP(snmp.c_str()) : bidi.Open(opk.c_str()); };
            const char* column = onSnmp ? "2.1.43.8.2.1.13.1.1" : "4.1.4913.1.2.2.6.1.1.2.1.1";
            if (!onSnmp) {
                ASSERT_EQ(bidi.Initialize(context.get(), 0), 1);  // the queue's settings
            }
            ASSERT_EQ(open(), 1);
            ASSERT_EQ(bidi.GetChannelKind(), onSnmp ? kZkChannelSNMP : kZkChannelOPK);
            BIStringList values;
            const auto start = Clock::now();
            const int result = bidi.GetStringList(column, &values);
            EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));  // far above the 3 s per exchange
            if (outcome == Outcome::Fails) {
                EXPECT_EQ(result, 0) << served.Stderr();
                EXPECT_LT(bidi.GetLastMIBResult(), 0);
            } else if (outcome == Outcome::Succeeds) {
                EXPECT_EQ(result, 1) << served.Stderr();
            }
            // A stream that lost its place is not trusted again, so the next walk runs on a new
            // channel.
            ASSERT_EQ(open(), 1);
            EXPECT_EQ(bidi.GetStringList(column, &values), 1) << served.Stderr();
            EXPECT_EQ(values.size(), onSnmp ? 4u : 7u);
        }
    }
    module.ZKRelease();
}
