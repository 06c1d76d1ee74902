// Owned sockets with deadline-bounded waits: POSIX sockets on Linux, Winsock on Windows.
#include "modules/transport/CSocket.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace zk {

namespace {

#ifdef _WIN32
// Winsock is started once for the process and stays started: the module is pinned once in use.
bool WinsockStarted()
{
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

void CloseNative(NativeSocket s) { ::closesocket(s); }

// A socket that never blocks and is not inherited by child processes.
NativeSocket OpenNative(int family, int type)
{
    if (!WinsockStarted()) return kNoSocket;
    const NativeSocket s = ::WSASocketW(family, type, 0, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == kNoSocket) return s;
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        CloseNative(s);
        return kNoSocket;
    }
    return s;
}

int PollNative(pollfd* p, int timeoutMs) { return ::WSAPoll(p, 1, timeoutMs); }
constexpr int kSendFlags = 0;
constexpr int kReceiveFlags = 0;
// A non-blocking connect under way is reported as "would block".
constexpr bool kConnectPendingAsWouldBlock = true;
#else
void CloseNative(NativeSocket s) { ::close(s); }

NativeSocket OpenNative(int family, int type)
{
    return ::socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

int PollNative(pollfd* p, int timeoutMs) { return ::poll(p, 1, timeoutMs); }
constexpr int kSendFlags = MSG_NOSIGNAL;
constexpr int kReceiveFlags = MSG_DONTWAIT;
constexpr bool kConnectPendingAsWouldBlock = false;
#endif

}  // namespace

int LastSocketError()
{
#ifdef _WIN32
    switch (::WSAGetLastError()) {
    case WSAEWOULDBLOCK: return EAGAIN;
    case WSAEINTR: return EINTR;
    case WSAEINPROGRESS: return EINPROGRESS;
    // A UDP socket hears of a port-unreachable report as a reset connection.
    case WSAECONNREFUSED:
    case WSAECONNRESET: return ECONNREFUSED;
    case WSAEMSGSIZE: return EMSGSIZE;
    default: return EIO;
    }
#else
    return errno;
#endif
}

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left > INT32_MAX ? INT32_MAX : static_cast<int>(left);
}

CSocket& CSocket::operator=(CSocket&& other) noexcept
{
    if (this != &other) {
        if (Valid()) CloseNative(m_fd);
        m_fd = other.Release();
    }
    return *this;
}

CSocket::~CSocket()
{
    if (Valid()) CloseNative(m_fd);
}

NativeSocket CSocket::Release()
{
    const NativeSocket fd = m_fd;
    m_fd = kNoSocket;
    return fd;
}

void CSocket::Shutdown() const
{
#ifdef _WIN32
    if (Valid()) ::shutdown(m_fd, SD_BOTH);
#else
    if (Valid()) ::shutdown(m_fd, SHUT_RDWR);
#endif
}

int CSocket::WaitFor(short events, Clock::time_point deadline) const
{
    for (;;) {
        pollfd p{m_fd, events, 0};
        const int r = PollNative(&p, RemainingMs(deadline));
        if (r < 0 && LastSocketError() == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) return 0;
        if (p.revents & events) return 1;
        return -1;  // error or hang-up without the wanted event
    }
}

ptrdiff_t CSocket::Send(const void* data, size_t size) const
{
#ifdef _WIN32
    const int n = static_cast<int>(size > INT32_MAX ? INT32_MAX : size);
    return ::send(m_fd, static_cast<const char*>(data), n, kSendFlags);
#else
    return ::send(m_fd, data, size, kSendFlags);
#endif
}

ptrdiff_t CSocket::Receive(void* data, size_t size) const
{
#ifdef _WIN32
    const int n = static_cast<int>(size > INT32_MAX ? INT32_MAX : size);
    return ::recv(m_fd, static_cast<char*>(data), n, kReceiveFlags);
#else
    return ::recv(m_fd, data, size, kReceiveFlags);
#endif
}

ptrdiff_t CSocket::ReceiveDatagram(void* data, size_t size, sockaddr_in* from) const
{
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
#ifdef _WIN32
    // Winsock fills the buffer with what fits and reports the rest as an error.
    const int n = ::recvfrom(m_fd, static_cast<char*>(data), static_cast<int>(size > INT32_MAX ? INT32_MAX : size),
                             0, reinterpret_cast<sockaddr*>(&sender), &senderLength);
    const ptrdiff_t length = n < 0 && ::WSAGetLastError() == WSAEMSGSIZE ? static_cast<ptrdiff_t>(size) + 1 : n;
#else
    const ptrdiff_t length = ::recvfrom(m_fd, data, size, MSG_DONTWAIT | MSG_TRUNC,
                                        reinterpret_cast<sockaddr*>(&sender), &senderLength);
#endif
    if (length >= 0 && from != nullptr) *from = sender;
    return length;
}

ptrdiff_t CSocket::SendTo(const void* data, size_t size, const sockaddr_in& to) const
{
#ifdef _WIN32
    return ::sendto(m_fd, static_cast<const char*>(data), static_cast<int>(size > INT32_MAX ? INT32_MAX : size),
                    kSendFlags, reinterpret_cast<const sockaddr*>(&to), sizeof to);
#else
    return ::sendto(m_fd, data, size, kSendFlags, reinterpret_cast<const sockaddr*>(&to), sizeof to);
#endif
}

bool CSocket::WriteAll(std::span<const uint8_t> bytes, Clock::time_point deadline) const
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ptrdiff_t n = Send(bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        const int error = n < 0 ? LastSocketError() : 0;
        if (error == EINTR) continue;
        if (error == EAGAIN || error == EWOULDBLOCK) {
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
        const ptrdiff_t n = Receive(scrap, sizeof scrap);
        if (n > 0) continue;
        if (n == 0) {
            int type = 0;
            socklen_t len = sizeof type;
            // An empty datagram is not a hang-up.
            if (::getsockopt(m_fd, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &len) == 0 &&
                type == SOCK_DGRAM)
                continue;
            return false;
        }
        const int error = LastSocketError();
        if (error == EINTR) continue;
        if (error == EAGAIN || error == EWOULDBLOCK) return true;
        if (error == ECONNREFUSED || error == EMSGSIZE) continue;  // a port-unreachable report, a cut datagram
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

CSocket OpenUdp(int receiveBytes)
{
    CSocket s(OpenNative(AF_INET, SOCK_DGRAM));
    if (s.Valid())
        ::setsockopt(s.Get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBytes), sizeof receiveBytes);
    return s;
}

CSocket ConnectUdp(uint32_t address, uint16_t port)
{
    CSocket s(OpenNative(AF_INET, SOCK_DGRAM));
    if (!s.Valid()) return s;
    const sockaddr_in sa = InetAddress(address, port);
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return CSocket();
    return s;
}

CSocket ConnectTcp(uint32_t address, uint16_t port, uint32_t timeoutMs)
{
    CSocket s(OpenNative(AF_INET, SOCK_STREAM));
    if (!s.Valid()) return s;
    const sockaddr_in sa = InetAddress(address, port);
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return s;
    const int error = LastSocketError();
    if (error != EINPROGRESS && !(kConnectPendingAsWouldBlock && error == EAGAIN)) return CSocket();
    if (s.WaitFor(POLLOUT, DeadlineAfter(timeoutMs)) != 1) return CSocket();
    int connectError = 0;
    socklen_t len = sizeof connectError;
    if (::getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&connectError), &len) != 0 ||
        connectError != 0)
        return CSocket();
    return s;
}

#ifdef _WIN32
// A USB printer on Windows is the spooler's port, not a socket of this module.
CSocket ConnectUnix(const std::string&) { return CSocket(); }
#else
CSocket ConnectUnix(const std::string& path)
{
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof sa.sun_path) return CSocket();
    std::memcpy(sa.sun_path, path.data(), path.size());
    CSocket s(OpenNative(AF_UNIX, SOCK_STREAM));
    if (!s.Valid()) return s;
    // A Unix stream connect completes at once or fails (EAGAIN: the device's backlog is full).
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return CSocket();
    return s;
}
#endif

}  // namespace zk
