// CSNMPPacket single Get: requests checked by net-snmp's decoder, responses built by net-snmp's
// encoder, and the header and tokeniser failures.
#include <gtest/gtest.h>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <string>
#include <vector>

#include "NetSnmpPeer.h"
#include "PlainResults.h"
#include "packet/CSNMPPacket.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::vector<uint32_t> kSysLocation = {1, 3, 6, 1, 2, 1, 1, 6, 0};

Bytes RequestOf(const CPacket& packet) {
    return Bytes(packet.GetRequest(), packet.GetRequest() + packet.GetRequestLength());
}

// A Get packet for sysLocation, ready to parse its response.
struct GetFixture {
    CSNMPPacket packet;
    GetFixture() {
        packet.SetRequestType(PDU_GET_REQUEST);
        EXPECT_EQ(packet.BuildGet("2.1.1.6.0"), 0);
    }
    int Parse(const Bytes& reply) { return packet.Parse(reply.data(), static_cast<int>(reply.size())); }
    int Answer(PeerValue value, long errorStatus = 0, long errorIndex = 0) {
        PeerResponse response;
        response.errorStatus = errorStatus;
        response.errorIndex = errorIndex;
        response.bindings.push_back({kSysLocation, std::move(value)});
        const Bytes reply = PeerEncode(response);
        EXPECT_FALSE(reply.empty());
        return Parse(reply);
    }
};

}  // namespace

TEST(SNMPPacketGet, RequestsDecodeWithNetSnmpIncludingLongIdentifiers) {
    std::string longText = "4.1.4913";
    for (int i = 0; i < 100; ++i) longText += "." + std::to_string(100000 + i);
    for (const std::string& text : {std::string("2.1.1.6.0"), std::string("2.1.43.8.2.1.2.1.1"), longText}) {
        CSNMPPacket packet;
        packet.SetRequestType(PDU_GET_REQUEST);
        ASSERT_EQ(packet.BuildGet(text), 0);
        const PeerMessage message = PeerDecode(RequestOf(packet));
        ASSERT_TRUE(message.ok) << text;
        EXPECT_EQ(message.version, SNMP_VERSION_1);
        EXPECT_EQ(message.community, "vintal");
        EXPECT_EQ(message.command, SNMP_MSG_GET);
        EXPECT_EQ(message.requestId, 0);
        ASSERT_EQ(message.bindings.size(), 1u);
        EXPECT_EQ(message.bindings[0].oid, PeerOidFromText("1.3.6.1." + text));
        EXPECT_EQ(message.bindings[0].type, ASN_NULL);
    }
    CSNMPPacket getNext;
    EXPECT_EQ(getNext.BuildGet("2.1.1.6.0"), PACKET_ERR_BUILD);
    EXPECT_EQ(getNext.GetRequestLength(), 0);
}

TEST(SNMPPacketGet, StringValueIsKeptUnderReplyTextAndReadBackBySize) {
    GetFixture get;
    ASSERT_EQ(get.Answer(PeerString("Room 7, floor 2")), 0);
    EXPECT_EQ(PlainList(get.packet.GetStringResults(), "2.1.1.6.0"), std::vector<std::string>{"Room 7, floor 2"});
    ASSERT_EQ(get.packet.GetValueResults().at("2.1.1.6.0").size(), 1u);

    DWORD size = 0;
    EXPECT_EQ(get.packet.GetValue(std::string("2.1.1.6.0"), nullptr, &size), 0);
    EXPECT_EQ(size, 15u);
    std::vector<BYTE> buffer(size);
    ASSERT_EQ(get.packet.GetValue(std::string("2.1.1.6.0"), buffer.data(), &size), 1);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "Room 7, floor 2");
    DWORD small = 3;
    EXPECT_EQ(get.packet.GetValue(std::string("2.1.1.6.0"), buffer.data(), &small), 0);
    EXPECT_EQ(small, 15u);
    EXPECT_EQ(get.packet.GetValue(std::string("2.1.1.5.0"), nullptr, &size), 0);
}

// Results of one key are replaced, not appended to, by a later response; a text longer than the
// packet's first arena block and a string result still readable after Reset.
TEST(SNMPPacketGet, LaterResponseReplacesTheKeyAndStringsOutliveReset) {
    GetFixture get;
    const std::string longText(6000, 'x');
    ASSERT_EQ(get.Answer(PeerString("first")), 0);
    ASSERT_EQ(get.Answer(PeerString(longText)), 0);
    EXPECT_EQ(PlainList(get.packet.GetStringResults(), "2.1.1.6.0"), std::vector<std::string>{longText});
    ASSERT_EQ(get.Answer(PeerInt(7)), 0);
    EXPECT_EQ(PlainList(get.packet.GetIntegerResults(), "2.1.1.6.0"), std::vector<int32_t>{7});
    ASSERT_EQ(get.packet.GetValueResults().at("2.1.1.6.0").size(), 1u);
    BYTE byte = 0;
    DWORD size = 1;
    ASSERT_EQ(get.packet.GetValue(std::string("2.1.1.6.0"), &byte, &size), 1);
    EXPECT_EQ(byte, 7);
    get.packet.Reset();
    EXPECT_TRUE(get.packet.GetValueResults().empty());
    EXPECT_EQ(PlainList(get.packet.GetStringResults(), "2.1.1.6.0"), std::vector<std::string>{longText});
}

TEST(SNMPPacketGet, IntegersOfEveryWidthAndNullAsNoObject) {
    const std::vector<std::pair<long, int32_t>> cases = {
        {0, 0}, {-1, -1}, {127, 127}, {128, 128}, {65535, 65535}, {2147483647, 2147483647}, {-2147483647 - 1, INT32_MIN}};
    for (const auto& [sent, expected] : cases) {
        GetFixture get;
        ASSERT_EQ(get.Answer(PeerInt(sent)), 0) << sent;
        EXPECT_EQ(PlainList(get.packet.GetIntegerResults(), "2.1.1.6.0"), std::vector<int32_t>{expected}) << sent;
    }
    GetFixture get;
    ASSERT_EQ(get.Answer(PeerNull()), 0);
    ASSERT_EQ(get.packet.GetValueResults().at("2.1.1.6.0").size(), 1u);
    EXPECT_EQ(get.packet.GetValueResults().at("2.1.1.6.0").front(), nullptr);
    DWORD size = 99;
    EXPECT_EQ(get.packet.GetValue(std::string("2.1.1.6.0"), nullptr, &size), 0);
    EXPECT_EQ(size, 99u);
}

TEST(SNMPPacketGet, ValueKindsOutsideIntegerStringNullAreRefused) {
    GetFixture get;
    PeerValue opaque;
    opaque.type = ASN_OPAQUE;
    opaque.bytes = {0x9F, 0x78, 0x04, 0x3F, 0x80, 0x00, 0x00};
    // Application types are tokenised, and a Get takes no value of theirs.
    for (const PeerValue& value : {PeerString(""), PeerOid({1, 3, 6, 1, 4, 1, 4913}), PeerTyped(ASN_COUNTER, 5),
                                   PeerTyped(ASN_TIMETICKS, 5), PeerIpAddress(), opaque})
        EXPECT_EQ(get.Answer(value), PACKET_ERR_STRUCTURE) << int(value.type);
    EXPECT_TRUE(get.packet.GetStringResults().empty());
    EXPECT_TRUE(get.packet.GetIntegerResults().empty());
}

TEST(SNMPPacketGet, ErrorStatusAndIndexFromNetSnmp) {
    GetFixture get;
    EXPECT_EQ(get.Answer(PeerNull(), SNMP_ERR_TOOBIG, 0), PACKET_ERR_STRUCTURE);
    EXPECT_EQ(get.Answer(PeerNull(), SNMP_ERR_NOSUCHNAME, 1), PACKET_ERR_AGENT_ERROR);
    EXPECT_EQ(get.packet.GetErrorIndex(), 1u);
    EXPECT_EQ(get.Answer(PeerNull(), SNMP_ERR_GENERR, 1), PACKET_ERR_STRUCTURE);
    EXPECT_EQ(get.Answer(PeerString("x"), SNMP_ERR_NOSUCHNAME, 0), 0);
}

TEST(SNMPPacketGet, MalformedBytesGiveTheirCodes) {
    GetFixture get;
    EXPECT_EQ(get.packet.Parse(nullptr, 10), PACKET_ERR_MALFORMED);
    const BYTE none = 0;
    EXPECT_EQ(get.packet.Parse(&none, 0), PACKET_ERR_STRUCTURE);
    EXPECT_EQ(get.packet.Parse(&none, -1), PACKET_ERR_MALFORMED);
    // A length byte 0x80 announces 128 contents bytes.
    EXPECT_EQ(get.Parse({0x02, 0x80, 0x01}), PACKET_ERR_MALFORMED);
    EXPECT_EQ(get.Parse({0x30, 0x03, 0x02, 0x05, 0x00}), PACKET_ERR_MALFORMED);  // runs past the end
    EXPECT_EQ(get.Parse({0x30, 0x03, 0x48, 0x01, 0x00}), PACKET_ERR_MALFORMED);  // unknown tag
    EXPECT_EQ(get.Parse({0x30, 0x02, 0x82, 0x00}), PACKET_ERR_MALFORMED);  // endOfMibView: no version-1 tag
    EXPECT_EQ(get.Parse({0x30, 0x03, 0x46, 0x01, 0x00}), PACKET_ERR_STRUCTURE);  // Counter64, then the header ends
    EXPECT_EQ(get.Parse({0x30, 0x03, 0x02, 0x01, 0x00}), PACKET_ERR_STRUCTURE);  // header ends
    EXPECT_EQ(get.Parse({0x30}), PACKET_ERR_MALFORMED);                          // no length field
    // Error-status without contents: refused rather than read past its element.
    Bytes reply = {0x30, 0x14, 0x02, 0x01, 0x00, 0x04, 0x01, 'v', 0xA2, 0x0C, 0x02, 0x01,
                   0x00, 0x02, 0x00, 0x02, 0x01, 0x00, 0x30, 0x00};
    EXPECT_EQ(get.Parse(reply), PACKET_ERR_STRUCTURE);
}

TEST(SNMPPacketGet, ResponseWithoutBindingOrWithWrongBindingShapeIsStructureError) {
    GetFixture get;
    PeerResponse empty;
    EXPECT_EQ(get.Parse(PeerEncode(empty)), PACKET_ERR_STRUCTURE);
    // Binding header followed by a value where the identifier belongs.
    Bytes reply = {0x30, 0x1A, 0x02, 0x01, 0x00, 0x04, 0x06, 'v', 'i', 'n', 't', 'a', 'l', 0xA2, 0x0D,
                   0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x04, 0x30, 0x02, 0x05, 0x00};
    reply[1] = static_cast<BYTE>(reply.size() - 2);
    EXPECT_EQ(get.Parse(reply), PACKET_ERR_STRUCTURE);
}
