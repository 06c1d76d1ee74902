// Sockets for the transport module: an owning descriptor, deadline-bounded waits, connects and
// writes, and draining of bytes nobody asked for yet. The module is the one place where the
// printer side meets the operating system: POSIX sockets on Linux, Winsock on Windows, with the
// differences kept in CSocket.cpp (errors are reported as POSIX errno values on both).
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#include <poll.h>
#endif

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zk {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
using NativeSocket = SOCKET;
#else
using NativeSocket = int;
#endif
inline constexpr NativeSocket kNoSocket = static_cast<NativeSocket>(-1);

// The error of the last failed socket call of this thread as a POSIX errno value (EAGAIN for a
// call that would block, ECONNREFUSED for a port-unreachable report, EINPROGRESS for a connect
// under way, EMSGSIZE for a cut datagram).
int LastSocketError();

inline Clock::time_point DeadlineAfter(uint32_t ms)
{
    return Clock::now() + std::chrono::milliseconds(ms);
}

// Milliseconds left until the deadline, 0 when it has passed.
int RemainingMs(Clock::time_point deadline);

// An owned socket, closed on destruction.
class CSocket {
public:
    CSocket() = default;
    explicit CSocket(NativeSocket fd) : m_fd(fd) {}
    CSocket(CSocket&& other) noexcept : m_fd(other.Release()) {}
    CSocket& operator=(CSocket&& other) noexcept;
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;
    ~CSocket();

    NativeSocket Get() const { return m_fd; }
    bool Valid() const { return m_fd != kNoSocket; }
    NativeSocket Release();
    // Ends both directions so that a thread blocked in a wait on it wakes up.
    void Shutdown() const;

    // Waits for `events` (poll flags) until the deadline: 1 ready, 0 timed out, -1 error/hang-up
    // without the wanted event.
    int WaitFor(short events, Clock::time_point deadline) const;
    // Writes every byte before the deadline; false on error, hang-up or time-out.
    bool WriteAll(std::span<const uint8_t> bytes, Clock::time_point deadline) const;
    // Reads and discards what has already arrived; false when the peer has closed.
    bool DrainPending() const;

    // Without waiting: the bytes sent or received, 0 when a stream's peer has closed, -1 on error
    // (LastSocketError; EAGAIN when nothing can move yet).
    ptrdiff_t Send(const void* data, size_t size) const;
    ptrdiff_t Receive(void* data, size_t size) const;
    // One datagram without waiting: its whole length, more than `size` when the buffer cut it,
    // or -1 on error. The sender's address goes to `from` when given.
    ptrdiff_t ReceiveDatagram(void* data, size_t size, sockaddr_in* from = nullptr) const;
    ptrdiff_t SendTo(const void* data, size_t size, const sockaddr_in& to) const;

private:
    NativeSocket m_fd = kNoSocket;
};

// A non-blocking UDP socket, not connected, with a receive buffer of at least receiveBytes.
CSocket OpenUdp(int receiveBytes);

// A non-blocking UDP socket connected to address:port (host order), or an invalid one.
CSocket ConnectUdp(uint32_t address, uint16_t port);
// A non-blocking TCP connection to address:port within timeoutMs, or an invalid socket.
CSocket ConnectTcp(uint32_t address, uint16_t port, uint32_t timeoutMs);
// A non-blocking connection to the Unix stream socket at path, or an invalid socket.
CSocket ConnectUnix(const std::string& path);

}  // namespace zk
