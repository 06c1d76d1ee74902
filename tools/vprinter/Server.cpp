// The poll loop of the virtual printer: sockets, connections, fault application and timers.
#include "Server.h"

#include "JobLanguageSession.h"
#include "SnmpAgent.h"
#include "modules/transport/usb_protocol.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <sstream>

namespace vprinter {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kReadChunk = 65536;
constexpr size_t kMaxConnectionsPerPrinter = 64;  // more are accepted and closed at once
constexpr int kListenBacklog = 64;
constexpr int kDatagramsPerWake = 64;  // drained from one SNMP socket before others get a turn
constexpr int kMaxPollWaitMs = 1000;

// Owns one file descriptor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& o) noexcept : m_fd(o.m_fd) { o.m_fd = -1; }
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            Reset();
            m_fd = o.m_fd;
            o.m_fd = -1;
        }
        return *this;
    }
    int Get() const { return m_fd; }
    void Reset() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

std::string ErrnoText() { return std::strerror(errno); }

bool IsUsbPort(const std::string& text) {
    return text.size() == 6 && text.compare(0, 3, "USB") == 0 &&
           std::all_of(text.begin() + 3, text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool IsLoopbackAddress(const std::string& text) {
    in_addr addr{};
    if (::inet_pton(AF_INET, text.c_str(), &addr) != 1) return false;
    return (ntohl(addr.s_addr) >> 24) == 127;
}

bool ParseFleetLine(const std::string& line, std::string& address, std::string& profilePath, std::string& error) {
    address.clear();
    profilePath.clear();
    std::istringstream in(line);
    std::string first, second, extra;
    in >> first;
    if (first.empty() || first[0] == '#') return true;
    in >> second >> extra;
    if (second.empty() || (!extra.empty() && extra[0] != '#')) {
        error = "fleet line must be ADDRESS PROFILE: " + line;
        return false;
    }
    if (!IsLoopbackAddress(first) && !IsUsbPort(first)) {
        error = "refusing address '" + first + "': only 127.0.0.0/8 or a USB<nnn> port";
        return false;
    }
    address = first;
    profilePath = second;
    return true;
}

struct Server::Impl {
    struct Printer;

    enum class ConnKind { Opk, Usb };

    struct Connection {
        Fd fd;
        Printer* printer = nullptr;
        ConnKind kind = ConnKind::Opk;
        std::unique_ptr<JobLanguageSession> session;
        Bytes input;                                          // USB: bytes of unfinished frames
        std::deque<std::pair<Clock::time_point, Bytes>> out;  // replies waiting for their time
        Bytes sending;                                        // bytes being written
        size_t sent = 0;
        std::optional<Bytes> previous;  // last reply computed, for the "wrong" fault
        bool dead = false;
    };

    struct Printer {
        std::string label;
        std::shared_ptr<const Profile> profile;
        std::string usbPort;
        std::unique_ptr<SnmpAgent> agent;
        std::unique_ptr<FaultPlan> faults;
        Fd udp, tcp, unixListener;
        std::string unixPath;
        std::optional<Bytes> previousSnmp;
        bool vanished = false;
        std::optional<Clock::time_point> returnsAt;  // end of a timed vanish
        size_t connections = 0;
        PrinterStats stats;

        ~Printer() {
            if (!unixPath.empty()) ::unlink(unixPath.c_str());
        }
    };

    struct UdpTimer {
        Clock::time_point when;
        Printer* printer;
        sockaddr_in to;
        Bytes data;
    };

    explicit Impl(ServerOptions o) : options(std::move(o)) {
        int fds[2];
        if (::pipe(fds) == 0) {
            wakeRead = Fd(fds[0]);
            wakeWrite = Fd(fds[1]);
            SetNonBlocking(fds[0]);
            SetNonBlocking(fds[1]);
        }
    }


    void Log(const Printer& p, const char* what, const std::string& detail = {}) const {
        if (!options.verbose) return;
        std::fprintf(stderr, "vprinter: %s: %s%s%s\n", p.label.c_str(), what, detail.empty() ? "" : " ", detail.c_str());
    }

    bool BindInet(const std::string& address, int type, uint16_t port, Fd& out, std::string& error) {
        Fd fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
        if (fd.Get() < 0) {
            error = "socket: " + ErrnoText();
            return false;
        }
        if (type == SOCK_STREAM) {
            int one = 1;
            ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        }
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
        const char* proto = type == SOCK_STREAM ? "TCP" : "UDP";
        if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) {
            error = std::string("cannot bind ") + proto + " " + address + ":" + std::to_string(port) + ": " + ErrnoText();
            return false;
        }
        if (type == SOCK_STREAM && ::listen(fd.Get(), kListenBacklog) != 0) {
            error = std::string("cannot listen on TCP ") + address + ":" + std::to_string(port) + ": " + ErrnoText();
            return false;
        }
        SetNonBlocking(fd.Get());
        out = std::move(fd);
        return true;
    }

    bool BindUnix(Printer& p, std::string& error) {
        std::error_code ec;
        std::filesystem::create_directories(options.usbDir, ec);
        p.unixPath = options.usbDir + "/" + p.usbPort + ".sock";
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        if (p.unixPath.size() >= sizeof(sa.sun_path)) {
            error = "USB socket path too long: " + p.unixPath;
            p.unixPath.clear();
            return false;
        }
        std::memcpy(sa.sun_path, p.unixPath.c_str(), p.unixPath.size() + 1);
        Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (fd.Get() < 0) {
            error = "socket: " + ErrnoText();
            p.unixPath.clear();
            return false;
        }
        if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) {
            if (errno != EADDRINUSE) {
                error = "cannot bind USB socket " + p.unixPath + ": " + ErrnoText();
                p.unixPath.clear();
                return false;
            }
            // A socket file is there: in use when someone answers, else left over from a crash.
            Fd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
            if (::connect(probe.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) == 0) {
                error = "cannot bind USB socket " + p.unixPath + ": another device is serving it";
                p.unixPath.clear();
                return false;
            }
            ::unlink(p.unixPath.c_str());
            if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) {
                error = "cannot bind USB socket " + p.unixPath + ": " + ErrnoText();
                p.unixPath.clear();
                return false;
            }
        }
        if (::listen(fd.Get(), kListenBacklog) != 0) {
            error = "cannot listen on USB socket " + p.unixPath + ": " + ErrnoText();
            ::unlink(p.unixPath.c_str());
            p.unixPath.clear();
            return false;
        }
        SetNonBlocking(fd.Get());
        p.unixListener = std::move(fd);
        return true;
    }

    // ---- fault application ---------------------------------------------------------------

    void Vanish(Printer& p, long forMs) {
        Log(p, "vanishes", forMs < 0 ? "for good" : "for " + std::to_string(forMs) + " ms");
        p.vanished = true;
        p.returnsAt.reset();
        if (forMs >= 0) p.returnsAt = Clock::now() + std::chrono::milliseconds(forMs);
        for (auto& [fd, c] : connections)
            if (c->printer == &p) c->dead = true;
    }

    // Applies the printer's faults to one reply and hands what is left to send(bytes, delay).
    template <typename Send>
    void Deliver(Printer& p, Channel channel, Bytes reply, std::optional<Bytes>& previous, Send send) {
        ++p.stats.exchanges;
        const auto decision = p.faults->Next(channel);
        std::optional<Bytes> stale = previous;
        previous = reply;
        if (!decision) {
            send(std::move(reply), 0L);
            return;
        }
        Log(p, "fault", FaultKindName(decision->kind));
        switch (decision->kind) {
        case FaultKind::Lost:
            return;
        case FaultKind::Late:
            send(std::move(reply), decision->delayMs);
            return;
        case FaultKind::Truncated:
        case FaultKind::Garbled:
            p.faults->Mutate(decision->kind, reply);
            send(std::move(reply), 0L);
            return;
        case FaultKind::Wrong:
            if (stale) send(std::move(*stale), 0L);
            return;
        case FaultKind::Vanish:
            Vanish(p, decision->delayMs);
            return;
        }
    }

    // ---- SNMP ----------------------------------------------------------------------------

    void OnUdp(Printer& p) {
        std::vector<uint8_t> buf(kReadChunk);
        for (int i = 0; i < kDatagramsPerWake; ++i) {
            sockaddr_in from{};
            socklen_t fromLen = sizeof(from);
            const ssize_t n = ::recvfrom(p.udp.Get(), buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
            if (n < 0) return;
            ++p.stats.snmpRequests;
            if (p.vanished) continue;
            auto response = p.agent->Handle(std::span<const uint8_t>(buf.data(), static_cast<size_t>(n)));
            if (!response) {
                Log(p, "snmp", "request ignored");
                continue;
            }
            Deliver(p, Channel::Snmp, std::move(*response), p.previousSnmp, [&](Bytes data, long delayMs) {
                if (delayMs > 0) {
                    udpTimers.push_back({Clock::now() + std::chrono::milliseconds(delayMs), &p, from, std::move(data)});
                    return;
                }
                ::sendto(p.udp.Get(), data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&from), sizeof(from));
            });
        }
    }

    // ---- connections ---------------------------------------------------------------------

    void OnAccept(Printer& p, int listener, ConnKind kind) {
        while (true) {
            Fd fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
            if (fd.Get() < 0) return;
            ++(kind == ConnKind::Opk ? p.stats.opkConnections : p.stats.usbConnections);
            if (p.vanished || p.connections >= kMaxConnectionsPerPrinter) continue;  // closed at once
            auto c = std::make_unique<Connection>();
            c->printer = &p;
            c->kind = kind;
            if (kind == ConnKind::Opk) c->session = std::make_unique<JobLanguageSession>(*p.profile);
            const int key = fd.Get();
            c->fd = std::move(fd);
            ++p.connections;
            connections[key] = std::move(c);
        }
    }

    void Queue(Connection& c, Bytes data, long delayMs) {
        auto when = Clock::now() + std::chrono::milliseconds(delayMs);
        // Replies on a stream keep their order: none overtakes a late one.
        if (!c.out.empty() && c.out.back().first > when) when = c.out.back().first;
        c.out.emplace_back(when, std::move(data));
    }

    void OnOpkData(Connection& c, std::span<const uint8_t> data) {
        bool close = false;
        auto replies = c.session->Feed(data, close);
        for (auto& r : replies) {
            if (c.dead) break;
            Deliver(*c.printer, Channel::Opk, std::move(r), c.previous,
                    [&](Bytes bytes, long delayMs) { Queue(c, std::move(bytes), delayMs); });
        }
        if (close) c.dead = true;
    }

    static Bytes Frame(uint8_t selector, const Bytes& payload) {
        Bytes out{selector};
        const uint32_t n = static_cast<uint32_t>(payload.size());
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>((n >> (8 * i)) & 0xFF));
        out.insert(out.end(), payload.begin(), payload.end());
        return out;
    }

    void OnUsbData(Connection& c, std::span<const uint8_t> data) {
        c.input.insert(c.input.end(), data.begin(), data.end());
        const Profile& profile = *c.printer->profile;
        size_t pos = 0;
        while (!c.dead && c.input.size() - pos >= zkusb::kUsbHeaderSize) {
            const uint8_t selector = c.input[pos];
            const uint32_t length = c.input[pos + 1] | (c.input[pos + 2] << 8) | (c.input[pos + 3] << 16) |
                                    (static_cast<uint32_t>(c.input[pos + 4]) << 24);
            const bool offered = selector == zkusb::kUsbControl || (selector == zkusb::kUsbD4 && profile.d4) ||
                                 (selector == zkusb::kUsbTVD4 && profile.tvd4);
            if (!offered || length > zkusb::kUsbMaxPayload) {
                Log(*c.printer, "usb", "bad frame, connection closed");
                c.dead = true;
                break;
            }
            if (c.input.size() - pos - zkusb::kUsbHeaderSize < length) break;
            const std::span<const uint8_t> payload(&c.input[pos + zkusb::kUsbHeaderSize], length);
            pos += zkusb::kUsbHeaderSize + length;
            if (selector == zkusb::kUsbControl) {
                // Control questions are answered without faults: they describe the device.
                ++c.printer->stats.exchanges;
                Bytes reply;
                if (length == 1 && payload[0] == zkusb::kControlDeviceId) PutText(reply, profile.deviceId);
                if (length == 1 && payload[0] == zkusb::kControlChannelList) {
                    if (profile.d4) reply.push_back(zkusb::kUsbD4);
                    if (profile.tvd4) reply.push_back(zkusb::kUsbTVD4);
                }
                Queue(c, Frame(selector, reply), 0);
                continue;
            }
            auto answer = InkjetResponder(profile).Answer(payload, profile.piMaxChunk);
            Deliver(*c.printer, Channel::Usb, answer ? std::move(*answer) : Bytes(), c.previous,
                    [&](Bytes bytes, long delayMs) { Queue(c, Frame(selector, bytes), delayMs); });
        }
        c.input.erase(c.input.begin(), c.input.begin() + static_cast<long>(pos));
    }

    void OnReadable(Connection& c) {
        std::vector<uint8_t> buf(kReadChunk);
        const ssize_t n = ::read(c.fd.Get(), buf.data(), buf.size());
        if (n <= 0) {
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) c.dead = true;
            return;
        }
        if (c.printer->vanished) {
            c.dead = true;
            return;
        }
        const std::span<const uint8_t> data(buf.data(), static_cast<size_t>(n));
        if (c.kind == ConnKind::Opk) OnOpkData(c, data);
        else OnUsbData(c, data);
    }

    void Flush(Connection& c) {
        const auto now = Clock::now();
        while (true) {
            if (c.sent >= c.sending.size()) {
                c.sending.clear();
                c.sent = 0;
                if (c.out.empty() || c.out.front().first > now) return;
                c.sending = std::move(c.out.front().second);
                c.out.pop_front();
                continue;
            }
            const ssize_t n = ::send(c.fd.Get(), c.sending.data() + c.sent, c.sending.size() - c.sent, MSG_NOSIGNAL);
            if (n < 0) {
                if (errno != EAGAIN && errno != EINTR) c.dead = true;
                return;
            }
            c.sent += static_cast<size_t>(n);
        }
    }

    // ---- the loop ------------------------------------------------------------------------

    int NextTimeoutMs() const {
        auto next = Clock::now() + std::chrono::milliseconds(kMaxPollWaitMs);
        for (const auto& t : udpTimers) next = std::min(next, t.when);
        for (const auto& [fd, c] : connections)
            if (!c->out.empty() && c->sending.empty()) next = std::min(next, c->out.front().first);
        for (const auto& p : printers)
            if (p->returnsAt) next = std::min(next, *p->returnsAt);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        return static_cast<int>(std::max<long long>(0, ms + 1));
    }

    void RunTimers() {
        const auto now = Clock::now();
        for (auto it = udpTimers.begin(); it != udpTimers.end();) {
            if (it->when > now) {
                ++it;
                continue;
            }
            if (!it->printer->vanished)
                ::sendto(it->printer->udp.Get(), it->data.data(), it->data.size(), 0,
                         reinterpret_cast<const sockaddr*>(&it->to), sizeof(it->to));
            it = udpTimers.erase(it);
        }
        for (auto& p : printers) {
            if (p->returnsAt && *p->returnsAt <= now) {
                p->vanished = false;
                p->returnsAt.reset();
                Log(*p, "is back");
            }
        }
    }

    void Run() {
        enum class What { Wake, Udp, Tcp, Unix, Conn };
        struct Watch {
            What what;
            Printer* printer;
            int fd;
        };
        while (!stopping.load()) {
            std::vector<pollfd> fds;
            std::vector<Watch> watches;
            fds.push_back({wakeRead.Get(), POLLIN, 0});
            watches.push_back({What::Wake, nullptr, wakeRead.Get()});
            for (auto& p : printers) {
                const std::pair<const Fd*, What> listeners[] = {{&p->udp, What::Udp}, {&p->tcp, What::Tcp}, {&p->unixListener, What::Unix}};
                for (auto [fd, what] : listeners) {
                    if (fd->Get() < 0) continue;
                    fds.push_back({fd->Get(), POLLIN, 0});
                    watches.push_back({what, p.get(), fd->Get()});
                }
            }
            for (auto& [key, c] : connections) {
                short events = POLLIN;
                if (!c->sending.empty()) events |= POLLOUT;
                fds.push_back({key, events, 0});
                watches.push_back({What::Conn, c->printer, key});
            }
            const int ready = ::poll(fds.data(), fds.size(), NextTimeoutMs());
            if (ready < 0 && errno != EINTR) break;
            for (size_t i = 0; ready > 0 && i < fds.size(); ++i) {
                if (!fds[i].revents) continue;
                const Watch& w = watches[i];
                switch (w.what) {
                case What::Wake: {
                    char drain[64];
                    while (::read(wakeRead.Get(), drain, sizeof(drain)) > 0) {
                    }
                    break;
                }
                case What::Udp: OnUdp(*w.printer); break;
                case What::Tcp: OnAccept(*w.printer, w.fd, ConnKind::Opk); break;
                case What::Unix: OnAccept(*w.printer, w.fd, ConnKind::Usb); break;
                case What::Conn: {
                    auto it = connections.find(w.fd);
                    if (it == connections.end()) break;
                    if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) OnReadable(*it->second);
                    break;
                }
                }
            }
            RunTimers();
            for (auto it = connections.begin(); it != connections.end();) {
                Connection& c = *it->second;
                if (!c.dead) Flush(c);
                if (c.dead) {
                    --c.printer->connections;
                    it = connections.erase(it);
                } else {
                    ++it;
                }
            }
        }
        connections.clear();
        CountUnserved();
    }

    // Counts what reached the printers after the last turn of the loop and is never served:
    // datagrams still queued and connections still waiting to be accepted.
    void CountUnserved() {
        std::vector<uint8_t> scrap(kReadChunk);
        for (auto& p : printers) {
            if (p->udp.Get() >= 0)
                while (::recv(p->udp.Get(), scrap.data(), scrap.size(), MSG_DONTWAIT) >= 0) ++p->stats.snmpRequests;
            for (auto [listener, count] : {std::pair{p->tcp.Get(), &p->stats.opkConnections},
                                           std::pair{p->unixListener.Get(), &p->stats.usbConnections}}) {
                if (listener < 0) continue;
                while (Fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)).Get() >= 0) ++*count;
            }
        }
    }

    ServerOptions options;
    std::vector<std::unique_ptr<Printer>> printers;
    std::map<int, std::unique_ptr<Connection>> connections;
    std::vector<UdpTimer> udpTimers;
    Fd wakeRead, wakeWrite;
    std::atomic<bool> stopping{false};
};

Server::Server(ServerOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {}
Server::~Server() = default;

size_t Server::PrinterCount() const { return m_impl->printers.size(); }

std::vector<PrinterStats> Server::Stats() const {
    std::vector<PrinterStats> all;
    for (const auto& p : m_impl->printers) {
        all.push_back(p->stats);
        all.back().label = p->label;
    }
    return all;
}

bool Server::AddPrinter(const PrinterSpec& spec, std::string& error) {
    auto p = std::make_unique<Impl::Printer>();
    p->profile = spec.profile;
    const Profile& profile = *spec.profile;
    p->usbPort = spec.usbPort.empty() ? profile.usbPort : spec.usbPort;
    p->label = (spec.address.empty() ? p->usbPort : spec.address) + " (" + profile.name + ")";
    if (!spec.address.empty() && !IsLoopbackAddress(spec.address)) {
        error = "refusing address '" + spec.address + "': only 127.0.0.0/8";
        return false;
    }
    if (!spec.usbPort.empty() && !IsUsbPort(spec.usbPort)) {
        error = "refusing port '" + spec.usbPort + "': a USB port is USB and three digits";
        return false;
    }
    if (spec.address.empty() && p->usbPort.empty()) {
        error = profile.name + ": a printer needs an address or a USB port";
        return false;
    }
    std::vector<FaultRule> rules = profile.faults;
    rules.insert(rules.end(), m_impl->options.faults.begin(), m_impl->options.faults.end());
    p->faults = std::make_unique<FaultPlan>(rules, m_impl->options.seed + static_cast<uint32_t>(m_impl->printers.size()));
    p->agent = std::make_unique<SnmpAgent>(profile);
    if (!spec.address.empty()) {
        if (profile.snmp && !m_impl->BindInet(spec.address, SOCK_DGRAM, m_impl->options.snmpPort, p->udp, error))
            return false;
        if (profile.opk && !m_impl->BindInet(spec.address, SOCK_STREAM, m_impl->options.opkPort, p->tcp, error))
            return false;
    }
    if (!spec.usbPort.empty() && !profile.d4 && !profile.tvd4) {
        error = profile.name + ": offers no USB channel (d4, tvd4), so it cannot sit on " + spec.usbPort;
        return false;
    }
    if (!p->usbPort.empty() && (profile.d4 || profile.tvd4)) {
        if (!m_impl->BindUnix(*p, error)) return false;
    }
    m_impl->printers.push_back(std::move(p));
    return true;
}

void Server::Run() { m_impl->Run(); }

void Server::Stop() {
    m_impl->stopping.store(true);
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(m_impl->wakeWrite.Get(), &byte, 1);  // async-signal-safe
}

}  // namespace vprinter
