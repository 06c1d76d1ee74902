// System OEM printers through the sample driver's own tables: a printer whose model matches a row
// with bit 0x100 or 0x200 in its model-information word opens as a System OEM printer with that
// row as its record; rows whose fields would overrun their place are refused by the compiler.
// Printers live on 127.0.86.x.
#include "test_bp_live_printers.h"

#include "tables/CBITableData.h"
#include "tools/restable/ResTableCompiler.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

using namespace bp_test;

namespace {

nlohmann::json SampleCfgxSource() {
    return nlohmann::json::parse(ReadFile(std::string(VANTO_SOURCE_DIR) + "/samples/driver/tables/cfgx_tables.json"));
}

// The System OEM rows of a table source.
nlohmann::json SystemOemRows(const nlohmann::json& source) {
    for (const auto& table : source["tables"])
        if (table["id"] == BITableLayout::kTableSystemOEM) return table["rows"];
    return nlohmann::json::array();
}

uint32_t JsonNumber(const nlohmann::json& row, const char* key) {
    if (!row.contains(key)) return 0;
    const auto& v = row[key];
    return v.is_string() ? static_cast<uint32_t>(std::stoul(v.get<std::string>(), nullptr, 0)) : v.get<uint32_t>();
}

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

// A model name the row's pattern matches: the text before "*" with a suffix, or the whole pattern.
std::string ModelFor(const std::string& pattern) {
    const size_t star = pattern.find('*');
    return star == std::string::npos ? pattern : pattern.substr(0, star) + " 10";
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

// One virtual printer per sample row, each a copy of system-oem-b answering with a model the
// row's pattern matches.
TEST(BPSystemOem, EverySampleRowDecidesTheCategoryByItsSystemOemBits) {
    const nlohmann::json source = SampleCfgxSource();
    const nlohmann::json rows = SystemOemRows(source);
    ASSERT_FALSE(rows.empty());
    const std::string profile = ReadFile(SampleProfile("system-oem-b") + "/profile.json");
    const std::string mib = ReadFile(SampleProfile("system-oem-b") + "/mib.snmprec");
    const std::string sampleMdl = "MDL:Model-B;";
    ASSERT_NE(mib.find(sampleMdl), std::string::npos);
    LivePrefix live;
    TempFolder files;
    std::vector<LiveQueue> queues;
    for (size_t i = 0; i < rows.size(); ++i) {
        std::string rowMib = mib;
        rowMib.replace(rowMib.find(sampleMdl), sampleMdl.size(), "MDL:" + ModelFor(rows[i]["pattern"]) + ";");
        queues.push_back({"OEM" + std::to_string(i), "127.0.86." + std::to_string(i + 1),
                          WriteProfile(files, "row" + std::to_string(i), profile, rowMib)});
    }
    const auto printers = Serve(live, queues);
    ASSERT_TRUE(printers->Ready());
    const CBITableData table = Loaded(source);

    size_t systemOemRows = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i]["pattern"].get<std::string>());
        const uint32_t modelInfo = JsonNumber(rows[i], "modelInfo");
        const bool systemOem = (modelInfo & BP_OEM_SYSTEM_BITS) != 0;
        systemOemRows += systemOem ? 1 : 0;
        Opened printer(queues[i].name);
        ASSERT_EQ(printer.result, 1);
        // The device ID names no page language, so a row without the bits leaves the category of
        // a new object.
        EXPECT_EQ(printer->GetPrinterCategory(), systemOem ? PRINTER_CATEGORY_SYSTEM_OEM : PRINTER_CATEGORY_PAGE);
        // The matching row is copied whole, its model-information word where it is read.
        SBISystemOEMRow compiled{};
        ASSERT_TRUE(table.GetSystemOEMModel(ModelFor(rows[i]["pattern"]).c_str(), &compiled));
        EXPECT_EQ(printer->GetSystemOEMRecord(), compiled);
        EXPECT_EQ(Word(compiled, BP_OEM_MODELINFO_OFFSET), modelInfo);
    }
    EXPECT_GT(systemOemRows, 0u);
    EXPECT_LT(systemOemRows, rows.size()) << "the sample keeps a row without the System OEM bits";
}
