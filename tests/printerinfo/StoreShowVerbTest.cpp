// `vanto store show QUEUE` decodes what the library stored: run the built tool on a prefix whose
// store was written through BIStoreData. The model name and the JSON form of every value:
// ToolJson.EveryDataVerbPrintsOneDocumentWithWhatItFound in tests/tools.
#include "StoreTestUtil.h"
#include "printerinfo/BIStoreData.h"
#include "support/ToolRun.h"
#include "tables/CBITableData.h"

#include <string>

TEST(StoreShowVerb, DecodesBitsCassettesPaperListsAndProhibitGroups) {
    storetest::QueuePrefix prefix;
    storetest::GiveQueueGUID(storetest::kQueueW);
    BIStoreData store;
    ASSERT_TRUE(store.Initialize(storetest::kQueueW));
    ASSERT_TRUE(store.WriteDWORD(u"BIStoreFlag", 0x6));
    ASSERT_TRUE(store.WriteDWORD(u"BICassetteNum", 2));
    VANTO_CASETTE_INFO cassette{};
    cassette.wPaperSizeID = 9;
    cassette.wPaperSourceBit = 0x2;
    cassette.wMaxCapacity = 550;
    ASSERT_TRUE(store.WriteCassette(1, &cassette));
    const SBIPaperEntry sizes[] = {{9, 1, 1, 0}, {1, 0, 2, 0}};
    ASSERT_TRUE(store.WriteData(u"BIPaperSizeIDs", reinterpret_cast<const BYTE*>(sizes), sizeof(sizes)));
    SBIProhibitSet set;
    set.groups.push_back({{{35, 9, 0, 0}, {1, 4, 0, 12}}});
    ASSERT_TRUE(store.WriteProhibitInfo(&set));
    const BYTE damaged[3] = {1, 2, 3};
    ASSERT_TRUE(store.WriteData(u"BIUserDefMaxMin", damaged, sizeof(damaged)));

    // The tool with its standard error folded into what it printed.
    const vanto_test::ToolRun run = vanto_test::RunCommand(std::string(VANTO_BUILD_DIR) + "/vanto store show '" +
                                                           storetest::kQueue + "' 2>&1");
    const std::string& out = run.out;
    EXPECT_EQ(run.status, 0) << out;
    EXPECT_NE(out.find("written by an update, paper sizes carry directions"), std::string::npos) << out;
    EXPECT_NE(out.find("0x0002  0       550"), std::string::npos) << "cassette 1 row\n" << out;
    EXPECT_NE(out.find("yes   1"), std::string::npos) << "A4 shown, direction 1\n" << out;
    EXPECT_NE(out.find("{function 1, element 4, inversion 0, subelement 12}"), std::string::npos) << out;
    EXPECT_NE(out.find("3 bytes, not a whole record: 010203"), std::string::npos) << out;
    EXPECT_NE(out.find("BIQuality              (not stored)"), std::string::npos) << out;
}
