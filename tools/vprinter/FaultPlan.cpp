// Fault rules: parsing and the per-reply decision.
#include "FaultPlan.h"

#include <charconv>
#include <set>

namespace vprinter {

namespace {

constexpr long kDefaultLateMs = 1500;  // later than a quick client wait, well inside a 10 s one

template <typename T>
bool ParseNumber(std::string_view text, T& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool ParseRate(std::string_view text, double& out) {
    // from_chars for double is not in every standard library this builds with; read 0.ddd by hand.
    if (text == "1" || text == "1.0") {
        out = 1.0;
        return true;
    }
    if (text == "0") {
        out = 0.0;
        return true;
    }
    if (text.size() < 3 || text.size() > 8 || text.substr(0, 2) != "0.") return false;
    double value = 0, scale = 0.1;
    for (char c : text.substr(2)) {
        if (c < '0' || c > '9') return false;
        value += (c - '0') * scale;
        scale /= 10;
    }
    out = value;
    return true;
}

}  // namespace

const char* FaultKindName(FaultKind kind) {
    switch (kind) {
    case FaultKind::Lost: return "lost";
    case FaultKind::Late: return "late";
    case FaultKind::Truncated: return "truncated";
    case FaultKind::Garbled: return "garbled";
    case FaultKind::Wrong: return "wrong";
    case FaultKind::Vanish: return "vanish";
    }
    return "?";
}

std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string& error) {
    FaultRule rule;
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        error = "fault rule needs CHANNEL:KIND";
        return std::nullopt;
    }
    const std::string_view channel = text.substr(0, colon);
    if (channel == "snmp") rule.channel = Channel::Snmp;
    else if (channel == "opk") rule.channel = Channel::Opk;
    else if (channel == "usb") rule.channel = Channel::Usb;
    else if (channel == "any") rule.channel = Channel::Any;
    else {
        error = "unknown fault channel '" + std::string(channel) + "' (snmp, opk, usb, any)";
        return std::nullopt;
    }
    std::string_view rest = text.substr(colon + 1);
    const size_t comma = rest.find(',');
    const std::string_view kind = rest.substr(0, comma);
    static constexpr FaultKind kKinds[] = {FaultKind::Lost, FaultKind::Late, FaultKind::Truncated,
                                           FaultKind::Garbled, FaultKind::Wrong, FaultKind::Vanish};
    bool known = false;
    for (FaultKind k : kKinds) {
        if (kind == FaultKindName(k)) {
            rule.kind = k;
            known = true;
        }
    }
    if (!known) {
        error = "unknown fault kind '" + std::string(kind) + "' (lost, late, truncated, garbled, wrong, vanish)";
        return std::nullopt;
    }
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    while (!rest.empty()) {
        const size_t next = rest.find(',');
        const std::string_view item = rest.substr(0, next);
        rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
        const size_t eq = item.find('=');
        const std::string_view key = item.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1);
        bool ok = false;
        if (key == "count") ok = ParseNumber(value, rule.count) && rule.count >= 0;
        else if (key == "after") ok = ParseNumber(value, rule.after) && rule.after >= 0;
        else if (key == "delay") ok = ParseNumber(value, rule.delayMs) && rule.delayMs >= 0 && rule.delayMs <= 600000;
        else if (key == "rate") ok = ParseRate(value, rule.rate);
        if (!ok) {
            error = "bad fault setting '" + std::string(item) + "'";
            return std::nullopt;
        }
    }
    return rule;
}

FaultPlan::FaultPlan(std::vector<FaultRule> rules, uint32_t seed) : m_rng(seed) {
    for (auto& r : rules) m_rules.push_back({r});
}

std::optional<FaultDecision> FaultPlan::Next(Channel channel) {
    std::optional<FaultDecision> decision;
    for (auto& state : m_rules) {
        const FaultRule& r = state.rule;
        if (r.channel != Channel::Any && r.channel != channel) continue;
        ++state.seen;  // every rule of the channel counts every reply, hit or not
        if (decision || state.seen <= r.after) continue;
        if (r.count >= 0 && state.applied >= r.count) continue;
        if (r.rate < 1.0 && std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) >= r.rate) continue;
        ++state.applied;
        long delay = r.delayMs;
        if (r.kind == FaultKind::Late && delay < 0) delay = kDefaultLateMs;
        decision = FaultDecision{r.kind, delay};
    }
    return decision;
}

void FaultPlan::Mutate(FaultKind kind, Bytes& reply) {
    if (reply.empty()) return;
    if (kind == FaultKind::Truncated) {
        reply.resize(reply.size() / 2);
        return;
    }
    if (kind != FaultKind::Garbled) return;
    // Change one byte in eight (at least one), each by a non-zero XOR so it really differs.
    const size_t changes = reply.size() / 8 + 1;
    std::uniform_int_distribution<size_t> where(0, reply.size() - 1);
    std::uniform_int_distribution<int> mask(1, 255);
    std::set<size_t> positions;  // distinct, so no change undoes another
    while (positions.size() < changes) positions.insert(where(m_rng));
    for (size_t pos : positions) reply[pos] ^= static_cast<uint8_t>(mask(m_rng));
}

}  // namespace vprinter
