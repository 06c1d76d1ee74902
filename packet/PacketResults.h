// The containers of a packet's results. They allocate from the packet's own arena (see
// CPacket): keys, lists, texts and value objects of a reply cost a pointer increment each, and
// all go with the packet.
#pragma once

#include <map>
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

#include "packet/CPacketData.h"

using PacketText = std::pmr::string;
template <typename T>
using PacketList = std::pmr::vector<T>;

// Result keys in text order; lookups take any text (std::string, PacketText, C string).
struct PacketTextLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return a < b; }
};
template <typename T>
using PacketResults = std::pmr::map<PacketText, PacketList<T>, PacketTextLess>;

// A value object made in a packet's arena: releasing it runs its destructor (freeing what the
// object holds itself); the arena's memory goes with the packet.
struct PacketValueDelete {
    void operator()(CPacketData* pValue) const noexcept { std::destroy_at(pValue); }
};
using PacketValue = std::unique_ptr<CPacketData, PacketValueDelete>;
