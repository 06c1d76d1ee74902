// The module's channels over loopback sockets, against printers whose faults the tests decide:
// replies in pieces or without a layout, hostile frames, and every argument and handle fault.
#include "FakePrinters.h"
#include "ZkModule.h"
#include "modules/transport/CNetAddress.h"
#include "modules/transport/CSnmpCodec.h"

#include <chrono>

using namespace zktest;
using Ms = std::chrono::milliseconds;

namespace {

class TransportQueues : public TransportTest {
protected:
    void SetUp() override
    {
        TransportTest::SetUp();
        for (const auto& [queue, port] : {std::pair{"OpkQueue", "IP_127.0.155.20"}, {"BareQueue", "127.0.155.21"},
                                          {"UsbQueue", "USB001"}, {"GoneQueue", "USB009"}})
            AddQueue(queue, port);
    }
};

Bytes Request(int32_t id) { return zk::BuildSnmpRequest(zk::kPduGetRequest, id, "vintal", {{1, 3, 6, 1, 2, 1, 1, 5, 0}}); }

}  // namespace

TEST_F(TransportQueues, UnknownQueuesAndAbsentPrintersFailFast)
{
    std::string id;  // an unknown queue's failure is BPConnection's
    EXPECT_EQ(m_zk.DeviceId(kZkPathQueue, "GoneQueue", id), kZkUnreachable);
    EXPECT_EQ(m_zk.OpenChannel(kZkPathQueue, "GoneQueue", kZkChannelD4), kZkUnreachable);
    std::vector<ZKChannelEntry> channels;
    EXPECT_EQ(m_zk.Channels(kZkPathQueue, "OpkQueue", channels), kZkUnreachable);  // nothing listens

    // SNMP to an address without an agent ends at the port-unreachable notice, not the time-out.
    const int32_t h = m_zk.OpenChannel(kZkPathAddress, "127.0.155.3", kZkChannelSNMP);
    ASSERT_GT(h, 0);
    const Bytes r = Request(9);
    m_zk.Send(h, r.data(), r.size());
    std::string reply;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_zk.ReceiveWhole(h, reply, 5000), kZkUnreachable);
    EXPECT_LT(std::chrono::steady_clock::now() - start, Ms(4000));
    m_zk.CloseChannel(h);
}

TEST_F(TransportQueues, BadArgumentsAndStaleHandlesAreRefused)
{
    int32_t size = 0;
    const std::string tooLong(kZkMaxNameLength + 1, 'q');
    const std::string outside = zk::FormatIPv4(zk::kLoopbackNetwork + 0x01000001);  // first address past 127/8
    EXPECT_EQ(m_zk.GetDeviceID(kZkPathAddress, nullptr, nullptr, &size), kZkBadArgument);
    EXPECT_EQ(m_zk.GetDeviceID(kZkPathAddress, "127.0.155.4", nullptr, nullptr), kZkBadArgument);
    EXPECT_EQ(m_zk.GetDeviceID(kZkPathQueue, tooLong.c_str(), nullptr, &size), kZkBadArgument);
    EXPECT_EQ(m_zk.GetDeviceID(7, "127.0.155.4", nullptr, &size), kZkBadArgument);
    EXPECT_EQ(m_zk.GetDeviceID(kZkPathAddress, "127.0.155", nullptr, &size), kZkBadArgument);
    EXPECT_EQ(m_zk.GetDeviceID(kZkPathAddress, outside.c_str(), nullptr, &size), kZkNotAllowed);
    EXPECT_EQ(m_zk.OpenChannel(kZkPathAddress, "127.0.155.4", 0x1234), kZkBadArgument);

    const int32_t h = m_zk.OpenChannel(kZkPathAddress, "127.0.155.5", kZkChannelSNMP);
    ASSERT_GT(h, 0);
    const Bytes r = Request(1);
    EXPECT_EQ(m_zk.Send(h, nullptr, 4), kZkBadArgument);
    EXPECT_EQ(m_zk.Send(h, "junk", 4), kZkBadArgument);  // not an SNMP message
    EXPECT_EQ(m_zk.CloseChannel(h), kZkOk);
    EXPECT_EQ(m_zk.CloseChannel(h), kZkBadHandle);
    EXPECT_EQ(m_zk.Send(h, r.data(), r.size()), kZkBadHandle);
    EXPECT_EQ(m_zk.Receive(h, nullptr, &size, 10), kZkBadHandle);
    EXPECT_EQ(m_zk.GetStatus(h, nullptr, &size), kZkBadHandle);

    // After the last release nothing works until the next initialisation.
    m_zk.Release();
    EXPECT_EQ(m_zk.OpenChannel(kZkPathAddress, "127.0.155.4", kZkChannelSNMP), kZkNotInitialized);
    EXPECT_EQ(m_zk.Release(), kZkNotInitialized);
    m_zk.Initialize();
}

// A printer without an SNMP agent offering OPK on 9100 is BPConnection's Mono printer.
TEST_F(TransportQueues, JobLanguageRepliesAreDeliveredWholeAndOnlyAStatusCountsAsOne)
{
    const std::string echo = "@OPK MDR CM=\"00\"\r\n";
    const auto port = FakeJobLanguagePort("127.0.155.21", [&](const Bytes& req) -> StreamAnswer {
        const std::string text(req.begin(), req.end());
        if (text == echo) return {{{ToBytes(echo + "\"80")}, {ToBytes("00\"\r\n"), 150}}};  // in two pieces
        if (text == "odd\r\n") return {{{ToBytes("no layout")}, {ToBytes(" at all"), 50}}};
        if (text == "@OPK ST2\r\n") return {{{ToBytes("busy")}}};
        return {{}, true};  // anything else: the printer goes away
    });
    EXPECT_EQ(m_zk.OpenChannel(kZkPathQueue, "BareQueue", kZkChannelD4), kZkNoChannel);
    const int32_t h = m_zk.OpenChannel(kZkPathQueue, "BareQueue", kZkChannelOPK);
    ASSERT_GT(h, 0);
    std::string reply;
    ASSERT_GT(m_zk.Exchange(h, echo, reply, 3000), 0);
    EXPECT_EQ(reply, echo + "\"8000\"\r\n");

    ASSERT_GT(m_zk.Exchange(h, "odd\r\n", reply, 3000), 0);  // no known layout: ends after a quiet gap
    EXPECT_EQ(reply, "no layout at all");
    int32_t size = 0;
    EXPECT_EQ(m_zk.GetStatus(h, nullptr, &size), kZkNoStatus);  // an answer, but no status

    EXPECT_EQ(m_zk.Exchange(h, "bye\r\n", reply, 3000), kZkConnectionLost);  // the printer vanishes
    EXPECT_EQ(m_zk.Send(h, "again", 5), kZkConnectionLost);
    m_zk.CloseChannel(h);
}

// The device's channels in its order and D4 and TVD4 exchanges are what MediaLive opens and reads
// its ink-jets over; here a frame length no reply may have.
TEST_F(TransportQueues, UsbFrameOfImpossibleLengthFailsAndTheNextRequestGoesOutAnew)
{
    const auto answer = [](uint8_t selector, const Bytes& req) -> std::vector<Datagram> {
        const std::string text(req.begin(), req.end());
        if (text == "huge") return {{Bytes{0xEE, selector, 0xFF, 0xFF, 0xFF, 0x7F}}};
        return {{ToBytes("re:" + text)}};
    };
    const auto device = FakeUsbDevice(vplat::UsbFolder() + "/USB001.sock", {2, 1}, answer);
    EXPECT_EQ(m_zk.OpenChannel(kZkPathQueue, "UsbQueue", kZkChannelSNMP), kZkNoChannel);
    const int32_t d4 = m_zk.OpenChannel(kZkPathQueue, "UsbQueue", kZkChannelD4);
    ASSERT_GT(d4, 0);
    std::string reply;
    EXPECT_EQ(m_zk.Exchange(d4, "huge", reply, 2000), kZkBadReply);
    // The stream lost its place: the next request goes out on a new connection.
    ASSERT_GT(m_zk.Exchange(d4, "x", reply, 2000), 0);
    EXPECT_EQ(reply, "re:x");
    m_zk.CloseChannel(d4);
}
