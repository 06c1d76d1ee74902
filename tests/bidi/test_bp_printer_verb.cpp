// `vanto printer QUEUE` run as a separate process against virtual printers: what it prints
// agrees with the live printer access opened in this process, and a question that fails shows
// the error line the library wrote while answering it.
#include "test_bp_live_printers.h"
#include "support/ToolRun.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string_view>

using namespace bp_test;
using vanto_test::ToolRun;
using vanto_test::Vanto;

namespace {

// The last error line of this process, without its "#" and line end.
std::string g_errorLine;
void CatchErrorLine(std::string_view line) {
    g_errorLine.assign(line.substr(1, line.find_first_of("\r\n") - 1));
}

// The printer's answers asked in this process as the verb's JSON shows them (null where the
// question failed), and the error line of each question that failed.
struct Answers {
    nlohmann::json json = nlohmann::json::object();
    std::map<std::string, std::string> failed;
};

Answers AskInProcess(const std::string& queue) {
    Answers a;
    auto bidi = OpenQueue(queue);
    bidi->GetStatusFromCurrentChannel();
    BILogging::SetErrorSink(&CatchErrorLine);
    g_errorLine.clear();
    // Notes the answer under its key (none for sub-queries), or null and the error line.
    auto note = [&a](const char* key, const char* question, bool ok, const nlohmann::json& value) {
        if (key != nullptr) a.json[key] = ok ? value : nullptr;
        if (!ok) a.failed[question] = g_errorLine;
        g_errorLine.clear();
    };
    // The value is read after the question has written it.
    DWORD v = 0;
    bool ok = bidi->GetModelInfoBits(&v) > 0;
    note("model_bits", "GetModelInfoBits", ok, {{"value", v}});
    v = bidi->GetSupportPDLBits();
    note("pdl_bits", "GetSupportPDLBits", v != 0 || g_errorLine.empty(), {{"value", v}});
    ok = bidi->GetJobCtrlLangCharSet(&v) > 0;
    note("job_control_charset", "GetJobCtrlLangCharSet", ok, {{"value", v}});
    v = bidi->GetInstalledMemory();
    note("memory_mb", "GetInstalledMemory", v != 0 || g_errorLine.empty(), v);
    ok = bidi->GetOptionUnitBits(&v) > 0;
    note("option_units", "GetOptionUnitBits", ok, {{"value", v}});
    note(nullptr, "GetOptionUnitBitsStorage", bidi->GetOptionUnitBitsStorage(&v) > 0, {});
    note(nullptr, "GetOptionUnitBitsDuplexUnit", bidi->GetOptionUnitBitsDuplexUnit(&v) > 0, {});
    note(nullptr, "GetOptionUnitBitsFinisher", bidi->GetOptionUnitBitsFinisher(&v) > 0, {});
    note(nullptr, "GetOptionUnitBitsConfidentialJobFunction", bidi->GetOptionUnitBitsConfidentialJobFunction(&v) > 0,
         {});
    BICassetteList trays;
    nlohmann::json trayJson = nlohmann::json::array();
    ok = bidi->GetCassetteInfo(&trays) > 0;
    for (const VANTO_CASETTE_INFO& t : trays)
        trayJson.push_back({{"source_bit", t.wPaperSourceBit}, {"paper_size_id", t.wPaperSizeID},
                            {"paper_type_id", t.wPaperTypeID}, {"max_capacity", t.wMaxCapacity},
                            {"current_level", t.wCurrentLevel}});
    note("trays", "GetCassetteInfo", ok, trayJson);
    const BIStringList* sizes = bidi->GetSupportPaperSize(0);
    nlohmann::json sizeJson = nlohmann::json::array();
    if (sizes != nullptr && !sizes->empty()) {
        const BIStringList* directions = bidi->GetPaperDirection();
        note(nullptr, "GetPaperDirection", directions != nullptr, {});
        for (size_t i = 0; i < sizes->size(); ++i) {
            sizeJson.push_back({{"size", (*sizes)[i]}});
            if (directions != nullptr && i < directions->size()) sizeJson.back()["direction"] = (*directions)[i];
        }
    }
    note("paper_sizes", "GetSupportPaperSize", sizes != nullptr, sizeJson);
    const BIStringList* types = bidi->GetSupportPaperType();
    note("paper_types", "GetSupportPaperType", types != nullptr, types != nullptr ? *types : BIStringList{});
    VANTO_USERDEF_MAXMIN l{};
    ok = bidi->GetUserDefMaxMin(&l) > 0;
    note("user_defined_paper", "GetUserDefMaxMin", ok,
         {{"tenth_mm", {{"height_max", l.lHeiMAX}, {"width_min", l.lWidMIN}}},
          {"hundredth_inch", {{"height_max", l.lHeiMAX_Inch}, {"width_min", l.lWidMIN_Inch}}}});
    BILogging::SetErrorSink(nullptr);
    return a;
}

// The shown value holds every member of the expected one (null only for null).
bool Holds(const nlohmann::json& shown, const nlohmann::json& expected) {
    if (expected.is_object()) {
        for (const auto& [key, value] : expected.items())
            if (!shown.is_object() || !shown.contains(key) || !Holds(shown.at(key), value)) return false;
        return true;
    }
    if (!expected.is_array()) return shown == expected;
    if (!shown.is_array() || shown.size() != expected.size()) return false;
    for (size_t i = 0; i < expected.size(); ++i)
        if (!Holds(shown[i], expected[i])) return false;
    return true;
}

// The tool's JSON agrees with the answers asked here, its failures with the error lines.
void ExpectSameAnswers(const nlohmann::json& j, const Answers& a) {
    for (const auto& [key, expected] : a.json.items())
        EXPECT_TRUE(j.contains(key) && Holds(j.at(key), expected)) << key << ": the library answers " << expected.dump()
                                                                  << "\n" << j.dump(2);
    std::map<std::string, std::string> shown;
    for (const auto& f : j.at("failures")) shown[f.at("question")] = f.at("reason");
    EXPECT_EQ(shown, a.failed);
}

}  // namespace

TEST(BPPrinterVerb, ShowsDeviceCategoryChannelStatusAndInkjetMedia) {
    LivePrefix live;
    live.AddQueue("Ink14", "USB002");
    live.AddQueue("Colour", "IP_127.0.88.61");
    Printers printers({{"USB002", SampleProfile("inkjet-usb-f14")}, {"127.0.88.61", SampleProfile("colour-page")}});
    ASSERT_TRUE(printers.Ready()) << printers.Stderr();

    // The same printer opened here gives the numbers the verb must print.
    auto bidi = OpenQueue("Ink14");
    ASSERT_EQ(bidi->GetStatusFromCurrentChannel(), TRUE);
    const size_t combinations = bidi->CapabilitySet().Capabilities().size();
    ASSERT_GT(combinations, 0u);
    const std::string expected[] = {
        "device ID       : " + bidi->GetDeviceIDString() + "\n", "category        : 2 (ink-jet printer)",
        "channel         : D4 (0x10000005)",
        "status          : " + std::to_string(bidi->GetAutoConfigInfo().vecStatus.size()) + " bytes",
        "supported media (" + std::to_string(combinations) + "):",
        "forbidden pairs (" + std::to_string(bidi->GetForbiddenPairs().size()) + "):"};
    bidi->Close();
    const ToolRun ink = Vanto("printer Ink14");
    ASSERT_EQ(ink.status, 0) << ink.out;
    for (const std::string& line : expected) EXPECT_NE(ink.out.find(line), std::string::npos) << line << "\n" << ink.out;

    // A page printer: no media section; forced ink-jet on it: media not available.
    const ToolRun page = Vanto("printer Colour");
    ASSERT_EQ(page.status, 0) << page.out;
    EXPECT_NE(page.out.find("category        : 1 (page printer)"), std::string::npos);
    EXPECT_NE(page.out.find("channel         : SNMP (0x00000004)"), std::string::npos);
    EXPECT_EQ(page.out.find("supported media"), std::string::npos);
    const ToolRun forced = Vanto("printer Colour --flags 0x20");
    ASSERT_EQ(forced.status, 0);
    EXPECT_NE(forced.out.find("supported media : not available"), std::string::npos);

    EXPECT_EQ(Vanto("printer Nobody").status, 2);
    live.AddQueue("Silent", "IP_127.0.88.62");
    EXPECT_EQ(Vanto("printer Silent").status, 1);
}

TEST(BPPrinterVerb, PagePrinterAnswersAndFailedQuestionsAgreeWithTheLiveAccess) {
    // The colour page printer, and the same printer without the input name column.
    TempFolder folder;
    std::string line, withoutNames;
    for (std::istringstream in(ReadFile(SampleProfile("colour-page") + "/mib.snmprec")); std::getline(in, line);)
        if (line.rfind("1.3.6.1.2.1.43.8.2.1.13.", 0) != 0) withoutNames += line + "\n";
    LivePrefix live;
    const auto printers =
        Serve(live, {{"Colour", "127.0.88.63", SampleProfile("colour-page")},
                     {"NoTrays", "127.0.88.64", WriteProfile(folder, "no-trays", R"({"channels": ["snmp"]})", withoutNames)}});
    ASSERT_TRUE(printers->Ready());

    const Answers colour = AskInProcess("Colour");
    ASSERT_TRUE(colour.failed.empty()) << "the sample page printer answers every question; first failure: "
                                       << colour.failed.begin()->first << ": " << colour.failed.begin()->second;
    const ToolRun json = Vanto("printer Colour --json");
    ASSERT_EQ(json.status, 0) << json.out;
    const nlohmann::json j = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << "stdout is not one JSON object:\n" << json.out;
    EXPECT_EQ(j.at("category").at("value"), PRINTER_CATEGORY_PAGE);
    ExpectSameAnswers(j, colour);

    // The plain view shows the same answers with their labels.
    const ToolRun plain = Vanto("printer Colour");
    ASSERT_EQ(plain.status, 0) << plain.out;
    const nlohmann::json& first = colour.json.at("paper_sizes").at(0);
    const std::string size = first.at("size");
    char bits[64];
    std::snprintf(bits, sizeof(bits), "model bits      : 0x%08x (", colour.json["model_bits"]["value"].get<DWORD>());
    for (const std::string& expected :
         {std::string(bits), "memory          : " + colour.json["memory_mb"].dump() + " MB\n",
          "trays (" + std::to_string(colour.json["trays"].size()) + "):\n",
          "paper sizes (" + std::to_string(colour.json["paper_sizes"].size()) + "):\n",
          "  " + size + std::string(12 - size.size(), ' ') + "  direction " + first.at("direction").get<std::string>()})
        EXPECT_NE(plain.out.find(expected), std::string::npos) << expected << " not in\n" << plain.out;

    // Without input names the tray question fails: both views give its error line; exit stays 0.
    const Answers noNames = AskInProcess("NoTrays");
    ASSERT_EQ(noNames.failed.count("GetCassetteInfo"), 1u);
    ASSERT_FALSE(noNames.failed.at("GetCassetteInfo").empty()) << "the library wrote no error line";
    const ToolRun failedPlain = Vanto("printer NoTrays");
    EXPECT_EQ(failedPlain.status, 0);
    EXPECT_NE(failedPlain.out.find("trays           : GetCassetteInfo failed (result "), std::string::npos)
        << failedPlain.out;
    EXPECT_NE(failedPlain.out.find("): " + noNames.failed.at("GetCassetteInfo") + "\n"), std::string::npos)
        << failedPlain.out;
    const ToolRun failedJson = Vanto("printer NoTrays --json");
    EXPECT_EQ(failedJson.status, 0);
    ExpectSameAnswers(nlohmann::json::parse(failedJson.out), noNames);
}
