// The module's own parsers: SNMP messages, job-language reply ends, addresses and search lists.
#include "FakePrinters.h"
#include "modules/transport/CJobLanguageFraming.h"
#include "modules/transport/CNetAddress.h"
#include "modules/transport/CSnmpCodec.h"

#include <gtest/gtest.h>

using namespace zk;
using zktest::Bytes;
using zktest::ToBytes;

namespace {

ReplyAssessment Assess(const std::string& text) { return AssessJobLanguageReply(ToBytes(text)); }

}  // namespace

// A GetResponse to request 42 from community "vintal": sysName.0 = "name".
const Bytes kResponse = {0x30, 0x2a, 0x02, 0x01, 0x00, 0x04, 0x06, 'v',  'i',  'n',  't',  'a',  'l',  0xa2, 0x1d,
                         0x02, 0x01, 0x2a, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x12, 0x30, 0x10, 0x06, 0x08,
                         0x2b, 0x06, 0x01, 0x02, 0x01, 0x01, 0x05, 0x00, 0x04, 0x04, 'n',  'a',  'm',  'e'};

TEST(SnmpCodec, RequestIdsOfAnyValueRoundTripAndARequestIsNoResponse)
{
    // Each side of where a byte more is needed for the sign, and the extremes.
    for (int32_t id : {0, 127, 128, -128, -129, INT32_MIN, INT32_MAX}) {
        const Bytes request = BuildSnmpRequest(kPduGetNextRequest, id, "vintal", {{1, 3, 6, 1}});
        const auto h = ReadSnmpHeader(request);
        ASSERT_TRUE(h) << id;
        EXPECT_EQ(h->requestId, id);
        EXPECT_FALSE(ParseSnmpResponse(request));
    }
}

TEST(SnmpCodec, EveryTruncationOrCorruptLengthIsRefused)
{
    ASSERT_TRUE(ParseSnmpResponse(kResponse));  // what a whole reply reads as is every live query's
    for (size_t n = 0; n < kResponse.size(); ++n)
        EXPECT_FALSE(ParseSnmpResponse(Bytes(kResponse.begin(), kResponse.begin() + n))) << "cut at " << n;
    Bytes huge = kResponse;
    huge[1] = 0x84;  // a 4-byte length field claiming far more than there is
    EXPECT_FALSE(ParseSnmpResponse(huge));
    EXPECT_FALSE(ReadSnmpHeader(huge));
    Bytes v2 = kResponse;
    v2[4] = 1;  // version 2c is not ours
    EXPECT_FALSE(ReadSnmpHeader(v2));
}

// A request read back and the answer that echoes it are what every live SNMP query needs.
TEST(SnmpCodec, ResponsesAreMatchedToWhatTheRequestAsked)
{
    const Oid name = {1, 3, 6, 1, 2, 1, 1, 5, 0};
    const Oid descr = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    const auto get = ParseSnmpRequest(BuildSnmpRequest(kPduGetRequest, 0, "vintal", {name, descr}));
    ASSERT_TRUE(get);
    EXPECT_FALSE(ParseSnmpRequest(kResponse));

    auto response = [](int32_t errorStatus, std::vector<Oid> oids) {
        SnmpResponse r;
        r.errorStatus = errorStatus;
        for (auto& oid : oids) r.bindings.push_back({std::move(oid), kBerOctetString, "v"});
        return r;
    };
    EXPECT_FALSE(ResponseAnswers(*get, response(0, {name})));
    EXPECT_TRUE(ResponseAnswers(*get, response(2, {name, descr})));   // noSuchName echoes the request
    EXPECT_TRUE(ResponseAnswers(*get, response(1, {})));              // tooBig without bindings

    // GetNext answers are checked by the live walks under vprinter's wrong replies (MIBFaults).
    EXPECT_TRUE(ResponseAnswers({kPduSetRequest, 0, {name}}, response(0, {descr})));  // not checked
}

TEST(JobLanguageFraming, MdrReplyEndsAtItsClosingQuote)
{
    const std::string echo = "@OPK MDR CM=\"0000\"\r\n";
    EXPECT_EQ(Assess("@OPK M").state, ReplyState::Incomplete);
    EXPECT_EQ(Assess(echo).state, ReplyState::Incomplete);
    EXPECT_EQ(Assess(echo + "\"8000").state, ReplyState::Incomplete);
    const auto whole = Assess(echo + "\"8000\"\r\nSTALE");
    EXPECT_EQ(whole.state, ReplyState::Complete);
    EXPECT_EQ(whole.length, echo.size() + 8);
    // An echo without the opening quote has no layout to wait for.
    EXPECT_EQ(Assess(echo + "X").state, ReplyState::Unknown);
}

// A PI frame: "@BDC PI\r\n", the count of the bytes after it (LSB first), those bytes.
std::string PiFrame(const std::string& body)
{
    return "@BDC PI\r\n" + std::string{static_cast<char>(body.size() & 0xFF), static_cast<char>(body.size() >> 8)} +
           body;
}

// Data may hold the separator and run past 255 bytes: only the count decides.
TEST(JobLanguageFraming, PiRepliesEndWhereTheirCountSays)
{
    const std::string page = PiFrame("PI:\x80:DT:ab;cd" + std::string(300, ';') + ";");
    EXPECT_EQ(Assess(page.substr(0, 10)).state, ReplyState::Incomplete);  // the count itself is cut
    EXPECT_EQ(Assess(page.substr(0, page.size() - 1)).state, ReplyState::Incomplete);
    const auto whole = Assess(page + "@BDC PI\r\nNEXT");
    EXPECT_EQ(whole.state, ReplyState::Complete);
    EXPECT_EQ(whole.length, page.size());
}

TEST(JobLanguageFraming, StatusAndLinesAndStrangers)
{
    const std::string status = "@BDC ST2\r\n" + std::string("\x03\0", 2) + "abc";
    EXPECT_EQ(Assess(status.substr(0, 14)).state, ReplyState::Incomplete);
    EXPECT_EQ(Assess(status).length, status.size());
    EXPECT_EQ(Assess("hello").state, ReplyState::Unknown);
    EXPECT_EQ(AssessLineReply(ToBytes("MDL:X;")).state, ReplyState::Incomplete);
    EXPECT_EQ(AssessLineReply(ToBytes("MDL:X;\r\n")).length, 6u);
}

// The first address past loopback and a subnet of more hosts than a search may ask are refused
// through the module's own calls (TransportQueues, TransportDiscovery).
TEST(NetAddress, ParsingIsStrictOnlyLoopbackIsPermittedAndRangesAreBounded)
{
    for (const char* bad : {"", "127.0.1", "127.0.1.2.3", "127.0.1.256", "127.0.01.2x", " 127.0.0.1", "1270.0.0.1"})
        EXPECT_FALSE(ParseIPv4(bad)) << bad;
    EXPECT_TRUE(IsPermittedAddress(*ParseIPv4("127.255.0.1")));
    EXPECT_FALSE(IsPermittedAddress(*ParseIPv4("126.255.255.255")));

    const auto c = SubnetHosts(*ParseIPv4("127.0.9.77"), 0xFFFFFF00, 1000);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->size(), 254u);
    EXPECT_EQ(c->front(), *ParseIPv4("127.0.9.1"));
    EXPECT_EQ(SubnetHosts(*ParseIPv4("127.0.9.9"), 0xFFFFFFFF, 10)->size(), 1u);
    EXPECT_FALSE(SubnetHosts(*ParseIPv4("127.0.9.0"), 0xFFFF00FF, 100000));  // not contiguous
    EXPECT_EQ(RangeHosts(*ParseIPv4("127.0.9.5"), *ParseIPv4("127.0.9.1"), 10)->size(), 5u);
    EXPECT_FALSE(RangeHosts(0x7F000000, 0x7FFFFFFF, 65536));
}
