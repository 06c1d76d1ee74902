// The SNMP version 1 agent of a virtual printer: decodes a request with net-snmp's BER
// routines, answers Get and GetNext from the profile's MIB data, and encodes the response.
//
// What it answers:
//   - only version 1 messages with the community "vintal"; anything else gets no reply, as a
//     real agent drops a foreign community;
//   - GetRequest and GetNextRequest; other PDU types get no reply;
//   - a Get of an object that does not exist, or a GetNext past the last object, gives
//     noSuchName (error-status 2) with the error-index of the first such binding and the
//     request's bindings echoed;
//   - a response that would be larger than the profile's message limit gives tooBig
//     (error-status 1, error-index 0, bindings echoed);
//   - beyond the snmprec data: a Get under the maker's command arc (one arc per command byte)
//     runs that ink-jet command and answers an octet string of one leading byte and the reply.
#pragma once

#include "Bytes.h"
#include "InkjetResponder.h"
#include "Profile.h"

#include <optional>
#include <span>

namespace vprinter {

inline constexpr const char* kCommunity = "vintal";

class SnmpAgent {
public:
    explicit SnmpAgent(const Profile& profile) : m_profile(profile), m_inkjet(profile) {}

    // The response to one datagram, or nothing when it must go unanswered.
    std::optional<Bytes> Handle(std::span<const uint8_t> request) const;

private:
    const MibValue* CommandValue(const Oid& oid, MibValue& scratch) const;

    const Profile& m_profile;
    InkjetResponder m_inkjet;
};

}  // namespace vprinter
