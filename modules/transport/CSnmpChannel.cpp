// SNMP exchanges over UDP with reply matching by request ID.
#include "modules/transport/CSnmpChannel.h"

#include "modules/transport/zkapi.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <random>

namespace zk {
namespace {

constexpr size_t kMaxDatagram = 65535;  // bytes; the largest UDP payload
constexpr uint8_t kMaxOneByteId = 127;  // wire IDs of the caller's requests: 1-127
constexpr int kStatusTries = 2;         // the status request is sent again halfway through the wait
// The maker's status object: the printer's status reply as an octet string.
constexpr const char* kStatusOid = "1.3.6.1.4.1.4913.1.2.2.1.1.1.4.1";

}  // namespace

int32_t CSnmpChannel::NextRequestId()
{
    static std::atomic<uint32_t> next{std::random_device{}() & 0x3FFFFFFF};
    return static_cast<int32_t>(next.fetch_add(1) & 0x7FFFFFFF);
}

int32_t AwaitSnmpResponse(const CSocket& socket, int32_t requestId, const SnmpRequest* request,
                          Clock::time_point deadline, std::vector<uint8_t>& datagram, SnmpResponse* response,
                          const std::function<void(int32_t)>& onOtherAnswer)
{
    bool sawMalformed = false;
    std::vector<uint8_t> buffer(kMaxDatagram);
    for (;;) {
        const int ready = socket.WaitFor(POLLIN, deadline);
        if (ready == 0) return sawMalformed ? kZkBadReply : kZkTimeout;
        // An error condition is read like data: recv reports it (a closed port as ECONNREFUSED).
        const ptrdiff_t n = socket.ReceiveDatagram(buffer.data(), buffer.size());
        if (n < 0) {
            const int error = LastSocketError();
            if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) continue;
            if (error == ECONNREFUSED) return kZkUnreachable;  // nothing listens at the port
            return kZkConnectionLost;
        }
        if (static_cast<size_t>(n) > buffer.size()) {  // cut by the buffer: cannot be trusted
            sawMalformed = true;
            continue;
        }
        const std::span<const uint8_t> bytes(buffer.data(), static_cast<size_t>(n));
        const auto header = ReadSnmpHeader(bytes);
        if (!header) {
            sawMalformed = true;
            continue;
        }
        if (header->pduTag != kPduGetResponse) continue;
        if (header->requestId != requestId) {  // stale, or an answer to another request
            if (onOtherAnswer && ParseSnmpResponse(bytes)) onOtherAnswer(header->requestId);
            continue;
        }
        // The header alone can survive damage further on: the whole message must read.
        auto parsed = ParseSnmpResponse(bytes);
        if (!parsed) {
            sawMalformed = true;
            continue;
        }
        if (request != nullptr && !ResponseAnswers(*request, *parsed)) {  // another request's answer
            if (onOtherAnswer) onOtherAnswer(requestId);
            continue;
        }
        datagram.assign(bytes.begin(), bytes.end());
        if (response != nullptr) *response = std::move(*parsed);
        return kZkOk;
    }
}

int32_t CSnmpChannel::Open(uint32_t address, uint16_t port, std::unique_ptr<CChannel>& channel)
{
    CSocket socket = ConnectUdp(address, port);
    if (!socket.Valid()) return kZkResources;
    channel = std::make_unique<CSnmpChannel>(std::move(socket), address, port);
    return kZkOk;
}

int32_t CSnmpChannel::Renew()
{
    CSocket socket = ConnectUdp(m_address, m_port);
    if (!socket.Valid()) return kZkResources;
    m_socket = std::move(socket);
    return kZkOk;
}

int32_t CSnmpChannel::Write(std::span<const uint8_t> request)
{
    const auto header = ReadSnmpHeader(request);
    if (!header || request.size() > kMaxDatagram) return kZkBadArgument;
    m_previousWireId.reset();
    if (m_ownId && !m_resent) m_previousWireId = m_wireId;
    m_resent = false;
    m_sent.assign(request.begin(), request.end());
    m_requestId = header->requestId;
    const auto id = RequestIdBytes(request);
    m_ownId = id && id->length == 1 && m_sent[id->offset] <= kMaxOneByteId;
    if (m_ownId) {
        m_callerId = m_sent[id->offset];
        m_wireId = static_cast<uint8_t>(m_wireId % kMaxOneByteId + 1);
        m_sent[id->offset] = m_wireId;
        m_requestId = m_wireId;
    }
    m_socket.DrainPending();
    const ptrdiff_t n = m_socket.Send(m_sent.data(), m_sent.size());
    if (n < 0) return LastSocketError() == ECONNREFUSED ? kZkUnreachable : kZkConnectionLost;
    m_request = ParseSnmpRequest(m_sent);
    return static_cast<int32_t>(n);
}

int32_t CSnmpChannel::Read(uint32_t timeoutMs, std::vector<uint8_t>& reply)
{
    const SnmpRequest* asked = m_request ? &*m_request : nullptr;
    // An agent that answers another request (a copy of an earlier answer under this ID, or its
    // answer to the request before this one) is there and listening: this request is sent once
    // more instead of waiting out the time-out. A request sent twice may be answered twice, so
    // the second answer to it is no reason to send the next request again.
    const auto askAgain = [&](int32_t answeredId) {
        if (m_resent || (answeredId != m_requestId && answeredId != m_previousWireId)) return;
        m_resent = true;
        m_socket.Send(m_sent.data(), m_sent.size());  // a failure shows in the wait
    };
    const int32_t r = AwaitSnmpResponse(m_socket, m_requestId, asked, DeadlineAfter(timeoutMs), reply, nullptr, askAgain);
    if (r == kZkOk && m_ownId) {
        // The reply carries the wire ID (an agent may spend more bytes on it than needed): the
        // caller gets its own back in the same bytes.
        if (const auto id = RequestIdBytes(reply)) {
            std::fill_n(reply.begin() + static_cast<std::ptrdiff_t>(id->offset), id->length, uint8_t{0});
            reply[id->offset + id->length - 1] = m_callerId;
        }
    }
    return r;
}

int32_t CSnmpChannel::QueryStatus(uint32_t timeoutMs, std::vector<uint8_t>& status)
{
    SnmpResponse response;
    const int32_t r = Ask(m_address, m_port, kPduGetRequest, {*ParseOidText(kStatusOid)}, timeoutMs / kStatusTries,
                          kStatusTries, response);
    if (r != kZkOk) return r;
    if (response.errorStatus != 0 || response.bindings.empty() ||
        response.bindings[0].valueTag != kBerOctetString || response.bindings[0].value.empty())
        return kZkNoStatus;
    status.assign(response.bindings[0].value.begin(), response.bindings[0].value.end());
    return kZkOk;
}

int32_t CSnmpChannel::Ask(uint32_t address, uint16_t port, uint8_t pduTag, const std::vector<Oid>& oids,
                          uint32_t waitMs, int tries, SnmpResponse& response)
{
    CSocket socket = ConnectUdp(address, port);
    if (!socket.Valid()) return kZkResources;
    int32_t result = kZkTimeout;
    for (int attempt = 0; attempt < tries; ++attempt) {
        const int32_t id = NextRequestId();
        const std::vector<uint8_t> request = BuildSnmpRequest(pduTag, id, kSnmpCommunity, oids);
        if (socket.Send(request.data(), request.size()) < 0)
            return LastSocketError() == ECONNREFUSED ? kZkUnreachable : kZkConnectionLost;
        std::vector<uint8_t> datagram;
        result = AwaitSnmpResponse(socket, id, nullptr, DeadlineAfter(waitMs), datagram, &response);
        if (result == kZkOk || result == kZkUnreachable) return result;
    }
    return result;
}

}  // namespace zk
