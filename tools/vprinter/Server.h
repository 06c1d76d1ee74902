// The virtual printer's network side: one thread and one poll loop serving every printer of
// the run (a single printer or a fleet): SNMP on UDP, the job-language port on TCP, USB devices
// on Unix sockets, with the faults of each printer applied to its replies.
//
// USB devices follow modules/transport/usb_protocol.h: frames of a selector byte, a 32-bit
// length (LSB first) and the payload; control command 'I' gives the device ID, 'C' the data
// selectors offered (1 D4, 2 TVD4); requests on a data selector get exactly one reply frame.
#pragma once

#include "FaultPlan.h"
#include "Profile.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vprinter {

struct PrinterSpec {
    std::string address;  // 127.x.y.z, or empty for a printer on a USB port only
    std::string usbPort;  // "USB001", or empty: the profile's own usb_port
    std::shared_ptr<const Profile> profile;
};

struct ServerOptions {
    uint16_t snmpPort = 161;
    uint16_t opkPort = 9100;
    std::string usbDir;            // folder of the USB<nnn>.sock files
    std::vector<FaultRule> faults; // added to every printer's own rules
    uint32_t seed = 1;
    bool verbose = false;
};

// Parses one fleet line "ADDRESS PROFILE" (ADDRESS is 127.x.y.z or USB<nnn>); profile paths
// are taken relative to baseDir. Blank lines and "#" comments give an empty spec and true.
bool ParseFleetLine(const std::string& line, std::string& address, std::string& profilePath, std::string& error);

// True for dotted IPv4 text inside 127.0.0.0/8, the only addresses a virtual printer may use.
bool IsLoopbackAddress(const std::string& text);

// What one printer was asked during a run: every datagram that reached its SNMP agent and every
// connection accepted on its job-language port and USB socket, whether answered or not.
struct PrinterStats {
    std::string label;  // "ADDRESS (profile)" or "USBnnn (profile)"
    uint64_t snmpRequests = 0;
    uint64_t opkConnections = 0;
    uint64_t usbConnections = 0;
    uint64_t exchanges = 0;  // requests of any channel that were answered or meant to be
};

class Server {
public:
    explicit Server(ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds every socket of the printer; false with a message when something cannot be bound.
    bool AddPrinter(const PrinterSpec& spec, std::string& error);

    // Serves until Stop (from a signal handler or another thread) is called.
    void Run();
    void Stop();

    size_t PrinterCount() const;
    // The counts of every printer, in the order they were added. Read after Run has returned.
    std::vector<PrinterStats> Stats() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vprinter
