// WSNMP32.DLL: the platform's WinSNMP manager interface, as an SNMPv1 client over net-snmp.
//
// Every handle is a pointer to an object of this file, checked against the table of live objects
// before use, so a stale or foreign handle fails with the WinSNMP error code instead of crashing.
// Descriptors handed out (OID and octet buffers) are tracked the same way, so freeing one twice
// or one not made here fails with OPERATION_INVALID. Sessions work in callback mode only: each
// has a receiver thread that reads answers, runs net-snmp's retransmissions and calls the
// session's callback (wParam 0: an answer waits in SnmpRecvMsg; SNMPAPI_TL_TIMEOUT: a request
// went unanswered, lParam its request ID). Only loopback agents are reached.
#include "modules/wsnmp/winsnmp.h"
#include "modules/agent_ports.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/large_fd_set.h>
#include <net-snmp/library/snmpIPBaseDomain.h>
#include <net-snmp/library/snmpUDPDomain.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#define WSNMP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr long kRequestTimeoutUs = 1000000;   // 1 s per try, then one retry: the caller polls 2 s
constexpr int kRequestRetries = 1;
constexpr int kReceiverSliceMs = 20;          // receiver wake-up: bounds retransmission lateness
constexpr size_t kMaxCommunity = 255;         // longest community a context accepts
constexpr size_t kMaxBindings = 256;          // bindings of one list: more than any request needs
constexpr size_t kMaxOctets = 65535;          // largest octet value a list accepts

// ---- values and objects ----

struct Value {
    smiUINT32 syntax = SNMP_SYNTAX_NULL;
    uint64_t number = 0;                // integers, counters, 64-bit counters
    std::vector<uint8_t> bytes;         // OCTETS, OPAQUE, IPADDR, BITS, NSAPADDR
    std::vector<smiUINT32> oid;         // OID values
};

struct Binding {
    std::vector<smiUINT32> name;
    Value value;
};

enum class Kind { Session, Entity, Context, Pdu, Vbl };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    const Kind kind;
};

struct Entity : Object {
    Entity() : Object(Kind::Entity) {}
    in_addr address{};
    uint16_t port = vmod::SnmpAgentPort();
};

struct Context : Object {
    Context() : Object(Kind::Context) {}
    std::vector<uint8_t> community;
};

struct Vbl : Object {
    Vbl() : Object(Kind::Vbl) {}
    std::vector<Binding> bindings;
};

struct PduData {
    smiINT type = SNMP_PDU_GET;
    smiINT32 requestId = 0;
    smiINT errorStatus = 0;
    smiINT errorIndex = 0;
    std::vector<Binding> bindings;
};

struct Pdu : Object {
    Pdu() : Object(Kind::Pdu) {}
    PduData data;
};

// A received answer waiting for SnmpRecvMsg.
struct Message {
    in_addr from{};
    uint16_t fromPort = 0;
    std::vector<uint8_t> community;
    PduData pdu;
};

// A callback notice: wParam and lParam of one callback call.
struct Notice {
    uintptr_t wParam;
    intptr_t lParam;
};

struct Session : Object {
    Session() : Object(Kind::Session) {}
    SNMPAPI_CALLBACK callback = nullptr;
    HWND__* window = nullptr;
    unsigned int message = 0;
    void* clientData = nullptr;

    std::mutex mutex;                        // guards peers, inbox, notices
    std::map<std::pair<uint32_t, uint16_t>, void*> peers;  // net-snmp session per agent
    std::deque<Message> inbox;
    std::vector<Notice> notices;
    std::atomic<bool> stop{false};
    int wakeFd = -1;
    std::thread receiver;
};

// ---- the process-wide table ----

struct State {
    std::mutex mutex;
    unsigned startups = 0;                     // SnmpStartup calls not yet matched by SnmpCleanup
    std::map<void*, std::unique_ptr<Object>> objects;
    std::set<void*> descriptors;               // buffers handed out through smiOID / smiOCTETS
    std::map<void*, smiUINT32> sessionErrors;  // last error per session
    smiUINT32 globalError = 0;                 // last error without a valid session
    smiINT32 lastRequestId = 0;                // request IDs the module assigned
    std::vector<std::unique_ptr<Session>> retired;  // closed from their own callback thread
};

State& Global() {
    static State* state = new State;  // lives for the process: receiver threads may outlast statics
    return *state;
}

// Records an error for `session` (or the global one) and returns the failure value.
SNMPAPI_STATUS Fail(State& s, void* session, smiUINT32 code) {
    if (session && s.objects.count(session)) s.sessionErrors[session] = code;
    else s.globalError = code;
    return SNMPAPI_FAILURE;
}

template <class T>
T* Find(State& s, void* handle, Kind kind) {
    auto it = s.objects.find(handle);
    if (it == s.objects.end() || it->second->kind != kind) return nullptr;
    return static_cast<T*>(it->second.get());
}

template <class T>
void* Adopt(State& s, std::unique_ptr<T> object) {
    void* handle = object.get();
    s.objects.emplace(handle, std::move(object));
    return handle;
}

// A copy of `count` items in a malloc'd buffer registered as a descriptor; null when empty.
template <class T>
T* HandOut(State& s, const T* data, size_t count) {
    if (count == 0) return nullptr;
    auto* buffer = static_cast<T*>(std::malloc(count * sizeof(T)));
    if (!buffer) return nullptr;
    std::memcpy(buffer, data, count * sizeof(T));
    s.descriptors.insert(buffer);
    return buffer;
}

// Frees a handle of `kind`; `invalid` is the error for a handle that is not one.
SNMPAPI_STATUS FreeObject(void* handle, Kind kind, smiUINT32 invalid) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED);
    auto it = s.objects.find(handle);
    if (it == s.objects.end() || it->second->kind != kind) return Fail(s, nullptr, invalid);
    s.objects.erase(it);
    return SNMPAPI_SUCCESS;
}

bool IsLoopback(in_addr address) { return (ntohl(address.s_addr) >> 24) == 127; }

void InitNetSnmp() {
    static std::once_flag once;
    std::call_once(once, [] {
        // A bare client: no configuration or persistent files (transports are made directly).
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    });
}

// ---- conversion between net-snmp's PDUs and ours ----

bool ToValue(const netsnmp_variable_list& v, Value& out) {
    out.syntax = v.type;
    switch (v.type) {
    case ASN_INTEGER:
        if (!v.val.integer) return false;
        out.number = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(*v.val.integer)));
        return true;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
        if (!v.val.integer) return false;
        out.number = static_cast<uint32_t>(*v.val.integer);
        return true;
    case ASN_COUNTER64:
        if (!v.val.counter64) return false;
        out.number = (static_cast<uint64_t>(v.val.counter64->high & 0xFFFFFFFFu) << 32) |
                     (v.val.counter64->low & 0xFFFFFFFFu);
        return true;
    case ASN_OCTET_STR:
    case ASN_OPAQUE:
    case ASN_IPADDRESS:
    case ASN_BIT_STR:
    case ASN_NSAP:
        if (v.val_len > kMaxOctets || (v.val_len && !v.val.string)) return false;
        out.bytes.assign(v.val.string, v.val.string + v.val_len);
        return true;
    case ASN_OBJECT_ID:
        if (!v.val.objid || v.val_len / sizeof(oid) > MAXOBJIDSIZE) return false;
        for (size_t i = 0; i < v.val_len / sizeof(oid); ++i) out.oid.push_back(static_cast<smiUINT32>(v.val.objid[i]));
        return true;
    case ASN_NULL:
    case SNMP_NOSUCHOBJECT:
    case SNMP_NOSUCHINSTANCE:
    case SNMP_ENDOFMIBVIEW:
        return true;
    default:
        return false;
    }
}

bool AddToPdu(netsnmp_pdu* pdu, const Binding& b) {
    std::vector<oid> name(b.name.begin(), b.name.end());
    const Value& v = b.value;
    const auto* bytes = v.bytes.data();
    switch (v.syntax) {
    case SNMP_SYNTAX_NULL:
        return snmp_add_null_var(pdu, name.data(), name.size()) != nullptr;
    case SNMP_SYNTAX_INT: {
        long number = static_cast<int32_t>(v.number);
        return snmp_pdu_add_variable(pdu, name.data(), name.size(), ASN_INTEGER, &number, sizeof number) != nullptr;
    }
    case SNMP_SYNTAX_CNTR32:
    case SNMP_SYNTAX_GAUGE32:
    case SNMP_SYNTAX_TIMETICKS:
    case SNMP_SYNTAX_UINT32: {
        u_long number = static_cast<uint32_t>(v.number);
        const u_char type = v.syntax == SNMP_SYNTAX_UINT32 ? ASN_GAUGE : static_cast<u_char>(v.syntax);
        return snmp_pdu_add_variable(pdu, name.data(), name.size(), type, &number, sizeof number) != nullptr;
    }
    case SNMP_SYNTAX_OCTETS:
    case SNMP_SYNTAX_OPAQUE:
    case SNMP_SYNTAX_IPADDR:
        return snmp_pdu_add_variable(pdu, name.data(), name.size(), static_cast<u_char>(v.syntax), bytes,
                                     v.bytes.size()) != nullptr;
    case SNMP_SYNTAX_OID: {
        std::vector<oid> value(v.oid.begin(), v.oid.end());
        return snmp_pdu_add_variable(pdu, name.data(), name.size(), ASN_OBJECT_ID, value.data(),
                                     value.size() * sizeof(oid)) != nullptr;
    }
    default:
        return false;
    }
}

// net-snmp's callback, on the receiver thread with the session's lock held: queue the answer.
int OnNetSnmpEvent(int operation, netsnmp_session* peer, int requestId, netsnmp_pdu* pdu, void* magic) {
    auto* session = static_cast<Session*>(magic);
    if (operation == NETSNMP_CALLBACK_OP_TIMED_OUT) {
        session->notices.push_back({SNMPAPI_TL_TIMEOUT, requestId});
        return 1;
    }
    if (operation != NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE || !pdu) return 1;
    Message m;
    m.pdu.type = pdu->command;
    m.pdu.requestId = pdu->reqid;
    m.pdu.errorStatus = static_cast<smiINT>(pdu->errstat);
    m.pdu.errorIndex = static_cast<smiINT>(pdu->errindex);
    if (pdu->community && pdu->community_len <= kMaxCommunity)
        m.community.assign(pdu->community, pdu->community + pdu->community_len);
    for (auto* v = pdu->variables; v && m.pdu.bindings.size() < kMaxBindings; v = v->next_variable) {
        Binding b;
        if (v->name_length > MAXOBJIDSIZE) return 1;  // an answer we cannot represent is dropped
        b.name.assign(v->name, v->name + v->name_length);
        if (!ToValue(*v, b.value)) return 1;
        m.pdu.bindings.push_back(std::move(b));
    }
    // The net-snmp session of this answer is connected to one agent: that agent is the source.
    for (const auto& [key, handle] : session->peers) {
        if (snmp_sess_session(handle) == peer) {
            m.from.s_addr = htonl(key.first);
            m.fromPort = key.second;
        }
    }
    session->inbox.push_back(std::move(m));
    session->notices.push_back({0, pdu->reqid});
    return 1;
}

// The receiver: waits for answers on every agent's socket, lets net-snmp read them and run its
// retransmissions, then calls the session's callback once per notice, outside the lock.
void Receive(Session* session) {
    while (!session->stop.load()) {
        std::vector<pollfd> fds{{session->wakeFd, POLLIN, 0}};
        std::vector<void*> handles;
        {
            std::lock_guard lock(session->mutex);
            for (const auto& [key, handle] : session->peers) {
                netsnmp_transport* t = snmp_sess_transport(handle);
                if (!t) continue;
                fds.push_back({t->sock, POLLIN, 0});
                handles.push_back(handle);
            }
        }
        ::poll(fds.data(), fds.size(), kReceiverSliceMs);
        if (fds[0].revents & POLLIN) {
            uint64_t drained = 0;
            [[maybe_unused]] ssize_t n = ::read(session->wakeFd, &drained, sizeof drained);
        }
        std::vector<Notice> notices;
        {
            std::lock_guard lock(session->mutex);
            for (size_t i = 0; i < handles.size(); ++i) {
                if (fds[i + 1].revents & POLLIN) {
                    netsnmp_large_fd_set set;
                    netsnmp_large_fd_set_init(&set, fds[i + 1].fd + 1);
                    NETSNMP_LARGE_FD_SET(fds[i + 1].fd, &set);
                    snmp_sess_read2(handles[i], &set);
                    netsnmp_large_fd_set_cleanup(&set);
                }
                snmp_sess_timeout(handles[i]);
            }
            notices.swap(session->notices);
        }
        for (const Notice& n : notices) {
            if (session->stop.load()) break;
            const SNMPAPI_STATUS result = session->callback(session, session->window, session->message, n.wParam,
                                                            n.lParam, session->clientData);
            if (result == SNMPAPI_SUCCESS) continue;
            // A callback that does not report success closes its session, as SnmpClose would.
            State& s = Global();
            std::lock_guard lock(s.mutex);
            auto it = s.objects.find(session);
            if (it == s.objects.end()) break;
            session->stop = true;
            s.sessionErrors.erase(session);
            s.retired.emplace_back(static_cast<Session*>(it->second.release()));
            s.objects.erase(it);
            break;
        }
    }
}

// Ends the receiver (unless called on it) and closes the agents' sockets.
void CloseSessionResources(Session& session) {
    session.stop = true;
    if (session.wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(session.wakeFd, &one, sizeof one);
    }
    // On its own receiver (a callback closing its session) the thread is joined later, by
    // SnmpCleanup, once it has returned.
    if (session.receiver.joinable() && session.receiver.get_id() != std::this_thread::get_id())
        session.receiver.join();
    std::lock_guard lock(session.mutex);
    for (auto& [key, handle] : session.peers) snmp_sess_close(handle);
    session.peers.clear();
    session.inbox.clear();
    if (session.wakeFd >= 0) ::close(session.wakeFd);
    session.wakeFd = -1;
}

// The net-snmp session that reaches `entity`, opened on first use.
void* PeerFor(Session& session, const Entity& entity) {
    const auto key = std::make_pair(ntohl(entity.address.s_addr), entity.port);
    auto it = session.peers.find(key);
    if (it != session.peers.end()) return it->second;
    netsnmp_ep agent{};
    agent.a.sin.sin_family = AF_INET;
    agent.a.sin.sin_addr = entity.address;
    agent.a.sin.sin_port = htons(entity.port);
    netsnmp_transport* transport = netsnmp_udp_transport(&agent, 0);
    if (!transport) return nullptr;
    netsnmp_session settings;
    snmp_sess_init(&settings);
    settings.version = SNMP_VERSION_1;
    settings.timeout = kRequestTimeoutUs;
    settings.retries = kRequestRetries;
    settings.callback = OnNetSnmpEvent;
    settings.callback_magic = &session;
    void* handle = snmp_sess_add(&settings, transport, nullptr, nullptr);
    if (handle) session.peers.emplace(key, handle);
    return handle;
}

bool ReadOid(const smiOID* in, std::vector<smiUINT32>& out) {
    if (!in || in->len < 2 || in->len > MAXOBJIDSIZE || !in->ptr) return false;
    out.assign(in->ptr, in->ptr + in->len);
    return true;
}

bool ReadValue(const smiVALUE& in, Value& out) {
    out.syntax = in.syntax;
    switch (in.syntax) {
    case SNMP_SYNTAX_NULL:
        return true;
    case SNMP_SYNTAX_INT:
        out.number = static_cast<uint64_t>(static_cast<int64_t>(in.value.sNumber));
        return true;
    case SNMP_SYNTAX_CNTR32:
    case SNMP_SYNTAX_GAUGE32:
    case SNMP_SYNTAX_TIMETICKS:
    case SNMP_SYNTAX_UINT32:
        out.number = in.value.uNumber;
        return true;
    case SNMP_SYNTAX_OCTETS:
    case SNMP_SYNTAX_OPAQUE:
    case SNMP_SYNTAX_IPADDR:
        if (in.value.string.len > kMaxOctets || (in.value.string.len && !in.value.string.ptr)) return false;
        if (in.syntax == SNMP_SYNTAX_IPADDR && in.value.string.len != 4) return false;
        out.bytes.assign(in.value.string.ptr, in.value.string.ptr + in.value.string.len);
        return true;
    case SNMP_SYNTAX_OID:
        return ReadOid(&in.value.oid, out.oid);
    default:
        return false;
    }
}

}  // namespace

// SnmpStartup: makes the interface usable and reports version 2.0, level 2, untranslated v1
// strings and retransmission on. Each call must be matched by one SnmpCleanup.
WSNMP_EXPORT SNMPAPI_STATUS SnmpStartup(smiUINT32* major, smiUINT32* minor, smiUINT32* level,
                                        smiUINT32* translateMode, smiUINT32* retransmitMode) {
    InitNetSnmp();
    State& s = Global();
    std::lock_guard lock(s.mutex);
    ++s.startups;
    if (major) *major = 2;
    if (minor) *minor = 0;
    if (level) *level = 2;
    if (translateMode) *translateMode = SNMPAPI_UNTRANSLATED_V1;
    if (retransmitMode) *retransmitMode = SNMPAPI_ON;
    return SNMPAPI_SUCCESS;
}

// SnmpCleanup: the last of the matching calls closes every session and frees every handle and
// descriptor still held, so users in one process do not tear down each other's sessions.
WSNMP_EXPORT SNMPAPI_STATUS SnmpCleanup() {
    State& s = Global();
    std::map<void*, std::unique_ptr<Object>> objects;
    std::vector<std::unique_ptr<Session>> retired;
    std::set<void*> descriptors;
    {
        std::lock_guard lock(s.mutex);
        if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED);
        if (--s.startups > 0) return SNMPAPI_SUCCESS;
        objects.swap(s.objects);
        retired.swap(s.retired);
        descriptors.swap(s.descriptors);
        s.sessionErrors.clear();
    }
    for (auto& [handle, object] : objects) {
        if (object->kind != Kind::Session) continue;
        auto& session = static_cast<Session&>(*object);
        CloseSessionResources(session);
        if (session.receiver.joinable()) (void)object.release();  // called from its own callback: left running
    }
    for (auto& session : retired) {
        CloseSessionResources(*session);
        if (session->receiver.joinable()) (void)session.release();
    }
    for (void* d : descriptors) std::free(d);
    return SNMPAPI_SUCCESS;
}

// SnmpGetLastError: the last error of `session`, or the last error without a session.
WSNMP_EXPORT SNMPAPI_STATUS SnmpGetLastError(HSNMP_SESSION session) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (session && Find<Session>(s, session, Kind::Session)) {
        auto it = s.sessionErrors.find(session);
        return it == s.sessionErrors.end() ? 0 : it->second;
    }
    return s.globalError;
}

// SnmpCreateSession: a session in callback mode; the callback runs on the session's receiver.
WSNMP_EXPORT HSNMP_SESSION SnmpCreateSession(HWND__* hWnd, unsigned int wMsg, SNMPAPI_CALLBACK callback,
                                             void* clientData) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED), nullptr;
    if (!callback) return Fail(s, nullptr, SNMPAPI_HWND_INVALID), nullptr;  // window messages: not offered
    auto session = std::make_unique<Session>();
    session->callback = callback;
    session->window = hWnd;
    session->message = wMsg;
    session->clientData = clientData;
    session->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (session->wakeFd < 0) return Fail(s, nullptr, SNMPAPI_ALLOC_ERROR), nullptr;
    session->receiver = std::thread(Receive, session.get());
    return Adopt(s, std::move(session));
}

// SnmpClose: ends the session's receiver and discards its outstanding requests and answers.
WSNMP_EXPORT SNMPAPI_STATUS SnmpClose(HSNMP_SESSION handle) {
    State& s = Global();
    std::unique_ptr<Object> object;
    {
        std::lock_guard lock(s.mutex);
        if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED);
        if (!Find<Session>(s, handle, Kind::Session)) return Fail(s, nullptr, SNMPAPI_SESSION_INVALID);
        auto it = s.objects.find(handle);
        object = std::move(it->second);
        s.objects.erase(it);
        s.sessionErrors.erase(handle);
    }
    auto& session = static_cast<Session&>(*object);
    const bool onReceiver = session.receiver.get_id() == std::this_thread::get_id();
    CloseSessionResources(session);
    if (onReceiver) {
        // Closed from its own callback: the receiver still runs on this object until it returns.
        std::lock_guard lock(s.mutex);
        s.retired.emplace_back(static_cast<Session*>(object.release()));
    }
    return SNMPAPI_SUCCESS;
}

// SnmpStrToOid: dotted decimal text to an OID whose buffer this module owns; returns the number
// of sub-identifiers (at least 2), 0 on failure.
WSNMP_EXPORT SNMPAPI_STATUS SnmpStrToOid(const char* text, smiOID* out) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED);
    if (!text || !out) return Fail(s, nullptr, SNMPAPI_OID_INVALID);
    const size_t length = ::strnlen(text, MAXOBJIDSTRSIZE + 1);
    if (length == 0 || length > MAXOBJIDSTRSIZE) return Fail(s, nullptr, SNMPAPI_OID_INVALID);
    std::vector<smiUINT32> ids;
    uint64_t current = 0;
    bool digits = false;
    size_t i = text[0] == '.' ? 1 : 0;  // a leading dot is allowed, as in ".1.3.6"
    for (; i <= length; ++i) {
        const char c = i < length ? text[i] : '.';
        if (c >= '0' && c <= '9') {
            current = current * 10 + static_cast<uint64_t>(c - '0');
            if (current > 0xFFFFFFFFu) return Fail(s, nullptr, SNMPAPI_OID_INVALID);
            digits = true;
            continue;
        }
        if (c != '.' || !digits || ids.size() == MAXOBJIDSIZE) return Fail(s, nullptr, SNMPAPI_OID_INVALID);
        ids.push_back(static_cast<smiUINT32>(current));
        current = 0;
        digits = false;
    }
    if (ids.size() < 2) return Fail(s, nullptr, SNMPAPI_OID_INVALID);
    out->ptr = HandOut(s, ids.data(), ids.size());
    if (!out->ptr) return Fail(s, nullptr, SNMPAPI_ALLOC_ERROR);
    out->len = static_cast<smiUINT32>(ids.size());
    return out->len;
}

// SnmpFreeDescriptor: releases an OID or octet buffer this module handed out.
WSNMP_EXPORT SNMPAPI_STATUS SnmpFreeDescriptor(smiUINT32 syntax, smiOCTETS* descriptor) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED);
    switch (syntax) {
    case SNMP_SYNTAX_OCTETS:
    case SNMP_SYNTAX_OPAQUE:
    case SNMP_SYNTAX_IPADDR:
    case SNMP_SYNTAX_BITS:
    case SNMP_SYNTAX_NSAPADDR:
    case SNMP_SYNTAX_OID:
        break;
    default:
        return Fail(s, nullptr, SNMPAPI_SYNTAX_INVALID);
    }
    if (!descriptor) return Fail(s, nullptr, SNMPAPI_OPERATION_INVALID);
    // smiOID and smiOCTETS share their layout: a 32-bit count, then the buffer pointer.
    void* buffer = descriptor->ptr;
    if (!buffer || !s.descriptors.erase(buffer)) return Fail(s, nullptr, SNMPAPI_OPERATION_INVALID);
    std::free(buffer);
    descriptor->ptr = nullptr;
    descriptor->len = 0;
    return SNMPAPI_SUCCESS;
}

// SnmpCreateVbl: a list with one binding (`name`, and `value` or NULL), or an empty list.
WSNMP_EXPORT HSNMP_VBL SnmpCreateVbl(HSNMP_SESSION session, const smiOID* name, const smiVALUE* value) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED), nullptr;
    if (!Find<Session>(s, session, Kind::Session)) return Fail(s, nullptr, SNMPAPI_SESSION_INVALID), nullptr;
    auto list = std::make_unique<Vbl>();
    if (name) {
        Binding b;
        if (!ReadOid(name, b.name)) return Fail(s, session, SNMPAPI_OID_INVALID), nullptr;
        if (value && !ReadValue(*value, b.value)) return Fail(s, session, SNMPAPI_SYNTAX_INVALID), nullptr;
        list->bindings.push_back(std::move(b));
    }
    return Adopt(s, std::move(list));
}

WSNMP_EXPORT SNMPAPI_STATUS SnmpFreeVbl(HSNMP_VBL vbl) {
    return FreeObject(vbl, Kind::Vbl, SNMPAPI_VBL_INVALID);
}

// SnmpGetVb: the binding at the 1-based `index`; the name's and the value's buffers are
// descriptors the caller frees with SnmpFreeDescriptor.
WSNMP_EXPORT SNMPAPI_STATUS SnmpGetVb(HSNMP_VBL vbl, smiUINT32 index, smiOID* name, smiVALUE* value) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED);
    const Vbl* list = Find<Vbl>(s, vbl, Kind::Vbl);
    if (!list) return Fail(s, nullptr, SNMPAPI_VBL_INVALID);
    if (index == 0 || index > list->bindings.size()) return Fail(s, nullptr, SNMPAPI_INDEX_INVALID);
    if (!name && !value) return Fail(s, nullptr, SNMPAPI_NOOP);
    const Binding& b = list->bindings[index - 1];
    smiOID nameOut{};
    smiVALUE valueOut{};
    valueOut.syntax = b.value.syntax;
    bool allocated = true;
    if (name) {
        nameOut.ptr = HandOut(s, b.name.data(), b.name.size());
        nameOut.len = static_cast<smiUINT32>(b.name.size());
        allocated = nameOut.ptr != nullptr;
    }
    if (value && allocated) {
        const Value& v = b.value;
        switch (v.syntax) {
        case SNMP_SYNTAX_CNTR64:
            valueOut.value.hNumber = {static_cast<smiUINT32>(v.number >> 32), static_cast<smiUINT32>(v.number)};
            break;
        case SNMP_SYNTAX_INT:
            valueOut.value.sNumber = static_cast<smiINT>(static_cast<int64_t>(v.number));
            break;
        case SNMP_SYNTAX_OID:
            valueOut.value.oid.ptr = HandOut(s, v.oid.data(), v.oid.size());
            valueOut.value.oid.len = static_cast<smiUINT32>(v.oid.size());
            allocated = v.oid.empty() || valueOut.value.oid.ptr;
            break;
        case SNMP_SYNTAX_OCTETS:
        case SNMP_SYNTAX_OPAQUE:
        case SNMP_SYNTAX_IPADDR:
        case SNMP_SYNTAX_BITS:
        case SNMP_SYNTAX_NSAPADDR:
            valueOut.value.string.ptr = HandOut(s, v.bytes.data(), v.bytes.size());
            valueOut.value.string.len = static_cast<smiUINT32>(v.bytes.size());
            allocated = v.bytes.empty() || valueOut.value.string.ptr;
            break;
        default:
            valueOut.value.uNumber = static_cast<smiUINT32>(v.number);
            break;
        }
    }
    if (!allocated) {
        for (void* p : {static_cast<void*>(nameOut.ptr), static_cast<void*>(valueOut.value.string.ptr)})
            if (p && s.descriptors.erase(p)) std::free(p);
        return Fail(s, nullptr, SNMPAPI_ALLOC_ERROR);
    }
    if (name) *name = nameOut;
    if (value) *value = valueOut;
    return SNMPAPI_SUCCESS;
}

// SnmpCreatePdu: a PDU holding a copy of `vbl`'s bindings, so the list may be freed at once;
// request ID 0 asks for one chosen by the module.
WSNMP_EXPORT HSNMP_PDU SnmpCreatePdu(HSNMP_SESSION session, smiINT type, smiINT32 requestId, smiINT errorStatus,
                                     smiINT errorIndex, HSNMP_VBL vbl) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED), nullptr;
    if (!Find<Session>(s, session, Kind::Session)) return Fail(s, nullptr, SNMPAPI_SESSION_INVALID), nullptr;
    if (type == 0) type = SNMP_PDU_GETNEXT;  // WinSNMP's default type
    if (type != SNMP_PDU_GET && type != SNMP_PDU_GETNEXT && type != SNMP_PDU_SET)
        return Fail(s, session, SNMPAPI_PDU_INVALID), nullptr;  // v1 requests only
    if (requestId == 0) {
        // Chosen here, so SnmpGetPduData tells the caller the ID its answer will carry.
        s.lastRequestId = s.lastRequestId == INT32_MAX ? 1 : s.lastRequestId + 1;
        requestId = s.lastRequestId;
    }
    auto pdu = std::make_unique<Pdu>();
    pdu->data = {type, requestId, errorStatus, errorIndex, {}};
    if (vbl) {
        const Vbl* list = Find<Vbl>(s, vbl, Kind::Vbl);
        if (!list) return Fail(s, session, SNMPAPI_VBL_INVALID), nullptr;
        pdu->data.bindings = list->bindings;
    }
    return Adopt(s, std::move(pdu));
}

WSNMP_EXPORT SNMPAPI_STATUS SnmpFreePdu(HSNMP_PDU pdu) {
    return FreeObject(pdu, Kind::Pdu, SNMPAPI_PDU_INVALID);
}

// SnmpGetPduData: the PDU's fields; a requested list is always a new handle.
WSNMP_EXPORT SNMPAPI_STATUS SnmpGetPduData(HSNMP_PDU handle, smiINT* type, smiINT32* requestId, smiINT* errorStatus,
                                           smiINT* errorIndex, HSNMP_VBL* vbl) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED);
    const Pdu* pdu = Find<Pdu>(s, handle, Kind::Pdu);
    if (!pdu) return Fail(s, nullptr, SNMPAPI_PDU_INVALID);
    if (!type && !requestId && !errorStatus && !errorIndex && !vbl) return Fail(s, nullptr, SNMPAPI_NOOP);
    if (type) *type = pdu->data.type;
    if (requestId) *requestId = pdu->data.requestId;
    if (errorStatus) *errorStatus = pdu->data.errorStatus;
    if (errorIndex) *errorIndex = pdu->data.errorIndex;
    if (vbl) {
        auto list = std::make_unique<Vbl>();
        list->bindings = pdu->data.bindings;
        *vbl = Adopt(s, std::move(list));
    }
    return SNMPAPI_SUCCESS;
}

// SnmpStrToEntity: an agent from its dotted IPv4 address; only loopback agents are reachable
// from this machine's stand-in, so any other address is unknown.
WSNMP_EXPORT HSNMP_ENTITY SnmpStrToEntity(HSNMP_SESSION session, const char* text) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED), nullptr;
    if (!Find<Session>(s, session, Kind::Session)) return Fail(s, nullptr, SNMPAPI_SESSION_INVALID), nullptr;
    auto entity = std::make_unique<Entity>();
    if (!text || ::strnlen(text, INET_ADDRSTRLEN) == INET_ADDRSTRLEN ||
        ::inet_pton(AF_INET, text, &entity->address) != 1 || !IsLoopback(entity->address))
        return Fail(s, session, SNMPAPI_ENTITY_UNKNOWN), nullptr;
    return Adopt(s, std::move(entity));
}

WSNMP_EXPORT SNMPAPI_STATUS SnmpFreeEntity(HSNMP_ENTITY entity) {
    return FreeObject(entity, Kind::Entity, SNMPAPI_ENTITY_INVALID);
}

// SnmpStrToContext: in untranslated mode the octets are the literal community (copied).
WSNMP_EXPORT HSNMP_CONTEXT SnmpStrToContext(HSNMP_SESSION session, const smiOCTETS* community) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED), nullptr;
    if (!Find<Session>(s, session, Kind::Session)) return Fail(s, nullptr, SNMPAPI_SESSION_INVALID), nullptr;
    if (!community || community->len == 0 || !community->ptr || community->len > kMaxCommunity)
        return Fail(s, session, SNMPAPI_CONTEXT_INVALID), nullptr;
    auto context = std::make_unique<Context>();
    context->community.assign(community->ptr, community->ptr + community->len);
    return Adopt(s, std::move(context));
}

WSNMP_EXPORT SNMPAPI_STATUS SnmpFreeContext(HSNMP_CONTEXT context) {
    return FreeObject(context, Kind::Context, SNMPAPI_CONTEXT_INVALID);
}

// SnmpSendMsg: queues the request to `dst` with the context's community and returns at once;
// the answer, or the timeout event, reaches the session's callback. `src` may be NULL.
WSNMP_EXPORT SNMPAPI_STATUS SnmpSendMsg(HSNMP_SESSION handle, HSNMP_ENTITY src, HSNMP_ENTITY dst,
                                        HSNMP_CONTEXT context, HSNMP_PDU pdu) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED);
    Session* session = Find<Session>(s, handle, Kind::Session);
    if (!session) return Fail(s, nullptr, SNMPAPI_SESSION_INVALID);
    if (src && !Find<Entity>(s, src, Kind::Entity)) return Fail(s, handle, SNMPAPI_ENTITY_INVALID);
    const Entity* to = Find<Entity>(s, dst, Kind::Entity);
    if (!to) return Fail(s, handle, SNMPAPI_ENTITY_INVALID);
    const Context* ctx = Find<Context>(s, context, Kind::Context);
    if (!ctx) return Fail(s, handle, SNMPAPI_CONTEXT_INVALID);
    const Pdu* request = Find<Pdu>(s, pdu, Kind::Pdu);
    if (!request) return Fail(s, handle, SNMPAPI_PDU_INVALID);

    const int command = request->data.type == SNMP_PDU_GET    ? SNMP_MSG_GET
                        : request->data.type == SNMP_PDU_SET ? SNMP_MSG_SET
                                                              : SNMP_MSG_GETNEXT;
    netsnmp_pdu* message = snmp_pdu_create(command);
    if (!message) return Fail(s, handle, SNMPAPI_ALLOC_ERROR);
    message->reqid = request->data.requestId;
    message->community = static_cast<u_char*>(std::malloc(ctx->community.size()));
    if (!message->community) {
        snmp_free_pdu(message);
        return Fail(s, handle, SNMPAPI_ALLOC_ERROR);
    }
    std::memcpy(message->community, ctx->community.data(), ctx->community.size());
    message->community_len = ctx->community.size();
    for (const Binding& b : request->data.bindings) {
        if (!AddToPdu(message, b)) {
            snmp_free_pdu(message);
            return Fail(s, handle, SNMPAPI_PDU_INVALID);
        }
    }
    std::lock_guard sessionLock(session->mutex);
    void* peer = PeerFor(*session, *to);
    if (!peer) {
        snmp_free_pdu(message);
        return Fail(s, handle, SNMPAPI_TL_RESOURCE_ERROR);
    }
    // On success net-snmp owns the message; on failure it stays ours.
    if (snmp_sess_async_send(peer, message, OnNetSnmpEvent, session) == 0) {
        snmp_free_pdu(message);
        return Fail(s, handle, SNMPAPI_TL_UNDELIVERABLE);
    }
    const uint64_t one = 1;  // let the receiver watch the new agent's socket at once
    [[maybe_unused]] ssize_t n = ::write(session->wakeFd, &one, sizeof one);
    return SNMPAPI_SUCCESS;
}

// SnmpRecvMsg: the oldest waiting answer as four new handles (source and destination entity,
// context, PDU) for the caller to free; NOOP when nothing waits.
WSNMP_EXPORT SNMPAPI_STATUS SnmpRecvMsg(HSNMP_SESSION handle, HSNMP_ENTITY* src, HSNMP_ENTITY* dst,
                                        HSNMP_CONTEXT* context, HSNMP_PDU* pdu) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.startups == 0) return Fail(s, nullptr, SNMPAPI_NOT_INITIALIZED);
    Session* session = Find<Session>(s, handle, Kind::Session);
    if (!session) return Fail(s, nullptr, SNMPAPI_SESSION_INVALID);
    Message m;
    {
        std::lock_guard sessionLock(session->mutex);
        if (session->inbox.empty()) return Fail(s, handle, SNMPAPI_NOOP);
        m = std::move(session->inbox.front());
        session->inbox.pop_front();
    }
    if (src) {
        auto from = std::make_unique<Entity>();
        from->address = m.from;
        from->port = m.fromPort;
        *src = Adopt(s, std::move(from));
    }
    if (dst) *dst = Adopt(s, std::make_unique<Entity>());  // this manager: no particular local entity
    if (context) {
        auto ctx = std::make_unique<Context>();
        ctx->community = std::move(m.community);
        *context = Adopt(s, std::move(ctx));
    }
    if (pdu) {
        auto answer = std::make_unique<Pdu>();
        answer->data = std::move(m.pdu);
        *pdu = Adopt(s, std::move(answer));
    }
    return SNMPAPI_SUCCESS;
}
