// The prohibit set built from a printer's forbidden pairs: items of every kind, sub paper types of
// page printers, the PCL form of models with the PCL prohibit flag, and allocation failures at
// every point, which must leave nothing allocated and the caller's set as it was.
#include "FailingAllocator.h"
#include "ScriptedBIDI.h"
#include "common/BILogging.h"
#include "common/LogFile.h"
#include "printerinfo/CBIProhibitInfo.h"
#include "tables/TableTestUtil.h"

#include <array>

using nlohmann::json;

namespace {

using Item = std::array<DWORD, 4>;  // functionID, elementID, bInversion, subelementID
using Groups = std::vector<std::vector<Item>>;

Groups Flatten(const SBIProhibitSet& set) {
    Groups out;
    for (const SBIProhibitGroup& g : set.groups) {
        std::vector<Item>& items = out.emplace_back();
        for (const SBIProhibitItem& it : g.items) items.push_back({it.functionID, it.elementID, it.bInversion, it.subelementID});
    }
    return out;
}

// Numeric-form tables: A4 has codes 26/126; paper-type code 5 names Thick first and Extra Thick
// second (its sub paper type); paper sources by bits; two models, one with the PCL prohibit flag.
json ProhibitTables() {
    using tabletest::TypeRow;
    const json types = {TypeRow(2, "Plain", 0, 1), TypeRow(3, "Thick", 0, 5), TypeRow(12, "Extra Thick", 0, 5, 13)};
    json source = tabletest::Tables(true, {tabletest::SizeRow(9, "A4", 0, 26, 126)}, types);
    const json sources = {{{"element", 7}, {"bits", 0}}, {{"element", 2}, {"bits", 0x02}},
                          {{"element", 5}, {"bits", 0x10}}};
    const json models = {{{"name", "Model-P300"}, {"flags", 0x300}},
                         {{"name", "Model-P100"}, {"flags", 0x800}}};
    source["tables"].push_back({{"id", 3020}, {"rows", sources}});
    source["tables"].push_back({{"id", 3050}, {"rows", models}});
    return source;
}

// One pair of every kind, in the order {kind A, kind B, value A, value B}.
const std::vector<DisableCombination> kAllKinds = {
    {0, 1, 26, 5},     // A4 / Thick (sub paper type Extra Thick)
    {1, 2, 1, 0x2},    // Plain (no sub paper type) / source element 2
    {2, 3, 0x10, 4},   // source element 5 / quality High
    {2, 3, 0x40, 8},   // no source row / no quality element
    {2, 4, 0, 1},      // the source row without bits / borderless 1
    {1, 1, 5, 5},      // both paper types: only the first gets the sub paper type
    {4, 9, 3, 3},      // an unknown kind names nothing
};

const Groups kAllKindsPlain = {
    {{35, 9, 0, 0}, {1, 3, 0, 0}},  {{1, 2, 0, 0}, {7, 2, 0, 0}}, {{7, 5, 0, 0}, {3, 4, 0, 0}},
    {{7, 0, 0, 0}, {3, 0, 0, 0}},   {{7, 7, 0, 0}, {213, 1, 0, 0}}, {{1, 3, 0, 0}, {1, 3, 0, 0}},
    {{213, 3, 0, 0}, {0, 0, 0, 0}},
};

class ProhibitInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<BYTE> file = tabletest::Compile(ProhibitTables());
        ASSERT_TRUE(tables.LoadFromMemory(file));
        bidi.SetForbiddenPairs({kAllKinds[0], kAllKinds[1], kAllKinds[2]});
    }
    void TearDown() override { BILogging::End(); }
    CBIProhibitInfo Prohibit() { return CBIProhibitInfo(&tables, &bidi); }
    // A set that no build produces, to see whether a call touched it.
    static SBIProhibitSet Sentinel() {
        SBIProhibitSet set;
        set.dwKind = 77;
        set.groups.push_back(SBIProhibitGroup{{SBIProhibitItem{1, 2, 3, 4}}});
        return set;
    }

    CBITableData tables;
    ScriptedBIDI bidi;
};

}  // namespace

TEST_F(ProhibitInfoTest, PlainFormGivesTwoItemGroupsAndPagePrintersNameTheFirstPaperTypesSubType) {
    bidi.SetForbiddenPairs(kAllKinds);
    SBIProhibitSet set = Sentinel();
    ASSERT_TRUE(Prohibit().MakeProhibitInfo(&set, FALSE, FALSE));
    EXPECT_EQ(set.dwKind, 1u);
    EXPECT_EQ(Flatten(set), kAllKindsPlain);

    ASSERT_TRUE(Prohibit().MakeProhibitInfo(&set, FALSE, TRUE));
    Groups expected = kAllKindsPlain;
    expected[0][1][3] = 12;  // kind B is the paper type with code 5
    expected[5][0][3] = 12;  // both are paper types: only item 0
    EXPECT_EQ(Flatten(set), expected);
}

TEST_F(ProhibitInfoTest, PCLFormRulesEveryPairOncePerLanguageWithoutSubPaperTypes) {
    bidi.strModelName = u"Model-P300";
    SBIProhibitSet set;
    ASSERT_TRUE(Prohibit().MakeProhibitInfo(&set, TRUE, TRUE));
    Groups expected;
    for (size_t g = 0; g < 6; ++g) {
        expected.push_back(kAllKindsPlain[g % 3]);
        expected.back().push_back(Item{132, g < 3 ? 16u : 17u, 0, 0});
    }
    EXPECT_EQ(Flatten(set), expected);

    // The plain form whenever one condition is missing.
    struct Case {
        const char16_t* model;
        BOOL pcl;
    };
    for (const Case& c : {Case{u"Model-P300", FALSE}, Case{u"Model-P100", TRUE}, Case{u"", TRUE}}) {
        bidi.strModelName = c.model;
        ASSERT_TRUE(Prohibit().MakeProhibitInfo(&set, c.pcl, FALSE));
        EXPECT_EQ(Flatten(set), Groups(kAllKindsPlain.begin(), kAllKindsPlain.begin() + 3))
            << "model '" << BILogging::Narrow(c.model) << "' pcl " << c.pcl;
    }
}

TEST_F(ProhibitInfoTest, NoPairsLeavesTheSetAloneAndMissingPiecesFail) {
    bidi.SetForbiddenPairs({});
    SBIProhibitSet set = Sentinel();
    EXPECT_TRUE(Prohibit().MakeProhibitInfo(&set, TRUE, TRUE));
    EXPECT_EQ(set.dwKind, 77u);
    EXPECT_EQ(Flatten(set), Flatten(Sentinel()));

    EXPECT_FALSE(Prohibit().MakeProhibitInfo(nullptr, FALSE, FALSE));
    EXPECT_FALSE(CBIProhibitInfo(nullptr, &bidi).MakeProhibitInfo(&set, FALSE, FALSE));
    EXPECT_FALSE(CBIProhibitInfo(&tables, nullptr).MakeProhibitInfo(&set, FALSE, FALSE));
}

// Every allocation of a build, failed in turn: each run fails, frees all it took and leaves the
// caller's set as it was.
TEST_F(ProhibitInfoTest, AnAllocationFailureAnywhereLeavesNothingAllocated) {
    vanto_test::TempPrefix prefix;  // a log switch that is off, read once
    vanto_test::SetLogSwitch(DWORD{0});
    BILogging::End();
    bidi.SetForbiddenPairs(kAllKinds);
    bidi.strModelName = u"Model-P300";
    for (BOOL pcl : {FALSE, TRUE}) {
        SCOPED_TRACE(pcl ? "PCL form" : "plain form");
        SBIProhibitSet warm;
        ASSERT_TRUE(Prohibit().MakeProhibitInfo(&warm, pcl, TRUE));
        const long before = failalloc::Allocations();
        ASSERT_TRUE(Prohibit().MakeProhibitInfo(&warm, pcl, TRUE));
        const long steps = failalloc::Allocations() - before;
        ASSERT_GT(steps, static_cast<long>(kAllKinds.size())) << "every group takes memory of its own";

        for (long k = 0; k < steps; ++k) {
            SBIProhibitSet set = Sentinel();
            const long outstanding = failalloc::Outstanding();
            failalloc::FailAllocation(k);
            const BOOL ok = Prohibit().MakeProhibitInfo(&set, pcl, TRUE);
            ASSERT_TRUE(failalloc::Disarm()) << "allocation " << k << " never happened";
            EXPECT_FALSE(ok) << "allocation " << k;
            EXPECT_EQ(failalloc::Outstanding(), outstanding) << "allocation " << k << " left blocks behind";
            EXPECT_EQ(set.dwKind, 77u);
            EXPECT_EQ(Flatten(set), Flatten(Sentinel())) << "allocation " << k;
        }
    }
}
