// Where a named printer is: a network address (queue port "IP_<address>" or a bare address, or
// path type 2) or a local device behind a USB port's Unix socket.
#pragma once

#include <cstdint>
#include <string>

namespace zk {

struct PrinterTarget {
    enum class Kind { Network, Usb };
    Kind kind = Kind::Network;
    uint32_t address = 0;    // host order, network printers
    std::string socketPath;  // USB devices
};

// Checks the name (not null, at most kZkMaxNameLength bytes) and finds the printer.
// 0, kZkBadArgument, kZkUnknownQueue or kZkNotAllowed.
int32_t LocatePrinter(int32_t pathType, const char* name, PrinterTarget& target);

// The target that a queue port names, for ports in the forms above. 0, kZkUnknownQueue (a port
// of no known form) or kZkNotAllowed.
int32_t TargetFromPort(const std::string& port, PrinterTarget& target);

}  // namespace zk
