// CProbeMode: the search conditions and the transport module's probe context.
#include "probe/CProbeMode.h"

#include "common/BILogging.h"
#include "probe/ProbeText.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kMaxNameBytes = 63;  // longest device name kept

// `text` in the thread's ANSI code page into `out` (`size` bytes with the terminator); false when
// it does not fit or cannot be converted.
bool ToAnsi(LPCWSTR text, char* out, size_t size) {
    std::memset(out, 0, size);
    return text && WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, out, static_cast<int>(size), nullptr, nullptr) > 0;
}

}  // namespace

CProbeMode::CProbeMode() {
    Clear();
}

// SetSubnetAddress: appends one subnet to the list.
int CProbeMode::SetSubnetAddress(LPCWSTR networkAddress, LPCWSTR subnetMask) {
    ZKProbeSubnet entry{};
    if (!ToAnsi(networkAddress, entry.szNetworkAddress, sizeof entry.szNetworkAddress) ||
        !ToAnsi(subnetMask, entry.szSubnetMask, sizeof entry.szSubnetMask))
        return 0;
    BI_LOG("CProbeMode::SetSubnetAddress NetworkAddress=%s SubnetMask=%s\n", entry.szNetworkAddress,
           entry.szSubnetMask);
    m_subnets.push_back(entry);
    if (m_subnets.size() > 1) m_subnets[m_subnets.size() - 2].pNext = &m_subnets.back();
    return 1;
}

// SetContextName: replaces the device name, cut to 63 bytes. The search itself does not carry
// it: a NAME search asks every device and keeps those whose name matches.
int CProbeMode::SetContextName(LPCWSTR deviceName) {
    if (!deviceName) return 0;
    std::string name;
    if (!ProbeTextToAnsi(deviceName, name)) return 0;
    name.resize(std::min(name.size(), kMaxNameBytes));
    BI_LOG("CProbeMode::SetContextName DeviceName=%s\n", name.c_str());
    m_filterName = std::move(name);
    return 1;
}

// SetContextIPRANGE: the start and end address of a type-3 search.
int CProbeMode::SetContextIPRANGE(LPCWSTR startAddress, LPCWSTR endAddress) {
    char range[sizeof m_range];
    if (!ToAnsi(startAddress, range, kTextBytes) || !ToAnsi(endAddress, range + kTextBytes, kTextBytes)) return 0;
    std::memcpy(m_range, range, sizeof m_range);
    BI_LOG("CProbeMode::SetContextIPRANGE StartAddress=%s EndAddress=%s\n", m_range, m_range + kTextBytes);
    return 1;
}

// SetContextIPADR: the address of a type-4 search, upper-cased (host names compare that way).
int CProbeMode::SetContextIPADR(LPCWSTR address) {
    BI_LOG("CVANTO::SetContextIPADR\n");
    char text[sizeof m_address];
    if (!ToAnsi(address, text, sizeof text)) return 0;
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    std::memcpy(m_address, text, sizeof m_address);
    BI_LOG("CProbeMode::SetContextIPADR IPAddress=%s\n", m_address);
    return 1;
}

// SetProbeMode: zeroes the context, settles the type (NAME becomes SUBIP over a cleared list),
// copies that type's data and the six parameters.
int CProbeMode::SetProbeMode(int type, DWORD p1, DWORD p2, DWORD p3, DWORD p4, DWORD p5, DWORD p6) {
    BI_LOG("CProbeMode::SetProbeMode\n");
    std::memset(&m_context, 0, sizeof m_context);
    if (type == kTypeName) {
        Clear();
        m_context.dwProbeType = kTypeSubnets;
        m_nameFilter = 1;
    } else {
        m_context.dwProbeType = static_cast<uint32_t>(type);
    }
    BI_LOG("CProbeMode::SetTypeContext ProbeType=%d(1:NAME 2:SUBIP 3:IPRANGE 4:IPADR)\n", type);
    std::memset(m_typeContext, 0, sizeof m_typeContext);
    switch (m_context.dwProbeType) {
    case kTypeSubnets: {
        const ZKProbeSubnet* first = m_subnets.empty() ? nullptr : &m_subnets.front();
        std::memcpy(m_typeContext, &first, sizeof first);
        break;
    }
    case kTypeRange:
        std::memcpy(m_typeContext, m_range, sizeof m_range);
        break;
    case kTypeAddress:
        std::memcpy(m_typeContext, m_address, sizeof m_address);
        break;
    default:
        return 0;
    }
    const DWORD params[] = {p1, p2, p3, p4, p5, p6};
    for (size_t i = 0; i < 6; ++i) m_context.dwParam[i] = params[i];
    m_context.dwReserved = 0;
    std::memcpy(m_context.typeContext, m_typeContext, sizeof m_typeContext);
    return 1;
}

void CProbeMode::Clear() {
    std::memset(m_range, 0, sizeof m_range);
    std::memset(m_address, 0, sizeof m_address);
    std::memset(m_typeContext, 0, sizeof m_typeContext);
    std::memset(&m_context, 0, sizeof m_context);
    m_subnets.clear();
    m_nameFilter = 0;
}
