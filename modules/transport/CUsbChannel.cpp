// Framed exchanges with a local device over its Unix socket.
#include "modules/transport/CUsbChannel.h"

#include "modules/transport/usb_protocol.h"
#include "modules/transport/zkapi.h"

#include <algorithm>
#include <cerrno>

namespace zk {
namespace {

constexpr uint32_t kControlWaitMs = 2000;  // wait for a control reply
constexpr uint32_t kSendTimeoutMs = 5000;  // a frame must be written by then
// The ink-jet status information command: "st", 0x01, 0x00, 0x01.
constexpr uint8_t kStatusCommand[] = {'s', 't', 0x01, 0x00, 0x01};

// Reads exactly out.size() bytes. 1 done, 0 timed out (possibly after some bytes: `got` says how
// many), -1 closed or failed.
int ReadExact(const CSocket& socket, std::span<uint8_t> out, Clock::time_point deadline, size_t& got)
{
    got = 0;
    while (got < out.size()) {
        const int ready = socket.WaitFor(POLLIN, deadline);
        if (ready == 0) return 0;
        const ptrdiff_t n = ready > 0 ? socket.Receive(out.data() + got, out.size() - got) : 0;
        const int error = n < 0 ? LastSocketError() : 0;
        if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) continue;
        if (n <= 0) return -1;
        got += static_cast<size_t>(n);
    }
    return 1;
}

}  // namespace

bool WriteUsbFrame(const CSocket& socket, uint8_t selector, std::span<const uint8_t> payload)
{
    std::vector<uint8_t> frame(zkusb::kUsbHeaderSize + payload.size());
    const uint32_t n = static_cast<uint32_t>(payload.size());
    frame[0] = selector;
    for (int i = 0; i < 4; ++i) frame[1 + i] = static_cast<uint8_t>(n >> (8 * i));
    std::copy(payload.begin(), payload.end(), frame.begin() + zkusb::kUsbHeaderSize);
    return socket.WriteAll(frame, DeadlineAfter(kSendTimeoutMs));
}

int32_t ReadUsbFrame(const CSocket& socket, uint8_t selector, Clock::time_point deadline,
                     std::vector<uint8_t>& payload, bool& closed)
{
    for (;;) {
        uint8_t header[zkusb::kUsbHeaderSize];
        size_t got = 0;
        int r = ReadExact(socket, header, deadline, got);
        if (r < 0) {
            closed = true;
            return kZkConnectionLost;
        }
        if (r == 0) return got == 0 ? kZkTimeout : kZkBadReply;
        const uint32_t length = header[1] | (header[2] << 8) | (header[3] << 16) | (static_cast<uint32_t>(header[4]) << 24);
        if (length > zkusb::kUsbMaxPayload) return kZkBadReply;
        std::vector<uint8_t> body(length);
        r = ReadExact(socket, body, deadline, got);
        if (r < 0) {
            closed = true;
            return kZkConnectionLost;
        }
        if (r == 0) return kZkBadReply;
        if (header[0] != selector) continue;  // a late answer on another selector
        payload = std::move(body);
        return kZkOk;
    }
}

int32_t CUsbChannel::AskControl(const std::string& socketPath, uint8_t command, std::vector<uint8_t>& reply)
{
    CSocket socket = ConnectUnix(socketPath);
    if (!socket.Valid()) return kZkUnreachable;
    const uint8_t request[] = {command};
    if (!WriteUsbFrame(socket, zkusb::kUsbControl, request)) return kZkConnectionLost;
    bool closed = false;
    return ReadUsbFrame(socket, zkusb::kUsbControl, DeadlineAfter(kControlWaitMs), reply, closed);
}

int32_t CUsbChannel::Open(const std::string& socketPath, uint8_t selector, std::unique_ptr<CChannel>& channel)
{
    std::vector<uint8_t> offered;
    const int32_t r = AskControl(socketPath, zkusb::kControlChannelList, offered);
    if (r != kZkOk) return r;
    if (std::find(offered.begin(), offered.end(), selector) == offered.end()) return kZkNoChannel;
    CSocket socket = ConnectUnix(socketPath);
    if (!socket.Valid()) return kZkUnreachable;
    channel = std::make_unique<CUsbChannel>(std::move(socket), socketPath, selector);
    return kZkOk;
}

void CUsbChannel::Shutdown()
{
    std::lock_guard guard(m_socketLock);
    m_shutDown = true;
    m_socket.Shutdown();
}

int32_t CUsbChannel::Renew()
{
    if (m_closed) return kZkConnectionLost;
    CSocket socket = ConnectUnix(m_socketPath);
    if (!socket.Valid()) return kZkUnreachable;
    std::lock_guard guard(m_socketLock);
    if (m_shutDown) return kZkConnectionLost;
    m_socket = std::move(socket);
    return kZkOk;
}

int32_t CUsbChannel::Write(std::span<const uint8_t> request)
{
    if (m_closed) return kZkConnectionLost;
    if (request.size() > zkusb::kUsbMaxPayload) return kZkBadArgument;
    // Frames that came after the last finished exchange are dropped here.
    if (!m_socket.DrainPending() || !WriteUsbFrame(m_socket, m_selector, request)) {
        m_closed = true;
        return kZkConnectionLost;
    }
    return static_cast<int32_t>(request.size());
}

int32_t CUsbChannel::Read(uint32_t timeoutMs, std::vector<uint8_t>& reply)
{
    if (m_closed) return kZkConnectionLost;
    return ReadUsbFrame(m_socket, m_selector, DeadlineAfter(timeoutMs), reply, m_closed);
}

int32_t CUsbChannel::QueryStatus(uint32_t timeoutMs, std::vector<uint8_t>& status)
{
    const int32_t sent = Send(kStatusCommand);
    if (sent < 0) return sent;
    std::vector<uint8_t> reply;
    const int32_t r = AwaitReply(timeoutMs, reply);
    if (r == kZkConnectionLost) return r;
    if (r != kZkOk || reply.empty()) return kZkNoStatus;
    status = std::move(reply);
    return kZkOk;
}

}  // namespace zk
