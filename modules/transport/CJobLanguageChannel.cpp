// Job-language exchanges over TCP.
#include "modules/transport/CJobLanguageChannel.h"

#include "modules/transport/usb_protocol.h"
#include "modules/transport/zkapi.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zk {
namespace {

constexpr uint32_t kConnectTimeoutMs = 2000;  // a printer that does not accept by then is absent
constexpr uint32_t kSendTimeoutMs = 5000;     // a request must be written by then
constexpr uint32_t kDeviceIdWaitMs = 2000;    // wait for a device-ID reply
constexpr size_t kReadChunk = 16384;

std::span<const uint8_t> Bytes(const char* text)
{
    return {reinterpret_cast<const uint8_t*>(text), std::strlen(text)};
}

}  // namespace

int32_t ReadStreamReply(const CSocket& socket, ReplyAssessor assess, Clock::time_point deadline,
                        std::vector<uint8_t>& reply, bool& closed)
{
    std::vector<uint8_t> buffer;
    Clock::time_point lastByte = Clock::now();
    for (;;) {
        const ReplyAssessment a = assess(buffer);
        if (a.state == ReplyState::Complete) {
            buffer.resize(a.length);
            reply = std::move(buffer);
            return kZkOk;
        }
        Clock::time_point waitUntil = deadline;
        if (a.state == ReplyState::Unknown && !buffer.empty())
            waitUntil = std::min(deadline, lastByte + std::chrono::milliseconds(kQuietGapMs));
        const int ready = socket.WaitFor(POLLIN, waitUntil);
        if (ready == 0) {
            if (a.state == ReplyState::Unknown && !buffer.empty()) {
                reply = std::move(buffer);
                return kZkOk;
            }
            return buffer.empty() ? kZkTimeout : kZkBadReply;
        }
        uint8_t chunk[kReadChunk];
        const ptrdiff_t n = ready > 0 ? socket.Receive(chunk, sizeof chunk) : 0;
        const int error = n < 0 ? LastSocketError() : 0;
        if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) continue;
        if (n <= 0) {
            closed = true;
            if (a.state == ReplyState::Unknown && !buffer.empty()) {
                reply = std::move(buffer);
                return kZkOk;
            }
            return kZkConnectionLost;
        }
        if (buffer.size() + static_cast<size_t>(n) > kZkMaxReplySize) return kZkBadReply;
        buffer.insert(buffer.end(), chunk, chunk + n);
        lastByte = Clock::now();
    }
}

int32_t CJobLanguageChannel::Open(uint32_t address, uint16_t port, std::unique_ptr<CChannel>& channel)
{
    CSocket socket = ConnectTcp(address, port, kConnectTimeoutMs);
    if (!socket.Valid()) return kZkUnreachable;
    channel = std::make_unique<CJobLanguageChannel>(std::move(socket), address, port);
    return kZkOk;
}

void CJobLanguageChannel::Shutdown()
{
    std::lock_guard guard(m_socketLock);
    m_shutDown = true;
    m_socket.Shutdown();
}

int32_t CJobLanguageChannel::Renew()
{
    if (m_closed) return kZkConnectionLost;
    CSocket socket = ConnectTcp(m_address, m_port, kConnectTimeoutMs);
    if (!socket.Valid()) return kZkUnreachable;
    std::lock_guard guard(m_socketLock);
    if (m_shutDown) return kZkConnectionLost;
    m_socket = std::move(socket);
    return kZkOk;
}

int32_t CJobLanguageChannel::Write(std::span<const uint8_t> request)
{
    if (m_closed) return kZkConnectionLost;
    if (request.size() > kZkMaxReplySize) return kZkBadArgument;
    if (!m_socket.DrainPending() || !m_socket.WriteAll(request, DeadlineAfter(kSendTimeoutMs))) {
        m_closed = true;
        return kZkConnectionLost;
    }
    return static_cast<int32_t>(request.size());
}

int32_t CJobLanguageChannel::Read(uint32_t timeoutMs, std::vector<uint8_t>& reply)
{
    if (m_closed) return kZkConnectionLost;
    return ReadStreamReply(m_socket, AssessJobLanguageReply, DeadlineAfter(timeoutMs), reply, m_closed);
}

int32_t CJobLanguageChannel::QueryStatus(uint32_t timeoutMs, std::vector<uint8_t>& status)
{
    const int32_t sent = Send(Bytes(zkusb::kOpkStatusRequest));
    if (sent < 0) return sent;
    std::vector<uint8_t> reply;
    const int32_t r = AwaitReply(timeoutMs, reply);
    if (r == kZkConnectionLost) return r;
    const size_t headLength = std::strlen(zkusb::kOpkStatusReplyHead);
    if (r != kZkOk || reply.size() < headLength ||
        std::memcmp(reply.data(), zkusb::kOpkStatusReplyHead, headLength) != 0)
        return kZkNoStatus;  // connected and answering, but no status reply
    status = std::move(reply);
    return kZkOk;
}

int32_t CJobLanguageChannel::AskDeviceId(uint32_t address, uint16_t port, std::string& deviceId)
{
    CSocket socket = ConnectTcp(address, port, kConnectTimeoutMs);
    if (!socket.Valid()) return kZkUnreachable;
    if (!socket.WriteAll(Bytes(zkusb::kOpkDeviceIdRequest), DeadlineAfter(kSendTimeoutMs)))
        return kZkConnectionLost;
    std::vector<uint8_t> reply;
    bool closed = false;
    const int32_t r = ReadStreamReply(socket, AssessLineReply, DeadlineAfter(kDeviceIdWaitMs), reply, closed);
    if (r != kZkOk) return r == kZkTimeout ? kZkNoDeviceId : r;
    if (reply.empty()) return kZkNoDeviceId;
    deviceId.assign(reply.begin(), reply.end());
    return kZkOk;
}

}  // namespace zk
