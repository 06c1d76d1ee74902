// Faults on demand: rules that make a printer lose, delay, cut, garble or misdirect replies on
// one channel, or vanish altogether, each by rate or by count.
//
// Rule text (command line --fault, or the "faults" list of profile.json):
//   CHANNEL:KIND[,count=N][,rate=R][,after=N][,delay=MS]
//   CHANNEL  snmp | opk | usb | any
//   KIND     lost       the reply is not sent
//            late       the reply is sent delay ms later (default 1500)
//            truncated  only the first half of the reply is sent
//            garbled    some bytes of the reply are changed
//            wrong      the reply to the previous request is sent instead (the first such reply
//                       is held back, so it answers the next request)
//            vanish     the printer stops answering on every channel and closes its
//                       connections, for delay ms when delay is given, else for good
//   after=N  the rule starts with the (N+1)-th reply on its channel (default 0)
//   count=N  the rule applies to N replies, then retires (default: no limit)
//   rate=R   each eligible reply is hit with probability R, 0..1 (default 1)
// The first rule that hits decides; the random choices follow --seed, so runs repeat.
#pragma once

#include "Bytes.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vprinter {

enum class Channel { Snmp, Opk, Usb, Any };
enum class FaultKind { Lost, Late, Truncated, Garbled, Wrong, Vanish };

struct FaultRule {
    Channel channel = Channel::Any;
    FaultKind kind = FaultKind::Lost;
    double rate = 1.0;
    long count = -1;    // -1: no limit
    long after = 0;
    long delayMs = -1;  // -1: the kind's default
};

std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string& error);
const char* FaultKindName(FaultKind kind);

struct FaultDecision {
    FaultKind kind;
    long delayMs;  // late: the delay; vanish: how long (-1 for good)
};

// The fault state of one printer. Not thread-safe: the server loop owns it.
class FaultPlan {
public:
    FaultPlan(std::vector<FaultRule> rules, uint32_t seed);

    // Called once per reply about to be sent on the channel.
    std::optional<FaultDecision> Next(Channel channel);

    // Applies truncated or garbled to a reply in place.
    void Mutate(FaultKind kind, Bytes& reply);

private:
    struct RuleState {
        FaultRule rule;
        long seen = 0;
        long applied = 0;
    };
    std::vector<RuleState> m_rules;
    std::mt19937 m_rng;
};

}  // namespace vprinter
