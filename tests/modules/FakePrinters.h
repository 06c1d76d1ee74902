// Printers under the tests' own control, for faults that must happen exactly when a test wants
// them: an SNMP agent, a job-language port and a USB device socket, each served by a thread on
// its own loopback address (or socket path) and stopped on destruction.
#pragma once

#include "modules/transport/CSnmpCodec.h"
#include "modules/transport/CSocket.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zktest {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text);

// A GetResponse to `request` (a Get/GetNext), with `values` per requested binding: the binding's
// identifier is replaced by the given one when the map has an entry for it.
struct AgentAnswer {
    std::string oid;    // dotted identifier to answer with
    std::string value;  // octet-string value
};
Bytes SnmpResponseTo(const Bytes& request, const std::vector<AgentAnswer>& answers, int32_t idDelta = 0);

// One datagram to send back, after a delay.
struct Datagram {
    Bytes bytes;
    int delayMs = 0;
};

class FakeSnmpAgent {
public:
    using Behaviour = std::function<std::vector<Datagram>(const Bytes& request)>;
    FakeSnmpAgent(const std::string& address, Behaviour behaviour);
    ~FakeSnmpAgent();
    int Requests() const { return m_requests; }

private:
    zk::CSocket m_socket;
    Behaviour m_behaviour;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::thread m_thread;
};

// A job-language port: every request is answered by the behaviour with chunks written in order
// (each after its delay); an empty result with closeAfter closes the connection.
struct StreamAnswer {
    std::vector<Datagram> chunks;
    bool close = false;
};
class FakeJobLanguagePort {
public:
    using Behaviour = std::function<StreamAnswer(const Bytes& request)>;
    FakeJobLanguagePort(const std::string& address, Behaviour behaviour);
    ~FakeJobLanguagePort();

private:
    void Serve(zk::CSocket connection);
    zk::CSocket m_listener;
    Behaviour m_behaviour;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A USB device socket speaking the frame protocol; data requests go to the behaviour, which gives
// the reply payloads (none: no reply).
class FakeUsbDevice {
public:
    using Behaviour = std::function<std::vector<Datagram>(uint8_t selector, const Bytes& request)>;
    FakeUsbDevice(const std::string& path, std::string deviceId, Bytes selectors, Behaviour behaviour);
    ~FakeUsbDevice();

private:
    zk::CSocket m_listener;
    std::string m_deviceId;
    Bytes m_selectors;
    Behaviour m_behaviour;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace zktest
