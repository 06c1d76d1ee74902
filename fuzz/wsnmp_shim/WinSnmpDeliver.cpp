// The WinSNMP module built once more for the answer-path fuzz target, with one export added:
// FuzzDeliverAnswer hands bytes to a session as if its agent had sent them. The module's own
// source is compiled here unchanged (its conversion of net-snmp's PDUs lives in an anonymous
// namespace), and the bytes take the road of a datagram the receiver reads: net-snmp parses
// them with the agent's net-snmp session, the module's net-snmp callback converts the answer
// under the session's lock, and the session's callback runs once per notice outside the lock.
// Only net-snmp's match of the answer's request ID against its outstanding requests is left
// out, so every request ID reaches the module and its caller.
#include "modules/wsnmp/WinSnmp.cpp"

// Delivers to the first open session, from `agent`, which that session must have sent to.
// Number of callbacks made (0 when the bytes were not a response net-snmp could parse), or -1
// when there is no session or it never reached the agent.
WSNMP_EXPORT int FuzzDeliverAnswer(const char* agent, const uint8_t* data, size_t size) {
    // net-snmp's complaints about bad packets go to a handler that drops them (without any
    // handler net-snmp writes them to stderr).
    static std::once_flag quiet;
    std::call_once(quiet, [] { netsnmp_register_loghandler(NETSNMP_LOGHANDLER_NONE, LOG_DEBUG); });
    in_addr address{};
    if (!agent || ::inet_pton(AF_INET, agent, &address) != 1) return -1;
    Session* session = nullptr;
    {
        State& s = Global();
        std::lock_guard lock(s.mutex);
        for (const auto& [handle, object] : s.objects) {
            if (object->kind != Kind::Session) continue;
            session = static_cast<Session*>(object.get());
            break;
        }
    }
    if (!session) return -1;
    std::vector<Notice> notices;
    {
        std::lock_guard lock(session->mutex);
        auto peer = session->peers.find(std::make_pair(ntohl(address.s_addr), Entity().port));
        if (peer == session->peers.end()) return -1;
        std::vector<u_char> bytes(data, data + size);
        netsnmp_pdu* pdu = snmp_pdu_create(0);
        if (!pdu) return 0;
        netsnmp_session* peerSession = snmp_sess_session(peer->second);
        const bool parsed =
            snmp_parse(static_cast<session_list*>(peer->second), peerSession, pdu, bytes.data(), bytes.size()) ==
                SNMPERR_SUCCESS &&
            pdu->command == SNMP_MSG_RESPONSE;
        const size_t before = session->notices.size();
        if (parsed) OnNetSnmpEvent(NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE, peerSession, pdu->reqid, pdu, session);
        notices.assign(session->notices.begin() + static_cast<std::ptrdiff_t>(before), session->notices.end());
        session->notices.resize(before);
        snmp_free_pdu(pdu);
    }
    for (const Notice& n : notices)
        session->callback(session, session->window, session->message, n.wParam, n.lParam, session->clientData);
    return static_cast<int>(notices.size());
}
