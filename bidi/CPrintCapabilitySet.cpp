// The print-capability set (see CPrintCapabilitySet.h).
#include "bidi/CPrintCapabilitySet.h"

#include "common/BILogging.h"

#include <set>
#include <unordered_set>

namespace {

uint64_t PairKey(DWORD first, DWORD second) { return (uint64_t{first} << 32) | second; }

}  // namespace

// Add: one capability per (paper source bit, quality bit) pair.
int CPrintCapabilitySet::Add(DWORD paperSizeID, DWORD paperTypeID, DWORD paperSourceBits, DWORD qualityBits,
                             DWORD layout) {
    const size_t adding = static_cast<size_t>(std::popcount(paperSourceBits)) * std::popcount(qualityBits);
    if (adding > kMaxCombinations - m_vecCapabilities.size()) {
        BI_LOG("#Too many print capabilities.\n");
        return 0;
    }
    for (int s = 0; s < 32; ++s) {
        const DWORD sourceBit = DWORD{1} << s;
        if (!(paperSourceBits & sourceBit)) continue;
        for (int q = 0; q < 32; ++q) {
            const DWORD qualityBit = DWORD{1} << q;
            if (!(qualityBits & qualityBit)) continue;
            const PrintCapability capability{{paperSizeID, paperTypeID, sourceBit, qualityBit, layout}, 0};
            m_vecCapabilities.push_back(capability);
            for (size_t func = 0; func < CAPFUNC_COUNT; ++func)
                if (m_setElements[func].insert(capability.adwElement[func]).second)
                    m_vecElements[func].push_back(capability.adwElement[func]);
        }
    }
    return 1;
}

// ComputeCombinations: the cartesian product, its availability, then the disable list.
int CPrintCapabilitySet::ComputeCombinations() {
    m_vecAllCombinations.clear();
    m_vecDisable.clear();

    size_t total = 1;
    for (const auto& list : m_vecElements) {
        if (list.empty()) return 1;  // nothing added: no combination, nothing to forbid
        if (total > kMaxCombinations / list.size()) {
            BI_LOG("#Too many print capability combinations.\n");
            return 0;
        }
        total *= list.size();
    }

    // Nested walk over the element lists, paper size outermost, layout innermost.
    const std::set<std::array<DWORD, CAPFUNC_COUNT>> added = [this] {
        std::set<std::array<DWORD, CAPFUNC_COUNT>> set;
        for (const auto& capability : m_vecCapabilities) set.insert(capability.adwElement);
        return set;
    }();
    m_vecAllCombinations.reserve(total);
    std::array<size_t, CAPFUNC_COUNT> index{};
    for (size_t n = 0; n < total; ++n) {
        PrintCapability combination{};
        for (size_t func = 0; func < CAPFUNC_COUNT; ++func)
            combination.adwElement[func] = m_vecElements[func][index[func]];
        combination.dwAvailable = added.count(combination.adwElement) ? 1 : 0;
        m_vecAllCombinations.push_back(combination);
        for (size_t func = CAPFUNC_COUNT; func-- > 0;) {
            if (++index[func] < m_vecElements[func].size()) break;
            index[func] = 0;
        }
    }

    for (const auto& c : m_vecAllCombinations)
        BI_LOG("AllCombination:PaperSizeID=%03d PaperTypeID=%03d PaperSource=%08x Quality=%08x Layout=%08x "
               "Available=%01d.\n",
               c.adwElement[CAPFUNC_PAPERSIZE], c.adwElement[CAPFUNC_PAPERTYPE], c.adwElement[CAPFUNC_PAPERSOURCE],
               c.adwElement[CAPFUNC_QUALITY], c.adwElement[CAPFUNC_LAYOUT], c.dwAvailable);

    // A pair of elements is allowed when some available combination holds both.
    for (DWORD func1 = 0; func1 < CAPFUNC_COUNT; ++func1) {
        for (DWORD func2 = func1 + 1; func2 < CAPFUNC_COUNT; ++func2) {
            std::unordered_set<uint64_t> allowed;
            for (const auto& c : m_vecAllCombinations)
                if (c.dwAvailable) allowed.insert(PairKey(c.adwElement[func1], c.adwElement[func2]));
            std::unordered_set<uint64_t> disabled;
            for (const auto& c : m_vecAllCombinations) {
                const DWORD e1 = c.adwElement[func1];
                const DWORD e2 = c.adwElement[func2];
                const uint64_t key = PairKey(e1, e2);
                if (allowed.count(key) || !disabled.insert(key).second) continue;
                m_vecDisable.push_back({func1, func2, e1, e2});
            }
        }
    }

    for (const auto& d : m_vecDisable)
        BI_LOG("DisableCombination:Func1=%03d Func2=%03d Element1=%03d Element2=%03d .\n", d.dwFunc1, d.dwFunc2,
               d.dwElement1, d.dwElement2);
    return 1;
}

void CPrintCapabilitySet::Reset() {
    m_vecCapabilities.clear();
    m_vecAllCombinations.clear();
    for (auto& list : m_vecElements) list.clear();
    for (auto& set : m_setElements) set.clear();
    m_vecDisable.clear();
}
