// The module against independent peers: the project's virtual printer (profiles from
// samples/printers) and Debian's snmpsim serving the same MIB data.
#include "ZkModule.h"
#include "modules/transport/CSnmpCodec.h"
#include "support/TempPrefix.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace zktest;
namespace fs = std::filesystem;

namespace {

const std::string kProfiles = std::string(VANTO_SOURCE_DIR) + "/samples/printers/";

// A child process that is ready once its standard output shows `readyText` (or right away when
// that is empty), and is ended with SIGTERM when this object goes.
class Child {
public:
    Child(std::vector<std::string> argv, const std::string& readyText, int boundMs)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            std::vector<char*> args;
            for (auto& a : argv) args.push_back(a.data());
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(out[1]);
        std::string seen;
        for (int waited = 0; !readyText.empty() && waited < boundMs && seen.find(readyText) == std::string::npos;
             waited += 50) {
            pollfd p{out[0], POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buf[256];
                const ssize_t n = ::read(out[0], buf, sizeof buf);
                if (n <= 0) break;
                seen.append(buf, static_cast<size_t>(n));
            }
        }
        m_ready = readyText.empty() || seen.find(readyText) != std::string::npos;
        ::close(out[0]);
    }
    ~Child()
    {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        for (int waited = 0; waited < 5000; waited += 20) {
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
    }
    bool Ready() const { return m_pid > 0 && m_ready; }

private:
    pid_t m_pid = -1;
    bool m_ready = false;
};

nlohmann::json Profile(const std::string& name)
{
    std::ifstream in(kProfiles + name + "/profile.json");
    return nlohmann::json::parse(in);
}

// The value of one identifier in an snmprec file.
std::string Recorded(const std::string& file, const std::string& oid)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(oid + "|", 0) == 0) return line.substr(line.find('|', oid.size() + 1) + 1);
    return {};
}

// Walks `steps` GetNext exchanges from `start` through the module's SNMP channel; each step
// gives "oid|tag|value".
std::vector<std::string> WalkThroughModule(ZkModule& zk, const char* address, const std::string& start, int steps)
{
    std::vector<std::string> rows;
    const int32_t h = zk.OpenChannel(kZkPathAddress, address, kZkChannelSNMP);
    if (h <= 0) return rows;
    zk::Oid next = *zk::ParseOidText(start);
    for (int i = 0; i < steps; ++i) {
        const auto request = zk::BuildSnmpRequest(zk::kPduGetNextRequest, 5000 + i, "vintal", {next});
        std::string reply;
        if (zk.Send(h, request.data(), request.size()) < 0 || zk.ReceiveWhole(h, reply, 3000) < 0) break;
        const auto response = zk::ParseSnmpResponse(std::vector<uint8_t>(reply.begin(), reply.end()));
        if (!response || response->errorStatus != 0 || response->bindings.empty()) break;
        const auto& b = response->bindings[0];
        std::string oid;
        for (uint32_t arc : b.oid) oid += (oid.empty() ? "" : ".") + std::to_string(arc);
        rows.push_back(oid + "|" + std::to_string(b.valueTag) + "|" + b.value);
        next = b.oid;
    }
    zk.CloseChannel(h);
    return rows;
}

class TransportRealPeers : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(m_zk.handle, nullptr) << dlerror();
        ASSERT_EQ(m_zk.Initialize(), kZkOk);
    }
    void TearDown() override { m_zk.Release(); }
    ZkModule m_zk{"ZKAPI7x64.Dll"};
};

}  // namespace

TEST_F(TransportRealPeers, VirtualPrinterProfilesGiveTheirChannelsAndDeviceIds)
{
    const std::string vprinter = std::string(VANTO_BUILD_DIR) + "/vprinter";
    if (!fs::exists(vprinter)) GTEST_SKIP() << "vprinter not built";
    vanto_test::TempPrefix prefix(vanto_test::TempPrefix::kNoQueue);
    fs::create_directories(vplat::UsbFolder());
    struct Case {
        const char* queue;
        const char* port;
        const char* profile;
        std::vector<uint32_t> channels;
    };
    const std::vector<Case> cases = {
        {"Colour", "IP_127.0.160.1", "colour-page", {kZkChannelSNMP, kZkChannelOPK}},
        {"Mono", "IP_127.0.160.2", "mono-page-opk", {kZkChannelOPK}},
        {"InkNet", "127.0.160.3", "inkjet-network", {kZkChannelSNMP}},
        {"InkUsb17", "USB001", "inkjet-usb-f17", {kZkChannelD4, kZkChannelTVD4}},
        {"InkUsb14", "USB002", "inkjet-usb-f14", {kZkChannelD4}},
    };
    std::vector<std::string> argv = {vprinter};
    std::string error;
    for (const Case& c : cases) {
        ASSERT_TRUE(vplat::AddQueue(c.queue, vanto_test::kSampleDriverName, c.port, error)) << error;
        const std::string where = std::string(c.port).rfind("IP_", 0) == 0 ? std::string(c.port).substr(3) : c.port;
        argv.insert(argv.end(), {"-p", where + "=" + kProfiles + c.profile});
    }
    Child printers(argv, "vprinter: ready", 10000);
    ASSERT_TRUE(printers.Ready());

    for (const Case& c : cases) {
        SCOPED_TRACE(c.queue);
        std::vector<ZKChannelEntry> channels;
        ASSERT_EQ(m_zk.Channels(kZkPathQueue, c.queue, channels), static_cast<int32_t>(c.channels.size()));
        for (size_t i = 0; i < channels.size(); ++i) EXPECT_EQ(channels[i].dwChannelKind, c.channels[i]);
        std::string id;
        ASSERT_GE(m_zk.DeviceId(kZkPathQueue, c.queue, id), 0);
        const auto profile = Profile(c.profile);
        const std::string expected = profile.contains("device_id")
                                         ? profile["device_id"].get<std::string>()
                                         : Recorded(kProfiles + c.profile + "/mib.snmprec",
                                                    "1.3.6.1.4.1.2699.1.2.1.2.1.1.3.1");
        EXPECT_EQ(id, expected);
    }

    // An MDR request and a PI request on the job-language channel come back whole.
    const int32_t opk = m_zk.OpenChannel(kZkPathQueue, "Colour", kZkChannelOPK);
    ASSERT_GT(opk, 0);
    const std::string mdr = "@OPK MDR CM=\"00000902012B080201020101000902012B080201020102\"\r\n";
    std::string reply;
    m_zk.Send(opk, mdr.data(), mdr.size());
    ASSERT_GT(m_zk.ReceiveWhole(opk, reply, 5000), 0);
    EXPECT_EQ(reply.substr(0, mdr.size() + 3), mdr + "\"80");
    EXPECT_EQ(reply.substr(reply.size() - 3), "\"\r\n");
    int32_t size = 0;
    EXPECT_EQ(m_zk.GetStatus(opk, nullptr, &size), kZkSizeQuery);
    m_zk.CloseChannel(opk);

    // Information commands on the USB socket: the status command and a paged PI request.
    const int32_t tvd4 = m_zk.OpenChannel(kZkPathQueue, "InkUsb17", kZkChannelTVD4);
    ASSERT_GT(tvd4, 0);
    const std::string pi("PI\x06\x00\x01\x82\x00\x00\x00\x08", 10);
    m_zk.Send(tvd4, pi.data(), pi.size());
    ASSERT_GT(m_zk.ReceiveWhole(tvd4, reply, 5000), 0);
    EXPECT_EQ(reply.substr(0, 9), "@BDC PI\r\n");
    ASSERT_EQ(m_zk.GetStatus(tvd4, nullptr, &size), kZkSizeQuery);
    std::string status(static_cast<size_t>(size), '\0');
    EXPECT_EQ(m_zk.GetStatus(tvd4, status.data(), &size), size);
    EXPECT_NE(status.find("ST2"), std::string::npos);
    m_zk.CloseChannel(tvd4);
}

TEST_F(TransportRealPeers, FaultsOfTheVirtualPrinterTurnIntoDocumentedResults)
{
    const std::string vprinter = std::string(VANTO_BUILD_DIR) + "/vprinter";
    if (!fs::exists(vprinter)) GTEST_SKIP() << "vprinter not built";
    Child printer({vprinter, "-p", "127.0.160.9=" + kProfiles + "inkjet-network", "--fault", "snmp:lost,count=1",
                   "--fault", "snmp:garbled,after=1,count=1", "--fault", "snmp:wrong,after=2,count=1", "--fault",
                   "snmp:vanish,after=4"},
                  "vprinter: ready", 10000);
    ASSERT_TRUE(printer.Ready());
    const int32_t h = m_zk.OpenChannel(kZkPathAddress, "127.0.160.9", kZkChannelSNMP);
    ASSERT_GT(h, 0);
    std::vector<int32_t> results;
    for (int i = 0; i < 6; ++i) {
        const auto request = zk::BuildSnmpRequest(zk::kPduGetRequest, 700 + i, "vintal", {{1, 3, 6, 1, 2, 1, 1, 1, 0}});
        std::string reply;
        m_zk.Send(h, request.data(), request.size());
        const int32_t r = m_zk.ReceiveWhole(h, reply, 500);
        if (r > 0) {
            const auto header = zk::ReadSnmpHeader(std::vector<uint8_t>(reply.begin(), reply.end()));
            ASSERT_TRUE(header);
            EXPECT_EQ(header->requestId, 700 + i);  // never another request's reply
        }
        results.push_back(r > 0 ? 1 : r);
    }
    EXPECT_EQ(results[0], kZkTimeout);  // lost
    // A garbled reply is either refused or, when the damage spared its header, still delivered
    // only as the answer to its own request.
    EXPECT_TRUE(results[1] == kZkBadReply || results[1] == kZkTimeout || results[1] == 1) << results[1];
    EXPECT_EQ(results[2], kZkTimeout);  // the other request's reply is not taken
    EXPECT_TRUE(results[5] == kZkTimeout || results[5] == kZkUnreachable) << results[5];  // vanished
    m_zk.CloseChannel(h);
}

TEST_F(TransportRealPeers, SnmpsimAndVirtualPrinterGiveTheSameAnswersThroughTheModule)
{
    const std::string vprinter = std::string(VANTO_BUILD_DIR) + "/vprinter";
    if (!fs::exists(vprinter) || !fs::exists("/usr/bin/snmpsimd")) GTEST_SKIP() << "vprinter or snmpsimd missing";
    char pattern[] = "/tmp/vanto-snmpsim-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    fs::create_directories(dir / "data");
    fs::create_directories(dir / "cache");
    fs::copy_file(kProfiles + "colour-page/mib.snmprec", dir / "data/vintal.snmprec");
    fs::permissions(dir, fs::perms::all, fs::perm_options::add);
    for (const auto& e : fs::recursive_directory_iterator(dir)) fs::permissions(e.path(), fs::perms::all, fs::perm_options::add);
    {
        Child sim({"/usr/bin/snmpsimd", "--data-dir=" + (dir / "data").string(), "--cache-dir=" + (dir / "cache").string(),
                   "--agent-udpv4-endpoint=127.0.161.1:161", "--process-user=nobody", "--process-group=nogroup",
                   "--logging-method=null"},
                  "", 0);
        Child printer({vprinter, "-p", "127.0.161.2=" + kProfiles + "colour-page"}, "vprinter: ready", 10000);
        ASSERT_TRUE(printer.Ready());
        std::string id;
        for (int waited = 0; waited < 15000 && m_zk.DeviceId(kZkPathAddress, "127.0.161.1", id) < 0; waited += 500)
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const auto fromSim = WalkThroughModule(m_zk, "127.0.161.1", "1.3.6.1.2.1", 60);
        const auto fromVprinter = WalkThroughModule(m_zk, "127.0.161.2", "1.3.6.1.2.1", 60);
        EXPECT_EQ(fromSim.size(), 60u);
        EXPECT_EQ(fromSim, fromVprinter);
        EXPECT_EQ(fromSim.front(), "1.3.6.1.2.1.1.1.0|4|" +
                                       Recorded(kProfiles + "colour-page/mib.snmprec", "1.3.6.1.2.1.1.1.0"));
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}
