// The virtual printer as a process, seen through a raw USB-socket client: bad USB frames,
// bind errors and refused addresses. Its faults are checked by the library's tests that meet them
// (MIBFaults, MediaLive and FaultMatrix in tests/bidi, TransportVprinter in tests/modules).
// Addresses 127.0.77.x, non-privileged ports.
#include "Bytes.h"
#include "support/TempFolder.h"
#include "support/VprinterProcess.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vp_test {
namespace {

using vanto_test::SampleProfile;
using vprinter::Bytes;

constexpr int kSnmpPort = 1161;
constexpr int kOpkPort = 19100;

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

// A Unix stream connection with a bounded read.
class Stream {
public:
    explicit Stream(const std::string& path) : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        std::snprintf(sa.sun_path, sizeof(sa.sun_path), "%s", path.c_str());
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) != 0) Close();
    }
    Stream(const Stream&) = delete;
    ~Stream() { Close(); }
    void Send(const Bytes& b) { [[maybe_unused]] auto n = ::send(m_fd, b.data(), b.size(), MSG_NOSIGNAL); }
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
    void Close() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    int m_fd = -1;
    bool m_peerClosed = false;
};

// USB frames: selector, 32-bit length (LSB first), payload.
Bytes UsbFrame(uint8_t selector, const Bytes& payload) {
    Bytes f{selector};
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>((payload.size() >> (8 * i)) & 0xFF));
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

// Reads one reply frame's payload; nothing when none arrives whole.
std::optional<Bytes> UsbReply(Stream& s, uint8_t selector) {
    const Bytes head = s.Read(5);
    if (head.size() != 5 || head[0] != selector) return std::nullopt;
    const size_t n = head[1] | (head[2] << 8) | (head[3] << 16) | (static_cast<size_t>(head[4]) << 24);
    Bytes payload = s.Read(n);
    if (payload.size() != n) return std::nullopt;
    return payload;
}

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A channel-list question on a new connection to the device's socket, answered "D4 only".
bool AnswersD4Only(const std::string& path) {
    Stream s(path);
    s.Send(UsbFrame(0, B("C")));
    return UsbReply(s, 0) == Bytes{1};
}

// The library never sends a bad frame; a device that meets one closes the connection and still
// serves new ones.
TEST(VprinterUsb, BadFramesCloseTheConnection) {
    TempFolder usb;
    Vprinter vp({"-p", "USB002=" + SampleProfile("inkjet-usb-f14")}, usb.Path());
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    const std::string path = usb.Path() + "/USB002.sock";
    for (const Bytes& frame : {UsbFrame(2, Bytes{'s', 't', 1, 0, 1}),  // TVD4: the device offers D4 only
                               Bytes{1, 0xFF, 0xFF, 0xFF, 0x7F}}) {     // announces 2 GB
        Stream s(path);
        s.Send(frame);
        EXPECT_TRUE(s.Read(1).empty());
        EXPECT_TRUE(s.PeerClosed());
    }
    EXPECT_TRUE(AnswersD4Only(path));
}

TEST(VprinterFleet, BindErrorsAndRefusedAddressesEndTheRun) {
    TempFolder dir;
    const std::string colour = SampleProfile("colour-page"), inkjet = SampleProfile("inkjet-usb-f14");
    Vprinter first({"-p", "127.0.77.50=" + colour, "-p", "USB005=" + inkjet}, dir.Path());
    ASSERT_TRUE(first.Ready()) << first.Stderr();

    // Each run ends with status 2 and says why.
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"-p", "127.0.77.50=" + colour}, "cannot bind UDP 127.0.77.50:1161"},
        {{"-p", "USB005=" + inkjet}, "another device is serving it"},
        {{"-p", "localhost=" + colour}, "refusing address"},  // no address
        {{"-p", "10.0.0.1=" + colour}, "refusing address"},   // not loopback
        {{"--fleet", dir.Write("fleet.txt", "localhost " + colour + "\n")}, "fleet.txt:1"}};
    for (const auto& [args, reason] : refused) {
        Vprinter run(args, dir.Path());
        EXPECT_EQ(run.Wait(std::chrono::seconds(10)), 2) << reason;
        EXPECT_NE(run.Stderr().find(reason), std::string::npos) << run.Stderr();
    }

    // The refused instances left the first printer's device socket in place.
    EXPECT_TRUE(AnswersD4Only(dir.Path() + "/USB005.sock"));
}

}  // namespace
}  // namespace vp_test
