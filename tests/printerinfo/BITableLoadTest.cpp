// Loading a queue's tables from the installed driver: the file named for a resource ID (with the
// 000 fallback), and the overlay of stored paper settings.
#include "StoreTestUtil.h"
#include "printerinfo/BIStoreData.h"
#include "tables/CBITableData.h"

#include <filesystem>
#include <fstream>

using storetest::kQueueW;

namespace {

class BITableLoadTest : public ::testing::Test {
protected:
    storetest::QueuePrefix prefix;
    CBITableData table;
};

// The paper size row's (shown, direction); (0xFFFF, 0xFFFF) without such a row.
std::pair<WORD, WORD> Row(const CBITableData& t, WORD id) {
    for (const auto& r : t.PaperSizes())
        if (r.wID == id) return {r.wShow, r.wDirection};
    return {0xFFFF, 0xFFFF};
}
using Shown = std::pair<WORD, WORD>;

}  // namespace

TEST_F(BITableLoadTest, ResourceIDsFindTheirFilesOrTheFallback) {
    ASSERT_TRUE(table.UpdateBinaryTable(kQueueW, 1));
    EXPECT_TRUE(table.IsNumericForm()) << "ID 1: the numeric page-printer file";

    ASSERT_TRUE(table.UpdateBinaryTable(kQueueW, 4));
    EXPECT_FALSE(table.IsNumericForm()) << "ID 4 has no key of its own: the 000 file, in name form";
    EXPECT_EQ(table.GetPaperSizeIDByName("A4", nullptr, 0), 9);

    EXPECT_FALSE(table.UpdateBinaryTable(nullptr, 1));
    EXPECT_FALSE(table.UpdateBinaryTable(u"No Such Queue", 1));
    EXPECT_EQ(table.GetPaperSizeCount(), 0u) << "a failed load leaves the lists empty";
}

TEST(BITableLoad, MissingKeysAndBadFilesFailCleanly) {
    vanto_test::TempPrefix prefix;
    // No 000 key: ID 4 has nowhere to go.
    storetest::AddEditedDriver("No Fallback Driver", "Q1", "BinaryResFileID000", "",
                               prefix.Root() + "/scratch-a");
    CBITableData table;
    EXPECT_TRUE(table.UpdateBinaryTable(u"Q1", 1));
    EXPECT_FALSE(table.UpdateBinaryTable(u"Q1", 4));

    // ID 1 names an empty file, then a missing one (damaged contents: BITableDataDamaged).
    storetest::AddEditedDriver("Damaged Driver", "Q2", "BinaryResFileID001", "BinaryResFileID001=BROKEN.BRT",
                               prefix.Root() + "/scratch-b");
    std::string driverDir = prefix.DriveC() + "/Windows/System32/spool/drivers/x64/3";
    std::ofstream(driverDir + "/BROKEN.BRT").close();
    EXPECT_FALSE(table.UpdateBinaryTable(u"Q2", 1));
    EXPECT_EQ(table.GetPaperSizeCount(), 0u);
    std::filesystem::remove(driverDir + "/BROKEN.BRT");
    EXPECT_FALSE(table.UpdateBinaryTable(u"Q2", 1));
}

TEST_F(BITableLoadTest, StoredPaperSizesOverlayTheTableOnlyWhenFlagged) {
    storetest::GiveQueueGUID(kQueueW);
    BIStoreData store;
    ASSERT_TRUE(store.Initialize(kQueueW));
    // A4 hidden and fed in direction 1 (a later entry for A4 is ignored); Legal shown with no
    // direction reported.
    const SBIPaperEntry entries[] = {{9, 0, 1, 0}, {5, 1, 2, 0}, {9, 1, 0, 0}};
    ASSERT_TRUE(store.WriteData(u"BIPaperSizeIDs", reinterpret_cast<const BYTE*>(entries), sizeof(entries)));
    ASSERT_TRUE(store.WriteDWORD(u"BIPaperSizeNum", 3));
    ASSERT_TRUE(store.WriteDWORD(u"BIStoreFlag", 0x2));

    ASSERT_TRUE(table.UpdateBinaryTable(kQueueW, 1));
    EXPECT_EQ(Row(table, 9), Shown(1, 0)) << "without flag 0x4 the table stands as compiled";

    ASSERT_TRUE(store.WriteDWORD(u"BIStoreFlag", 0x6));
    // A count larger than the blob reads only the entries present.
    for (DWORD count : {3u, 500u}) {
        ASSERT_TRUE(store.WriteDWORD(u"BIPaperSizeNum", count));
        ASSERT_TRUE(table.UpdateBinaryTable(kQueueW, 1));
        EXPECT_EQ(Row(table, 9), Shown(0, 1)) << count;
        EXPECT_EQ(Row(table, 5), Shown(1, 1)) << "stored direction 2 keeps the table's";
        EXPECT_EQ(Row(table, 1).first, 1) << "rows without an entry are untouched";
    }
}
