// Test helpers for the virtual printer: run build/vprinter as a child process, talk to it with
// net-snmp's tools, raw UDP, TCP and USB-socket clients. Every test uses its own addresses in
// 127.0.77.0/24 and 127.0.78.0/24 and non-privileged ports, so tests can run in parallel.
#pragma once

#include "Bytes.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vp_test {

using vprinter::Bytes;
using Clock = std::chrono::steady_clock;

inline constexpr int kSnmpPort = 1161;
inline constexpr int kOpkPort = 19100;

inline std::string SamplePath(const std::string& name) { return std::string(VANTO_SOURCE_DIR) + "/samples/printers/" + name; }
inline std::string RecordingsDir() { return std::string(VANTO_SHARED_DIR) + "/printers-recorded"; }

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// build/vprinter as a child process, its output in files; stopped with SIGTERM when destroyed.
class Vprinter {
public:
    // Starts vprinter with the arguments (the ports and USB folder are added) and waits up to
    // 10 s for its ready line. Started() tells whether it got there.
    explicit Vprinter(std::vector<std::string> args, const std::string& usbDir = "/tmp") {
        args.insert(args.begin(), {std::string(VANTO_BUILD_DIR) + "/vprinter", "--snmp-port", std::to_string(kSnmpPort),
                                   "--opk-port", std::to_string(kOpkPort), "--usb-dir", usbDir});
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (m_dir.Path() + "/out").c_str(), O_WRONLY | O_CREAT, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, (m_dir.Path() + "/err").c_str(), O_WRONLY | O_CREAT, 0600);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (m_pid > 0 && !Exited() && Clock::now() < deadline && Stdout().find("ready") == std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m_started = Stdout().find("ready") != std::string::npos;
    }
    ~Vprinter() { Stop(); }
    Vprinter(const Vprinter&) = delete;
    Vprinter& operator=(const Vprinter&) = delete;

    bool Started() const { return m_started; }

    // Sends SIGTERM and waits up to 10 s; the exit status, or -1 when it had to be killed.
    int Stop() {
        if (m_pid > 0 && !Exited()) ::kill(m_pid, SIGTERM);
        return Wait(std::chrono::seconds(10));
    }

    // Waits for the child to end by itself (for runs that fail at start).
    int Wait(std::chrono::seconds limit) {
        const auto deadline = Clock::now() + limit;
        while (m_pid > 0 && !Exited() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (m_pid > 0 && !Exited()) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_status = -1;
        }
        m_pid = -1;
        return m_status;
    }

    std::string Stdout() const { return ReadText(m_dir.Path() + "/out"); }
    std::string Stderr() const { return ReadText(m_dir.Path() + "/err"); }

private:
    bool Exited() {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        m_pid = -1;
        return true;
    }

    TempFolder m_dir;
    pid_t m_pid = -1;
    bool m_started = false;
    int m_status = -1;
};

// Runs a shell command and returns its standard output (net-snmp's tools, snmpsimd).
inline std::string RunShell(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
    ::pclose(pipe);
    return out;
}

// net-snmp tool invocation against a vprinter address: numeric OIDs, no MIB files, no retries.
inline std::string Snmp(const std::string& tool, const std::string& address, const std::string& args,
                        const std::string& community = "vintal") {
    return RunShell("MIBS= MIBDIRS=/nonexistent " + tool + " -v1 -c " + community + " -t 1 -r 0 -On " + address + ":" +
               std::to_string(kSnmpPort) + " " + args);
}

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
