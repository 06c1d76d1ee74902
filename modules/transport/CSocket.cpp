// Owned sockets with deadline-bounded waits.
#include "modules/transport/CSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zk {

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left > INT32_MAX ? INT32_MAX : static_cast<int>(left);
}

CSocket& CSocket::operator=(CSocket&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = other.Release();
    }
    return *this;
}

CSocket::~CSocket()
{
    if (m_fd >= 0) ::close(m_fd);
}

int CSocket::Release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void CSocket::Shutdown() const
{
    if (m_fd >= 0) ::shutdown(m_fd, SHUT_RDWR);
}

int CSocket::WaitFor(short events, Clock::time_point deadline) const
{
    for (;;) {
        pollfd p{m_fd, events, 0};
        const int r = ::poll(&p, 1, RemainingMs(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) return 0;
        if (p.revents & events) return 1;
        return -1;  // error or hang-up without the wanted event
    }
}

bool CSocket::WriteAll(std::span<const uint8_t> bytes, Clock::time_point deadline) const
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (WaitFor(POLLOUT, deadline) != 1) return false;
            continue;
        }
        return false;
    }
    return true;
}

bool CSocket::DrainPending() const
{
    uint8_t scrap[4096];
    for (;;) {
        const ssize_t n = ::recv(m_fd, scrap, sizeof scrap, MSG_DONTWAIT);
        if (n > 0) continue;
        if (n == 0) {
            int type = 0;
            socklen_t len = sizeof type;
            // An empty datagram is not a hang-up.
            if (::getsockopt(m_fd, SOL_SOCKET, SO_TYPE, &type, &len) == 0 && type == SOCK_DGRAM) continue;
            return false;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
        if (errno == ECONNREFUSED) continue;  // a UDP port-unreachable report, not data
        return false;
    }
}

namespace {

sockaddr_in InetAddress(uint32_t address, uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

}  // namespace

CSocket ConnectUdp(uint32_t address, uint16_t port)
{
    CSocket s(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s.Valid()) return s;
    const sockaddr_in sa = InetAddress(address, port);
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return CSocket();
    return s;
}

CSocket ConnectTcp(uint32_t address, uint16_t port, uint32_t timeoutMs)
{
    CSocket s(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s.Valid()) return s;
    const sockaddr_in sa = InetAddress(address, port);
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return s;
    if (errno != EINPROGRESS) return CSocket();
    if (s.WaitFor(POLLOUT, DeadlineAfter(timeoutMs)) != 1) return CSocket();
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) return CSocket();
    return s;
}

CSocket ConnectUnix(const std::string& path)
{
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof sa.sun_path) return CSocket();
    std::memcpy(sa.sun_path, path.data(), path.size());
    CSocket s(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s.Valid()) return s;
    // A Unix stream connect completes at once or fails (EAGAIN: the device's backlog is full).
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return CSocket();
    return s;
}

}  // namespace zk
