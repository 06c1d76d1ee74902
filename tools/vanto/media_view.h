// The supported media combinations and the forbidden pairs concluded from them, as `vanto
// printer` shows an ink-jet's answers and `vanto erd show` a capability record: plain lines and
// JSON.
#pragma once

#include "bidi/CPrintCapabilitySet.h"
#include "tools/vanto/json_view.h"

#include <cstdio>
#include <vector>

namespace vanto_cli {

inline constexpr const char* kCapabilityFunctionNames[CAPFUNC_COUNT] = {"PaperSize", "PaperType", "PaperSource",
                                                                       "Quality", "Layout"};

// The function's name; "?" for a number outside the five.
inline const char* CapabilityFunctionName(DWORD function) {
    return function < CAPFUNC_COUNT ? kCapabilityFunctionNames[function] : "?";
}

inline void PrintCombinations(const char* title, const std::vector<PrintCapability>& combinations) {
    std::printf("%s (%zu):\n", title, combinations.size());
    for (const auto& c : combinations)
        std::printf("  size %3u  type %3u  source 0x%08x  quality 0x%08x  layout 0x%08x\n", c.adwElement[0],
                    c.adwElement[1], c.adwElement[2], c.adwElement[3], c.adwElement[4]);
}

inline void PrintForbiddenPairs(const std::vector<DisableCombination>& pairs) {
    std::printf("forbidden pairs (%zu):\n", pairs.size());
    for (const auto& d : pairs)
        std::printf("  %s %u with %s %u\n", CapabilityFunctionName(d.dwFunc1), d.dwElement1,
                    CapabilityFunctionName(d.dwFunc2), d.dwElement2);
}

inline Json CombinationsJson(const std::vector<PrintCapability>& combinations) {
    Json list = Json::array();
    for (const auto& c : combinations)
        list.push_back({{"size", c.adwElement[CAPFUNC_PAPERSIZE]},
                        {"type", c.adwElement[CAPFUNC_PAPERTYPE]},
                        {"source", c.adwElement[CAPFUNC_PAPERSOURCE]},
                        {"quality", c.adwElement[CAPFUNC_QUALITY]},
                        {"layout", c.adwElement[CAPFUNC_LAYOUT]}});
    return list;
}

inline Json ForbiddenPairsJson(const std::vector<DisableCombination>& pairs) {
    Json list = Json::array();
    for (const auto& d : pairs)
        list.push_back({{"function1", CapabilityFunctionName(d.dwFunc1)},
                        {"element1", d.dwElement1},
                        {"function2", CapabilityFunctionName(d.dwFunc2)},
                        {"element2", d.dwElement2}});
    return list;
}

}  // namespace vanto_cli
