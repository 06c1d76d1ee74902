#include "FakePrinters.h"

#include "modules/transport/CNetAddress.h"
#include "modules/transport/usb_protocol.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zktest {
namespace {

zk::CSocket Listening(const std::string& address, uint16_t port)
{
    zk::CSocket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int one = 1;
    ::setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(*zk::ParseIPv4(address));
    if (::bind(s.Get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
        throw std::runtime_error("cannot bind " + address + ":" + std::to_string(port));
    ::listen(s.Get(), 16);
    return s;
}

bool Readable(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool ReadAll(int fd, uint8_t* out, size_t n)
{
    size_t got = 0;
    while (got < n) {
        if (!Readable(fd, 2000)) return false;
        const ssize_t r = ::recv(fd, out + got, n - got, 0);
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

void WriteFrame(int fd, uint8_t selector, const Bytes& payload)
{
    Bytes frame{selector};
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(payload.size() >> (8 * i)));
    frame.insert(frame.end(), payload.begin(), payload.end());
    ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
}

}  // namespace

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

FakePort::FakePort(zk::CSocket listener, Session session)
    : m_listener(std::move(listener)), m_session(std::move(session))
{
    m_thread = std::thread([this] {
        std::vector<std::thread> sessions;
        while (!m_stop) {
            if (!Readable(m_listener.Get(), 20)) continue;
            zk::CSocket c(::accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (c.Valid()) sessions.emplace_back([this, s = std::move(c)] { m_session(s, m_stop); });
        }
        for (auto& t : sessions) t.join();
    });
}

FakePort::~FakePort()
{
    m_stop = true;
    m_thread.join();
}

std::unique_ptr<FakePort> FakeJobLanguagePort(const std::string& address,
                                              std::function<StreamAnswer(const Bytes& request)> behaviour)
{
    auto session = [=](const zk::CSocket& c, const std::atomic<bool>& stop) {
        Bytes buffer(65536);
        while (!stop) {
            if (!Readable(c.Get(), 20)) continue;
            const ssize_t n = ::recv(c.Get(), buffer.data(), buffer.size(), 0);
            if (n <= 0) return;
            const StreamAnswer answer = behaviour(Bytes(buffer.begin(), buffer.begin() + n));
            for (const Datagram& chunk : answer.chunks) {
                SleepMs(chunk.delayMs);
                ::send(c.Get(), chunk.bytes.data(), chunk.bytes.size(), MSG_NOSIGNAL);
            }
            if (answer.close) return;
        }
    };
    return std::make_unique<FakePort>(Listening(address, 9100), session);
}

std::unique_ptr<FakePort> FakeUsbDevice(const std::string& path, Bytes selectors,
                                        UsbBehaviour behaviour)
{
    zk::CSocket listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    path.copy(sa.sun_path, sizeof sa.sun_path - 1);
    ::unlink(path.c_str());
    if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        throw std::runtime_error("bind " + path);
    ::listen(listener.Get(), 16);
    auto session = [=](const zk::CSocket& s, const std::atomic<bool>& stop) {
        uint8_t header[5];
        while (!stop && ReadAll(s.Get(), header, 5)) {
            const uint32_t n = header[1] | header[2] << 8 | header[3] << 16 | uint32_t(header[4]) << 24;
            if (n > 65536) return;
            Bytes payload(n);
            if (!ReadAll(s.Get(), payload.data(), n)) return;
            if (header[0] == zkusb::kUsbControl) {
                WriteFrame(s.Get(), 0, selectors);
                continue;
            }
            for (const Datagram& d : behaviour(header[0], payload)) {
                SleepMs(d.delayMs);
                if (d.bytes.size() >= 5 && d.bytes[0] == 0xEE)
                    ::send(s.Get(), d.bytes.data() + 1, d.bytes.size() - 1, MSG_NOSIGNAL);
                else
                    WriteFrame(s.Get(), header[0], d.bytes);
            }
        }
    };
    return std::make_unique<FakePort>(std::move(listener), session);
}

}  // namespace zktest
