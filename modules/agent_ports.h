// The ports at which the stand-in modules reach a printer. A real printer listens on the standard
// ports; virtual printers run by an ordinary user cannot bind ports below 1024, so the environment
// may move both (VANTO_SNMP_PORT, VANTO_OPK_PORT), for the modules and vprinter alike.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace vmod {

// The port named by the environment variable, or `standard` when it is unset or not a number in
// 1-65535.
inline uint16_t PortFromEnvironment(const char* variable, uint16_t standard) {
    const char* text = std::getenv(variable);
    if (!text || !*text) return standard;
    unsigned long value = 0;
    for (char c : std::string_view(text)) {
        if (c < '0' || c > '9') return standard;
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > 65535) return standard;
    }
    return value == 0 ? standard : static_cast<uint16_t>(value);
}

// Read once per process: a search and the channels it opens must agree on the port.
inline uint16_t SnmpAgentPort() {
    static const uint16_t port = PortFromEnvironment("VANTO_SNMP_PORT", 161);
    return port;
}

inline uint16_t JobLanguagePort() {
    static const uint16_t port = PortFromEnvironment("VANTO_OPK_PORT", 9100);
    return port;
}

}  // namespace vmod
