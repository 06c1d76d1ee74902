// CBIPrinterInfo on a queue of the sample driver: clean failure without a store, damaged stored
// values, and records read while another process writes them. The seeded records and keeping or
// reseeding the store by the model bits: ValueExportsTest in tests/interface.
#include "printerinfo/CBIPrinterInfo.h"

#include "printerinfo/StoreTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using storetest::kQueue;
using storetest::kQueueW;

// The store test prefix plus the built transport module, which the live BiDi access loads.
class InfoPrefix : public vanto_test::TempPrefix {
public:
    InfoPrefix() : TempPrefix(kQueue, kDefaultPort, Files()) { storetest::GiveQueueGUID(kQueueW); }

private:
    static std::vector<std::string> Files() {
        std::vector<std::string> files = storetest::BuiltDriverFiles();
        files.push_back(std::string(VANTO_BUILD_DIR) + "/ZKAPI7x64.Dll");
        return files;
    }
};

// An object initialised on kQueue with its own printer context.
struct Opened {
    explicit Opened(DWORD flags) {
        EXPECT_TRUE(context.Build(kQueueW, 0));
        ok = info.Initialize(&context, flags) == TRUE;
    }
    BIInfo context;
    CBIPrinterInfo info;
    bool ok = false;
};

}  // namespace

TEST(PrinterInfoObjectTest, InitializeFailsAndDestroysEverythingWithoutAStore) {
    InfoPrefix prefix;
    storetest::AddEditedDriver("No Store Driver", "NoStore", "KDAUDF01", "", prefix.Root() + "/nostore");
    BIInfo context;
    ASSERT_TRUE(context.Build(u"NoStore", 1));
    CBIPrinterInfo info;
    // The install-time access needs no transport module: the store is what fails.
    EXPECT_FALSE(info.Initialize(&context, 0x12));
    EXPECT_EQ(info.GetBIDI(), nullptr);
    EXPECT_EQ(info.GetStoreData(), nullptr);
    EXPECT_EQ(info.GetTableData(), nullptr);
    DWORD value = 7;
    EXPECT_FALSE(info.GetDWORDValue(DWID_ModelInfoBits, &value));
    EXPECT_FALSE(info.Initialize(nullptr, 0x2));
}

// A store written by someone else may hold a model name without its zero: what is handed out is
// still terminated inside the caller's buffer or record field.
TEST(PrinterInfoObjectTest, StoredModelNameWithoutItsZeroIsCutInsideTheBuffer) {
    InfoPrefix prefix;
    Opened opened(0x2);
    ASSERT_TRUE(opened.ok);
    BIStoreData& store = *opened.info.GetStoreData();
    const std::u16string name(70, u'A');
    ASSERT_TRUE(store.WriteData(u"BIModelName", reinterpret_cast<const BYTE*>(name.data()), 140));

    std::u16string buffer(80, u'#');
    ASSERT_TRUE(opened.info.GetModelName(buffer.data(), 80));
    EXPECT_EQ(std::u16string(buffer.c_str()), name);
    ASSERT_TRUE(opened.info.GetModelName(buffer.data(), 70));
    EXPECT_EQ(std::u16string(buffer.c_str()), name.substr(0, 69));

    // A stored name longer than the record's field is cut to fit it, not dropped.
    VANTO_PRINTER_INFO record{};
    record.ullElementMask = VANTO_ELEMENT_MODELNAME;
    DWORD size = sizeof record;
    ASSERT_EQ(opened.info.GetStructValue(STID_PrinterInfo, 0, &record, &size), 1);
    EXPECT_EQ(std::u16string(record.szModelName), name.substr(0, 63));

    // A model name that fills the field without a zero is stored as what a record read gives
    // back, so the record goes round unchanged from then on.
    std::fill(std::begin(record.szModelName), std::end(record.szModelName), u'B');
    ASSERT_TRUE(opened.info.SetStructValue(STID_PrinterInfo, 0, &record));
    ASSERT_TRUE(opened.info.GetModelName(buffer.data(), 80));
    EXPECT_EQ(std::u16string(buffer.c_str()), std::u16string(63, u'B'));
    VANTO_PRINTER_INFO back{};
    back.ullElementMask = VANTO_ELEMENT_MODELNAME;
    ASSERT_EQ(opened.info.GetStructValue(STID_PrinterInfo, 0, &back, &size), 1);
    EXPECT_EQ(std::u16string(back.szModelName), std::u16string(63, u'B'));
}

TEST(PrinterInfoObjectTest, StoreFlagThatExistsButCannotBeReadDoesNotReseed) {
    InfoPrefix prefix;
    {
        Opened first(0x2);
        ASSERT_TRUE(first.ok);
        BIStoreData& store = *first.info.GetStoreData();
        ASSERT_TRUE(store.WriteDWORD(u"BIModelInfoBits", 0x6));
        const BYTE damaged[8] = {1};  // too long to read as a number
        ASSERT_TRUE(store.WriteData(u"BIStoreFlag", damaged, sizeof damaged));
    }
    Opened second(0x2);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(second.info.GetStoreData()->GetModelInfoBits(), 0x6u)
        << "values learnt before were replaced by defaults";
}

namespace {
constexpr const char* kRecordWriterVariable = "VANTO_TEST_RECORD_WRITER";
constexpr int kRecordRounds = 150;

// Record `which` (1 or 2): every field it sets says which it is.
VANTO_PRINTER_INFO NumberedRecord(uint16_t which) {
    VANTO_PRINTER_INFO record{};
    record.ullElementMask = VANTO_ELEMENT_MODELNAME | VANTO_ELEMENT_MODELINFOBITS | VANTO_ELEMENT_CASSETTE |
                            VANTO_ELEMENT_INSTALLEDMEMORY;
    const std::u16string name = which == 1 ? u"Model-One" : u"Model-Two";
    std::copy(name.begin(), name.end(), record.szModelName);
    record.dwModelInfoBits = which;
    record.dwInstalledMemory = which;
    record.nCassetteNum = which + 1;
    for (int i = 0; i <= which; ++i) record.stCassette[i].wMaxCapacity = which;
    return record;
}
}  // namespace

// Run by the test below as a second process: writes the two records in turn.
TEST(PrinterInfoObjectChild, RecordWriter) {
    if (!std::getenv(kRecordWriterVariable)) GTEST_SKIP() << "runs only as a second process";
    Opened opened(0x2);
    ASSERT_TRUE(opened.ok);
    for (int round = 0; round < kRecordRounds; ++round) {
        const VANTO_PRINTER_INFO record = NumberedRecord(static_cast<uint16_t>(1 + round % 2));
        ASSERT_TRUE(opened.info.SetStructValue(STID_PrinterInfo, 0, &record));
    }
}

TEST(PrinterInfoObjectTest, RecordReadWhileAnotherProcessWritesRecordsIsOneOfThem) {
    InfoPrefix prefix;
    Opened opened(0x2);
    ASSERT_TRUE(opened.ok);
    const VANTO_PRINTER_INFO first = NumberedRecord(1);
    ASSERT_TRUE(opened.info.SetStructValue(STID_PrinterInfo, 0, &first));

    const pid_t pid = vanto_test::SpawnSelfTest("PrinterInfoObjectChild.RecordWriter", kRecordWriterVariable);
    ASSERT_GT(pid, 0);
    int status = 0;
    int mixed = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        VANTO_PRINTER_INFO record{};
        record.ullElementMask = first.ullElementMask;
        DWORD size = sizeof record;
        ASSERT_EQ(opened.info.GetStructValue(STID_PrinterInfo, 0, &record, &size), 1);
        const VANTO_PRINTER_INFO expected = NumberedRecord(static_cast<uint16_t>(record.dwModelInfoBits));
        const bool whole = (record.dwModelInfoBits == 1 || record.dwModelInfoBits == 2) &&
                           std::u16string(record.szModelName) == std::u16string(expected.szModelName) &&
                           record.dwInstalledMemory == expected.dwInstalledMemory &&
                           record.nCassetteNum == expected.nCassetteNum &&
                           std::memcmp(record.stCassette, expected.stCassette, sizeof record.stCassette) == 0;
        if (!whole) ++mixed;
    }
    EXPECT_TRUE(vanto_test::ExitedCleanly(status)) << "the writing process failed";
    EXPECT_EQ(mixed, 0) << "records read as a mix of two writes";
}
