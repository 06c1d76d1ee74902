// Printers under the tests' own control, for replies vprinter never sends (split, layout-less,
// hostile frame lengths): a job-language port and a USB device socket, each served by a thread
// and stopped on destruction.
#pragma once

#include "modules/transport/CSocket.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zktest {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text);

// One piece of a reply, sent after a delay.
struct Datagram {
    Bytes bytes;
    int delayMs = 0;
};

// A listening socket served by a thread; each connection gets a thread of its own running the
// session, which returns when the peer closes or `stop` is set. Stopped on destruction.
class FakePort {
public:
    using Session = std::function<void(const zk::CSocket& connection, const std::atomic<bool>& stop)>;
    FakePort(zk::CSocket listener, Session session);
    ~FakePort();

private:
    zk::CSocket m_listener;
    Session m_session;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A job-language port on address:9100: every request is answered by the behaviour with chunks
// written in order, each after its delay; `close` then closes the connection.
struct StreamAnswer {
    std::vector<Datagram> chunks;
    bool close = false;
};
std::unique_ptr<FakePort> FakeJobLanguagePort(const std::string& address,
                                              std::function<StreamAnswer(const Bytes& request)> behaviour);

// A USB device socket speaking the frame protocol: its channel selectors on the control channel;
// data requests answered by the behaviour's payloads (none: no reply). A payload starting with
// 0xEE is sent as it is after that byte, as a raw and possibly broken frame.
using UsbBehaviour = std::function<std::vector<Datagram>(uint8_t selector, const Bytes& request)>;
std::unique_ptr<FakePort> FakeUsbDevice(const std::string& path, Bytes selectors,
                                        UsbBehaviour behaviour);

}  // namespace zktest
