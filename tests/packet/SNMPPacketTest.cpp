// CSNMPPacket against net-snmp as a version-1 agent: what the live walks cannot reach (batching
// bounds, holes, MIB ends, hostile agents) and the Get reply's values and malformed forms.
#include <gtest/gtest.h>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "NetSnmpPeer.h"
#include "packet/CSNMPPacket.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Transport = std::function<Bytes(const Bytes&)>;
using Strings = std::vector<std::string>;
using Ints = std::vector<int32_t>;

Bytes RequestOf(const CPacket& packet) {
    return Bytes(packet.GetRequest(), packet.GetRequest() + packet.GetRequestLength());
}

constexpr int kExchangeLimit = 1000;  // far above any walk here; a walk reaching it never ends

struct WalkRun {
    int result = 0;
    int exchanges = 0;
    std::vector<PeerMessage> requests;
};

// Runs the walk the way the query layer does: build, send, receive, parse, until done.
WalkRun RunWalk(CSNMPPacket& packet, const Transport& transport) {
    WalkRun run;
    while (!packet.IsDone() && run.exchanges < kExchangeLimit) {
        run.result = packet.BuildGetNext();
        if (run.result != 0) break;
        const Bytes request = RequestOf(packet);
        run.requests.push_back(PeerDecode(request));
        const Bytes reply = transport(request);
        ++run.exchanges;
        run.result = packet.Parse(reply.data(), static_cast<int>(reply.size()));
        if (run.result != 0) break;
    }
    return run;
}

// Fills rows of a column (full text of the column without its row arc).
void AddStrings(PeerAgent& agent, const std::string& column, const std::vector<int>& rows) {
    for (int row : rows) agent.Set(column + "." + std::to_string(row), PeerString("row " + std::to_string(row)));
}
void AddIntegers(PeerAgent& agent, const std::string& column, const std::vector<int>& rows) {
    for (int row : rows) agent.Set(column + "." + std::to_string(row), PeerInt(row * 10));
}

std::vector<int> Range(int first, int last) {
    std::vector<int> rows;
    for (int i = first; i <= last; ++i) rows.push_back(i);
    return rows;
}

// A result list as a plain vector; a missing key fails the test.
template <typename Plain, typename T>
std::vector<Plain> ListOf(const PacketResults<T>& results, std::string_view key) {
    std::vector<Plain> list;
    const auto it = results.find(key);
    if (it == results.end())
        ADD_FAILURE() << "no result under " << key;
    else
        list.assign(it->second.begin(), it->second.end());
    return list;
}
Strings StringsOf(const CSNMPPacket& packet, const std::string& key) {
    return ListOf<std::string>(packet.GetStringResults(), key);
}
Ints IntsOf(const CSNMPPacket& packet, const std::string& key) { return ListOf<int32_t>(packet.GetIntegerResults(), key); }

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
        response.bindings.push_back({PeerOidFromText("1.3.6.1.2.1.1.6.0"), std::move(value)});
        const Bytes reply = PeerEncode(response);
        EXPECT_FALSE(reply.empty());
        return Parse(reply);
    }
};

const std::string kNames = "2.1.43.8.2.1.13.1.1";  // a text column, walked from row 1
const std::string kNamesFull = "1.3.6.1.2.1.43.8.2.1.13.1";

}  // namespace

TEST(SNMPWalk, HoleLeavesOneEmptyStringInATextColumnNoneInAnIntegerOneAndAnEmptyColumnEnds) {
    PeerAgent agent;
    AddStrings(agent, kNamesFull, {1, 2, 4});
    AddIntegers(agent, "1.3.6.1.2.1.43.8.2.1.14.1", {1, 2, 4});
    agent.Set("1.3.6.1.2.1.43.8.2.1.15.1.1", PeerInt(0));
    CSNMPPacket text;
    text.SetWalkList({{kNames, 3}});
    WalkRun run = RunWalk(text, agent);
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.exchanges, 2);
    EXPECT_EQ(StringsOf(text, kNames), (Strings{"row 1", "row 2", "", "row 4"}));

    CSNMPPacket numbers;
    numbers.SetWalkList({{"2.1.43.8.2.1.14.1.1", 3}});
    ASSERT_EQ(RunWalk(numbers, agent).result, 0);
    EXPECT_EQ(IntsOf(numbers, "2.1.43.8.2.1.14.1.1"), (Ints{10, 20, 40, 40}));

    // A column without rows, the next column's first row after it, ends in one exchange (one at
    // the end of the MIB: MIBQueries.ColumnsAtTheEndOfTheMib... in tests/bidi).
    CSNMPPacket empty;
    empty.SetWalkList({{"2.1.43.8.2.1.12.1.1", 15}});
    run = RunWalk(empty, agent);
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.exchanges, 1);
    EXPECT_TRUE(IntsOf(empty, "2.1.43.8.2.1.12.1.1").empty());  // no rows: an empty integer list
}

TEST(SNMPWalk, ColumnsShareRequestsUpTo24RowsAndWaitingColumnsStartWhenOneFinishes) {
    PeerAgent agent;
    AddIntegers(agent, "1.3.6.1.2.1.43.8.2.1.9.1", Range(1, 3));
    AddIntegers(agent, "1.3.6.1.2.1.43.8.2.1.10.1", Range(1, 25));
    AddStrings(agent, kNamesFull, Range(1, 12));
    agent.Set("1.3.6.1.2.1.43.9.1.1.1", PeerInt(0));
    CSNMPPacket packet;
    packet.SetWalkList({{"2.1.43.8.2.1.9.1.1", 10}, {"2.1.43.8.2.1.10.1.1", 10}, {kNames, 10}});
    const WalkRun run = RunWalk(packet, agent);
    ASSERT_EQ(run.result, 0);
    ASSERT_TRUE(packet.IsDone());
    ASSERT_GE(run.requests.size(), 2u);
    EXPECT_EQ(run.requests[0].bindings.size(), 20u);
    EXPECT_EQ(run.requests[0].bindings[10].oid, PeerOidFromText("1.3.6.1.2.1.43.8.2.1.10.1"));
    // The third column starts in the second request, after the first column has finished.
    EXPECT_EQ(run.requests[1].bindings[10].oid, PeerOidFromText(kNamesFull));
    EXPECT_EQ(IntsOf(packet, "2.1.43.8.2.1.9.1.1"), (Ints{10, 20, 30}));
    Ints expected;
    for (int row : Range(1, 25)) expected.push_back(row * 10);
    EXPECT_EQ(IntsOf(packet, "2.1.43.8.2.1.10.1.1"), expected);
    EXPECT_EQ(StringsOf(packet, kNames).size(), 12u);
    EXPECT_EQ(StringsOf(packet, kNames).back(), "row 12");
}

TEST(SNMPWalk, BindingsBeyond540BytesMoveToLaterRequestsWithoutMixingColumns) {
    // Long column identifiers: each binding is about 250 bytes, so a request carries three.
    std::string prefix = "4.1.4913";
    for (int i = 0; i < 48; ++i) prefix += ".100000";
    PeerAgent agent;
    AddStrings(agent, "1.3.6.1." + prefix + ".1", Range(1, 5));
    AddIntegers(agent, "1.3.6.1." + prefix + ".2", Range(1, 3));
    AddStrings(agent, "1.3.6.1." + prefix + ".3", Range(1, 4));
    agent.Set("1.3.6.1.4.1.4914.1", PeerInt(0));
    CSNMPPacket packet;
    packet.SetWalkList({{prefix + ".1.1", 2}, {prefix + ".2.1", 2}, {prefix + ".3.1", 2}});
    const WalkRun run = RunWalk(packet, agent);
    ASSERT_EQ(run.result, 0);
    ASSERT_TRUE(packet.IsDone());
    EXPECT_LT(run.requests[0].bindings.size(), 6u);
    EXPECT_EQ(StringsOf(packet, prefix + ".1.1"), (Strings{"row 1", "row 2", "row 3", "row 4", "row 5"}));
    EXPECT_EQ(IntsOf(packet, prefix + ".2.1"), (Ints{10, 20, 30}));
    EXPECT_EQ(StringsOf(packet, prefix + ".3.1"), (Strings{"row 1", "row 2", "row 3", "row 4"}));
}

TEST(SNMPWalkMibEnd, ColumnLastInTheMibIsReadWholeWhicheverBindingMeetsTheEnd) {
    // Rows per request -> exchanges. The GetNext of row 3 is refused: as the first binding of its
    // request (1 row per request), or as a later one, when the bindings before it in the same
    // request are asked again: in a started column (2) or one whose parent was asked first (4).
    const std::vector<std::pair<int, int>> cases = {{1, 4}, {2, 3}, {4, 2}};
    for (const auto& [rows, exchanges] : cases) {
        PeerAgent agent;
        agent.Set("1.3.6.1.2.1.1.6.0", PeerString("before"));
        AddStrings(agent, "1.3.6.1.4.1.4913.1.2.2.7.1.1.2.1", {1, 2, 3});
        CSNMPPacket packet;
        packet.SetWalkList({{"4.1.4913.1.2.2.7.1.1.2.1.1", rows}});
        const WalkRun run = RunWalk(packet, agent);
        ASSERT_EQ(run.result, 0) << rows;
        EXPECT_TRUE(packet.IsDone()) << rows;
        EXPECT_EQ(run.exchanges, exchanges) << rows;
        EXPECT_EQ(StringsOf(packet, "4.1.4913.1.2.2.7.1.1.2.1.1"), (Strings{"row 1", "row 2", "row 3"})) << rows;
    }
}

TEST(SNMPWalkMibEnd, ErrorIndexNamingNoBindingStillFailsTheWalk) {
    // Two bindings asked; each reply refuses with noSuchName and this error-index contents: past
    // the bindings, longer than four bytes (a negative one is refused by the same check).
    const std::vector<Bytes> refused = {{0x03}, {0x01, 0x00, 0x00, 0x00, 0x01}};
    for (const Bytes& index : refused) {
        PeerResponse response;
        response.errorStatus = SNMP_ERR_NOSUCHNAME;
        response.errorIndex = 0x5A;  // one contents byte, replaced below
        response.bindings.push_back({PeerOidFromText(kNamesFull), PeerNull()});
        response.bindings.push_back({PeerOidFromText(kNamesFull + ".1"), PeerNull()});
        Bytes reply = PeerEncode(response);
        // The error-index element 02 01 5A follows the error-status 02 01 02; the enclosing
        // lengths (message, PDU) grow by what the index gains.
        const Bytes pattern = {0x02, 0x01, 0x02, 0x02, 0x01, 0x5A};
        const auto at = std::search(reply.begin(), reply.end(), pattern.begin(), pattern.end());
        ASSERT_NE(at, reply.end());
        const auto length = at + 4;
        *length = static_cast<uint8_t>(index.size());
        reply.insert(reply.erase(length + 1), index.begin(), index.end());
        ASSERT_EQ(reply[13], 0xA2);
        reply[1] = static_cast<uint8_t>(reply[1] + index.size() - 1);
        reply[14] = static_cast<uint8_t>(reply[14] + index.size() - 1);
        ASSERT_TRUE(PeerDecode(reply).ok) << index.size();  // still a well-formed message

        CSNMPPacket packet;
        packet.SetWalkList({{kNames, 2}});
        ASSERT_EQ(packet.BuildGetNext(), 0);
        EXPECT_EQ(packet.Parse(reply.data(), static_cast<int>(reply.size())), PACKET_ERR_AGENT_ERROR) << index.size();
        EXPECT_FALSE(packet.IsDone());
    }
}

TEST(SNMPWalkMibEnd, AgentsThatRefuseEveryRequestOrNeverLeaveTheColumnCannotKeepTheWalkGoing) {
    // Refuses every request with noSuchName, naming its first or its last binding.
    for (const bool bLast : {false, true}) {
        const Transport refuse = [bLast](const Bytes& request) {
            const PeerMessage message = PeerDecode(request);
            PeerResponse response;
            response.errorStatus = SNMP_ERR_NOSUCHNAME;
            response.errorIndex = bLast ? static_cast<long>(message.bindings.size()) : 1;
            for (const PeerBinding& binding : message.bindings) response.bindings.push_back({binding.oid, PeerNull()});
            return PeerEncode(response);
        };
        const std::vector<WalkColumn> columns = {{"2.1.43.8.2.1.9.1.1", 10}, {"2.1.43.8.2.1.10.1.1", 10}, {kNames, 4}};
        CSNMPPacket packet;
        packet.SetWalkList(columns);
        const WalkRun run = RunWalk(packet, refuse);
        ASSERT_EQ(run.result, 0) << bLast;
        EXPECT_TRUE(packet.IsDone()) << bLast;
        // Naming the first binding ends a column each time; naming the last one takes each
        // column's bindings of a request down to its parent (4 + 10 + 10).
        EXPECT_EQ(run.exchanges, bLast ? 24 : 3) << bLast;
        for (const WalkColumn& column : columns) EXPECT_TRUE(IntsOf(packet, column.first).empty());
    }

    // Answers every binding with row 1 of the column, whatever was asked.
    const Transport stuck = [](const Bytes& request) {
        PeerResponse response;
        for (size_t i = 0; i < PeerDecode(request).bindings.size(); ++i)
            response.bindings.push_back({PeerOidFromText(kNamesFull + ".1"), PeerString("same")});
        return PeerEncode(response);
    };
    CSNMPPacket packet;
    packet.SetWalkList({{kNames, 2}});
    const WalkRun run = RunWalk(packet, stuck);
    EXPECT_EQ(run.result, PACKET_ERR_BUILD);
    EXPECT_LT(run.exchanges, 130);
}

TEST(SNMPWalk, ValuesOfOtherTypesAreIgnoredPastTheColumnSkippedWhenNullAndRefusedInsideIt) {
    // IpAddress is the lowest application tag; Counter32 and TimeTicks beside a column are
    // MIBQueries.ColumnsAtTheEndOfTheMibOrBesideApplicationTypesAreReadWhole's.
    PeerAgent agent;
    AddIntegers(agent, "1.3.6.1.2.1.43.8.2.1.10.1", {1, 2, 3});
    agent.Set("1.3.6.1.2.1.43.10.2.1.4.1.1", PeerIpAddress());
    CSNMPPacket numbers;
    numbers.SetWalkList({{"2.1.43.8.2.1.10.1.1", 2}});
    ASSERT_EQ(RunWalk(numbers, agent).result, 0);
    EXPECT_EQ(IntsOf(numbers, "2.1.43.8.2.1.10.1.1"), (Ints{10, 20, 30}));

    agent.Set(kNamesFull + ".1", PeerString("a"));
    agent.Set(kNamesFull + ".2", PeerNull());
    agent.Set(kNamesFull + ".3", PeerString("c"));
    agent.Set("1.3.6.1.2.1.43.8.2.1.14.1.1", PeerOid({1, 3, 6, 1}));
    CSNMPPacket packet;
    packet.SetWalkList({{kNames, 4}});
    ASSERT_EQ(RunWalk(packet, agent).result, 0);
    EXPECT_EQ(StringsOf(packet, kNames), (Strings{"a", "c"}));
    // Rows of an identifier give no value the walk could keep.
    CSNMPPacket refused;
    refused.SetWalkList({{"2.1.43.8.2.1.14.1.1", 1}});
    EXPECT_EQ(RunWalk(refused, agent).result, PACKET_ERR_STRUCTURE);
}

// Identifiers of more than 127 bytes, with long-form lengths at every level, are
// BindingsBeyond540Bytes...'s: net-snmp decodes each of its requests.
TEST(SNMPWalk, UnusableColumnListsAndRequestsOfTheOtherKindAreRefused) {
    const std::vector<std::vector<WalkColumn>> refused = {
        {},                                // nothing to walk
        {{kNames, 25}, {"2.1.1.6.0", 1}},  // never fits, and blocks the next column
        {{"43", 2}},                       // no parent to ask first
        {{kNames, 0}}};                    // would never ask a row
    for (const auto& columns : refused) {
        CSNMPPacket packet;
        packet.SetWalkList(columns);
        EXPECT_EQ(packet.BuildGetNext(), PACKET_ERR_BUILD) << (columns.empty() ? "" : columns[0].first);
        EXPECT_FALSE(packet.IsDone());
    }
    CSNMPPacket getPacket;
    getPacket.SetRequestType(PDU_GET_REQUEST);
    getPacket.SetWalkList({{"2.1.1.6.0", 2}});
    EXPECT_EQ(getPacket.BuildGetNext(), PACKET_ERR_BUILD);
    CSNMPPacket getNext;
    EXPECT_EQ(getNext.BuildGet("2.1.1.6.0"), PACKET_ERR_BUILD);
    EXPECT_EQ(getNext.GetRequestLength(), 0);
}

TEST(SNMPWalk, ColumnOf127RowsCompletesAndALongerColumnFailsTheWalk) {
    for (int rows : {127, 128}) {
        PeerAgent agent;
        AddIntegers(agent, "1.3.6.1.2.1.43.8.2.1.10.1", Range(1, rows));
        agent.Set("1.3.6.1.2.1.43.8.2.1.11.1.1", PeerInt(0));
        CSNMPPacket packet;
        packet.SetWalkList({{"2.1.43.8.2.1.10.1.1", 4}});
        const WalkRun run = RunWalk(packet, agent);
        EXPECT_LT(run.exchanges, 40) << rows;
        if (rows <= 127) {
            ASSERT_EQ(run.result, 0) << rows;
            EXPECT_EQ(IntsOf(packet, "2.1.43.8.2.1.10.1.1").size(), static_cast<size_t>(rows));
        } else {
            EXPECT_EQ(run.result, PACKET_ERR_BUILD) << rows;
            EXPECT_FALSE(packet.IsDone());
        }
        // No request ever asks the same row twice.
        std::vector<std::vector<uint32_t>> asked;
        for (const PeerMessage& message : run.requests)
            for (const PeerBinding& binding : message.bindings) asked.push_back(binding.oid);
        std::sort(asked.begin(), asked.end());
        EXPECT_EQ(std::adjacent_find(asked.begin(), asked.end()), asked.end()) << rows;
    }
}

// Results of one key are replaced, not appended to, by a later response; a text longer than the
// packet's first arena block, read back by size, and a string result still readable after Reset.
TEST(SNMPPacketGet, LaterResponseReplacesTheKeyNullIsNoObjectAndStringsOutliveReset) {
    GetFixture get;
    const std::string longText(6000, 'x');
    ASSERT_EQ(get.Answer(PeerString("first")), 0);
    ASSERT_EQ(get.Answer(PeerString(longText)), 0);
    EXPECT_EQ(StringsOf(get.packet, "2.1.1.6.0"), Strings{longText});
    std::vector<BYTE> small(3);
    DWORD size = 3;
    EXPECT_EQ(get.packet.GetValue(std::string("2.1.1.6.0"), small.data(), &size), 0);
    EXPECT_EQ(size, 6000u);
    ASSERT_EQ(get.Answer(PeerInt(7)), 0);
    EXPECT_EQ(IntsOf(get.packet, "2.1.1.6.0"), Ints{7});
    // An appended null would leave the 7 first, and its size would be read.
    ASSERT_EQ(get.Answer(PeerNull()), 0);
    size = 99;
    EXPECT_EQ(get.packet.GetValue(std::string("2.1.1.6.0"), nullptr, &size), 0);
    EXPECT_EQ(size, 99u);
    get.packet.Reset();
    EXPECT_TRUE(get.packet.GetValueResults().empty());
    EXPECT_EQ(StringsOf(get.packet, "2.1.1.6.0"), Strings{longText});
}

TEST(SNMPPacketGet, OtherValueKindsErrorStatusAndMalformedOrMisshapenRepliesGiveTheirCodes) {
    GetFixture get;
    // An empty string, and an identifier (an application type such as Counter32 takes the same
    // branch: MIBQueries.ColumnsAtTheEndOfTheMibOrBesideApplicationTypesAreReadWhole).
    for (const PeerValue& value : {PeerString(""), PeerOid({1, 3, 6, 1, 4, 1, 4913})})
        EXPECT_EQ(get.Answer(value), PACKET_ERR_STRUCTURE) << int(value.type);
    EXPECT_TRUE(get.packet.GetStringResults().empty());
    EXPECT_TRUE(get.packet.GetIntegerResults().empty());
    EXPECT_EQ(get.Answer(PeerNull(), SNMP_ERR_TOOBIG, 0), PACKET_ERR_STRUCTURE);
    EXPECT_EQ(get.Answer(PeerNull(), SNMP_ERR_NOSUCHNAME, 1), PACKET_ERR_AGENT_ERROR);
    EXPECT_EQ(get.packet.GetErrorIndex(), 1u);
    EXPECT_EQ(get.Answer(PeerString("x"), SNMP_ERR_NOSUCHNAME, 0), 0);

    EXPECT_EQ(get.packet.Parse(nullptr, 10), PACKET_ERR_MALFORMED);
    const BYTE none = 0;
    EXPECT_EQ(get.packet.Parse(&none, 0), PACKET_ERR_STRUCTURE);
    EXPECT_EQ(get.Parse({0x30, 0x03, 0x02, 0x05, 0x00}), PACKET_ERR_MALFORMED);  // runs past the end
    EXPECT_EQ(get.Parse({0x30, 0x03, 0x48, 0x01, 0x00}), PACKET_ERR_MALFORMED);  // unknown tag
    EXPECT_EQ(get.Parse({0x30, 0x03, 0x46, 0x01, 0x00}), PACKET_ERR_STRUCTURE);  // Counter64, then the header ends
    EXPECT_EQ(get.Parse({0x30}), PACKET_ERR_MALFORMED);                          // no length field
    EXPECT_EQ(get.Parse(PeerEncode(PeerResponse())), PACKET_ERR_STRUCTURE);      // no binding
    // Error-status without contents: refused rather than read past its element.
    EXPECT_EQ(get.Parse({0x30, 0x14, 0x02, 0x01, 0x00, 0x04, 0x01, 'v', 0xA2, 0x0C, 0x02, 0x01, 0x00, 0x02, 0x00,
                         0x02, 0x01, 0x00, 0x30, 0x00}),
              PACKET_ERR_STRUCTURE);
    // Binding header followed by a value where the identifier belongs.
    EXPECT_EQ(get.Parse({0x30, 0x1C, 0x02, 0x01, 0x00, 0x04, 0x06, 'v', 'i', 'n', 't', 'a', 'l', 0xA2, 0x0D, 0x02,
                         0x01, 0x00, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x04, 0x30, 0x02, 0x05, 0x00}),
              PACKET_ERR_STRUCTURE);
}
