// The supported-paper builders through the real store (the built AUDF module in a temporary
// prefix): name and numeric forms, System OEM rows, directions, the "Unspecified" and "(BK)"
// rules, stored count = table rows, and failures that store the count 0.
#include "FailingAllocator.h"
#include "ScriptedBIDI.h"
#include "StoreTestUtil.h"
#include "common/BILogging.h"
#include "common/LogFile.h"
#include "printerinfo/CBIPaperInfo.h"
#include "tables/TableTestUtil.h"

#include <algorithm>
#include <tuple>

using nlohmann::json;
using storetest::kQueueW;
using tabletest::SizeRow;
using tabletest::Tables;
using tabletest::TypeRow;

namespace {

constexpr int kNumeric = 6;    // a category whose lists are codes when the table is numeric
constexpr int kOEM = 4;

// A stored entry as (wID, wShow, wDirection); the reserved word must be 0.
using Entry = std::tuple<int, int, int>;

class PaperInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        storetest::GiveQueueGUID(kQueueW);
        ASSERT_TRUE(store.Initialize(kQueueW));
    }
    // A test may have read the log switch of its prefix; the next one reads its own.
    void TearDown() override { BILogging::End(); }
    void Load(const json& source) {
        std::vector<BYTE> file = tabletest::Compile(source);
        ASSERT_TRUE(tables.LoadFromMemory(file));
    }
    CBIPaperInfo Paper() { return CBIPaperInfo(&store, &tables, &bidi); }

    // The stored count, or -1 when it cannot be read.
    long Count(const char16_t* name) {
        DWORD value = 0;
        return store.ReadDWORD(name, &value) ? static_cast<long>(value) : -1;
    }
    // The stored entries; their byte size must be 8 per counted entry.
    std::vector<Entry> Entries(const char16_t* num, const char16_t* ids) {
        const long n = Count(num);
        EXPECT_GE(n, 0) << "no count stored";
        std::vector<SBIPaperEntry> raw(static_cast<size_t>(std::max(n, 0L)) + 1);
        DWORD cb = static_cast<DWORD>(raw.size() * sizeof(SBIPaperEntry));
        EXPECT_TRUE(store.ReadData(ids, reinterpret_cast<BYTE*>(raw.data()), &cb));
        EXPECT_EQ(cb, static_cast<DWORD>(n) * sizeof(SBIPaperEntry));
        std::vector<Entry> out;
        for (long i = 0; i < n; ++i) {
            EXPECT_EQ(raw[i].wReserved, 0) << "entry " << i;
            out.emplace_back(raw[i].wID, raw[i].wShow, raw[i].wDirection);
        }
        return out;
    }
    std::vector<Entry> Sizes() { return Entries(u"BIPaperSizeNum", u"BIPaperSizeIDs"); }
    std::vector<Entry> Types() { return Entries(u"BIPaperTypeNum", u"BIPaperTypeIDs"); }

    storetest::QueuePrefix prefix;
    BIStoreData store;
    CBITableData tables;
    ScriptedBIDI bidi;
};

const json kSizeRows = {SizeRow(9, "A4", 0xC, 26, 126), SizeRow(1, "Letter", 0xC, 2, 102),
                        SizeRow(5, "Legal", 0xC, 3, 0), SizeRow(8, "A3", 0xC, 27, 0),
                        SizeRow(12, "B4", 0xC, 46, 0)};

}  // namespace

TEST_F(PaperInfoTest, SizesByNameTakeTheDirectionAtTheMatchedPosition) {
    Load(Tables(false, kSizeRows));
    // Positions: A4 0x40, Letter 0x80, A3 empty, B4 any other byte; "A4" again later is ignored.
    const BIStringList sizes = {"A4", "Letter", "A3", "B4", "A4"};
    const BIStringList directions = {"\x40", "\x80", "", "Z", "\x80"};
    ASSERT_TRUE(Paper().GetSupportPaperSizeInfo(&directions, &sizes));
    EXPECT_EQ(Sizes(), (std::vector<Entry>{{9, 1, 0}, {1, 1, 1}, {5, 0, 2}, {8, 1, 2}, {12, 1, 2}}));

    // No direction list, an empty one, or one too short for the matched position: no direction.
    const BIStringList none, shorter = {"\x40"};
    for (const BIStringList* dirs : {static_cast<const BIStringList*>(nullptr), &none, &shorter}) {
        ASSERT_TRUE(Paper().GetSupportPaperSizeInfo(dirs, &sizes));
        EXPECT_EQ(Sizes(), (std::vector<Entry>{{9, 1, dirs == &shorter ? 0 : 2}, {1, 1, 2}, {5, 0, 2}, {8, 1, 2},
                                               {12, 1, 2}}));
    }
}

TEST_F(PaperInfoTest, SizesByCodeOnlyForCodeCategoriesWithANumericTable) {
    Load(Tables(true, kSizeRows));
    // A4 both codes, Letter only code 2, A3 only code 1, Legal and B4 not at all.
    const BIStringList codes = {"26", "102", "126", "27"};
    const BIStringList directions = {"x", "x", "x", "x"};
    bidi.dwCategory = kNumeric;
    ASSERT_TRUE(Paper().GetSupportPaperSizeInfo(&directions, &codes));
    EXPECT_EQ(Sizes(),
              (std::vector<Entry>{{9, 1, 2}, {1, 1, 0}, {5, 0, 2}, {8, 1, 1}, {12, 0, 2}}));
    ASSERT_TRUE(Paper().GetSupportPaperSizeInfo(nullptr, &codes));
    EXPECT_EQ(Sizes(), (std::vector<Entry>{{9, 1, 2}, {1, 1, 2}, {5, 0, 2}, {8, 1, 2}, {12, 0, 2}}));

    // Any other category matches names even against a numeric table.
    bidi.dwCategory = PRINTER_CATEGORY_PAGE;
    const BIStringList names = {"Legal", "26"};
    ASSERT_TRUE(Paper().GetSupportPaperSizeInfo(nullptr, &names));
    EXPECT_EQ(Sizes(), (std::vector<Entry>{{9, 0, 2}, {1, 0, 2}, {5, 1, 2}, {8, 0, 2}, {12, 0, 2}}));

    // A code category with a name-form table matches names too.
    Load(Tables(false, kSizeRows));
    bidi.dwCategory = kNumeric;
    ASSERT_TRUE(Paper().GetSupportPaperSizeInfo(nullptr, &names));
    EXPECT_EQ(Sizes(), (std::vector<Entry>{{9, 0, 2}, {1, 0, 2}, {5, 1, 2}, {8, 0, 2}, {12, 0, 2}}));
}

TEST_F(PaperInfoTest, SystemOEMRowsComePackedWithTheirShownBitAndTheCountStaysTheRowCount) {
    Load(Tables(false, {SizeRow(9, "A4", 0x0804), SizeRow(1, "Letter", 0x0002), SizeRow(5, "Legal", 0x0008),
                        SizeRow(8, "A3", 0x080C)},
                {TypeRow(2, "Plain", 0x0808), TypeRow(3, "Thick", 0x0003), TypeRow(4, "Labels", 0x0004)}));
    bidi.dwCategory = kOEM;
    // The printer's lists play no part: the record says what the OEM model offers.
    ASSERT_TRUE(Paper().GetSupportPaperSizeInfo(nullptr, nullptr));
    EXPECT_EQ(Sizes(), (std::vector<Entry>{{9, 1, 2}, {5, 0, 2}, {8, 1, 2}, {0, 0, 0}}));
    ASSERT_TRUE(Paper().GetSupportPaperTypeInfo(nullptr));
    EXPECT_EQ(Types(), (std::vector<Entry>{{2, 1, 0}, {4, 0, 0}, {0, 0, 0}}));
}

TEST_F(PaperInfoTest, FailuresStoreTheCountZero) {
    // The log switch is read once and found off, so the log itself allocates nothing.
    vanto_test::SetLogSwitch(DWORD{0});
    BILogging::End();
    Load(Tables(false, {SizeRow(1, "Letter", 0x0002)}, {TypeRow(3, "Thick", 0x0003)}));
    const BIStringList sizes = {"Letter"};
    ASSERT_TRUE(Paper().GetSupportPaperSizeInfo(nullptr, &sizes));
    ASSERT_EQ(Count(u"BIPaperSizeNum"), 1);

    bidi.dwCategory = kOEM;  // no row marked for System OEM printers
    EXPECT_FALSE(Paper().GetSupportPaperSizeInfo(nullptr, &sizes));
    EXPECT_EQ(Count(u"BIPaperSizeNum"), 0);
    ASSERT_TRUE(store.WriteDWORD(u"BIPaperTypeNum", 5));
    EXPECT_FALSE(Paper().GetSupportPaperTypeInfo(nullptr));
    EXPECT_EQ(Count(u"BIPaperTypeNum"), 0);

    bidi.dwCategory = PRINTER_CATEGORY_PAGE;  // the printer's list was not obtained
    ASSERT_TRUE(store.WriteDWORD(u"BIPaperSizeNum", 5));
    ASSERT_TRUE(store.WriteDWORD(u"BIPaperTypeNum", 5));
    EXPECT_FALSE(Paper().GetSupportPaperSizeInfo(&sizes, nullptr));
    EXPECT_FALSE(Paper().GetSupportPaperTypeInfo(nullptr));
    EXPECT_EQ(Count(u"BIPaperSizeNum"), 0);
    EXPECT_EQ(Count(u"BIPaperTypeNum"), 0);

    // The entry array itself cannot be had.
    ASSERT_TRUE(store.WriteDWORD(u"BIPaperSizeNum", 5));
    failalloc::FailAllocation(0);
    EXPECT_FALSE(Paper().GetSupportPaperSizeInfo(nullptr, &sizes));
    EXPECT_TRUE(failalloc::Disarm());
    EXPECT_EQ(Count(u"BIPaperSizeNum"), 0);
}

TEST_F(PaperInfoTest, TypesByNameSkipNamelessRowsAndShowBlackVariantsAndByCodeKeepEveryRow) {
    Load(Tables(false, json::array(),
                {TypeRow(1, "Unspecified", 0), TypeRow(2, "Plain", 0), TypeRow(20, "", 0),
                 TypeRow(9, "Plain(BK)", 0), TypeRow(4, "Thick", 0),
                 TypeRow(10, "Extra Plain(BK)", 0)}));
    const BIStringList types = {"Plain", "Labels"};
    ASSERT_TRUE(Paper().GetSupportPaperTypeInfo(&types));
    // Six rows are counted; the nameless one gives no entry, so the last entry stays zero.
    EXPECT_EQ(Types(), (std::vector<Entry>{{1, 1, 0}, {2, 1, 0}, {9, 1, 0}, {4, 0, 0}, {10, 0, 0},
                                           {0, 0, 0}}));

    // By code, every row has an entry (the nameless one too) and either code matches.
    Load(Tables(true, json::array(), {TypeRow(1, "Unspecified", 0, 90, 91), TypeRow(2, "Plain", 0, 1, 0),
                           TypeRow(3, "Thick", 0, 5, 0), TypeRow(12, "Extra Thick", 0, 5, 13), TypeRow(20, "", 0, 30, 0),
                           TypeRow(9, "Plain(BK)", 0, 21, 1)}));
    bidi.dwCategory = 7;
    const BIStringList codes = {"13", "30", "Plain"};
    ASSERT_TRUE(Paper().GetSupportPaperTypeInfo(&codes));
    EXPECT_EQ(Types(), (std::vector<Entry>{{1, 1, 0}, {2, 0, 0}, {3, 0, 0}, {12, 1, 0}, {20, 1, 0}, {9, 0, 0}}));
}
