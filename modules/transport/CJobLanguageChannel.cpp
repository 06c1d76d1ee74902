// Job-language exchanges over TCP.
#include "modules/transport/CJobLanguageChannel.h"

#include "modules/transport/usb_protocol.h"
#include "modules/transport/zkapi.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace zk {
namespace {

constexpr uint32_t kConnectTimeoutMs = 2000;  // a printer that does not accept by then is absent
constexpr uint32_t kSendTimeoutMs = 5000;     // a request must be written by then
constexpr uint32_t kStatusWaitMs = 1000;      // wait for a status reply
constexpr uint32_t kDeviceIdWaitMs = 2000;    // wait for a device-ID reply
constexpr size_t kReadChunk = 16384;

std::span<const uint8_t> Bytes(const char* text)
{
    return {reinterpret_cast<const uint8_t*>(text), std::strlen(text)};
}

}  // namespace

int32_t ReadStreamReply(const CSocket& socket, ReplyAssessor assess, Clock::time_point deadline,
                        std::vector<uint8_t>& reply, bool& broken)
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
        const ssize_t n = ready > 0 ? ::recv(socket.Get(), chunk, sizeof chunk, MSG_DONTWAIT) : 0;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (n <= 0) {
            broken = true;
            if (a.state == ReplyState::Unknown && !buffer.empty()) {
                reply = std::move(buffer);
                return kZkOk;
            }
            return kZkConnectionLost;
        }
        if (buffer.size() + static_cast<size_t>(n) > kZkMaxReplySize) {
            broken = true;
            return kZkBadReply;
        }
        buffer.insert(buffer.end(), chunk, chunk + n);
        lastByte = Clock::now();
    }
}

int32_t CJobLanguageChannel::Open(uint32_t address, uint16_t port, std::unique_ptr<CChannel>& channel)
{
    CSocket socket = ConnectTcp(address, port, kConnectTimeoutMs);
    if (!socket.Valid()) return kZkUnreachable;
    channel = std::make_unique<CJobLanguageChannel>(std::move(socket));
    return kZkOk;
}

int32_t CJobLanguageChannel::Send(std::span<const uint8_t> request)
{
    if (m_broken) return kZkConnectionLost;
    if (request.size() > kZkMaxReplySize) return kZkBadArgument;
    if (!m_socket.DrainPending() || !m_socket.WriteAll(request, DeadlineAfter(kSendTimeoutMs))) {
        m_broken = true;
        return kZkConnectionLost;
    }
    return static_cast<int32_t>(request.size());
}

int32_t CJobLanguageChannel::AwaitReply(uint32_t timeoutMs, std::vector<uint8_t>& reply)
{
    if (m_broken) return kZkConnectionLost;
    const int32_t r = ReadStreamReply(m_socket, AssessJobLanguageReply, DeadlineAfter(timeoutMs), reply, m_broken);
    // A reply cut short leaves the rest of it in the stream; the next request drains it.
    return r;
}

int32_t CJobLanguageChannel::QueryStatus(std::vector<uint8_t>& status)
{
    const int32_t sent = Send(Bytes(zkusb::kOpkStatusRequest));
    if (sent < 0) return sent;
    std::vector<uint8_t> reply;
    const int32_t r = ReadStreamReply(m_socket, AssessJobLanguageReply, DeadlineAfter(kStatusWaitMs), reply, m_broken);
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
    bool broken = false;
    const int32_t r = ReadStreamReply(socket, AssessLineReply, DeadlineAfter(kDeviceIdWaitMs), reply, broken);
    if (r != kZkOk) return r == kZkTimeout ? kZkNoDeviceId : r;
    if (reply.empty()) return kZkNoDeviceId;
    deviceId.assign(reply.begin(), reply.end());
    return kZkOk;
}

}  // namespace zk
