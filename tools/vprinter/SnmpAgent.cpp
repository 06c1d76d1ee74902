// SNMPv1 request decoding and response encoding over net-snmp's ASN.1 routines.
#include "SnmpAgent.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>
#include <net-snmp/library/asn1.h>
#include <net-snmp/library/snmp.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace vprinter {

namespace {

constexpr long kVersion1 = 0;
constexpr uint8_t kPduGet = 0xA0;
constexpr uint8_t kPduGetNext = 0xA1;
constexpr uint8_t kPduResponse = 0xA2;
constexpr long kErrNoError = 0;
constexpr long kErrTooBig = 1;
constexpr long kErrNoSuchName = 2;
constexpr size_t kMaxRequest = 65507;  // a UDP datagram cannot be larger
constexpr size_t kMaxBindings = 256;   // more than any request of the library
constexpr size_t kCommandPrefixBytes = 1;  // leading byte of a command answer, dropped by the host
constexpr size_t kResponseEnvelope = 64;   // message, PDU and binding headers, generously
constexpr size_t kMaxArcBytes = 5;         // a 32-bit arc takes at most 5 bytes in BER

struct Binding {
    Oid oid;
    const MibValue* value = nullptr;  // response value; null: echo NULL
    MibValue scratch;                 // storage for computed values
};

struct Request {
    long requestId = 0;
    uint8_t pduType = 0;
    std::vector<Binding> bindings;
};

std::optional<Request> Decode(std::span<const uint8_t> data) {
    if (data.empty() || data.size() > kMaxRequest) return std::nullopt;
    std::vector<u_char> copy(data.begin(), data.end());  // the parsers take non-const pointers
    u_char* p = copy.data();
    size_t left = copy.size();
    u_char type = 0;
    p = asn_parse_sequence(p, &left, &type, ASN_SEQUENCE | ASN_CONSTRUCTOR, "message");
    if (!p) return std::nullopt;
    long version = -1;
    p = asn_parse_int(p, &left, &type, &version, sizeof(version));
    if (!p || version != kVersion1) return std::nullopt;
    u_char community[64];
    size_t communityLen = sizeof(community);
    p = asn_parse_string(p, &left, &type, community, &communityLen);
    if (!p || communityLen != std::strlen(kCommunity) || std::memcmp(community, kCommunity, communityLen) != 0)
        return std::nullopt;
    Request req;
    u_char pduType = 0;
    p = asn_parse_header(p, &left, &pduType);
    if (!p || (pduType != kPduGet && pduType != kPduGetNext)) return std::nullopt;
    req.pduType = pduType;
    long errStatus = 0, errIndex = 0;
    p = asn_parse_int(p, &left, &type, &req.requestId, sizeof(req.requestId));
    if (p) p = asn_parse_int(p, &left, &type, &errStatus, sizeof(errStatus));
    if (p) p = asn_parse_int(p, &left, &type, &errIndex, sizeof(errIndex));
    if (!p) return std::nullopt;
    size_t listLen = left;
    p = asn_parse_sequence(p, &listLen, &type, ASN_SEQUENCE | ASN_CONSTRUCTOR, "varbinds");
    if (!p) return std::nullopt;
    while (listLen > 0) {
        if (req.bindings.size() >= kMaxBindings) return std::nullopt;
        oid name[MAX_OID_LEN];
        size_t nameLen = MAX_OID_LEN;
        u_char valueType = 0;
        size_t valueLen = 0;
        u_char* value = nullptr;
        p = snmp_parse_var_op(p, name, &nameLen, &valueType, &valueLen, &value, &listLen);
        if (!p) return std::nullopt;
        Binding b;
        for (size_t i = 0; i < nameLen; ++i) {
            if (name[i] > UINT32_MAX) return std::nullopt;
            b.oid.push_back(static_cast<uint32_t>(name[i]));
        }
        req.bindings.push_back(std::move(b));
    }
    if (req.bindings.empty()) return std::nullopt;
    return req;
}

// A growing buffer for net-snmp's reverse encoders, which may realloc it.
struct ReverseBuffer {
    u_char* data = static_cast<u_char*>(std::malloc(512));
    size_t size = 512;
    size_t offset = 0;  // bytes written, at the end of the buffer
    ~ReverseBuffer() { std::free(data); }
    ReverseBuffer() = default;
    ReverseBuffer(const ReverseBuffer&) = delete;
    ReverseBuffer& operator=(const ReverseBuffer&) = delete;
};

bool EncodeValue(ReverseBuffer& b, const MibValue* v) {
    if (!v) return asn_realloc_rbuild_null(&b.data, &b.size, &b.offset, 1, ASN_NULL) != 0;
    switch (v->type) {
    case MibType::Integer: {
        const long n = static_cast<long>(v->number);
        return asn_realloc_rbuild_int(&b.data, &b.size, &b.offset, 1, ASN_INTEGER, &n, sizeof(n)) != 0;
    }
    case MibType::OctetString:
    case MibType::Opaque:
    case MibType::IpAddress:
        return asn_realloc_rbuild_string(&b.data, &b.size, &b.offset, 1, static_cast<u_char>(v->type),
                                         reinterpret_cast<const u_char*>(v->octets.data()), v->octets.size()) != 0;
    case MibType::Null:
        return asn_realloc_rbuild_null(&b.data, &b.size, &b.offset, 1, ASN_NULL) != 0;
    case MibType::ObjectId: {
        std::vector<oid> arcs(v->oid.begin(), v->oid.end());
        return asn_realloc_rbuild_objid(&b.data, &b.size, &b.offset, 1, ASN_OBJECT_ID, arcs.data(), arcs.size()) != 0;
    }
    case MibType::Counter32:
    case MibType::Gauge32:
    case MibType::TimeTicks: {
        const u_long n = static_cast<u_long>(v->number);
        return asn_realloc_rbuild_unsigned_int(&b.data, &b.size, &b.offset, 1, static_cast<u_char>(v->type), &n,
                                               sizeof(n)) != 0;
    }
    case MibType::Counter64:
        return false;  // never selected for a v1 response
    }
    return false;
}

std::optional<Bytes> Encode(const Request& req, long errStatus, long errIndex, bool echo) {
    ReverseBuffer b;
    if (!b.data) return std::nullopt;
    const size_t listEnd = b.offset;
    for (auto it = req.bindings.rbegin(); it != req.bindings.rend(); ++it) {
        const size_t bindingEnd = b.offset;
        if (!EncodeValue(b, echo ? nullptr : it->value)) return std::nullopt;
        std::vector<oid> arcs(it->oid.begin(), it->oid.end());
        if (!asn_realloc_rbuild_objid(&b.data, &b.size, &b.offset, 1, ASN_OBJECT_ID, arcs.data(), arcs.size()))
            return std::nullopt;
        if (!asn_realloc_rbuild_sequence(&b.data, &b.size, &b.offset, 1, ASN_SEQUENCE | ASN_CONSTRUCTOR,
                                         b.offset - bindingEnd))
            return std::nullopt;
    }
    if (!asn_realloc_rbuild_sequence(&b.data, &b.size, &b.offset, 1, ASN_SEQUENCE | ASN_CONSTRUCTOR,
                                     b.offset - listEnd))
        return std::nullopt;
    const size_t pduEnd = listEnd;
    if (!asn_realloc_rbuild_int(&b.data, &b.size, &b.offset, 1, ASN_INTEGER, &errIndex, sizeof(errIndex)) ||
        !asn_realloc_rbuild_int(&b.data, &b.size, &b.offset, 1, ASN_INTEGER, &errStatus, sizeof(errStatus)) ||
        !asn_realloc_rbuild_int(&b.data, &b.size, &b.offset, 1, ASN_INTEGER, &req.requestId, sizeof(req.requestId)) ||
        !asn_realloc_rbuild_sequence(&b.data, &b.size, &b.offset, 1, kPduResponse, b.offset - pduEnd))
        return std::nullopt;
    const long version = kVersion1;
    if (!asn_realloc_rbuild_string(&b.data, &b.size, &b.offset, 1, ASN_OCTET_STR,
                                   reinterpret_cast<const u_char*>(kCommunity), std::strlen(kCommunity)) ||
        !asn_realloc_rbuild_int(&b.data, &b.size, &b.offset, 1, ASN_INTEGER, &version, sizeof(version)) ||
        !asn_realloc_rbuild_sequence(&b.data, &b.size, &b.offset, 1, ASN_SEQUENCE | ASN_CONSTRUCTOR, b.offset))
        return std::nullopt;
    const u_char* start = b.data + b.size - b.offset;
    return Bytes(start, start + b.offset);
}

bool StartsWith(const Oid& oid, const Oid& prefix) {
    return oid.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
}

}  // namespace

const MibValue* SnmpAgent::CommandValue(const Oid& oid, MibValue& scratch) const {
    if (!StartsWith(oid, kMakerCommandArc) || oid.size() == kMakerCommandArc.size()) return nullptr;
    Bytes command;
    for (size_t i = kMakerCommandArc.size(); i < oid.size(); ++i) {
        if (oid[i] > 0xFF) return nullptr;
        command.push_back(static_cast<uint8_t>(oid[i]));
    }
    // PI pages must fit the response together with the identifier and the envelope.
    const size_t envelope = kResponseEnvelope + oid.size() * kMaxArcBytes;
    if (m_profile.snmpMaxMessage <= envelope) return nullptr;
    auto reply = m_inkjet.Answer(command, std::min(m_profile.piMaxChunk, m_profile.snmpMaxMessage - envelope));
    if (!reply) return nullptr;
    scratch.type = MibType::OctetString;
    scratch.octets.assign(kCommandPrefixBytes, '\0');
    scratch.octets.append(reply->begin(), reply->end());
    return &scratch;
}

std::optional<Bytes> SnmpAgent::Handle(std::span<const uint8_t> data) const {
    auto req = Decode(data);
    if (!req) return std::nullopt;
    long errIndex = 0;
    for (size_t i = 0; i < req->bindings.size(); ++i) {
        Binding& b = req->bindings[i];
        if (req->pduType == kPduGet) {
            b.value = m_profile.mib.Get(b.oid);
            if (!b.value && m_profile.AnswersInkjetCommands()) b.value = CommandValue(b.oid, b.scratch);
        } else {
            const auto* next = m_profile.mib.GetNext(b.oid);
            if (next) {
                b.oid = next->first;
                b.value = &next->second;
            }
        }
        if (!b.value && errIndex == 0) errIndex = static_cast<long>(i + 1);
    }
    if (errIndex != 0) {
        // v1: the response carries the request's bindings unchanged.
        auto original = Decode(data);
        return Encode(*original, kErrNoSuchName, errIndex, true);
    }
    auto response = Encode(*req, kErrNoError, 0, false);
    if (!response) return std::nullopt;
    if (response->size() > m_profile.snmpMaxMessage) {
        auto original = Decode(data);
        return Encode(*original, kErrTooBig, 0, true);
    }
    return response;
}

}  // namespace vprinter
