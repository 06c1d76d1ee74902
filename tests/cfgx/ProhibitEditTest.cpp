// Adding and deleting single prohibit rules through the real CFGX module on the sample page
// source, seen in the file the module saves; and both operations on a module that lacks the
// functions they need.
#include "CfgxTestUtil.h"

#include "platform/prefix.h"
#include "printerinfo/CBIProhibitInfo.h"

using namespace cfgxtest;

namespace {

constexpr DWORD kPaperSize = 9;
constexpr DWORD kOutputPaperSize = 35;
constexpr WORD kA4 = 9, kA5 = 11, kB5 = 13;                // no flag in the sample
constexpr WORD kStatement = 6, kFolio = 14, kOficio = 259; // flag 0x08000000 in the sample
constexpr WORD kNoSuchSize = 9999;

class ProhibitEdit : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(prefix.Open(cfgx), 0); }
    DWORD Available(DWORD f, DWORD e) {
        DWORD value = 0xFFFF;
        return cfgx.GetFunctionElementAttribute(f, e, KD_CFGX_ATTR_AVAILABLE, &value) == 0 ? value : 0xFFFF;
    }
    void AddOne(DWORD f, DWORD e) {
        const KD_CFGX_PROHIBIT_ITEM item{f, e, 0, 0};
        ASSERT_EQ(cfgx.AddProhibitData(&item, 1, 0), 0);
    }

    CfgxPrefix prefix;
    CCfgxDll cfgx;
};

}  // namespace

TEST_F(ProhibitEdit, AddProhibitMarksTheElementAndForbidsItWhenUnavailable) {
    ErrorLines errors;
    EXPECT_TRUE(AddProhibitInfo(&cfgx, kPaperSize, kB5, FALSE));
    EXPECT_EQ(Available(kPaperSize, kB5), 0u);
    EXPECT_TRUE(AddProhibitInfo(&cfgx, kPaperSize, kA5, TRUE));
    EXPECT_EQ(Available(kPaperSize, kA5), 1u);
    // An element the file lacks: refused at the attribute, nothing added.
    EXPECT_FALSE(AddProhibitInfo(&cfgx, kPaperSize, kNoSuchSize, FALSE));
    EXPECT_FALSE(AddProhibitInfo(nullptr, kPaperSize, kB5, FALSE));
    EXPECT_EQ(errors.Count(), 0u) << "a refused attribute is not a failed add";

    const nlohmann::json saved = prefix.Saved(cfgx);
    EXPECT_TRUE(HasGroup(saved, {{kPaperSize, kB5}}));
    EXPECT_FALSE(HasGroup(saved, {{kPaperSize, kA5}}));
    EXPECT_FALSE(HasGroup(saved, {{kPaperSize, kNoSuchSize}}));
}

TEST_F(ProhibitEdit, DeleteRemovesTheRulesOfShownDroppableSizesOnly) {
    for (WORD id : {kStatement, kFolio, kA4}) {
        AddOne(kPaperSize, id);
        AddOne(kOutputPaperSize, id);
    }
    ErrorLines errors;
    const SBIPaperEntry entries[] = {
        {kStatement, 1, 2, 0},   // droppable and shown: both rules go
        {kFolio, 0, 2, 0},       // droppable, not shown: handled, rules stay
        {kA4, 1, 2, 0},          // not droppable: skipped
        {kNoSuchSize, 1, 2, 0},  // not in the file: skipped
        {kOficio, 1, 2, 0},      // droppable and shown, without rules: nothing to delete
    };
    EXPECT_TRUE(DeletePaperSizeProhibitInfo(&cfgx, entries, static_cast<int>(std::size(entries))));
    EXPECT_EQ(errors.Count(), 0u);

    const nlohmann::json saved = prefix.Saved(cfgx);
    EXPECT_FALSE(HasGroup(saved, {{kPaperSize, kStatement}}));
    EXPECT_FALSE(HasGroup(saved, {{kOutputPaperSize, kStatement}}));
    for (WORD id : {kFolio, kA4}) {
        EXPECT_TRUE(HasGroup(saved, {{kPaperSize, id}})) << id;
        EXPECT_TRUE(HasGroup(saved, {{kOutputPaperSize, id}})) << id;
    }
    EXPECT_TRUE(HasGroup(saved, {{1, 4}, {26, 1}})) << "the source's own rules stay";

    // Nothing handled, and nothing to handle.
    EXPECT_FALSE(DeletePaperSizeProhibitInfo(&cfgx, entries + 2, 2));
    EXPECT_FALSE(DeletePaperSizeProhibitInfo(&cfgx, nullptr, 3));
    EXPECT_FALSE(DeletePaperSizeProhibitInfo(&cfgx, entries, 0));
    EXPECT_FALSE(DeletePaperSizeProhibitInfo(&cfgx, entries, -1));
    EXPECT_FALSE(DeletePaperSizeProhibitInfo(nullptr, entries, 1));
}

TEST(ProhibitEditPartialModule, MissingFunctionsFailTheEditsAsAnyRefusalWould) {
    vanto_test::TempPrefix prefix;
    CCfgxDll cfgx;
    const std::u16string module = vplat::ToWindowsPath(VANTO_TEST_PARTIAL_CFGX);
    ASSERT_EQ(cfgx.Open(module.c_str(), u"C:\\vif", u"C:\\src", kQueueW, kCategoryPage), 0);
    ErrorLines errors;
    // The attribute is set; adding the group needs a function the module lacks.
    EXPECT_FALSE(AddProhibitInfo(&cfgx, kPaperSize, kB5, FALSE));
    EXPECT_TRUE(errors.Has("#Failed to add Prohibit Info fid=9 eid=13."));
    EXPECT_TRUE(AddProhibitInfo(&cfgx, kPaperSize, kB5, TRUE));
    // The entry qualifies, but neither rule can be deleted: both failures are logged and the
    // entry still counts as handled.
    const SBIPaperEntry entry{kStatement, 1, 2, 0};
    EXPECT_TRUE(DeletePaperSizeProhibitInfo(&cfgx, &entry, 1));
    EXPECT_TRUE(errors.Has("#Failed to delete Prohibit Info of PaperSize."));
    EXPECT_TRUE(errors.Has("#Failed to delete Prohibit Info of OutputPaperSize."));
}
