// Job-language port: request splitting, MDR answers, PI, device ID and status.
#include "JobLanguageSession.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace vprinter {

namespace {

constexpr size_t kMaxLine = 8192;              // longer than any MDR request (at most 250 bytes)
constexpr size_t kPiRequestSize = 10;
constexpr std::string_view kMdrHead = "@OPK MDR CM=\"";
constexpr std::string_view kDeviceIdRequest = "@OPK INFO ID";
constexpr std::string_view kStatusRequest = "@OPK ST2";
constexpr uint8_t kMdrTagOid = 0x00;       // element holding an identifier (MDR arc encoding)
constexpr uint8_t kMdrTagInteger = 0x08;   // integer value element
constexpr uint8_t kMdrTagString = 0x14;    // octet-string value element
constexpr uint8_t kMdrStatusOk = 0x00;
constexpr uint8_t kMdrStatusBadRequest = 0x81;
constexpr uint8_t kMdrStatusNoObject = 0x82;
constexpr uint8_t kMdrAnswerBase = 0x80;   // answer code = 0x80 + command
constexpr size_t kMaxMdrArcs = 128;
const Oid kInternetPrefix = {1, 3, 6, 1};  // MDR identifiers are relative to 1.3.6.1

// Length field in the definite form: one byte below 128, else 0x80 | n and n bytes.
void PutLength(Bytes& out, size_t n) {
    if (n < 0x80) {
        out.push_back(static_cast<uint8_t>(n));
        return;
    }
    Bytes digits;
    for (size_t v = n; v; v >>= 8) digits.insert(digits.begin(), static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(0x80 | digits.size()));
    out.insert(out.end(), digits.begin(), digits.end());
}

// Reads a length field; false when it is malformed or runs past the end.
bool ReadLength(const Bytes& data, size_t& pos, size_t& n) {
    if (pos >= data.size()) return false;
    const uint8_t first = data[pos++];
    if (!(first & 0x80)) {
        n = first;
        return true;
    }
    const size_t count = first & 0x7F;
    if (count == 0 || count > 4 || pos + count > data.size()) return false;
    n = 0;
    for (size_t i = 0; i < count; ++i) n = (n << 8) | data[pos++];
    return true;
}

// Decodes MDR arcs (a byte below 0x80 is an arc; else 0x80 | count and count bytes).
bool DecodeMdrOid(const uint8_t* p, size_t size, Oid& oid) {
    oid = kInternetPrefix;
    size_t pos = 0;
    while (pos < size) {
        const uint8_t first = p[pos++];
        uint64_t arc = first;
        if (first & 0x80) {
            const size_t count = first & 0x7F;
            if (count == 0 || count > 4 || pos + count > size) return false;
            arc = 0;
            for (size_t i = 0; i < count; ++i) arc = (arc << 8) | p[pos++];
        }
        if (oid.size() >= kMaxMdrArcs) return false;
        oid.push_back(static_cast<uint32_t>(arc));
    }
    return oid.size() > kInternetPrefix.size();
}

// Minimal two's-complement bytes of a signed number, most significant first.
Bytes SignedBytes(int64_t v) {
    Bytes out;
    do {
        out.insert(out.begin(), static_cast<uint8_t>(v & 0xFF));
        v >>= 8;
    } while (!((v == 0 && !(out.front() & 0x80)) || (v == -1 && (out.front() & 0x80))));
    return out;
}

bool AppendValue(Bytes& data, const MibValue& v) {
    Bytes contents;
    uint8_t tag = kMdrTagString;
    switch (v.type) {
    case MibType::Integer:
    case MibType::Counter32:
    case MibType::Gauge32:
    case MibType::TimeTicks:
    case MibType::Counter64:
        tag = kMdrTagInteger;
        contents = SignedBytes(v.number);
        break;
    case MibType::OctetString:
    case MibType::Opaque:
    case MibType::IpAddress:
        contents.assign(v.octets.begin(), v.octets.end());
        break;
    case MibType::ObjectId: {
        const std::string text = OidText(v.oid);
        contents.assign(text.begin(), text.end());
        break;
    }
    case MibType::Null:
        break;
    }
    data.push_back(tag);
    PutLength(data, contents.size());
    data.insert(data.end(), contents.begin(), contents.end());
    return true;
}

bool StartsWith(const Bytes& b, std::string_view head) {
    return b.size() >= head.size() && std::memcmp(b.data(), head.data(), head.size()) == 0;
}

}  // namespace

Bytes JobLanguageSession::AnswerMdr(const Bytes& line) const {
    // line: the whole request including its line end.
    Bytes data;
    auto finish = [&](uint8_t command, uint8_t status) {
        Bytes reply = line;
        reply.push_back('"');
        Bytes head{static_cast<uint8_t>(kMdrAnswerBase + (command & 1)), status};
        if (status != kMdrStatusOk) data.clear();
        head.insert(head.end(), data.begin(), data.end());
        PutText(reply, ToHex(head.data(), head.size()));
        PutText(reply, "\"\r\n");
        return reply;
    };
    // The hexadecimal part lies between the head's quote and the next quote.
    const auto close = std::find(line.begin() + kMdrHead.size(), line.end(), '"');
    const size_t hexLen = static_cast<size_t>(close - (line.begin() + kMdrHead.size()));
    if (close == line.end() || hexLen < 2 || hexLen % 2 != 0) return finish(0, kMdrStatusBadRequest);
    Bytes request;
    for (size_t i = 0; i < hexLen; i += 2) {
        const int b = HexPair(static_cast<char>(line[kMdrHead.size() + i]), static_cast<char>(line[kMdrHead.size() + i + 1]));
        if (b < 0) return finish(0, kMdrStatusBadRequest);
        request.push_back(static_cast<uint8_t>(b));
    }
    const uint8_t command = request[0];
    if (command > 1) return finish(0, kMdrStatusBadRequest);
    size_t pos = 1;
    while (pos < request.size()) {
        const uint8_t tag = request[pos++];
        size_t n = 0;
        if (tag != kMdrTagOid || !ReadLength(request, pos, n) || pos + n > request.size())
            return finish(command, kMdrStatusBadRequest);
        Oid oid;
        if (!DecodeMdrOid(&request[pos], n, oid)) return finish(command, kMdrStatusBadRequest);
        const MibValue* value = m_profile.mib.Get(oid);
        if (!value) return finish(command, kMdrStatusNoObject);
        // The identifier element is answered as it was asked.
        data.push_back(kMdrTagOid);
        PutLength(data, n);
        data.insert(data.end(), request.begin() + static_cast<long>(pos), request.begin() + static_cast<long>(pos + n));
        AppendValue(data, *value);
        pos += n;
    }
    return finish(command, kMdrStatusOk);
}

Bytes JobLanguageSession::StatusReply() const {
    if (auto status = m_inkjet.StatusReply()) return *status;
    // A printer without status fields still answers, with the empty field only.
    Bytes out;
    PutText(out, "@BDC ST2\r\n");
    PutLE16(out, 2);
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::vector<Bytes> JobLanguageSession::Feed(std::span<const uint8_t> data, bool& close) {
    close = false;
    std::vector<Bytes> replies;
    m_pending.insert(m_pending.end(), data.begin(), data.end());
    size_t pos = 0;
    while (pos < m_pending.size()) {
        const uint8_t first = m_pending[pos];
        if (first == '@') {
            const auto eol = std::find(m_pending.begin() + static_cast<long>(pos), m_pending.end(), '\n');
            if (eol == m_pending.end()) {
                if (m_pending.size() - pos > kMaxLine) close = true;
                break;
            }
            const Bytes line(m_pending.begin() + static_cast<long>(pos), eol + 1);
            pos += line.size();
            if (line.size() > kMaxLine) continue;
            std::string_view text(reinterpret_cast<const char*>(line.data()), line.size());
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
            if (StartsWith(line, kMdrHead)) {
                replies.push_back(AnswerMdr(line));
            } else if (text == kDeviceIdRequest) {
                Bytes reply;
                PutText(reply, m_profile.deviceId);
                PutText(reply, "\r\n");
                replies.push_back(std::move(reply));
            } else if (text == kStatusRequest) {
                replies.push_back(StatusReply());
            }
            continue;
        }
        if (first == 'P' && m_pending.size() - pos >= 2 && m_pending[pos + 1] == 'I') {
            if (m_pending.size() - pos < kPiRequestSize) break;
            const std::span<const uint8_t> request(&m_pending[pos], kPiRequestSize);
            if (auto reply = m_inkjet.Answer(request, m_profile.piMaxChunk)) {
                replies.push_back(std::move(*reply));
                pos += kPiRequestSize;
                continue;
            }
        }
        if (first == 'P' && m_pending.size() - pos < 2) break;  // wait for the second byte
        ++pos;  // not the start of a request
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(pos));
    return replies;
}

}  // namespace vprinter
