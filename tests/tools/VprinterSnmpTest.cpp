// vprinter's SNMP agent seen from outside: net-snmp's tools and session API against the
// profiles and recordings, error answers, the maker's command arc, and snmpsim as a reference.
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

TEST(VprinterSnmp, NetSnmpToolsWalkAndGetTheProfileData) {
    Vprinter vp({"-p", "127.0.77.1=" + SampleProfile("colour-page")});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    const auto expected = ExpectedFromSnmprec(ReadFile(SampleProfile("colour-page/mib.snmprec")));
    std::vector<std::string> walked;
    std::istringstream out(Snmp("snmpwalk", "127.0.77.1", "-Oq 1.3.6.1"));
    for (std::string line; std::getline(out, line);)
        if (line.rfind(".1.3.6.1.", 0) == 0) walked.push_back(line.substr(1, line.find(' ') - 1));
    ASSERT_EQ(walked.size(), expected.size());
    for (size_t i = 0; i < walked.size(); ++i) EXPECT_EQ(walked[i], expected[i].oid);

    EXPECT_NE(Snmp("snmpget", "127.0.77.1", "-Oqv 1.3.6.1.2.1.1.5.0").find("CP4500C-2F"), std::string::npos);
    EXPECT_NE(Snmp("snmpget", "127.0.77.1", "-Oqv 1.3.6.1.4.1.2699.1.2.1.2.1.1.3.1").find("MDL:Corvia CP-4500c;"),
              std::string::npos);
    EXPECT_NE(Snmp("snmpget", "127.0.77.1", "1.3.6.1.2.1.1.5.0 1.3.6.1.2.1.1.99.0").find("noSuchName"), std::string::npos);
}

TEST(VprinterSnmp, EveryRecordingIsServedByteForByte) {
    if (!std::filesystem::is_directory(RecordingsDir())) GTEST_SKIP() << "no recordings folder " << RecordingsDir();
    TempFolder dir;
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(RecordingsDir()))
        if (e.path().extension() == ".snmprec") files.push_back(e.path().string());
    ASSERT_FALSE(files.empty()) << "no recordings in " << RecordingsDir();
    std::sort(files.begin(), files.end());
    std::string fleet;
    for (size_t i = 0; i < files.size(); ++i) fleet += "127.0.77." + std::to_string(100 + i) + " " + files[i] + "\n";
    Vprinter vp({"--fleet", dir.Write("fleet.txt", fleet)});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        SnmpClient client(Peer("127.0.77." + std::to_string(100 + i)));
        const auto walked = client.Walk();
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

// snmpsim serves the same snmprec files; both agents must give the same walk.
TEST(VprinterSnmp, SnmpsimGivesTheSameAnswers) {
    if (RunShell("command -v snmpsimd").empty()) GTEST_SKIP() << "snmpsimd is not installed";
    if (!std::filesystem::is_directory(RecordingsDir())) GTEST_SKIP() << "no recordings folder " << RecordingsDir();
    TempFolder dir;
    const std::vector<std::string> files = {SampleProfile("colour-page/mib.snmprec"), RecordingsDir() + "/p05.snmprec"};
    std::string endpoints, fleet;
    for (size_t i = 0; i < files.size(); ++i) {
        dir.Write("data/vintal/1.3.6.1.6.1.1." + std::to_string(i) + ".snmprec", ReadFile(files[i]));
        endpoints += " --agent-udpv4-endpoint=127.0.77." + std::to_string(60 + i) + ":" + std::to_string(kSnmpPort);
        fleet += "127.0.77." + std::to_string(70 + i) + " " + files[i] + "\n";
    }
    std::filesystem::create_directories(dir.Path() + "/cache");
    RunShell("chmod -R a+rwX " + dir.Path());
    const std::string user = ::geteuid() == 0 ? " --process-user=nobody --process-group=nogroup" : "";
    const std::string pid = RunShell("snmpsimd --v2c-arch --data-dir=" + dir.Path() + "/data --cache-dir=" + dir.Path() +
                                "/cache" + endpoints + user + " --logging-method=null >/dev/null 2>&1 & echo $!");
    struct Killer {
        std::string pid;
        ~Killer() {
            if (!pid.empty()) RunShell("kill " + pid);
        }
    } killer{pid.substr(0, pid.find('\n'))};
    Vprinter vp({"--fleet", dir.Write("fleet.txt", fleet)});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        SnmpClient sim(Peer("127.0.77." + std::to_string(60 + i)));
        bool up = false;
        for (int t = 0; t < 30 && !up; ++t) up = sim.Get("1.3.6.1.2.1.1.1.0").has_value();
        ASSERT_TRUE(up) << "snmpsimd did not answer";
        const auto fromSim = sim.Walk();
        const auto fromVprinter = SnmpClient(Peer("127.0.77." + std::to_string(70 + i))).Walk();
        ASSERT_EQ(fromSim.size(), fromVprinter.size());
        for (size_t k = 0; k < fromSim.size(); ++k) EXPECT_EQ(fromSim[k], fromVprinter[k]) << fromSim[k].oid;
        // Single Gets and error answers agree too.
        auto a = sim.Request(SNMP_MSG_GET, {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.99.0"});
        auto b = SnmpClient(Peer("127.0.77." + std::to_string(70 + i))).Request(SNMP_MSG_GET, {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.99.0"});
        EXPECT_EQ(a.errorStatus, b.errorStatus);
        EXPECT_EQ(a.errorIndex, b.errorIndex);
    }
}

}  // namespace
}  // namespace vp_test
