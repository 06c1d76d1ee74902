// The few SNMP version 1 messages the transport module reads and writes itself: the request ID
// of any message, the identifiers a request asks (to match replies to requests), Get/GetNext
// requests with NULL values, and GetResponse messages with their bindings. Every read is
// bounded by the message's own bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zk {

inline constexpr uint8_t kBerInteger = 0x02;
inline constexpr uint8_t kBerOctetString = 0x04;
inline constexpr uint8_t kBerNull = 0x05;
inline constexpr uint8_t kBerOid = 0x06;
inline constexpr uint8_t kBerSequence = 0x30;
inline constexpr uint8_t kPduGetRequest = 0xA0;
inline constexpr uint8_t kPduGetNextRequest = 0xA1;
inline constexpr uint8_t kPduGetResponse = 0xA2;
inline constexpr uint8_t kPduSetRequest = 0xA3;
inline constexpr uint8_t kPduTrap = 0xA4;

inline constexpr int32_t kSnmpVersion1 = 0;           // version field of an SNMPv1 message
inline constexpr const char* kSnmpCommunity = "vintal";  // community the printers answer
inline constexpr size_t kMaxOidArcs = 128;            // longer identifiers are refused

using Oid = std::vector<uint32_t>;

struct SnmpHeader {
    uint8_t pduTag = 0;
    int32_t requestId = 0;
};

struct SnmpBinding {
    Oid oid;
    uint8_t valueTag = 0;
    std::string value;  // the value's content bytes as they stand
};

struct SnmpResponse {
    int32_t requestId = 0;
    int32_t errorStatus = 0;
    int32_t errorIndex = 0;
    std::vector<SnmpBinding> bindings;
};

// What a Get, GetNext or Set request asks: its type and the identifiers of its bindings.
struct SnmpRequest {
    uint8_t pduTag = 0;
    int32_t requestId = 0;
    std::vector<Oid> oids;
};

// The PDU tag and request ID of a v1 message, or nullopt if it is not one.
std::optional<SnmpHeader> ReadSnmpHeader(std::span<const uint8_t> message);

// Where the content bytes of a v1 message's request ID lie (offset and length), so that the ID
// can be replaced in place; nullopt for anything but a v1 message.
struct ByteRange {
    size_t offset = 0;
    size_t length = 0;
};
std::optional<ByteRange> RequestIdBytes(std::span<const uint8_t> message);

// A complete GetResponse, or nullopt for anything else or any malformed byte.
std::optional<SnmpResponse> ParseSnmpResponse(std::span<const uint8_t> message);

// A complete Get, GetNext or Set request, or nullopt for anything else or any malformed byte.
std::optional<SnmpRequest> ParseSnmpRequest(std::span<const uint8_t> message);

// True when `response` has the form of an answer to `request`, so that an answer to another
// request with the same request ID is told apart: one binding per identifier asked, in order;
// a Get names the identifiers asked, a GetNext names identifiers after them; a response with
// an error status echoes the identifiers asked (or carries no bindings at all). Requests of
// other types are not checked.
bool ResponseAnswers(const SnmpRequest& request, const SnmpResponse& response);

// A v1 request of type pduTag (Get or GetNext) asking each identifier, with NULL values.
std::vector<uint8_t> BuildSnmpRequest(uint8_t pduTag, int32_t requestId, const std::string& community,
                                      const std::vector<Oid>& oids);

// "1.3.6.1.2.1" as arcs; nullopt for malformed text.
std::optional<Oid> ParseOidText(const std::string& text);

// True when oid lies below prefix (strictly longer and starting with it).
bool OidIsBelow(const Oid& oid, const Oid& prefix);

}  // namespace zk
