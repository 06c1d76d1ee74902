// The module against the virtual printer over loopback (127.0.160.x, USB sockets of a temporary
// prefix): the sample profiles, and late, wrong, cut, lost and damaged replies on every channel.
#include "ZkModule.h"
#include "modules/transport/CSnmpCodec.h"
#include "support/VprinterProcess.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>

using namespace zktest;

namespace {

const zk::Oid kSysDescr = {1, 3, 6, 1, 2, 1, 1, 1, 0};
const zk::Oid kSysName = {1, 3, 6, 1, 2, 1, 1, 5, 0};

// An SNMP Get (or GetNext) as the library sends it: request ID 0, whatever the request.
std::string LibraryGet(const zk::Oid& oid, uint8_t pduTag = zk::kPduGetRequest)
{
    const auto bytes = zk::BuildSnmpRequest(pduTag, 0, "vintal", {oid});
    return std::string(bytes.begin(), bytes.end());
}

// The binding of a GetResponse as "oid=value", or "" when it does not read.
std::string FirstBinding(const std::string& reply)
{
    const auto response = zk::ParseSnmpResponse(std::vector<uint8_t>(reply.begin(), reply.end()));
    if (!response || response->bindings.empty()) return {};
    std::string oid;
    for (uint32_t arc : response->bindings[0].oid) oid += (oid.empty() ? "" : ".") + std::to_string(arc);
    return oid + "=" + response->bindings[0].value;
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

// The counts of `vprinter --stats` for its one printer.
struct Stats {
    int snmp = -1, opk = -1, usb = -1;
};
Stats ReadStats(const std::string& err)
{
    static const std::regex line(R"(stats [^\n]*: snmp-requests=(\d+) opk-connections=(\d+) usb-connections=(\d+))");
    std::smatch m;
    if (!std::regex_search(err, m, line)) return {};
    return {std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3])};
}

class TransportVprinter : public TransportTest {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(std::string(VANTO_BUILD_DIR) + "/vprinter")) GTEST_SKIP() << "vprinter not built";
        TransportTest::SetUp();
    }

    // A vprinter serving one profile at `where` with these extra arguments.
    static std::unique_ptr<vanto_test::VprinterProcess> Serve(const std::string& where, const std::string& profile,
                                                               std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), {"-p", where + "=" + vanto_test::SampleProfile(profile)});
        auto printer = std::make_unique<vanto_test::VprinterProcess>(extra);
        EXPECT_TRUE(printer->Ready()) << printer->Stderr();
        return printer;
    }
};

}  // namespace

TEST_F(TransportVprinter, SampleProfilesGiveTheirChannelsDeviceIdsAndWholeReplies)
{
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
        {"InkOpk", "IP_127.0.160.4", "inkjet-opk", {kZkChannelOPK}},
        {"InkUsb17", "USB001", "inkjet-usb-f17", {kZkChannelD4, kZkChannelTVD4}},
        {"InkUsb14", "USB002", "inkjet-usb-f14", {kZkChannelD4}},
    };
    std::vector<std::string> more;  // the printers after the first
    for (const Case& c : cases) {
        AddQueue(c.queue, c.port);
        const std::string port = c.port, where = port.substr(port.rfind("IP_", 0) == 0 ? 3 : 0);
        if (&c != &cases.front()) more.insert(more.end(), {"-p", where + "=" + vanto_test::SampleProfile(c.profile)});
    }
    const auto printers = Serve("127.0.160.1", cases.front().profile, more);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.queue);
        std::vector<ZKChannelEntry> channels;
        ASSERT_EQ(m_zk.Channels(kZkPathQueue, c.queue, channels), static_cast<int32_t>(c.channels.size()));
        for (size_t i = 0; i < channels.size(); ++i) EXPECT_EQ(channels[i].dwChannelKind, c.channels[i]);
        std::string id;
        ASSERT_GE(m_zk.DeviceId(kZkPathQueue, c.queue, id), 0);
        const std::string folder = vanto_test::SampleProfile(c.profile);
        const auto profile = nlohmann::json::parse(vanto_test::ReadFile(folder + "/profile.json"));
        EXPECT_EQ(id, profile.contains("device_id")
                          ? profile["device_id"].get<std::string>()
                          : Recorded(folder + "/mib.snmprec", "1.3.6.1.4.1.2699.1.2.1.2.1.1.3.1"));
    }

    // A PI request of a format the printer lacks is answered "not available", which ends the
    // reply at once; a paged answer after it is framed by its own count.
    const int32_t large = m_zk.OpenChannel(kZkPathQueue, "InkOpk", kZkChannelOPK);
    ASSERT_GT(large, 0);
    std::string reply;
    ASSERT_GT(m_zk.Exchange(large, std::string("PI\x06\x00\x01\x80\x00\x00\x00\x08", 10), reply, 5000), 0);
    EXPECT_EQ(reply, std::string("@BDC PI\r\n\x08\x00PI:\x80:NA;", 19));
    ASSERT_GT(m_zk.Exchange(large, std::string("PI\x06\x00\x01\x82\x00\x00\x00\x08", 10), reply, 5000), 0);
    ASSERT_GE(reply.size(), 26u);
    EXPECT_EQ(reply.size(), 11u + (static_cast<uint8_t>(reply[9]) | static_cast<uint8_t>(reply[10]) << 8));
    EXPECT_EQ(reply.substr(11, 5), "PI:\x82:");
    m_zk.CloseChannel(large);

    // The status on the USB socket.
    const int32_t tvd4 = m_zk.OpenChannel(kZkPathQueue, "InkUsb17", kZkChannelTVD4);
    ASSERT_GT(tvd4, 0);
    int32_t size = 0;
    ASSERT_EQ(m_zk.GetStatus(tvd4, nullptr, &size), kZkSizeQuery);
    std::string status(static_cast<size_t>(size), '\0');
    EXPECT_EQ(m_zk.GetStatus(tvd4, status.data(), &size), size);
    EXPECT_NE(status.find("ST2"), std::string::npos);
    m_zk.CloseChannel(tvd4);
}

// The first reply comes 1 s late, so it arrives while the second request waits for its own (on
// SNMP the second reply is held back too, or it would come first); a third request is in step.
TEST_F(TransportVprinter, LateReplyAnswersNoLaterRequestOnAnyChannel)
{
    struct Case {
        const char* port;
        const char* profile;
        std::vector<std::string> faults;
        uint32_t channel;
        std::string first, firstReply;  // the reply holds firstReply
        std::string second, secondReply;
    };
    const std::string askName = "@OPK MDR CM=\"0000050201010500\"\r\n";   // sysName.0
    const std::string askDescr = "@OPK MDR CM=\"0000050201010100\"\r\n";  // sysDescr.0
    const Case cases[] = {
        {"127.0.160.20", "colour-page",
         {"--fault", "snmp:late,count=1,delay=1000", "--fault", "snmp:late,after=1,count=1,delay=900"},
         kZkChannelSNMP, LibraryGet(kSysName), "CP4500C-2F", LibraryGet(kSysDescr), "Vintal Network Printer"},
        {"IP_127.0.160.21", "colour-page", {"--fault", "opk:late,count=1,delay=1000"}, kZkChannelOPK, askName,
         askName, askDescr, askDescr},  // a reply echoes its own request
        {"USB001", "inkjet-usb-f17", {"--fault", "usb:late,count=1,delay=1000"}, kZkChannelD4,
         std::string("pm\x05\x00\x03\x00\x00\x00\x08", 9), std::string("pm:\0\0\0\x08:", 8),
         std::string("pm\x01\x00\x01", 5), "pm:NA;"},  // format 14: this printer has none
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        const std::string port = c.port, where = port.substr(port.rfind("IP_", 0) == 0 ? 3 : 0);
        AddQueue(port, port);  // a queue named after its port
        const auto printer = Serve(where, c.profile, c.faults);
        const int32_t h = m_zk.OpenChannel(kZkPathQueue, c.port, c.channel);
        ASSERT_GT(h, 0);
        std::string reply;
        EXPECT_EQ(m_zk.Exchange(h, c.first, reply, 300), kZkTimeout);
        ASSERT_GT(m_zk.Exchange(h, c.second, reply, 5000), 0);
        EXPECT_NE(reply.find(c.secondReply), std::string::npos);
        ASSERT_GT(m_zk.Exchange(h, c.first, reply, 5000), 0);
        EXPECT_NE(reply.find(c.firstReply), std::string::npos);
        m_zk.CloseChannel(h);
    }
}

TEST_F(TransportVprinter, SnmpAnswerToTheRequestBeforeIsNotTakenForThisOne)
{
    // The reply to the request before comes instead, once at the third request and for good from
    // the second on. A request is sent a second time (its held-back answer then comes), never a
    // third, since its second answer may still be on its way.
    auto once = Serve("127.0.160.26", "colour-page", {"--stats", "--fault", "snmp:wrong,after=2,count=1"});
    auto always = Serve("127.0.160.27", "colour-page", {"--stats", "--fault", "snmp:wrong,after=1"});
    const std::string kObjectId = "1.3.6.1.2.1.1.2.0=" + std::string("\x2b\x06\x01\x04\x01\xa6\x31\x01\x01", 9);
    for (const char* address : {"127.0.160.26", "127.0.160.27"}) {
        SCOPED_TRACE(address);
        const int32_t h = m_zk.OpenChannel(kZkPathAddress, address, kZkChannelSNMP);
        ASSERT_GT(h, 0);
        std::string reply;
        ASSERT_GT(m_zk.Exchange(h, LibraryGet(kSysDescr), reply, 2000), 0);
        EXPECT_EQ(FirstBinding(reply), "1.3.6.1.2.1.1.1.0=Vintal Corvia CP-4500c 2.04 / Vintal Network Printer");
        ASSERT_GT(m_zk.Exchange(h, LibraryGet(kSysName), reply, 2000), 0);
        EXPECT_EQ(FirstBinding(reply), "1.3.6.1.2.1.1.5.0=CP4500C-2F");
        // sysName.0 lies after sysDescr.0 as this GetNext's answer would; request IDs are all 0.
        const int32_t r = m_zk.Exchange(h, LibraryGet(kSysDescr, zk::kPduGetNextRequest), reply, 500);
        if (std::string(address) == "127.0.160.26") {
            ASSERT_GT(r, 0);
            EXPECT_EQ(FirstBinding(reply), kObjectId);
            EXPECT_EQ(zk::ReadSnmpHeader(std::vector<uint8_t>(reply.begin(), reply.end()))->requestId, 0);
        } else {
            EXPECT_EQ(r, kZkTimeout) << FirstBinding(reply);
        }
        m_zk.CloseChannel(h);
    }
    once->Stop();
    always->Stop();
    EXPECT_EQ(ReadStats(once->Stderr()).snmp, 4) << "the third request is sent once more";
    EXPECT_EQ(ReadStats(always->Stderr()).snmp, 4) << "the second request is sent once more";
}

TEST_F(TransportVprinter, StatusWaitsAsLongAsTheLastReceiveOfTheChannel)
{
    AddQueue("Status", "IP_127.0.160.23");
    // Replies 1, 3 and 5 (the status replies) come 1.5 s late.
    const auto printer = Serve("127.0.160.23", "mono-page-opk",
                               {"--fault", "opk:late,count=1,delay=1500", "--fault", "opk:late,after=2,count=1,delay=1500",
                                "--fault", "opk:late,after=4,count=1,delay=1500"});
    const int32_t h = m_zk.OpenChannel(kZkPathQueue, "Status", kZkChannelOPK);
    ASSERT_GT(h, 0);
    int32_t size = 0;
    std::string reply;
    const std::string mdr = "@OPK MDR CM=\"0000050201010500\"\r\n";
    // Before any receive the wait is the default, far above 1.5 s.
    ASSERT_EQ(m_zk.GetStatus(h, nullptr, &size), kZkSizeQuery);
    std::string status(static_cast<size_t>(size), '\0');
    ASSERT_EQ(m_zk.GetStatus(h, status.data(), &size), size);
    EXPECT_EQ(status.substr(0, 10), "@BDC ST2\r\n");

    // After a receive of 300 ms the late status is not waited for ...
    ASSERT_GT(m_zk.Exchange(h, mdr, reply, 300), 0);
    EXPECT_EQ(m_zk.GetStatus(h, nullptr, &size), kZkNoStatus);
    // ... after one of 5 s it is, and the exchange before it got its own reply.
    ASSERT_GT(m_zk.Exchange(h, mdr, reply, 5000), 0);
    EXPECT_EQ(reply.substr(0, mdr.size()), mdr);
    EXPECT_EQ(m_zk.GetStatus(h, nullptr, &size), kZkSizeQuery);
    m_zk.CloseChannel(h);
}

TEST_F(TransportVprinter, SizeQueryAndReadAskThePrinterOnce)
{
    AddQueue("Counted", "IP_127.0.160.24");
    AddQueue("CountedInk", "USB002");
    auto network = Serve("127.0.160.24", "colour-page", {"--stats"});
    auto usb = Serve("USB002", "inkjet-usb-f14", {"--stats"});
    for (int round = 0; round < 2; ++round) {  // each pair asks anew
        for (const char* queue : {"Counted", "CountedInk"}) {
            std::string id;
            EXPECT_GT(m_zk.DeviceId(kZkPathQueue, queue, id), 0) << queue;
            std::vector<ZKChannelEntry> channels;
            EXPECT_GT(m_zk.Channels(kZkPathQueue, queue, channels), 0) << queue;
        }
    }
    network->Stop();
    usb->Stop();
    const Stats n = ReadStats(network->Stderr());
    EXPECT_EQ(n.snmp, 4) << "one device-ID and one agent question per pair";
    EXPECT_EQ(n.opk, 2) << "one port check per channel-list pair";
    EXPECT_EQ(ReadStats(usb->Stderr()).usb, 4) << "one control connection per pair";
}

TEST_F(TransportVprinter, SnmpReplyIsFetchedOnceAndCutLostOrDamagedOnesNeverDelivered)
{
    // Reply 2 is cut in half, reply 3 lost, and from 4 on one byte in eight is changed, so some
    // keep an intact header.
    const auto printer = Serve("127.0.160.25", "colour-page",
                               {"--fault", "snmp:truncated,after=1,count=1", "--fault", "snmp:lost,after=2,count=1",
                                "--fault", "snmp:garbled,after=3", "--seed", "7"});
    const int32_t h = m_zk.OpenChannel(kZkPathAddress, "127.0.160.25", kZkChannelSNMP);
    ASSERT_GT(h, 0);
    int32_t size = 0;
    EXPECT_EQ(m_zk.Receive(h, nullptr, &size, 100), kZkNoRequest);
    const std::string get = LibraryGet(kSysName);
    m_zk.Send(h, get.data(), static_cast<uint32_t>(get.size()));
    ASSERT_EQ(m_zk.Receive(h, nullptr, &size, 2000), kZkSizeQuery);
    std::string reply(static_cast<size_t>(size) - 1, '\0');
    int32_t smallSize = size - 1;
    EXPECT_EQ(m_zk.Receive(h, reply.data(), &smallSize, 2000), kZkSizeQuery);  // too small: the size again
    EXPECT_EQ(smallSize, size);
    reply.resize(static_cast<size_t>(size));
    EXPECT_EQ(m_zk.Receive(h, reply.data(), &size, 2000), size);
    EXPECT_EQ(FirstBinding(reply), "1.3.6.1.2.1.1.5.0=CP4500C-2F");
    EXPECT_EQ(m_zk.Receive(h, reply.data(), &size, 100), kZkNoRequest) << "delivered once";

    EXPECT_EQ(m_zk.Exchange(h, get, reply, 300), kZkBadReply);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_zk.Exchange(h, get, reply, 300), kZkTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(290));
    for (int i = 0; i < 30; ++i) {
        const int32_t r = m_zk.Exchange(h, get, reply, 150);
        if (r > 0) {
            EXPECT_NE(FirstBinding(reply), "") << "request " << i << " got a reply that does not read";
        } else {
            EXPECT_TRUE(r == kZkBadReply || r == kZkTimeout) << r;
        }
    }
    m_zk.CloseChannel(h);
}
