// vprinter's pieces in-process: fault rules, raw replies, snmprec reading, and the agent's and
// job-language session's handling of foreign, oversized and hostile input. PI paging is read by
// the library's MediaLive tests over every channel.
#include "FaultPlan.h"
#include "JobLanguageSession.h"
#include "MibStore.h"
#include "Profile.h"
#include "SnmpAgent.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace vprinter {
namespace {

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

// What a rule hits (other channels do not advance it) and how often; every malformed rule is
// refused with a reason. How each kind changes a reply is met by MIBFaults and MediaLive
// (tests/bidi), which fail when a fault does not reach the library.
TEST(VprinterFaultRules, SelectByChannelAfterCountAndRateAndReject) {
    std::string error;
    FaultPlan plan({*ParseFaultRule("snmp:lost,after=1,count=2", error), *ParseFaultRule("usb:garbled", error)}, 1);
    std::vector<bool> hit;
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(plan.Next(Channel::Usb).has_value());
        hit.push_back(plan.Next(Channel::Snmp).has_value());
    }
    EXPECT_EQ(hit, (std::vector<bool>{false, true, true, false, false}));
    FaultPlan half({*ParseFaultRule("snmp:lost,rate=0.5", error)}, 7);
    int lost = 0;
    for (int i = 0; i < 1000; ++i) lost += half.Next(Channel::Snmp).has_value();
    EXPECT_GT(lost, 350);
    EXPECT_LT(lost, 650);
    for (const char* bad :
         {"lost", "wifi:lost", "snmp:melted", "snmp:lost,count=-1", "snmp:lost,rate=1.5", "snmp:lost,colour=red"}) {
        error.clear();
        EXPECT_FALSE(ParseFaultRule(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// Raw replies serve the busy ink-jet of Answers.InkjetTraysMergeTheTrayDetailsIntoTheMediaSources
// (tests/bidi); one for a command the printer has no reply of, or without its file, is refused.
TEST(VprinterRawReplies, UnknownCommandsAndMissingFilesAreRefused) {
    std::string error;
    TempFolder folder;
    folder.Write("p/profile.json", R"({"channels": ["snmp"], "raw_replies": {"st": "st.hex"}})");
    folder.Write("p/st.hex", "00");
    EXPECT_FALSE(LoadProfile(folder.Path() + "/p", error));
    EXPECT_NE(error.find("unknown raw reply 'st'"), std::string::npos) << error;
    folder.Write("p/profile.json", R"({"channels": ["snmp"], "raw_replies": {"sr": "missing.hex"}})");
    EXPECT_FALSE(LoadProfile(folder.Path() + "/p", error));
}

// Hex, negative numbers and GetNext order are VprinterRecordings' walk of the sample profile.
TEST(VprinterMib, SnmprecValuesAreKeptAsWritten) {
    MibStore mib;
    mib.LoadSnmprec("1.3.6.1.2.1.1.1.0|4|text with | bar and trailing space \r\n"
                    "1.3.6.1.2.1.1.2.0|4x|00ff41\n"
                    "1.3.6.1.2.1.1.3.0|70|5\n"
                    "1.3.6.1.2.1.1.4.0|2|-7\n"
                    "1.3.6.1.2.1.1.5.0|2|4294967296\n"  // not an Integer32
                    "1.3.6.1..1|4|bad oid\n"
                    "1.3.6.1.2.1.1.6.0|4x|0g\n"
                    "1.3.6.1.2.1.1.7.0|67|12\n"
                    "no bars at all\n");
    EXPECT_EQ(mib.Size(), 5u);
    EXPECT_EQ(mib.SkippedLines(), 4u);
    EXPECT_EQ(mib.Get(*ParseOid("1.3.6.1.2.1.1.1.0"))->octets, "text with | bar and trailing space ");
    // Counter64 has no SNMPv1 form: invisible to Get and skipped by GetNext.
    EXPECT_EQ(mib.Get(*ParseOid("1.3.6.1.2.1.1.3.0")), nullptr);
    EXPECT_EQ(OidText(mib.GetNext(*ParseOid("1.3.6.1.2.1.1.2.0"))->first), "1.3.6.1.2.1.1.4.0");
    for (const char* bad : {"", ".", "1..2", "1.x", "1.4294967296"}) EXPECT_FALSE(ParseOid(bad)) << bad;
}

// The agent: a valid GetRequest for sysName.0, then every truncation and random corruption of it.
// The job-language session: an endless line and MDR requests whose elements lie about their size.
TEST(VprinterHostileInput, AgentAnswersOnlyWholeRequestsAndTheSessionBoundsItsBuffer) {
    Profile profile;
    profile.mib.LoadSnmprec("1.3.6.1.2.1.1.5.0|4|name\n");
    const SnmpAgent agent(profile);
    const Bytes good{0x30, 0x26, 0x02, 0x01, 0x00, 0x04, 0x06, 'v', 'i', 'n', 't', 'a', 'l', 0xA0,
                     0x19, 0x02, 0x01, 0x05, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0E, 0x30, 0x0C,
                     0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x05, 0x00, 0x05, 0x00};
    ASSERT_TRUE(agent.Handle(good));
    // Only version 1 with the community "vintal" is answered.
    Bytes foreign = good;
    foreign[7] = 'x';
    Bytes version2 = good;
    version2[4] = 1;
    EXPECT_FALSE(agent.Handle(foreign));
    EXPECT_FALSE(agent.Handle(version2));
    // A reply above the message limit becomes tooBig (error-status 1, index 0) without the value.
    Profile tiny;
    tiny.snmpMaxMessage = 484;
    tiny.mib.LoadSnmprec("1.3.6.1.2.1.1.5.0|4|" + std::string(500, 'x') + "\n");
    const auto tooBig = SnmpAgent(tiny).Handle(good);
    ASSERT_TRUE(tooBig);
    const Bytes status{0x02, 0x01, 0x05, 0x02, 0x01, 0x01, 0x02, 0x01, 0x00};
    EXPECT_NE(std::search(tooBig->begin(), tooBig->end(), status.begin(), status.end()), tooBig->end());
    EXPECT_LT(tooBig->size(), 484u);
    for (size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(agent.Handle(std::span(good.data(), n))) << n;
    std::mt19937 rng(3);
    for (int i = 0; i < 20000; ++i) {
        Bytes b = good;
        for (int k = 0; k < 3; ++k) b[rng() % b.size()] = static_cast<uint8_t>(rng());
        (void)agent.Handle(b);  // any answer or none, never a crash or an overread (sanitizer build)
    }

    JobLanguageSession session(profile);
    bool close = false;
    Bytes line(10001, 'A');
    line[0] = '@';
    EXPECT_TRUE(session.Feed(line, close).empty());
    EXPECT_TRUE(close);

    // A request split across writes after print-job noise is answered once; command 1 answers
    // with status 0x81 first.
    JobLanguageSession split(profile);
    const std::string sysName = "@OPK MDR CM=\"0000050201010500\"\r\n";
    EXPECT_TRUE(split.Feed(B("\x1b%-12345X@PJL JOB\r\n\x0c" + sysName.substr(0, 10)), close).empty());
    EXPECT_EQ(split.Feed(B(sysName.substr(10)), close).size(), 1u);
    const auto command1 = split.Feed(B("@OPK MDR CM=\"0100050201010500\"\r\n"), close);
    ASSERT_EQ(command1.size(), 1u);
    EXPECT_NE(std::string(command1[0].begin(), command1[0].end()).find("\"8100"), std::string::npos);

    // Element lengths that overrun, arcs with oversized counts, odd hex: status 0x81, no crash.
    JobLanguageSession fresh(profile);
    for (const char* body : {"0000FF0201", "00000502018F01", "000", "0000850000000001", "02"}) {
        const std::string req = std::string("@OPK MDR CM=\"") + body + "\"\r\n";
        const auto replies = fresh.Feed(B(req), close);
        ASSERT_EQ(replies.size(), 1u) << body;
        const std::string text(replies[0].begin(), replies[0].end());
        EXPECT_NE(text.find("\"8081\""), std::string::npos) << body << " -> " << text;
    }
}

}  // namespace
}  // namespace vprinter
