// The print-capability set: the allowed (paper size, paper type, paper source bit, quality bit,
// layout) combinations a printer reports, and from them the pairs of settings that may not be
// combined (the disable list), which become the driver's prohibit rules.
#pragma once

#include "platform/win32.h"

#include <array>
#include <bit>
#include <cstddef>
#include <unordered_set>
#include <vector>

// The capability functions, the index of each element in a capability and a disable entry's kind.
enum CapabilityFunction : DWORD {
    CAPFUNC_PAPERSIZE = 0,
    CAPFUNC_PAPERTYPE = 1,
    CAPFUNC_PAPERSOURCE = 2,  // one paper source bit
    CAPFUNC_QUALITY = 3,      // one quality bit
    CAPFUNC_LAYOUT = 4,
};
constexpr size_t CAPFUNC_COUNT = 5;

// One combination: its five elements and whether the printer offers it.
struct PrintCapability {
    std::array<DWORD, CAPFUNC_COUNT> adwElement;
    DWORD dwAvailable;
};
static_assert(sizeof(PrintCapability) == 24);

// Element1 of function Func1 may not be combined with Element2 of function Func2 (Func1 < Func2).
struct DisableCombination {
    DWORD dwFunc1;
    DWORD dwFunc2;
    DWORD dwElement1;
    DWORD dwElement2;

    bool operator==(const DisableCombination&) const = default;
};
static_assert(sizeof(DisableCombination) == 16);

class CPrintCapabilitySet {
public:
    // The largest cartesian product ComputeCombinations builds. A printer or record naming more
    // distinct elements than that is refused rather than exhausting memory and time.
    static constexpr size_t kMaxCombinations = size_t{1} << 18;

    // Appends one capability per set bit of paperSourceBits (lowest first) and, inside, per set
    // bit of qualityBits, each with Available 0, and records its elements in the element lists.
    // Returns 1; 0 (adding nothing) when the set would hold more than kMaxCombinations entries.
    int Add(DWORD paperSizeID, DWORD paperTypeID, DWORD paperSourceBits, DWORD qualityBits, DWORD layout);

    // Builds every combination of the element lists (paper size outermost), marks those that
    // were added as available, and lists every pair of elements that no available combination
    // holds. Logs each combination and each disable entry. Returns 1; 0 (with both lists empty)
    // when the product would exceed kMaxCombinations.
    int ComputeCombinations();

    // Forgets everything added and computed.
    void Reset();

    const std::vector<PrintCapability>& Capabilities() const { return m_vecCapabilities; }
    const std::vector<PrintCapability>& AllCombinations() const { return m_vecAllCombinations; }
    const std::vector<DWORD>& Elements(CapabilityFunction func) const { return m_vecElements[func]; }
    const std::vector<DisableCombination>& DisableCombinations() const { return m_vecDisable; }

private:
    std::vector<PrintCapability> m_vecCapabilities;
    std::vector<PrintCapability> m_vecAllCombinations;
    std::array<std::vector<DWORD>, CAPFUNC_COUNT> m_vecElements;
    std::array<std::unordered_set<DWORD>, CAPFUNC_COUNT> m_setElements;  // what each list holds
    std::vector<DisableCombination> m_vecDisable;
};
