// CProbeMode: what a printer search looks for (a device name, subnets, an address range or one
// address) and the probe context handed to the transport module's search start.
//
// Probe types: 1 NAME (searched as SUBIP without subnets, then filtered by name), 2 SUBIP,
// 3 IPRANGE, 4 IPADR. The data of types 2 to 4 must be set before SetProbeMode, which copies it;
// type 1 clears everything else first. Address texts that do not fit 63 bytes in the thread's
// ANSI code page are refused; the device name is cut to 63 bytes.
#pragma once

#include "modules/transport/zkapi.h"
#include "platform/win32.h"

#include <deque>
#include <string>

class CProbeMode {
public:
    static constexpr int kTypeName = 1;
    static constexpr int kTypeSubnets = 2;
    static constexpr int kTypeRange = 3;
    static constexpr int kTypeAddress = 4;

    CProbeMode();

    // Each returns 1 on success, 0 on failure (a null or unconvertible text).
    int SetSubnetAddress(LPCWSTR networkAddress, LPCWSTR subnetMask);
    int SetContextName(LPCWSTR deviceName);
    int SetContextIPRANGE(LPCWSTR startAddress, LPCWSTR endAddress);
    int SetContextIPADR(LPCWSTR address);
    // Builds the probe context; parameters 1 to 6 go to the transport module unchanged.
    int SetProbeMode(int type, DWORD p1, DWORD p2, DWORD p3, DWORD p4, DWORD p5, DWORD p6);
    // Forgets the search's data and zeroes the probe context; the filter's name stays.
    void Clear();

    const ZKProbeContext& ProbeContext() const { return m_context; }
    bool NameFilter() const { return m_nameFilter != 0; }
    const std::string& FilterName() const { return m_filterName; }

private:
    static constexpr size_t kTextBytes = 64;  // an address text with its terminator

    std::deque<ZKProbeSubnet> m_subnets;  // a deque keeps the entries where they are as it grows
    std::string m_filterName;             // the device name for the result filter; Clear keeps it
    char m_range[2 * kTextBytes];         // start address, end address
    char m_address[kTextBytes];
    unsigned char m_typeContext[sizeof(ZKProbeContext::typeContext)];
    ZKProbeContext m_context;
    DWORD m_nameFilter = 0;
};
