// The binary resource tables: loading and checking a file, the row filter, the overlay, and every
// lookup, on tables compiled from inline sources and from the sample driver's sources.
#include "TableTestUtil.h"

using nlohmann::json;
using tabletest::Compile;
using tabletest::SizeRow;
using tabletest::Tables;
using tabletest::TypeRow;
namespace L = BITableLayout;

namespace {

CBITableData Loaded(const json& source, DWORD dwERDSwitch = 0) {
    CBITableData table;
    table.SetFlags(0, dwERDSwitch);
    auto file = Compile(source);
    EXPECT_TRUE(table.LoadFromMemory(file));
    return table;
}

}  // namespace

TEST(BITableData, OrientedNameResolvesToPlainRowAndSetsDirection) {
    auto table = Loaded(Tables(false, {SizeRow(9, "A4", 0), SizeRow(1, "Letter", 0)}));
    WORD wDirection = 7;
    EXPECT_EQ(table.GetPaperSizeIDByName("A4 Landscape", &wDirection, 0), 9);
    EXPECT_EQ(wDirection, 1);
    EXPECT_EQ(table.GetPaperSizeIDByName("LT Portrait", &wDirection, 0), 1);
    EXPECT_EQ(wDirection, 0);

    wDirection = 7;
    EXPECT_EQ(table.GetPaperSizeIDByName("A4", &wDirection, 0), 9);
    EXPECT_EQ(wDirection, 7) << "a plain name leaves the direction alone";
    // An oriented name outside the orientation table still sets the direction but is not renamed.
    EXPECT_EQ(table.GetPaperSizeIDByName("A3 Landscape", &wDirection, 0), 0);
    EXPECT_EQ(wDirection, 1);
    EXPECT_EQ(table.GetPaperSizeIDByName("A4 Landscape", nullptr, 0), 9);
    EXPECT_EQ(table.GetPaperSizeIDByName(nullptr, nullptr, 0), 0);
}

TEST(BITableData, InstallTimeSwitchKeepsOnlyRowsOfItsSource) {
    json sizes = {SizeRow(1, "Live", 0x6), SizeRow(2, "Both", 0x3), SizeRow(3, "Any", 0x0),
                  SizeRow(4, "Install", 0x1)};
    for (DWORD dwSwitch : {1u, 0u}) {
        const CBITableData table = Loaded(Tables(false, sizes), dwSwitch);
        std::vector<WORD> ids;
        for (const auto& r : table.PaperSizes()) ids.push_back(r.wID);
        EXPECT_EQ(ids, (dwSwitch ? std::vector<WORD>{2, 3, 4} : std::vector<WORD>{1, 2, 3}));
    }
}

TEST(BITableData, RestrictedRowMatchesByNameOnlyWithAWideningBit) {
    json sizes = {SizeRow(1, "Restricted", 0x100), SizeRow(2, "Restricted", 0x300),
                  SizeRow(3, "Other", 0x100)};
    auto table = Loaded(Tables(false, sizes, {TypeRow(5, "Letterhead", 0x104), TypeRow(6, "Letterhead", 0x504)}));
    EXPECT_EQ(table.GetPaperSizeIDByName("Restricted", nullptr, 0x303), 2);
    EXPECT_EQ(table.GetPaperSizeIDByName("Restricted", nullptr, 0), 1) << "mask 0 matches any row";
    EXPECT_EQ(table.GetPaperSizeIDByName("Other", nullptr, 0x3), 0) << "no shared bit";
    EXPECT_EQ(table.GetPaperTypeIDByName("Letterhead", 0x504), 6) << "0x400 widens, paper types alike";
    EXPECT_EQ(table.GetPaperTypeIDByName("Letterhead", 0x4), 5);
}

TEST(BITableData, CodeLookupsInBothForms) {
    json sizes = {SizeRow(9, "A4", 0x8, 26, 126), SizeRow(90, "26", 0x4), SizeRow(1, "Letter", 0x4, 2, 102)};
    json types = {TypeRow(3, "Thick", 0x4, 5), TypeRow(12, "Extra Thick", 0x4, 5, 13), TypeRow(30, "5", 0x4),
                  TypeRow(31, "5", 0x4), TypeRow(32, "999", 0x4), TypeRow(33, "999", 0x4)};
    // Matches by either code and the sub paper type of code 5: PaperInfoTest and ProhibitInfoTest;
    // a name-form table compares the decimal text: the ink-jet cassettes of UpdateExports.
    auto numeric = Loaded(Tables(true, sizes, types));
    EXPECT_EQ(numeric.GetPaperSizeIDByCode(26, 0x4), 0) << "mask shares no bit with the A4 row";
    EXPECT_EQ(numeric.GetPaperSizeIDByCode(102, 0xC), 1);
    EXPECT_EQ(numeric.GetSubPaperTypeID(13), 0) << "only one row names code 13";

    auto named = Loaded(Tables(false, sizes, types));
    EXPECT_EQ(named.GetPaperTypeIDByCode(5, 0), 30);
    EXPECT_EQ(named.GetSubPaperTypeID(5), 31);
    EXPECT_EQ(named.GetSubPaperTypeID(999), 0) << "999 never has a sub paper type";
}

TEST(BITableData, FirstPaperSourceRowExactModelNamesAndSystemOEMPatterns) {
    json src = {{"tables",
                 {{{"id", L::kTablePaperSource},
                   {"rows", {{{"element", 1}, {"bits", 1}}, {{"element", 7}, {"bits", 0}}, {{"element", 2}, {"bits", 6}}}}},
                  {{"id", L::kTableModel},
                   {"rows", {{{"name", "Model-P200"}, {"feeder", 2}, {"flags", 0x811}}}}},
                  {{"id", L::kTableSystemOEM},
                   {"rows", {{{"pattern", ""}}, {{"pattern", "Model-C1*"}}, {{"pattern", "Model-C*"}}, {{"pattern", "Model-G"}}}}}}}};
    auto table = Loaded(src);
    EXPECT_EQ(table.GetPaperSourceElementID(0x3), 1) << "first row sharing a bit";

    DWORD dwFlags = 0;
    WORD wFeeder = 0;
    EXPECT_TRUE(table.GetModelInfo(u"Model-P200", &dwFlags, &wFeeder));
    EXPECT_EQ(dwFlags, 0x811u);
    EXPECT_EQ(wFeeder, 2);
    EXPECT_FALSE(table.GetModelInfo(u"Model-P20", &dwFlags, &wFeeder)) << "names match exactly";
    EXPECT_FALSE(table.GetModelInfo(u"", &dwFlags, &wFeeder));

    SBISystemOEMRow row{};
    ASSERT_TRUE(table.GetSystemOEMModel("model-c1 plus", &row)) << "patterns compare ignoring case";
    EXPECT_STREQ(reinterpret_cast<const char*>(row.data()), "Model-C1*");
    EXPECT_TRUE(table.GetSystemOEMModel("Model-G 500", &row)) << "a pattern without a star is a prefix too";
    EXPECT_FALSE(table.GetSystemOEMModel("Model-Z", &row)) << "an empty pattern matches nothing";
    EXPECT_FALSE(table.GetSystemOEMModel("Model", &row));

    json catchAll = {{"tables",
                      {{{"id", L::kTableSystemOEM},
                        {"rows", {{{"pattern", "*"}}, {{"pattern", "Model-Z"}}}}}}}};
    ASSERT_TRUE(Loaded(catchAll).GetSystemOEMModel("Model-Z", &row)) << "\"*\" matches every name";
    EXPECT_STREQ(reinterpret_cast<const char*>(row.data()), "*");
}

// ---- Damaged files ----

class BITableDataDamaged : public ::testing::Test {
protected:
    void SetUp() override { good = Compile(tabletest::SampleSource("lp_tables.json")); }
    // Loads a damaged copy into a table that held the good file, so that a failure must empty it.
    bool LoadsDamaged(const std::vector<BYTE>& damaged) {
        CBITableData table;
        EXPECT_TRUE(table.LoadFromMemory(good));
        bool ok = table.LoadFromMemory(damaged);
        if (!ok) {
            EXPECT_EQ(table.GetPaperSizeCount(), 0u);
            EXPECT_EQ(table.GetPaperTypeCount(), 0u);
            EXPECT_TRUE(table.PaperSources().empty());
            EXPECT_TRUE(table.Models().empty());
        }
        return ok;
    }
    size_t DirEntry(size_t i) const { return L::kHeaderSize + i * L::kDirEntrySize; }
    std::vector<BYTE> good;
};

TEST_F(BITableDataDamaged, EveryTruncationFailsCleanly) {
    ASSERT_GT(good.size(), L::kHeaderSize);
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<BYTE> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(LoadsDamaged(cut)) << "truncated to " << n << " bytes";
    }
}

TEST_F(BITableDataDamaged, InconsistentDirectoryFails) {
    auto more = good;
    tabletest::Put16(more, L::kOffDirCount, 0xFFFF);
    EXPECT_FALSE(LoadsDamaged(more)) << "directory longer than the file";
    struct Case {
        size_t field;  // in table 0's directory entry (3010, whose fields reach byte 112)
        uint32_t value;
        const char* fault;
    };
    const Case cases[] = {{L::kDirOffRowsOffset, static_cast<uint32_t>(good.size() - 8), "rows past the end"},
                          {L::kDirOffRowsOffset, 0xFFFFFFF0u, "offset that would wrap"},
                          {L::kDirOffRowsOffset, 0, "rows overlapping the header"},
                          {L::kDirOffRowCount, 0x10000000u, "row count beyond the file"},
                          {L::kDirOffRowSize, L::kPSOffCode2, "row size below the fields read"}};
    for (const Case& c : cases) {
        auto damaged = good;
        tabletest::Put32(damaged, DirEntry(0) + c.field, c.value);
        EXPECT_FALSE(LoadsDamaged(damaged)) << c.fault;
    }
}

TEST_F(BITableDataDamaged, UnterminatedTextStaysInsideItsField) {
    auto file = good;
    size_t at = DirEntry(0) + L::kDirOffRowsOffset;
    size_t rowsAt = file[at] | (file[at + 1] << 8) | (file[at + 2] << 16);
    std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(rowsAt + L::kPSOffName), L::kPSNameWidth, BYTE{'X'});
    CBITableData table;
    ASSERT_TRUE(table.LoadFromMemory(file));
    EXPECT_EQ(table.PaperSizes()[0].strName, std::string(L::kPSNameWidth, 'X'));
}

// ---- The compiler's own checks ----

TEST(ResTableCompiler, RejectsWhatWouldNotLoadAsWritten) {
    std::vector<uint8_t> file;
    std::string error;
    const json refused[] = {
        {{"tables", {{{"id", 3050}, {"rows", {{{"name", std::string(30, 'M')}}}}}}}},  // long name
        {{"tables", {{{"id", 3010}, {"rows", {{{"nmae", "A4"}}}}}}}},                 // unknown field
        {{"tables", {{{"id", 3010}, {"rows", {{{"id", 70000}}}}}}}},                  // out of range
        {{"tables", {{{"id", 3010}, {"rowSize", 100}, {"rows", json::array()}}}}},    // rows too small
        {{"tables", {{{"id", 3030}, {"rows", {{{"hex", "01"}}}}}}}}};                 // no row size
    for (const json& source : refused) EXPECT_FALSE(restable::Compile(source, file, error)) << source.dump();
}
