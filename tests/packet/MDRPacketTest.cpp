// CMDRPacket: the request command line, the echo and quote checks of the answer, its status
// codes, and the interpretation of identifier and value elements.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packet/CMDRPacket.h"

namespace {

std::string RequestText(const CMDRPacket& packet) {
    return std::string(reinterpret_cast<const char*>(packet.GetRequest()), packet.GetRequestLength());
}

std::string Hex(const std::vector<BYTE>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (BYTE b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    }
    return text;
}

// A command-0 packet asking for one identifier.
struct MdrFixture {
    CMDRPacket packet;
    MdrFixture() {
        packet.SetRequestType(0);
        int count = 1;
        EXPECT_EQ(packet.BuildRequest("2.1.43.8.2.1.2.1.1", count), 0);
    }
    // The echo, then the answer data in hexadecimal between quotes, then what follows.
    int Answer(const std::string& dataHex, const std::string& tail = "\r\n") {
        return Raw(RequestText(packet) + "\"" + dataHex + "\"" + tail);
    }
    int Raw(const std::string& reply) {
        return packet.Parse(reinterpret_cast<const BYTE*>(reply.data()), static_cast<int>(reply.size()));
    }
    // Value i as (key, integer) or (key, text); key "-" when it is not of that kind.
    std::pair<std::string, int32_t> Int(size_t i) {
        std::pair<std::string, int32_t> value{"-", 0};
        if (!packet.GetIntValue(i, value.first, value.second)) value.first = "-";
        return value;
    }
    std::pair<std::string, std::string> Text(size_t i) {
        std::pair<std::string, std::string> value{"-", ""};
        if (!packet.GetStringValue(i, value.first, value.second)) value.first = "-";
        return value;
    }
};

}  // namespace

TEST(MDRPacketRequest, EmptyRequestAndBatchesThatStopAfter110BytesOrAtRow127) {
    CMDRPacket packet;
    packet.SetRequestType(0);
    // Requests of whole batches are what vprinter decodes in every MDR walk of MIBQueries.
    int count = 0;
    ASSERT_EQ(packet.BuildRequest("2.1.43.8.2.1.2.1.1", count), 0);
    EXPECT_EQ(RequestText(packet), "@OPK MDR CM=\"00\"\r\n");

    // 16-byte elements: 14 bytes of identifier (13 arcs, 4913 takes 3 bytes).
    count = 10;
    ASSERT_EQ(packet.BuildRequest("4.1.4913.1.2.2.6.1.1.2.1.1", count), 0);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(packet.GetRequestLength(), 242);
    count = 3;
    ASSERT_EQ(packet.BuildRequest("4.1.126", count), 0);
    EXPECT_EQ(RequestText(packet), "@OPK MDR CM=\"00" + Hex({0x00, 0x03, 0x04, 0x01, 0x7E}) +
                                       Hex({0x00, 0x03, 0x04, 0x01, 0x7F}) + Hex({0x00, 0x03, 0x04, 0x01, 0x7F}) +
                                       "\"\r\n");
}

TEST(MDRPacketParse, EmptyValuesAddNothingAndValueBeforeIdentifierHasEmptyKey) {
    MdrFixture mdr;
    const std::string data = Hex({0x80, 0x00, 0x08, 0x01, 0x05, 0x00, 0x02, 0x04, 0x01, 0x14, 0x00, 0x14, 0x01, 'Z'});
    ASSERT_EQ(mdr.Answer(data), 0);
    ASSERT_EQ(mdr.packet.GetNamedValueCount(), 2u);
    EXPECT_EQ(mdr.Int(0), std::make_pair(std::string(""), 5));
    EXPECT_EQ(mdr.Text(1), std::make_pair(std::string("4.1"), std::string("Z")));
}

TEST(MDRPacketParse, StatusAnswerCodesEchoQuotesAndMalformedElements) {
    MdrFixture mdr;
    EXPECT_EQ(mdr.Answer("8000"), 0);
    EXPECT_EQ(mdr.packet.GetNamedValueCount(), 0u);
    EXPECT_EQ(mdr.Answer("8082"), PACKET_ERR_AGENT_ERROR);
    EXPECT_EQ(mdr.Answer("8081"), PACKET_ERR_MDR_STATUS);
    EXPECT_EQ(mdr.Answer("8100"), PACKET_ERR_MALFORMED);
    EXPECT_EQ(mdr.Answer("8001"), PACKET_ERR_MALFORMED);
    EXPECT_EQ(mdr.Answer("80"), PACKET_ERR_MALFORMED);
    EXPECT_EQ(mdr.Answer("80008"), 0);  // an odd last character is ignored

    // The echo and the quotes are checked before the data.
    const std::string request = RequestText(mdr.packet);
    EXPECT_EQ(mdr.packet.Parse(nullptr, 5), PACKET_ERR_NO_REPLY);
    EXPECT_EQ(mdr.Raw(request), PACKET_ERR_NOT_ECHOED);  // echo without an opening quote
    EXPECT_EQ(mdr.Raw(request + "\"8000"), PACKET_ERR_NOT_ECHOED);  // no closing quote
    EXPECT_EQ(mdr.Raw(request.substr(0, request.size() - 1)), PACKET_ERR_NOT_ECHOED);
    std::string changed = request;
    changed[20] = changed[20] == '0' ? '1' : '0';
    EXPECT_EQ(mdr.Raw(changed + "\"8000\""), PACKET_ERR_NOT_ECHOED);
    EXPECT_EQ(mdr.Raw(request + "\"8000\" trailing \" text"), 0);

    EXPECT_EQ(mdr.Answer(Hex({0x80, 0x00, 0x14, 0x05, 'A'})), PACKET_ERR_MALFORMED);  // runs past the end
    EXPECT_EQ(mdr.Answer(Hex({0x80, 0x00, 0x30, 0x00})), PACKET_ERR_MALFORMED);       // unknown tag
    // A tag the tokeniser takes but the answer may not hold (0x18, as 0x04 and 0x1C); a value
    // already stored stays until the next request is built.
    EXPECT_EQ(mdr.Answer(Hex({0x80, 0x00, 0x08, 0x01, 0x07, 0x18, 0x00})), PACKET_ERR_MALFORMED);
    EXPECT_EQ(mdr.packet.GetNamedValueCount(), 1u);
    int count = 1;
    ASSERT_EQ(mdr.packet.BuildRequest("4.1", count), 0);
    EXPECT_EQ(mdr.packet.GetNamedValueCount(), 0u);
}

TEST(MDRPacketParse, HexPairsAcceptBlanksSignsAndLowerCaseAndReadOtherCharactersAsZero) {
    MdrFixture mdr;
    ASSERT_EQ(mdr.Answer("80000801 8140161"), 0);
    EXPECT_EQ(mdr.Int(0).second, 8);
    EXPECT_EQ(mdr.Text(1).second, "a");
    const std::pair<const char*, int32_t> cases[] = {{"80000801-1", -1}, {"80000801zz", 0}};
    for (const auto& [answer, value] : cases) {
        MdrFixture fresh;
        ASSERT_EQ(fresh.Answer(answer), 0) << answer;
        EXPECT_EQ(fresh.Int(0), std::make_pair(std::string(""), value)) << answer;
    }
}
