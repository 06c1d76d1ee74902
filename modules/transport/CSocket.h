// Sockets for the transport module: an owning descriptor, deadline-bounded waits, connects and
// writes, and draining of bytes nobody asked for yet. Linux only; the module is the one place
// where the printer side meets the operating system.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zk {

using Clock = std::chrono::steady_clock;

inline Clock::time_point DeadlineAfter(uint32_t ms)
{
    return Clock::now() + std::chrono::milliseconds(ms);
}

// Milliseconds left until the deadline, 0 when it has passed.
int RemainingMs(Clock::time_point deadline);

// An owned file descriptor, closed on destruction.
class CSocket {
public:
    CSocket() = default;
    explicit CSocket(int fd) : m_fd(fd) {}
    CSocket(CSocket&& other) noexcept : m_fd(other.Release()) {}
    CSocket& operator=(CSocket&& other) noexcept;
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;
    ~CSocket();

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release();
    // Ends both directions so that a thread blocked in a wait on it wakes up.
    void Shutdown() const;

    // Waits for `events` (poll flags) until the deadline: 1 ready, 0 timed out, -1 error/hang-up
    // without the wanted event.
    int WaitFor(short events, Clock::time_point deadline) const;
    // Writes every byte before the deadline; false on error, hang-up or time-out.
    bool WriteAll(std::span<const uint8_t> bytes, Clock::time_point deadline) const;
    // Reads and discards what has already arrived; false when the peer has closed.
    bool DrainPending() const;

private:
    int m_fd = -1;
};

// A non-blocking UDP socket connected to address:port (host order), or an invalid one.
CSocket ConnectUdp(uint32_t address, uint16_t port);
// A non-blocking TCP connection to address:port within timeoutMs, or an invalid socket.
CSocket ConnectTcp(uint32_t address, uint16_t port, uint32_t timeoutMs);
// A non-blocking connection to the Unix stream socket at path, or an invalid socket.
CSocket ConnectUnix(const std::string& path);

}  // namespace zk
