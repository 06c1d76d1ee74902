// Test helpers for the virtual printer: run build/vprinter as a child process, talk to it with
// raw UDP, TCP and USB-socket clients. Every test uses its own addresses in
// 127.0.77.0/24 and 127.0.78.0/24 and non-privileged ports, so tests can run in parallel.
#pragma once

#include "Bytes.h"
#include "support/TempFolder.h"
#include "support/VprinterProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vp_test {

using vprinter::Bytes;

inline constexpr int kSnmpPort = 1161;
inline constexpr int kOpkPort = 19100;

using vanto_test::ReadFile;
using vanto_test::SampleProfile;

// build/vprinter on the harness's ports and USB folder.
class Vprinter : public vanto_test::VprinterProcess {
public:
    explicit Vprinter(const std::vector<std::string>& args, const std::string& usbDir = "/tmp")
        : VprinterProcess(WithPorts(args, usbDir)) {}

private:
    static std::vector<std::string> WithPorts(std::vector<std::string> args, const std::string& usbDir) {
        args.insert(args.begin(), {"--snmp-port", std::to_string(kSnmpPort), "--opk-port", std::to_string(kOpkPort),
                                   "--usb-dir", usbDir});
        return args;
    }
};

inline sockaddr_in Inet(const std::string& address, int port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    return sa;
}

// One UDP exchange; nothing when no datagram arrives within the wait.
inline std::optional<Bytes> UdpExchange(const std::string& address, const Bytes& request, int waitMs) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in to = Inet(address, kSnmpPort);
    ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    pollfd p{fd, POLLIN, 0};
    std::optional<Bytes> reply;
    if (::poll(&p, 1, waitMs) > 0) {
        Bytes buf(65536);
        const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
        if (n >= 0) reply = Bytes(buf.begin(), buf.begin() + n);
    }
    ::close(fd);
    return reply;
}

// A stream connection (TCP or Unix) with a bounded read.
class Stream {
public:
    static Stream Tcp(const std::string& address) {
        Stream s(::socket(AF_INET, SOCK_STREAM, 0));
        const sockaddr_in to = Inet(address, kOpkPort);
        if (::connect(s.m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) != 0) s.Close();
        return s;
    }
    static Stream Unix(const std::string& path) {
        Stream s(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        std::snprintf(sa.sun_path, sizeof(sa.sun_path), "%s", path.c_str());
        if (::connect(s.m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) != 0) s.Close();
        return s;
    }
    Stream(Stream&& o) noexcept : m_fd(o.m_fd) { o.m_fd = -1; }
    ~Stream() { Close(); }
    bool Ok() const { return m_fd >= 0; }
    void Send(const Bytes& b) { [[maybe_unused]] auto n = ::send(m_fd, b.data(), b.size(), MSG_NOSIGNAL); }
    void Send(const std::string& s) { Send(Bytes(s.begin(), s.end())); }
    // Reads until `want` bytes arrived, the peer closed, or waitMs passed without data.
    Bytes Read(size_t want, int waitMs = 2000) {
        Bytes out;
        while (out.size() < want) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, waitMs) <= 0) break;
            uint8_t buf[4096];
            const ssize_t n = ::recv(m_fd, buf, std::min(sizeof(buf), want - out.size()), 0);
            if (n <= 0) {
                m_peerClosed = true;
                break;
            }
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }
    bool PeerClosed() const { return m_peerClosed; }

private:
    explicit Stream(int fd) : m_fd(fd) {}
    void Close() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    int m_fd = -1;
    bool m_peerClosed = false;
};

// USB frames: selector, 32-bit length (LSB first), payload.
inline Bytes UsbFrame(uint8_t selector, const Bytes& payload) {
    Bytes f{selector};
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>((payload.size() >> (8 * i)) & 0xFF));
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

// Reads one reply frame's payload; nothing when none arrives whole.
inline std::optional<Bytes> UsbReply(Stream& s, uint8_t selector) {
    const Bytes head = s.Read(5);
    if (head.size() != 5 || head[0] != selector) return std::nullopt;
    const size_t n = head[1] | (head[2] << 8) | (head[3] << 16) | (static_cast<size_t>(head[4]) << 24);
    Bytes payload = s.Read(n);
    if (payload.size() != n) return std::nullopt;
    return payload;
}

inline Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace vp_test
