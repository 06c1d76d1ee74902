// The module against the virtual printer over loopback (127.0.160.x, USB sockets of a temporary
// prefix): what the library's own runs cannot see (a stale answer that looks right, how long a
// status waits, how often the printer is asked, what a caller may fetch of a reply, damaged
// replies never delivered).
#include "ZkModule.h"
#include "modules/transport/CSnmpCodec.h"

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

using TransportVprinter = TransportTest;

}  // namespace

// From the second request on the printer answers with the reply to the request before. This is
// also the one test that fails when vprinter's wrong-reply fault does nothing.
TEST_F(TransportVprinter, SnmpAnswerToTheRequestBeforeIsNotTakenForThisOne)
{
    auto printer = Serve({"127.0.160.27"}, "colour-page", {"--stats", "--fault", "snmp:wrong,after=1"});
    const int32_t h = m_zk.OpenChannel(kZkPathAddress, "127.0.160.27", kZkChannelSNMP);
    ASSERT_GT(h, 0);
    std::string reply;
    ASSERT_GT(m_zk.Exchange(h, LibraryGet(kSysDescr), reply, 2000), 0);
    // Sent a second time, the request gets its held-back answer.
    ASSERT_GT(m_zk.Exchange(h, LibraryGet(kSysName), reply, 2000), 0);
    EXPECT_EQ(FirstBinding(reply), "1.3.6.1.2.1.1.5.0=CP4500C-2F");
    // sysName.0 lies after sysDescr.0 as this GetNext's answer would, and request IDs are all 0;
    // the request is not sent a third time, since its second answer may still be on its way.
    EXPECT_EQ(m_zk.Exchange(h, LibraryGet(kSysDescr, zk::kPduGetNextRequest), reply, 500), kZkTimeout)
        << FirstBinding(reply);
    m_zk.CloseChannel(h);
    printer->Stop();
    EXPECT_EQ(ReadStats(printer->Stderr()).snmp, 4) << "the second request is sent once more";
}

TEST_F(TransportVprinter, StatusWaitsAsLongAsTheLastReceiveOfTheChannel)
{
    AddQueue("Status", "IP_127.0.160.23");
    // Replies 1, 3 and 5 (the status replies) come 1.5 s late.
    const auto printer = Serve({"127.0.160.23"}, "mono-page-opk",
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
    auto network = Serve({"127.0.160.24"}, "colour-page", {"--stats"});
    auto usb = Serve({"USB002"}, "inkjet-usb-f14", {"--stats"});
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

TEST_F(TransportVprinter, SnmpReplyIsFetchedOnceAndDamagedOnesNeverDelivered)
{
    // From reply 2 on one byte in eight is changed, so some keep an intact header.
    const auto printer = Serve({"127.0.160.25"}, "colour-page", {"--fault", "snmp:garbled,after=1", "--seed", "7"});
    const int32_t h = m_zk.OpenChannel(kZkPathAddress, "127.0.160.25", kZkChannelSNMP);
    ASSERT_GT(h, 0);
    int32_t size = 0;
    const std::string get = LibraryGet(kSysName);
    m_zk.Send(h, get.data(), static_cast<uint32_t>(get.size()));
    ASSERT_EQ(m_zk.Receive(h, nullptr, &size, 2000), kZkSizeQuery);
    std::string reply(static_cast<size_t>(size) - 1, '\0');
    int32_t smallSize = size - 1;
    EXPECT_EQ(m_zk.Receive(h, reply.data(), &smallSize, 2000), kZkSizeQuery);  // too small: the size again
    EXPECT_EQ(smallSize, size);
    reply.resize(static_cast<size_t>(size));
    EXPECT_EQ(m_zk.Receive(h, reply.data(), &size, 2000), size);
    EXPECT_EQ(m_zk.Receive(h, reply.data(), &size, 100), kZkNoRequest) << "delivered once";

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
