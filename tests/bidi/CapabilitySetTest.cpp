// The print-capability set and the base lists AddCapability fills: combinations, availability,
// the disable list, paper sources and masks.
#include "bidi/CBIDI_ERD.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

// CBIDI_ERD stands in for any CBIDI: the capability set belongs to the base.
class CapabilityOnly : public CBIDI_ERD {
public:
    int Add(DWORD size, DWORD type, DWORD source, DWORD quality, DWORD layout) {
        const DWORD entry[4] = {type, source, quality, layout};
        return AddCapability(&size, entry);
    }
};

TEST(CapabilitySet, OneEntrySplitsIntoSourceAndQualityBits) {
    CapabilityOnly bidi;
    ASSERT_EQ(bidi.Add(9, 1, 0x3, 0x5, 0), 1);
    const CPrintCapabilitySet& set = bidi.CapabilitySet();

    // (source, quality, available): source outer, quality inner, none marked yet.
    std::vector<std::array<DWORD, 3>> split;
    for (const PrintCapability& c : set.Capabilities())
        split.push_back({c.adwElement[CAPFUNC_PAPERSOURCE], c.adwElement[CAPFUNC_QUALITY], c.dwAvailable});
    EXPECT_EQ(split, (std::vector<std::array<DWORD, 3>>{{1, 1, 0}, {1, 4, 0}, {2, 1, 0}, {2, 4, 0}}));
    EXPECT_EQ(set.Elements(CAPFUNC_PAPERSIZE).size(), 1u);
    EXPECT_EQ(set.Elements(CAPFUNC_PAPERTYPE).size(), 1u);
    EXPECT_EQ(set.Elements(CAPFUNC_PAPERSOURCE), (std::vector<DWORD>{1, 2}));
    EXPECT_EQ(set.Elements(CAPFUNC_QUALITY), (std::vector<DWORD>{1, 4}));
    EXPECT_EQ(set.Elements(CAPFUNC_LAYOUT).size(), 1u);

    ASSERT_EQ(bidi.ComputeForbiddenPairs(), 1);
    EXPECT_EQ(set.AllCombinations().size(), 4u);
    EXPECT_TRUE(bidi.GetForbiddenPairs().empty());
}

TEST(CapabilitySet, ForbiddenPairsFollowTheFunctionPairOrderOnceEach) {
    using Entry = std::array<DWORD, 5>;  // size, type, source, quality, layout
    const std::pair<std::vector<Entry>, std::vector<DisableCombination>> cases[] = {
        // The full product of sizes and types: nothing to forbid.
        {{{9, 1, 0x1, 0x2, 1}, {9, 2, 0x1, 0x2, 1}, {11, 1, 0x1, 0x2, 1}, {11, 2, 0x1, 0x2, 1}}, {}},
        // Crossed pairs of size and type.
        {{{9, 1, 0x1, 0x1, 0}, {11, 2, 0x1, 0x1, 0}}, {{0, 1, 9, 2}, {0, 1, 11, 1}}},
        // Size 9 only from source 1 in quality 1; size 11 only from source 2 in quality 2.
        {{{9, 1, 0x1, 0x1, 0}, {11, 1, 0x2, 0x2, 0}},
         {{0, 2, 9, 2}, {0, 2, 11, 1}, {0, 3, 9, 2}, {0, 3, 11, 1}, {2, 3, 1, 2}, {2, 3, 2, 1}}},
    };
    for (const auto& [entries, forbidden] : cases) {
        SCOPED_TRACE(entries.size());
        CapabilityOnly bidi;
        for (const Entry& e : entries) bidi.Add(e[0], e[1], e[2], e[3], e[4]);
        ASSERT_EQ(bidi.ComputeForbiddenPairs(), 1);
        EXPECT_EQ(bidi.GetForbiddenPairs(), forbidden);
        // Computing again gives the same lists, not doubled ones.
        ASSERT_EQ(bidi.ComputeForbiddenPairs(), 1);
        EXPECT_EQ(bidi.GetForbiddenPairs(), forbidden);
    }

    // Paper size outermost in all combinations: (9,1) (9,2) (11,1) (11,2).
    CapabilityOnly bidi;
    bidi.Add(9, 1, 0x1, 0x1, 0);
    bidi.Add(11, 2, 0x1, 0x1, 0);
    ASSERT_EQ(bidi.ComputeForbiddenPairs(), 1);
    const auto& all = bidi.CapabilitySet().AllCombinations();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1].adwElement[CAPFUNC_PAPERSIZE], 9u);
    EXPECT_EQ(all[1].adwElement[CAPFUNC_PAPERTYPE], 2u);
    EXPECT_EQ((std::vector<DWORD>{all[0].dwAvailable, all[1].dwAvailable, all[2].dwAvailable, all[3].dwAvailable}),
              (std::vector<DWORD>{1, 0, 0, 1}));
}

TEST(CapabilitySet, SourceBitsAbove15JoinCombinationsButGetNoCassette) {
    CapabilityOnly bidi;
    bidi.Add(9, 1, 0x10001, 0x1, 0);
    bidi.Add(11, 1, 0x80000000, 0x1, 0);
    ASSERT_EQ(bidi.PaperSources().size(), 1u);
    const VANTO_CASETTE_INFO& c = bidi.PaperSources()[0];
    EXPECT_EQ((std::array<int, 7>{c.wPaperSourceBit, c.wPaperSizeID, c.wPaperTypeID, c.byDirection, c.wPaperSourceEID,
                                  c.wMaxCapacity, c.wCurrentLevel}),
              (std::array<int, 7>{0x1, 0xFFFF, 0xFFFF, 0, 0, 0xFFFE, 0xFFFE}));

    EXPECT_EQ(bidi.CapabilitySet().Elements(CAPFUNC_PAPERSOURCE), (std::vector<DWORD>{0x1, 0x10000, 0x80000000}));
    ASSERT_EQ(bidi.ComputeForbiddenPairs(), 1);
    EXPECT_EQ(bidi.CapabilitySet().AllCombinations().size(), 6u);
    EXPECT_EQ(bidi.GetForbiddenPairs(),
              (std::vector<DisableCombination>{{0, 2, 9, 0x80000000}, {0, 2, 11, 0x1}, {0, 2, 11, 0x10000}}));
}

TEST(CapabilitySet, BaseListsKeepFirstSeenOrderAndMasksKeepKnownBits) {
    CapabilityOnly bidi;
    bidi.Add(11, 2, 0x2, 0x8, 2);
    bidi.Add(9, 2, 0x1, 0x2, 0);
    bidi.Add(11, 1, 0x2, 0x1, 1);
    EXPECT_EQ(*bidi.GetSupportPaperSize(0), (BIStringList{"11", "9"}));
    EXPECT_EQ(*bidi.GetSupportPaperType(), (BIStringList{"2", "1"}));
    ASSERT_EQ(bidi.PaperSources().size(), 2u);
    EXPECT_EQ(bidi.PaperSources()[0].wPaperSourceBit, 0x2);
    EXPECT_EQ(bidi.GetQualityMask(), 0x3u);  // quality bit 0x8 is not collected
    EXPECT_EQ(bidi.GetLayoutMask(), 0x1u);   // layout 2 has no bit 0

    // A source or quality of 0 adds names to the lists but no capability; null adds nothing.
    bidi.Add(5, 7, 0, 0x1, 0);
    EXPECT_EQ(bidi.CapabilitySet().Capabilities().size(), 3u);
    EXPECT_EQ(bidi.GetSupportPaperSize(0)->back(), "5");
    const DWORD size = 4;
    EXPECT_EQ(bidi.AddCapability(nullptr, &size), 0);
    EXPECT_EQ(bidi.AddCapability(&size, nullptr), 0);
    EXPECT_EQ(bidi.GetSupportPaperSize(0)->size(), 3u);
}

TEST(CapabilitySet, OversizedProductsAreRefusedNotBuilt) {
    // 600 sizes x 600 types is beyond the bound of combinations.
    CapabilityOnly bidi;
    for (DWORD i = 0; i < 600; ++i) ASSERT_EQ(bidi.Add(i, i, 0x1, 0x1, 0), 1);
    EXPECT_EQ(bidi.ComputeForbiddenPairs(), 0);
    EXPECT_TRUE(bidi.CapabilitySet().AllCombinations().empty());
    EXPECT_TRUE(bidi.GetForbiddenPairs().empty());

    // Capabilities themselves are bounded too: every entry with 32 x 32 bits adds 1024.
    CapabilityOnly full;
    size_t added = 0;
    while (full.Add(static_cast<DWORD>(added), 1, 0xFFFFFFFF, 0xFFFFFFFF, 0) == 1) ++added;
    EXPECT_EQ(added, CPrintCapabilitySet::kMaxCombinations / 1024);
    EXPECT_EQ(full.CapabilitySet().Capabilities().size(), CPrintCapabilitySet::kMaxCombinations);
}

}  // namespace
