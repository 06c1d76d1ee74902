// A packet's result list under one key as a plain std::vector, for comparisons in tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "packet/CPacket.h"

template <typename T>
auto PlainList(const PacketResults<T>& results, std::string_view key) {
    using Plain = std::conditional_t<std::is_same_v<T, PacketText>, std::string, T>;
    std::vector<Plain> list;
    const auto it = results.find(key);
    if (it == results.end()) {
        ADD_FAILURE() << "no result under " << key;
        return list;
    }
    for (const auto& value : it->second) list.emplace_back(value);
    return list;
}
