// vprinter's SNMP agent seen from outside, through net-snmp's session API: the profiles and
// recordings served as written, and the error answers of version 1.
#include "SnmpClient.h"
#include "VprinterHarness.h"

#include <algorithm>
#include <map>
#include <sstream>

namespace vp_test {
namespace {

// The objects of an snmprec file as an SNMPv1 agent must serve them, read independently of
// vprinter's own loader: sorted by OID, hex values decoded, Counter64 left out.
std::vector<SnmpVar> ExpectedFromSnmprec(const std::string& text) {
    std::vector<std::pair<std::vector<unsigned long>, SnmpVar>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t a = line.find('|'), b = line.find('|', a + 1);
        if (line.empty() || b == std::string::npos) continue;
        SnmpVar v;
        v.oid = line.substr(0, a);
        std::string type = line.substr(a + 1, b - a - 1), value = line.substr(b + 1);
        if (type.back() == 'x') {
            auto bytes = vprinter::FromHexText(value);
            value.assign(bytes->begin(), bytes->end());
            type.pop_back();
        }
        const int t = std::stoi(type);
        if (t == 70) continue;
        static const std::map<int, int> kTags = {{2, 0x02}, {4, 0x04}, {6, 0x06}, {64, 0x40}, {65, 0x41}, {66, 0x42}, {67, 0x43}};
        v.type = kTags.at(t);
        if (t == 4) v.bytes = value;
        else if (t == 6) v.oidValue = value;
        else v.number = std::stoll(value);
        std::vector<unsigned long> key;
        std::istringstream arcs(v.oid);
        for (std::string arc; std::getline(arcs, arc, '.');) key.push_back(std::stoul(arc));
        rows.emplace_back(key, v);
    }
    std::sort(rows.begin(), rows.end(), [](auto& x, auto& y) { return x.first < y.first; });
    std::vector<SnmpVar> out;
    for (auto& r : rows) out.push_back(r.second);
    return out;
}

std::string Peer(const std::string& address) { return address + ":" + std::to_string(kSnmpPort); }

// A sample profile and every recording, walked with GetNext against an independent reading of
// their snmprec files.
TEST(VprinterSnmp, EveryProfileAndRecordingIsServedByteForByte) {
    TempFolder dir;
    std::vector<std::string> files = {SampleProfile("colour-page/mib.snmprec")};
    if (std::filesystem::is_directory(RecordingsDir())) {
        for (const auto& e : std::filesystem::directory_iterator(RecordingsDir()))
            if (e.path().extension() == ".snmprec") files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    std::string fleet;
    for (size_t i = 0; i < files.size(); ++i) fleet += "127.0.77." + std::to_string(100 + i) + " " + files[i] + "\n";
    Vprinter vp({"--fleet", dir.Write("fleet.txt", fleet)});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        const auto walked = SnmpClient(Peer("127.0.77." + std::to_string(100 + i))).Walk();
        const auto expected = ExpectedFromSnmprec(ReadFile(files[i]));
        ASSERT_EQ(walked.size(), expected.size());
        for (size_t k = 0; k < walked.size(); ++k) EXPECT_EQ(walked[k], expected[k]) << walked[k].oid;
    }
}

TEST(VprinterSnmp, ErrorAnswersFollowVersion1) {
    TempFolder dir;
    // A small message limit and two long values: one fits, both together do not.
    const std::string longText(300, 'x');
    dir.Write("tiny/profile.json", R"({"snmp_max_message": 484})");
    dir.Write("tiny/mib.snmprec", "1.3.6.1.2.1.1.1.0|4|" + longText + "\n1.3.6.1.2.1.1.4.0|4|" + longText +
                                      "\n1.3.6.1.2.1.1.5.0|4|short\n");
    Vprinter vp({"-p", "127.0.77.2=" + dir.Path() + "/tiny"});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    SnmpClient client(Peer("127.0.77.2"));

    // noSuchName names the first binding without an object and echoes the request's bindings.
    auto r = client.Request(SNMP_MSG_GET, {"1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.6.0", "1.3.6.1.2.1.1.7.0"});
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.errorStatus, SNMP_ERR_NOSUCHNAME);
    EXPECT_EQ(r.errorIndex, 2);
    ASSERT_EQ(r.vars.size(), 3u);
    EXPECT_EQ(r.vars[1].oid, "1.3.6.1.2.1.1.6.0");
    EXPECT_EQ(r.vars[0].type, ASN_NULL);

    r = client.Request(SNMP_MSG_GETNEXT, {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.5.0"});
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.errorStatus, SNMP_ERR_NOSUCHNAME) << "GetNext past the last object";
    EXPECT_EQ(r.errorIndex, 2);

    r = client.Request(SNMP_MSG_GET, {"1.3.6.1.2.1.1.1.0"});
    EXPECT_EQ(r.errorStatus, 0);
    r = client.Request(SNMP_MSG_GET, {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.4.0"});
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.errorStatus, SNMP_ERR_TOOBIG);
    EXPECT_EQ(r.errorIndex, 0);

    // A foreign community or another version gets no answer at all.
    EXPECT_FALSE(SnmpClient(Peer("127.0.77.2"), "public", SNMP_VERSION_1, 300).Request(SNMP_MSG_GET, {"1.3.6.1.2.1.1.5.0"}).answered);
    EXPECT_FALSE(SnmpClient(Peer("127.0.77.2"), "vintal", SNMP_VERSION_2c, 300).Request(SNMP_MSG_GET, {"1.3.6.1.2.1.1.5.0"}).answered);
    // Nor does garbage.
    EXPECT_FALSE(UdpExchange("127.0.77.2", Bytes{0x30, 0x80, 0x02, 0x01}, 300));
}

}  // namespace
}  // namespace vp_test
