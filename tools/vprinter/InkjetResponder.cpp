// Replies to ink-jet information commands and PI requests.
#include "InkjetResponder.h"

#include <algorithm>

namespace vprinter {

namespace {

// PI code bytes of the first form.
constexpr uint8_t kPiCodeConfidential = 0x40;  // confidential-job data ("pc")
constexpr uint8_t kPiCodeTrays = 0xA0;         // tray block ("sr")
constexpr uint8_t kPiCodeMedia14 = 0x80;       // supported media, format 14
constexpr uint8_t kPiCodeMedia16 = 0x81;       // input paths, format 16
constexpr uint8_t kPiCodeMedia17 = 0x82;       // media information, format 17

constexpr size_t kInfoCommandSize = 5;   // two letters, 01, 00, parameter
constexpr size_t kPiSecondFormSize = 9;  // "pm" 05 00 03 page chunk
constexpr size_t kPiFirstFormSize = 10;  // "PI" 06 00 01 code page chunk

bool Starts(std::span<const uint8_t> r, const char* head, size_t n) {
    return r.size() >= n && std::equal(r.begin(), r.begin() + n, reinterpret_cast<const uint8_t*>(head));
}

// "Not available", placed where a host looks for it: 5 bytes after the "p" of a "pc" reply,
// 6 bytes after the "s" of an "sr" reply, right after the colon otherwise.
Bytes NotAvailable(char a, char b) {
    Bytes out{static_cast<uint8_t>(a), static_cast<uint8_t>(b)};
    if (a == 'p' && b == 'c') PutText(out, std::string_view(":\x02\x00NA;", 6));
    else if (a == 's' && b == 'r') PutText(out, ":00:NA;");
    else PutText(out, ":NA;");
    return out;
}

// One page of a paged transfer: the header values and, for pages 1 and up, the data slice.
struct Page {
    unsigned value1 = 0, value2 = 0;
    bool hasData = false;
    size_t offset = 0, length = 0;
};

// Works out the page asked for; nothing when the request cannot be answered.
std::optional<Page> PlanPage(size_t payloadSize, unsigned page, size_t chunk, size_t maxChunk, size_t overhead) {
    if (payloadSize == 0) return std::nullopt;
    if (page == 0) {
        size_t c = std::min(chunk, maxChunk);
        if (c <= overhead + 1) return std::nullopt;
        size_t d = c - overhead;
        // The host takes a full-length last page as an error, so the data must not divide evenly.
        while (d > 1 && payloadSize % d == 0) --d;
        if (d < 2 && payloadSize % d == 0) return std::nullopt;
        const size_t pages = (payloadSize + d - 1) / d;
        if (pages > 0xFFFF) return std::nullopt;
        return Page{static_cast<unsigned>(pages), static_cast<unsigned>(d + overhead), false, 0, 0};
    }
    if (chunk <= overhead) return std::nullopt;
    const size_t d = chunk - overhead;
    const size_t offset = (page - 1) * d;
    if (offset >= payloadSize) return std::nullopt;
    const size_t pages = (payloadSize + d - 1) / d;
    return Page{page, static_cast<unsigned>(pages), true, offset, std::min(d, payloadSize - offset)};
}

Bytes FirstFormFrame(const Bytes& body) {
    Bytes out;
    PutText(out, "@BDC PI\r\n");
    PutLE16(out, static_cast<unsigned>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace

const Bytes* InkjetResponder::RawReply(char a, char b, uint8_t param) const {
    const char* key = nullptr;
    if (a == 'p' && b == 'c' && param == 0) key = "pc";
    else if (a == 's' && b == 'r' && param == 0) key = "sr";
    else if (a == 'p' && b == 'm' && param == 1) key = "pm14";
    else if (a == 'p' && b == 'm' && param == 2) key = "pm16";
    if (key == nullptr) return nullptr;
    const auto found = m_profile.rawReplies.find(key);
    return found == m_profile.rawReplies.end() ? nullptr : &found->second;
}

const Bytes& InkjetResponder::PayloadForCode(uint8_t code) const {
    static const Bytes kNone;
    switch (code) {
    case kPiCodeConfidential: return m_profile.pcData;
    case kPiCodeTrays: return m_profile.srBlock;
    case kPiCodeMedia14: return m_profile.pm14;
    case kPiCodeMedia16: return m_profile.pm16;
    case kPiCodeMedia17: return m_profile.pm17;
    default: return kNone;
    }
}

std::optional<Bytes> InkjetResponder::StatusReply() const {
    if (!m_profile.hasStatus) return std::nullopt;
    Bytes out;
    PutText(out, "@BDC ST2\r\n");
    PutLE16(out, static_cast<unsigned>(m_profile.statusFields.size() + 2));
    out.insert(out.end(), m_profile.statusFields.begin(), m_profile.statusFields.end());
    out.push_back(0);  // the empty closing field
    out.push_back(0);
    return out;
}

std::optional<Bytes> InkjetResponder::Answer(std::span<const uint8_t> r, size_t maxChunk) const {
    // PI request, first form.
    if (r.size() == kPiFirstFormSize && Starts(r, "PI\x06\x00\x01", 5)) {
        const uint8_t code = r[5];
        const unsigned page = GetLE16(&r[6]);
        const size_t chunk = GetLE16(&r[8]);
        const Bytes& payload = PayloadForCode(code);
        Bytes body;
        PutText(body, "PI:");
        body.push_back(code);
        const auto plan = PlanPage(payload.size(), page, chunk, maxChunk, kPiFirstFormOverhead);
        if (!plan) {
            PutText(body, ":NA;");
            return FirstFormFrame(body);
        }
        body.push_back(':');
        body.insert(body.end(), r.begin() + 6, r.begin() + 10);
        body.push_back(':');
        PutLE16(body, plan->value1);
        PutLE16(body, plan->value2);
        body.push_back(';');
        if (plan->hasData) {
            PutText(body, "SZ:");
            PutLE16(body, static_cast<unsigned>(plan->length));
            PutText(body, ";DT:");
            body.insert(body.end(), payload.begin() + plan->offset, payload.begin() + plan->offset + plan->length);
            body.push_back(';');
        }
        return FirstFormFrame(body);
    }
    // PI request, second form (format 17 only).
    if (r.size() == kPiSecondFormSize && Starts(r, "pm\x05\x00\x03", 5)) {
        const unsigned page = GetLE16(&r[5]);
        const size_t chunk = GetLE16(&r[7]);
        const auto plan = PlanPage(m_profile.pm17.size(), page, chunk, maxChunk, kPiSecondFormOverhead);
        if (!plan) return NotAvailable('p', 'm');
        Bytes out;
        PutText(out, "pm:");
        out.insert(out.end(), r.begin() + 5, r.begin() + 9);
        out.push_back(':');
        PutLE16(out, plan->value1);
        PutLE16(out, plan->value2);
        out.push_back(';');
        if (plan->hasData) {
            PutText(out, "sz:");
            PutLE16(out, static_cast<unsigned>(plan->length));
            PutText(out, ";dt:");
            out.insert(out.end(), m_profile.pm17.begin() + plan->offset,
                       m_profile.pm17.begin() + plan->offset + plan->length);
            out.push_back(';');
        }
        return out;
    }
    // Two-letter information commands.
    if (r.size() != kInfoCommandSize || r[2] != 0x01 || r[3] != 0x00) return std::nullopt;
    const char a = static_cast<char>(r[0]), b = static_cast<char>(r[1]);
    if (a < 'a' || a > 'z' || b < 'a' || b > 'z') return std::nullopt;
    const uint8_t param = r[4];
    if (const Bytes* raw = RawReply(a, b, param)) return *raw;
    Bytes out;
    if (a == 'p' && b == 'c' && param == 0) {
        if (m_profile.pcData.empty()) return NotAvailable(a, b);
        PutText(out, "pc:");
        PutLE16(out, static_cast<unsigned>(m_profile.pcData.size()));
        out.insert(out.end(), m_profile.pcData.begin(), m_profile.pcData.end());
        out.push_back(';');
        return out;
    }
    if (a == 's' && b == 'r' && param == 0) {
        if (m_profile.srBlock.empty()) return NotAvailable(a, b);
        PutText(out, "sr:00:");
        PutLE16(out, static_cast<unsigned>(m_profile.srBlock.size()));
        out.push_back(':');
        out.insert(out.end(), m_profile.srBlock.begin(), m_profile.srBlock.end());
        out.push_back(';');
        return out;
    }
    if (a == 's' && b == 't' && param == 1) {
        auto status = StatusReply();
        return status ? *status : NotAvailable(a, b);
    }
    if (a == 'p' && b == 'm' && (param == 1 || param == 2)) {
        const Bytes& payload = param == 1 ? m_profile.pm14 : m_profile.pm16;
        if (payload.empty()) return NotAvailable(a, b);
        PutText(out, "pm:");
        out.insert(out.end(), payload.begin(), payload.end());
        out.push_back(';');
        return out;
    }
    return NotAvailable(a, b);
}

}  // namespace vprinter
