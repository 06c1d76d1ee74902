// IPv4 parsing, the loopback rule and search address lists.
#include "modules/transport/CNetAddress.h"

#include <utility>

namespace zk {

std::optional<uint32_t> ParseIPv4(std::string_view text)
{
    uint32_t address = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return std::nullopt;
            ++pos;
        }
        uint32_t value = 0;
        size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
            value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
        address = (address << 8) | value;
    }
    if (pos != text.size()) return std::nullopt;
    return address;
}

std::string FormatIPv4(uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

bool IsPermittedAddress(uint32_t address)
{
    return (address & kLoopbackMask) == kLoopbackNetwork;
}

std::optional<std::vector<uint32_t>> SubnetHosts(uint32_t network, uint32_t mask, size_t limit)
{
    // A contiguous mask is some ones followed by zeros: its complement plus one is a power of two.
    const uint32_t hostBits = ~mask;
    if ((hostBits & (hostBits + 1)) != 0) return std::nullopt;
    const uint32_t base = network & mask;
    uint32_t first = base;
    uint32_t last = base | hostBits;
    if (hostBits >= 3) {  // skip the network and broadcast addresses
        ++first;
        --last;
    }
    return RangeHosts(first, last, limit);
}

std::optional<std::vector<uint32_t>> RangeHosts(uint32_t first, uint32_t last, size_t limit)
{
    if (first > last) std::swap(first, last);
    if (static_cast<uint64_t>(last) - first + 1 > limit) return std::nullopt;
    std::vector<uint32_t> hosts;
    hosts.reserve(static_cast<size_t>(last - first) + 1);
    for (uint64_t a = first; a <= last; ++a) hosts.push_back(static_cast<uint32_t>(a));
    return hosts;
}

}  // namespace zk
