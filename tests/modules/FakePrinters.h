// Printers under the tests' own control, for replies vprinter never sends (split, layout-less,
// hostile frame lengths): a job-language port and a USB device socket, each served by a thread
// and stopped on destruction; and SNMP answers built byte by byte.
#pragma once

#include "modules/transport/CSnmpCodec.h"
#include "modules/transport/CSocket.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace zktest {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text);

// A GetResponse to `request` with these bindings.
struct AgentAnswer {
    std::string oid;    // dotted identifier to answer with
    std::string value;  // octet-string value
};
Bytes SnmpResponseTo(const Bytes& request, const std::vector<AgentAnswer>& answers);

// One piece of a reply, sent after a delay.
struct Datagram {
    Bytes bytes;
    int delayMs = 0;
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
