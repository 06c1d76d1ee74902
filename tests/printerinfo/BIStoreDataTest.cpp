// Stored values of a queue through the AUDF module: key creation, typed values, cassettes, the
// prohibit set, and loading the module named by the driver's data file.
#include "StoreTestUtil.h"
#include "printerinfo/BIStoreData.h"

#include <cstring>
#include <string>
#include <vector>

using storetest::kQueueW;

namespace {

class BIStoreDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        storetest::GiveQueueGUID(kQueueW);
        ASSERT_TRUE(store.Initialize(kQueueW));
    }
    static VANTO_CASETTE_INFO Cassette(uint16_t size, uint16_t bit) {
        VANTO_CASETTE_INFO c{};
        c.wPaperSizeID = size;
        c.wPaperTypeID = 2;
        c.wPaperSourceBit = bit;
        c.wMaxCapacity = 250;
        return c;
    }

    storetest::QueuePrefix prefix;
    BIStoreData store;
};

}  // namespace

// Values and the model name round trip through the value exports (ValueExportsTest), and the
// interface tests read the store key the first write made (StoreOf); here the bounds of a read.
TEST_F(BIStoreDataTest, ReadsAreBoundedByTheBuffer) {
    EXPECT_EQ(store.GetModelInfoBits(), 0u) << "named readers give 0 when nothing is stored";
    BYTE buffer[64] = {};
    const BYTE limits[40] = {1, 2, 3};
    ASSERT_TRUE(store.WriteData(u"BIUserDefMaxMin", limits, sizeof(limits)));
    DWORD cb = 8;
    EXPECT_FALSE(store.ReadData(u"BIUserDefMaxMin", buffer, &cb)) << "a smaller buffer fails";
    cb = sizeof(buffer);
    ASSERT_TRUE(store.ReadData(u"BIUserDefMaxMin", buffer, &cb));
    EXPECT_EQ(cb, 40u) << "a larger buffer reports the size read";
    EXPECT_EQ(std::memcmp(buffer, limits, 40), 0);
    EXPECT_FALSE(store.ReadDWORD(nullptr, reinterpret_cast<DWORD*>(buffer)));
}

TEST_F(BIStoreDataTest, CassetteWriteIntoAShortBlobKeepsItsEntriesAndZeroFillsTheRest) {
    // Reads and writes at or past the stored count (none stored takes the same test):
    // ValueExportsTest.CassettesExistOnlyBelowTheStoredCountAndShortBuffersAreRefused.
    ASSERT_TRUE(store.WriteDWORD(u"BICassetteNum", 1));
    auto first = Cassette(9, 0x1);
    ASSERT_TRUE(store.WriteCassette(0, &first));

    // The count grows to 3 while the blob still holds one entry.
    ASSERT_TRUE(store.WriteDWORD(u"BICassetteNum", 3));
    auto third = Cassette(1, 0x4);
    ASSERT_TRUE(store.WriteCassette(2, &third));
    BYTE blob[64];
    DWORD cb = sizeof(blob);
    ASSERT_TRUE(store.ReadData(u"BICassetteInfo", blob, &cb));
    EXPECT_EQ(cb, 48u);
    VANTO_CASETTE_INFO out{};
    ASSERT_TRUE(store.ReadCassette(0, &out));
    EXPECT_EQ(std::memcmp(&out, &first, sizeof(out)), 0) << "entry 0 kept";
    ASSERT_TRUE(store.ReadCassette(1, &out));
    EXPECT_EQ(out.wMaxCapacity, 0) << "entry 1 never written: zero";
    ASSERT_TRUE(store.ReadCassette(2, &out));
    EXPECT_EQ(std::memcmp(&out, &third, sizeof(out)), 0);
}

TEST_F(BIStoreDataTest, EmptyProhibitSetRoundTripsAndBadSizesAndShortBlobsAreRefused) {
    SBIProhibitSet empty;
    ASSERT_TRUE(store.WriteProhibitInfo(&empty));
    SBIProhibitSet read;
    read.groups.resize(5);
    ASSERT_TRUE(store.ReadProhibitInfo(&read));
    EXPECT_TRUE(read.groups.empty());
    EXPECT_EQ(read.dwKind, 1u);

    // A set of groups goes round through UpdateExports (the update writes it: size and group
    // count) and CfgxExports.StoredEdgesBecomeTheRightRulesAndDefaults (a stored set is read).

    // Reads refuse sizes below the header or past belief, and blobs shorter than their counts.
    ASSERT_TRUE(store.WriteDWORD(u"BIProhibitBuffSize", 3));
    EXPECT_FALSE(store.ReadProhibitInfo(&read)) << "a size below the header";
    ASSERT_TRUE(store.WriteDWORD(u"BIProhibitBuffSize", 0xFFFFFFFF));
    EXPECT_FALSE(store.ReadProhibitInfo(&read)) << "an unbelievable size";

    // A blob whose counts promise more than it holds, though the size stored beside it is larger.
    const BYTE shortBlob[] = {2, 0, 0, 0, 1, 0, 0, 0, 35, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(store.WriteData(u"BIProhibitInfo", shortBlob, sizeof(shortBlob)));
    ASSERT_TRUE(store.WriteDWORD(u"BIProhibitBuffSize", 64));
    EXPECT_FALSE(store.ReadProhibitInfo(&read));
}

namespace {
constexpr const char* kWriterVariable = "VANTO_TEST_CASSETTE_WRITER";
constexpr uint16_t kCassetteRounds = 300;
}  // namespace

// Run by the test below as each of two processes: entry [index] of the queue's cassettes,
// written kCassetteRounds times with a growing capacity. Before each write the entry must still
// hold this process's previous value: only another process's lost update could change it.
TEST(BIStoreDataChild, CassetteWriter) {
    const char* index = std::getenv(kWriterVariable);
    if (!index) GTEST_SKIP() << "runs only as a second process";
    BIStoreData store;
    ASSERT_TRUE(store.Initialize(kQueueW));
    const DWORD dwIndex = static_cast<DWORD>(std::stoul(index));
    VANTO_CASETTE_INFO entry{};
    for (uint16_t round = 1; round <= kCassetteRounds; ++round) {
        ASSERT_TRUE(store.ReadCassette(dwIndex, &entry));
        ASSERT_EQ(entry.wMaxCapacity, round - 1) << "entry " << dwIndex << ": a write that succeeded was lost";
        entry.wMaxCapacity = round;
        ASSERT_TRUE(store.WriteCassette(dwIndex, &entry));
    }
}

TEST_F(BIStoreDataTest, TwoProcessesWritingCassettesOfOneQueueLoseNoWrite) {
    ASSERT_TRUE(store.WriteDWORD(u"BICassetteNum", 2));
    const std::vector<BYTE> zeros(2 * sizeof(VANTO_CASETTE_INFO), 0);
    ASSERT_TRUE(store.WriteData(u"BICassetteInfo", zeros.data(), static_cast<DWORD>(zeros.size())));

    const pid_t writers[] = {vanto_test::SpawnSelfTest("BIStoreDataChild.CassetteWriter", kWriterVariable, "0"),
                             vanto_test::SpawnSelfTest("BIStoreDataChild.CassetteWriter", kWriterVariable, "1")};
    for (pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(vanto_test::ExitedCleanly(status)) << "writer " << pid << " saw a lost write";
    }
    VANTO_CASETTE_INFO entry{};
    for (DWORD index : {0u, 1u}) {
        ASSERT_TRUE(store.ReadCassette(index, &entry));
        EXPECT_EQ(entry.wMaxCapacity, kCassetteRounds) << "the last write of entry " << index << " was lost";
    }
}

TEST(BIStoreDataSetup, QueueWithoutIdentifierOrAUDFModuleHasNoStore) {
    storetest::QueuePrefix prefix;
    BIStoreData store;
    ASSERT_TRUE(store.Initialize(kQueueW));
    EXPECT_FALSE(store.WriteDWORD(u"BIStoreFlag", 1)) << "values of a queue without KDPQGUID have no key";

    // A data file without KDAUDF01: the second LoadAUDF below, and PrinterInfoObjectTest's
    // InitializeFailsAndDestroysEverythingWithoutAStore on such a driver.
    storetest::AddEditedDriver("Missing Store Driver", "Q3", "KDAUDF01", "KDAUDF01=NOSUCH.DLL",
                               prefix.Root() + "/scratch-b");
    EXPECT_FALSE(store.Initialize(u"Q3"));
    EXPECT_FALSE(store.Initialize(u"No Such Queue"));

    CAUDFWrapper audf;
    EXPECT_EQ(audf.LoadAUDF(nullptr), AUDF_E_INVALIDARG);
    EXPECT_EQ(audf.LoadAUDF(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\NOSUCH.INI"), AUDF_E_FAIL);
    HKEY h = nullptr;
    EXPECT_EQ(audf.OpenKey(u"SOFTWARE", KEY_READ, &h), AUDF_FUNCTION_MISSING);

    // The queue's key name is bounded (its form: StoreOf of the interface tests).
    std::u16string key;
    std::u16string longName(240, u'x');
    EXPECT_FALSE(CAUDFWrapper::BuildQueueKey(longName.c_str(), u"{0123456789}", key));
    EXPECT_FALSE(CAUDFWrapper::BuildQueueKey(nullptr, u"{G}", key));
}
