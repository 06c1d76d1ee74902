// IPv4 addresses as the module handles them: strict dotted-decimal parsing, the rule that only
// loopback addresses are reached, and the address lists that a search walks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zk {

inline constexpr uint32_t kLoopbackNetwork = 0x7F000000;  // 127.0.0.0
inline constexpr uint32_t kLoopbackMask = 0xFF000000;     // /8
inline constexpr uint32_t kDefaultSearchNetwork = 0x7F000000;  // 127.0.0.0/16 when no subnet is given
inline constexpr uint32_t kDefaultSearchMask = 0xFFFF0000;

// Host-order address of "a.b.c.d" (four decimal parts 0-255, no spaces, no leading '+'), or
// nullopt.
std::optional<uint32_t> ParseIPv4(std::string_view text);
std::string FormatIPv4(uint32_t address);

// True when the module may send to the address: it lies in 127.0.0.0/8.
bool IsPermittedAddress(uint32_t address);

// The host addresses of a subnet (without its network and broadcast addresses when it has more
// than two), or nullopt when the mask is not contiguous or the list would exceed `limit`.
std::optional<std::vector<uint32_t>> SubnetHosts(uint32_t network, uint32_t mask, size_t limit);

// Every address from first to last inclusive (in either order), or nullopt above `limit`.
std::optional<std::vector<uint32_t>> RangeHosts(uint32_t first, uint32_t last, size_t limit);

}  // namespace zk
