// System OEM rows of the driver's tables: rows whose fields would overrun their place are refused
// by the compiler, and a foreign file's unterminated pattern stops before the model word.
#include "test_bp_live_printers.h"

#include "tables/CBITableData.h"
#include "tools/restable/ResTableCompiler.h"

using namespace bp_test;

namespace {

DWORD Word(const SBISystemOEMRow& row, size_t offset) {
    return row[offset] | (row[offset + 1] << 8) | (row[offset + 2] << 16) | (static_cast<DWORD>(row[offset + 3]) << 24);
}

// A table object loaded from a compiled source; the compiler must accept it.
CBITableData Loaded(const nlohmann::json& source) {
    std::vector<uint8_t> file;
    std::string error;
    EXPECT_TRUE(restable::Compile(source, file, error)) << error;
    CBITableData table;
    EXPECT_TRUE(table.LoadFromMemory(file));
    return table;
}

// A source with one System OEM table of this row.
nlohmann::json OemSource(const nlohmann::json& row) {
    return {{"tables", nlohmann::json::array({{{"id", BITableLayout::kTableSystemOEM}, {"rows", {row}}}})}};
}

// Compiling a single row fails, with a message that names the field at fault.
void ExpectRowRefused(const nlohmann::json& row, const std::string& field) {
    std::vector<uint8_t> file;
    std::string error;
    EXPECT_FALSE(restable::Compile(OemSource(row), file, error)) << row.dump();
    EXPECT_NE(error.find(field), std::string::npos) << error;
}

}  // namespace

TEST(SystemOemRows, FieldsThatWouldOverrunTheirPlaceAreRefused) {
    const std::string longest(BITableLayout::kOEMPatternWidth - 1, 'P');
    SBISystemOEMRow record{};
    EXPECT_TRUE(Loaded(OemSource({{"pattern", longest}})).GetSystemOEMModel(longest.c_str(), &record));
    ExpectRowRefused({{"pattern", longest + "P"}}, "pattern");  // would reach the model-information word
    ExpectRowRefused({{"pattern", "M"}, {"sources", std::vector<int>(12, 1)}}, "sources");  // reaches the tray count
    ExpectRowRefused({{"pattern", "M"}, {"userDef", std::vector<int>(9, 1)}}, "userDef");
    ExpectRowRefused({{"pattern", "M"}, {"modelInfo", "0x100000000"}}, "modelInfo");
    ExpectRowRefused({{"pattern", "M"}, {"sources", nlohmann::json::array({1, "x"})}}, "sources[1]");
    ExpectRowRefused({{"pattern", "M"}, {"trays", nlohmann::json::array({1})}}, "trays");
}

TEST(SystemOemRows, PatternWithoutTerminatorStopsBeforeTheModelInformationWord) {
    // A foreign file may fill the whole pattern area; the word after it is not part of the text.
    std::string hex;
    for (size_t i = 0; i < BITableLayout::kOEMPatternWidth; ++i) hex += "4d";  // 'M'
    hex += "01030000";                                                          // model information 0x301
    CBITableData table = Loaded(OemSource({{"hex", hex}}));
    SBISystemOEMRow record{};
    const std::string name = std::string(BITableLayout::kOEMPatternWidth, 'M') + " and more";
    ASSERT_TRUE(table.GetSystemOEMModel(name.c_str(), &record));
    EXPECT_EQ(Word(record, BP_OEM_MODELINFO_OFFSET), 0x301u);
}
