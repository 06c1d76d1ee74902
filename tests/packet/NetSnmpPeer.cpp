// net-snmp as the independent SNMP peer of the packet tests.
#include "NetSnmpPeer.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/snmp_impl.h>

#include <cstring>

PeerValue PeerInt(long value) { return {ASN_INTEGER, {}, value, {}}; }
PeerValue PeerString(const std::string& text) { return {ASN_OCTET_STR, {text.begin(), text.end()}, 0, {}}; }
PeerValue PeerNull() { return PeerValue(); }
PeerValue PeerOid(std::vector<uint32_t> oid) { return {ASN_OBJECT_ID, {}, 0, std::move(oid)}; }
PeerValue PeerIpAddress() { return {ASN_IPADDRESS, {127, 0, 1, 1}, 0, {}}; }

std::vector<uint32_t> PeerOidFromText(const std::string& text) {
    std::vector<uint32_t> arcs;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t dot = text.find('.', pos);
        if (dot == std::string::npos) dot = text.size();
        arcs.push_back(static_cast<uint32_t>(std::stoul(text.substr(pos, dot - pos))));
        pos = dot + 1;
    }
    return arcs;
}

PeerMessage PeerDecode(const std::vector<uint8_t>& bytes) {
    PeerMessage message;
    std::vector<u_char> data(bytes.begin(), bytes.end());
    u_char community[256];
    size_t communityLength = sizeof(community);
    size_t remaining = data.size();
    long version = -1;
    u_char* pdu = snmp_comstr_parse(data.data(), &remaining, community, &communityLength, &version);
    if (pdu == nullptr) return message;
    netsnmp_pdu* parsed = snmp_pdu_create(0);
    const int rc = snmp_pdu_parse(parsed, pdu, &remaining);
    if (rc == 0) {
        message.ok = true;
        for (netsnmp_variable_list* var = parsed->variables; var; var = var->next_variable)
            message.bindings.push_back({std::vector<uint32_t>(var->name, var->name + var->name_length)});
    }
    snmp_free_pdu(parsed);
    return message;
}

std::vector<uint8_t> PeerEncode(const PeerResponse& response) {
    netsnmp_session session;
    snmp_sess_init(&session);
    session.version = SNMP_VERSION_1;
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_RESPONSE);
    pdu->version = SNMP_VERSION_1;
    pdu->errstat = response.errorStatus;
    pdu->errindex = response.errorIndex;
    pdu->community = static_cast<u_char*>(malloc(response.community.size() + 1));
    std::memcpy(pdu->community, response.community.c_str(), response.community.size() + 1);
    pdu->community_len = response.community.size();
    for (const auto& [arcs, value] : response.bindings) {
        std::vector<oid> name(arcs.begin(), arcs.end());
        switch (value.type) {
        case ASN_INTEGER: {
            long v = value.integer;
            snmp_pdu_add_variable(pdu, name.data(), name.size(), value.type, &v, sizeof(v));
            break;
        }
        case ASN_OBJECT_ID: {
            std::vector<oid> v(value.oidValue.begin(), value.oidValue.end());
            snmp_pdu_add_variable(pdu, name.data(), name.size(), value.type, v.data(), v.size() * sizeof(oid));
            break;
        }
        default:
            snmp_pdu_add_variable(pdu, name.data(), name.size(), value.type, value.bytes.data(), value.bytes.size());
            break;
        }
    }
    u_char* packet = nullptr;
    size_t packetLength = 0;
    size_t offset = 0;
    std::vector<uint8_t> bytes;
    if (snmp_build(&packet, &packetLength, &offset, &session, pdu) == 0) {
#ifdef NETSNMP_USE_REVERSE_ASNENCODING
        // A reverse build leaves the message at the end of the buffer.
        bytes.assign(packet + packetLength - offset, packet + packetLength);
#else
        bytes.assign(packet, packet + offset);
#endif
    }
    free(packet);
    snmp_free_pdu(pdu);
    return bytes;
}

std::vector<uint8_t> PeerAgent::operator()(const std::vector<uint8_t>& request) const {
    PeerMessage message = PeerDecode(request);
    PeerResponse response;
    if (!message.ok) return {};
    for (size_t i = 0; i < message.bindings.size(); ++i) {
        const auto& name = message.bindings[i].oid;
        const auto it = table_.upper_bound(name);
        if (it == table_.end()) {
            response.errorStatus = SNMP_ERR_NOSUCHNAME;
            response.errorIndex = static_cast<long>(i + 1);
            response.bindings.clear();
            for (const auto& b : message.bindings) response.bindings.push_back({b.oid, PeerNull()});
            break;
        }
        response.bindings.push_back({it->first, it->second});
    }
    return PeerEncode(response);
}
