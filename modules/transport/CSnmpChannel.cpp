// SNMP exchanges over UDP with reply matching by request ID.
#include "modules/transport/CSnmpChannel.h"

#include "modules/transport/zkapi.h"

#include <atomic>
#include <cerrno>
#include <poll.h>
#include <random>
#include <sys/socket.h>

namespace zk {
namespace {

constexpr size_t kMaxDatagram = 65535;  // bytes; the largest UDP payload
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
                          const std::function<void()>& onOtherAnswer)
{
    bool sawMalformed = false;
    std::vector<uint8_t> buffer(kMaxDatagram);
    for (;;) {
        const int ready = socket.WaitFor(POLLIN, deadline);
        if (ready == 0) return sawMalformed ? kZkBadReply : kZkTimeout;
        // An error condition is read like data: recv reports it (a closed port as ECONNREFUSED).
        const ssize_t n = ::recv(socket.Get(), buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            if (errno == ECONNREFUSED) return kZkUnreachable;  // nothing listens at the port
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
        if (header->pduTag != kPduGetResponse || header->requestId != requestId) continue;  // stale
        // The header alone can survive damage further on: the whole message must read.
        auto parsed = ParseSnmpResponse(bytes);
        if (!parsed) {
            sawMalformed = true;
            continue;
        }
        if (request != nullptr && !ResponseAnswers(*request, *parsed)) {  // another request's answer
            if (onOtherAnswer) onOtherAnswer();
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
    m_socket.DrainPending();
    const ssize_t n = ::send(m_socket.Get(), request.data(), request.size(), MSG_NOSIGNAL);
    if (n < 0) return errno == ECONNREFUSED ? kZkUnreachable : kZkConnectionLost;
    m_requestId = header->requestId;
    m_request = ParseSnmpRequest(request);
    m_sent.assign(request.begin(), request.end());
    return static_cast<int32_t>(n);
}

int32_t CSnmpChannel::Read(uint32_t timeoutMs, std::vector<uint8_t>& reply)
{
    const SnmpRequest* asked = m_request ? &*m_request : nullptr;
    // An agent that answers another request with the same ID (a copy of an earlier answer) is
    // there and listening: this request is sent once more instead of waiting out the time-out.
    bool askedAgain = false;
    const auto askAgain = [&] {
        if (askedAgain) return;
        askedAgain = true;
        ::send(m_socket.Get(), m_sent.data(), m_sent.size(), MSG_NOSIGNAL);  // a failure shows in the wait
    };
    return AwaitSnmpResponse(m_socket, m_requestId, asked, DeadlineAfter(timeoutMs), reply, nullptr, askAgain);
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
        if (::send(socket.Get(), request.data(), request.size(), MSG_NOSIGNAL) < 0)
            return errno == ECONNREFUSED ? kZkUnreachable : kZkConnectionLost;
        std::vector<uint8_t> datagram;
        result = AwaitSnmpResponse(socket, id, nullptr, DeadlineAfter(waitMs), datagram, &response);
        if (result == kZkOk || result == kZkUnreachable) return result;
    }
    return result;
}

}  // namespace zk
