// snmprec loading and ordered lookup of MIB objects.
#include "MibStore.h"

#include "Bytes.h"

#include <charconv>

namespace vprinter {

namespace {

constexpr size_t kMaxArcs = 128;  // SNMP's limit on sub-identifiers

std::optional<uint64_t> ParseUnsigned(std::string_view text) {
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<int64_t> ParseSigned(std::string_view text) {
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// One value of an snmprec line, by its type code ("4", "4x", "2", ...).
std::optional<MibValue> ParseValue(std::string_view typeText, std::string_view valueText) {
    bool hex = false;
    if (!typeText.empty() && typeText.back() == 'x') {
        hex = true;
        typeText.remove_suffix(1);
    }
    const auto code = ParseUnsigned(typeText);
    if (!code) return std::nullopt;
    std::string raw(valueText);
    if (hex) {
        auto bytes = FromHexText(valueText);
        if (!bytes) return std::nullopt;
        raw.assign(bytes->begin(), bytes->end());
    }
    MibValue v;
    switch (*code) {
    case 2: {
        v.type = MibType::Integer;
        auto n = ParseSigned(raw);
        if (!n || *n < INT32_MIN || *n > INT32_MAX) return std::nullopt;
        v.number = *n;
        return v;
    }
    case 4:
        v.type = MibType::OctetString;
        v.octets = std::move(raw);
        return v;
    case 5:
        v.type = MibType::Null;
        return v;
    case 6: {
        v.type = MibType::ObjectId;
        auto oid = ParseOid(raw);
        if (!oid || oid->size() < 2) return std::nullopt;
        v.oid = std::move(*oid);
        return v;
    }
    case 64: {
        v.type = MibType::IpAddress;
        if (hex) {
            if (raw.size() != 4) return std::nullopt;
            v.octets = raw;
            return v;
        }
        auto arcs = ParseOid(raw);  // dotted quad, same shape as an OID text
        if (!arcs || arcs->size() != 4) return std::nullopt;
        for (uint32_t part : *arcs) {
            if (part > 255) return std::nullopt;
            v.octets.push_back(static_cast<char>(part));
        }
        return v;
    }
    case 65:
    case 66:
    case 67: {
        v.type = *code == 65 ? MibType::Counter32 : *code == 66 ? MibType::Gauge32 : MibType::TimeTicks;
        auto n = ParseUnsigned(raw);
        if (!n || *n > UINT32_MAX) return std::nullopt;
        v.number = static_cast<int64_t>(*n);
        return v;
    }
    case 68:
        v.type = MibType::Opaque;
        v.octets = std::move(raw);
        return v;
    case 70: {
        v.type = MibType::Counter64;
        auto n = ParseUnsigned(raw);
        if (!n) return std::nullopt;
        v.number = static_cast<int64_t>(*n);
        return v;
    }
    default:
        return std::nullopt;
    }
}

}  // namespace

std::optional<Oid> ParseOid(std::string_view text) {
    if (!text.empty() && text.front() == '.') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    Oid oid;
    while (true) {
        const size_t dot = text.find('.');
        const auto arc = ParseUnsigned(text.substr(0, dot));
        if (!arc || *arc > UINT32_MAX || oid.size() >= kMaxArcs) return std::nullopt;
        oid.push_back(static_cast<uint32_t>(*arc));
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return oid;
}

std::string OidText(const Oid& oid) {
    std::string text;
    for (size_t i = 0; i < oid.size(); ++i) {
        if (i) text.push_back('.');
        text += std::to_string(oid[i]);
    }
    return text;
}

void MibStore::LoadSnmprec(std::string_view text) {
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        // The value is everything after the second "|": it may itself contain "|".
        const size_t bar1 = line.find('|');
        const size_t bar2 = bar1 == std::string_view::npos ? bar1 : line.find('|', bar1 + 1);
        if (bar2 == std::string_view::npos) {
            ++m_skipped;
            continue;
        }
        auto oid = ParseOid(line.substr(0, bar1));
        auto value = ParseValue(line.substr(bar1 + 1, bar2 - bar1 - 1), line.substr(bar2 + 1));
        if (!oid || !value) {
            ++m_skipped;
            continue;
        }
        m_values[std::move(*oid)] = std::move(*value);
    }
}

const MibValue* MibStore::Get(const Oid& oid) const {
    auto it = m_values.find(oid);
    if (it == m_values.end() || it->second.type == MibType::Counter64) return nullptr;
    return &it->second;
}

const std::pair<const Oid, MibValue>* MibStore::GetNext(const Oid& oid) const {
    for (auto it = m_values.upper_bound(oid); it != m_values.end(); ++it) {
        if (it->second.type != MibType::Counter64) return &*it;
    }
    return nullptr;
}

}  // namespace vprinter
