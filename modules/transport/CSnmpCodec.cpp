// Bounded BER reading and writing for the module's own SNMP v1 messages.
#include "modules/transport/CSnmpCodec.h"

#include <algorithm>
#include <cstdint>

namespace zk {
namespace {

inline constexpr size_t kMaxLengthBytes = 4;  // long-form length fields of up to 4 bytes

// A cursor over a byte span; every read checks the bytes that remain.
class BerReader {
public:
    explicit BerReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    bool AtEnd() const { return m_pos == m_bytes.size(); }

    // Reads one element's tag and content; the content is bounded by the remaining bytes.
    bool ReadElement(uint8_t& tag, std::span<const uint8_t>& content)
    {
        if (m_bytes.size() - m_pos < 2) return false;
        tag = m_bytes[m_pos++];
        size_t length = m_bytes[m_pos++];
        if (length & 0x80) {
            const size_t count = length & 0x7F;
            if (count == 0 || count > kMaxLengthBytes || m_bytes.size() - m_pos < count) return false;
            length = 0;
            for (size_t i = 0; i < count; ++i) length = (length << 8) | m_bytes[m_pos++];
        }
        if (length > m_bytes.size() - m_pos) return false;
        content = m_bytes.subspan(m_pos, length);
        m_pos += length;
        return true;
    }

    bool ReadExpected(uint8_t wantedTag, std::span<const uint8_t>& content)
    {
        uint8_t tag = 0;
        return ReadElement(tag, content) && tag == wantedTag;
    }

    bool ReadInteger(int32_t& value)
    {
        std::span<const uint8_t> content;
        if (!ReadExpected(kBerInteger, content)) return false;
        return DecodeInteger(content, value);
    }

    static bool DecodeInteger(std::span<const uint8_t> content, int32_t& value)
    {
        // Up to five bytes: four value bytes and a leading sign byte.
        if (content.empty() || content.size() > 5) return false;
        if (content.size() == 5 && content[0] != 0x00 && content[0] != 0xFF) return false;
        int64_t v = (content[0] & 0x80) ? -1 : 0;
        for (uint8_t b : content) v = static_cast<int64_t>(static_cast<uint64_t>(v) << 8) | b;
        if (v < INT32_MIN || v > static_cast<int64_t>(UINT32_MAX)) return false;
        value = static_cast<int32_t>(static_cast<uint32_t>(v));
        return true;
    }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_pos = 0;
};

bool DecodeOid(std::span<const uint8_t> content, Oid& oid)
{
    oid.clear();
    if (content.empty()) return false;
    uint64_t arc = 0;
    bool first = true;
    for (size_t i = 0; i < content.size(); ++i) {
        arc = (arc << 7) | (content[i] & 0x7F);
        if (arc > UINT32_MAX) return false;
        if (content[i] & 0x80) {
            if (i + 1 == content.size()) return false;  // identifier ends inside an arc
            continue;
        }
        if (first) {
            const uint32_t a = arc < 80 ? static_cast<uint32_t>(arc / 40) : 2;
            oid.push_back(a);
            oid.push_back(static_cast<uint32_t>(arc - a * 40));
            first = false;
        } else {
            oid.push_back(static_cast<uint32_t>(arc));
        }
        if (oid.size() > kMaxOidArcs) return false;
        arc = 0;
    }
    return true;
}

// Appends tag, definite length and content.
void PutElement(std::vector<uint8_t>& out, uint8_t tag, const std::vector<uint8_t>& content)
{
    out.push_back(tag);
    const size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<uint8_t>(n));
    } else {
        std::vector<uint8_t> len;
        for (size_t v = n; v != 0; v >>= 8) len.insert(len.begin(), static_cast<uint8_t>(v & 0xFF));
        out.push_back(static_cast<uint8_t>(0x80 | len.size()));
        out.insert(out.end(), len.begin(), len.end());
    }
    out.insert(out.end(), content.begin(), content.end());
}

std::vector<uint8_t> EncodeInteger(int32_t value)
{
    std::vector<uint8_t> bytes;
    int64_t v = value;
    do {
        bytes.insert(bytes.begin(), static_cast<uint8_t>(v & 0xFF));
        v >>= 8;
    } while (!((v == 0 && !(bytes.front() & 0x80)) || (v == -1 && (bytes.front() & 0x80))));
    return bytes;
}

std::vector<uint8_t> EncodeOid(const Oid& oid)
{
    std::vector<uint8_t> bytes;
    if (oid.size() < 2) return bytes;
    auto putArc = [&bytes](uint64_t arc) {
        uint8_t tmp[10];
        size_t n = 0;
        do {
            tmp[n++] = static_cast<uint8_t>(arc & 0x7F);
            arc >>= 7;
        } while (arc != 0);
        while (n > 1) bytes.push_back(static_cast<uint8_t>(tmp[--n] | 0x80));
        bytes.push_back(tmp[0]);
    };
    putArc(static_cast<uint64_t>(oid[0]) * 40 + oid[1]);
    for (size_t i = 2; i < oid.size(); ++i) putArc(oid[i]);
    return bytes;
}

// Reads the message header up to the PDU's content.
bool ReadUpToPdu(std::span<const uint8_t> message, uint8_t& pduTag, std::span<const uint8_t>& pdu)
{
    BerReader outer(message);
    std::span<const uint8_t> body;
    if (!outer.ReadExpected(kBerSequence, body)) return false;
    BerReader reader(body);
    int32_t version = -1;
    std::span<const uint8_t> community;
    if (!reader.ReadInteger(version) || version != kSnmpVersion1) return false;
    if (!reader.ReadExpected(kBerOctetString, community)) return false;
    return reader.ReadElement(pduTag, pdu) && pduTag >= kPduGetRequest && pduTag <= kPduSetRequest;
}

// Reads a whole message of a PDU type between Get and Set: request ID, error fields and every
// binding. False for any malformed byte.
bool ReadMessage(std::span<const uint8_t> message, uint8_t& pduTag, SnmpResponse& out)
{
    std::span<const uint8_t> pdu;
    if (!ReadUpToPdu(message, pduTag, pdu)) return false;
    BerReader reader(pdu);
    std::span<const uint8_t> list;
    if (!reader.ReadInteger(out.requestId) || !reader.ReadInteger(out.errorStatus) ||
        !reader.ReadInteger(out.errorIndex) || !reader.ReadExpected(kBerSequence, list))
        return false;
    BerReader bindings(list);
    while (!bindings.AtEnd()) {
        std::span<const uint8_t> pair, oidBytes, value;
        if (!bindings.ReadExpected(kBerSequence, pair)) return false;
        BerReader binding(pair);
        SnmpBinding b;
        if (!binding.ReadExpected(kBerOid, oidBytes) || !DecodeOid(oidBytes, b.oid)) return false;
        if (!binding.ReadElement(b.valueTag, value) || !binding.AtEnd()) return false;
        b.value.assign(value.begin(), value.end());
        out.bindings.push_back(std::move(b));
    }
    return true;
}

}  // namespace

std::optional<SnmpHeader> ReadSnmpHeader(std::span<const uint8_t> message)
{
    SnmpHeader header;
    std::span<const uint8_t> pdu;
    if (!ReadUpToPdu(message, header.pduTag, pdu)) return std::nullopt;
    BerReader reader(pdu);
    if (!reader.ReadInteger(header.requestId)) return std::nullopt;
    return header;
}

std::optional<ByteRange> RequestIdBytes(std::span<const uint8_t> message)
{
    uint8_t pduTag = 0;
    std::span<const uint8_t> pdu;
    if (!ReadUpToPdu(message, pduTag, pdu)) return std::nullopt;
    BerReader reader(pdu);
    std::span<const uint8_t> id;
    if (!reader.ReadExpected(kBerInteger, id) || id.empty()) return std::nullopt;
    return ByteRange{static_cast<size_t>(id.data() - message.data()), id.size()};
}

std::optional<SnmpResponse> ParseSnmpResponse(std::span<const uint8_t> message)
{
    uint8_t pduTag = 0;
    SnmpResponse response;
    if (!ReadMessage(message, pduTag, response) || pduTag != kPduGetResponse) return std::nullopt;
    return response;
}

std::optional<SnmpRequest> ParseSnmpRequest(std::span<const uint8_t> message)
{
    uint8_t pduTag = 0;
    SnmpResponse read;
    if (!ReadMessage(message, pduTag, read) || pduTag == kPduGetResponse) return std::nullopt;
    SnmpRequest request{pduTag, read.requestId, {}};
    for (auto& b : read.bindings) request.oids.push_back(std::move(b.oid));
    return request;
}

bool ResponseAnswers(const SnmpRequest& request, const SnmpResponse& response)
{
    if (request.pduTag != kPduGetRequest && request.pduTag != kPduGetNextRequest) return true;
    if (response.errorStatus != 0 && response.bindings.empty()) return true;
    if (response.bindings.size() != request.oids.size()) return false;
    for (size_t i = 0; i < request.oids.size(); ++i) {
        const Oid& asked = request.oids[i];
        const Oid& named = response.bindings[i].oid;
        const bool echoes = named == asked;
        if (response.errorStatus != 0 || request.pduTag == kPduGetRequest) {
            if (!echoes) return false;
        } else if (!std::lexicographical_compare(asked.begin(), asked.end(), named.begin(), named.end())) {
            return false;  // a GetNext answer lies after what was asked
        }
    }
    return true;
}

std::vector<uint8_t> BuildSnmpRequest(uint8_t pduTag, int32_t requestId, const std::string& community,
                                      const std::vector<Oid>& oids)
{
    std::vector<uint8_t> list;
    for (const Oid& oid : oids) {
        std::vector<uint8_t> pair;
        PutElement(pair, kBerOid, EncodeOid(oid));
        PutElement(pair, kBerNull, {});
        PutElement(list, kBerSequence, pair);
    }
    std::vector<uint8_t> pdu;
    PutElement(pdu, kBerInteger, EncodeInteger(requestId));
    PutElement(pdu, kBerInteger, EncodeInteger(0));  // error-status
    PutElement(pdu, kBerInteger, EncodeInteger(0));  // error-index
    PutElement(pdu, kBerSequence, list);
    std::vector<uint8_t> body;
    PutElement(body, kBerInteger, EncodeInteger(kSnmpVersion1));
    PutElement(body, kBerOctetString, std::vector<uint8_t>(community.begin(), community.end()));
    PutElement(body, pduTag, pdu);
    std::vector<uint8_t> message;
    PutElement(message, kBerSequence, body);
    return message;
}

std::optional<Oid> ParseOidText(const std::string& text)
{
    Oid oid;
    uint64_t arc = 0;
    bool digits = false;
    for (char c : text) {
        if (c == '.') {
            if (!digits) return std::nullopt;
            oid.push_back(static_cast<uint32_t>(arc));
            arc = 0;
            digits = false;
        } else if (c >= '0' && c <= '9') {
            arc = arc * 10 + static_cast<uint64_t>(c - '0');
            if (arc > UINT32_MAX) return std::nullopt;
            digits = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    oid.push_back(static_cast<uint32_t>(arc));
    if (oid.size() < 2 || oid.size() > kMaxOidArcs) return std::nullopt;
    return oid;
}

bool OidIsBelow(const Oid& oid, const Oid& prefix)
{
    return oid.size() > prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
}

}  // namespace zk
