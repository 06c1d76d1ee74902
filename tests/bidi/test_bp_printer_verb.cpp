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

// The printer's answers asked in this process in the verb's order, and the error line of each
// question that failed.
struct Answers {
    std::map<std::string, std::string> failed;
    DWORD modelBits = 0, pdlBits = 0, charSet = 0, memory = 0, options = 0;
    BICassetteList trays;
    BIStringList sizes, directions, types;
    VANTO_USERDEF_MAXMIN limits{};

    // Notes a failure of the question with the error line it left; returns ok.
    bool Note(const char* question, bool ok) {
        if (!ok) failed[question] = g_errorLine;
        g_errorLine.clear();
        return ok;
    }
    bool Copy(const char* question, const BIStringList* list, BIStringList* to) {
        if (list != nullptr) *to = *list;
        return Note(question, list != nullptr);
    }
};

Answers AskInProcess(const std::string& queue) {
    Answers a;
    auto context = Context(queue);
    CBIDI_BP bidi;
    EXPECT_EQ(bidi.Initialize(context.get(), 0), 1);
    EXPECT_EQ(bidi.Open(Wide(queue).c_str()), 1);
    bidi.GetStatusFromCurrentChannel();
    BILogging::SetErrorSink(&CatchErrorLine);
    g_errorLine.clear();
    a.Note("GetModelInfoBits", bidi.GetModelInfoBits(&a.modelBits) > 0);
    a.pdlBits = bidi.GetSupportPDLBits();
    a.Note("GetSupportPDLBits", a.pdlBits != 0 || g_errorLine.empty());
    a.Note("GetJobCtrlLangCharSet", bidi.GetJobCtrlLangCharSet(&a.charSet) > 0);
    a.memory = bidi.GetInstalledMemory();
    a.Note("GetInstalledMemory", a.memory != 0 || g_errorLine.empty());
    a.Note("GetOptionUnitBits", bidi.GetOptionUnitBits(&a.options) > 0);
    DWORD sub = 0;
    a.Note("GetOptionUnitBitsStorage", bidi.GetOptionUnitBitsStorage(&sub) > 0);
    a.Note("GetOptionUnitBitsDuplexUnit", bidi.GetOptionUnitBitsDuplexUnit(&sub) > 0);
    a.Note("GetOptionUnitBitsFinisher", bidi.GetOptionUnitBitsFinisher(&sub) > 0);
    a.Note("GetOptionUnitBitsConfidentialJobFunction", bidi.GetOptionUnitBitsConfidentialJobFunction(&sub) > 0);
    a.Note("GetCassetteInfo", bidi.GetCassetteInfo(&a.trays) > 0);
    if (a.Copy("GetSupportPaperSize", bidi.GetSupportPaperSize(0), &a.sizes) && !a.sizes.empty())
        a.Copy("GetPaperDirection", bidi.GetPaperDirection(), &a.directions);
    a.Copy("GetSupportPaperType", bidi.GetSupportPaperType(), &a.types);
    a.Note("GetUserDefMaxMin", bidi.GetUserDefMaxMin(&a.limits) > 0);
    BILogging::SetErrorSink(nullptr);
    bidi.Close();
    return a;
}

// The tool's JSON for a page printer agrees with the answers asked here: each answer where the
// question succeeded, null and a failure with the same error line where it failed.
void ExpectSameAnswers(const nlohmann::json& j, const Answers& a) {
    auto answer = [&](const char* key, const char* question) -> const nlohmann::json* {
        const bool failed = a.failed.count(question) != 0;
        EXPECT_TRUE(j.contains(key)) << key;
        if (!j.contains(key)) return nullptr;
        EXPECT_EQ(j.at(key).is_null(), failed) << key << "\n" << j.dump(2);
        return j.at(key).is_null() ? nullptr : &j.at(key);
    };
    if (auto* v = answer("model_bits", "GetModelInfoBits")) { EXPECT_EQ(v->at("value"), a.modelBits); }
    if (auto* v = answer("pdl_bits", "GetSupportPDLBits")) { EXPECT_EQ(v->at("value"), a.pdlBits); }
    if (auto* v = answer("job_control_charset", "GetJobCtrlLangCharSet")) { EXPECT_EQ(v->at("value"), a.charSet); }
    if (auto* v = answer("memory_mb", "GetInstalledMemory")) { EXPECT_EQ(*v, a.memory); }
    if (auto* v = answer("option_units", "GetOptionUnitBits")) { EXPECT_EQ(v->at("value"), a.options); }
    if (auto* v = answer("trays", "GetCassetteInfo")) {
        ASSERT_EQ(v->size(), a.trays.size());
        for (size_t i = 0; i < a.trays.size(); ++i) {
            const auto& t = v->at(i);
            EXPECT_EQ(t.at("source_bit"), a.trays[i].wPaperSourceBit);
            EXPECT_EQ(t.at("paper_size_id"), a.trays[i].wPaperSizeID);
            EXPECT_EQ(t.at("paper_type_id"), a.trays[i].wPaperTypeID);
            EXPECT_EQ(t.at("max_capacity"), a.trays[i].wMaxCapacity);
            EXPECT_EQ(t.at("current_level"), a.trays[i].wCurrentLevel);
        }
    }
    if (auto* v = answer("paper_sizes", "GetSupportPaperSize")) {
        ASSERT_EQ(v->size(), a.sizes.size());
        for (size_t i = 0; i < a.sizes.size(); ++i) {
            EXPECT_EQ(v->at(i).at("size"), a.sizes[i]);
            if (a.failed.count("GetPaperDirection") == 0 && i < a.directions.size()) {
                EXPECT_EQ(v->at(i).at("direction"), a.directions[i]);
            }
        }
    }
    if (auto* v = answer("paper_types", "GetSupportPaperType")) { EXPECT_EQ(*v, a.types); }
    if (auto* v = answer("user_defined_paper", "GetUserDefMaxMin")) {
        EXPECT_EQ(v->at("tenth_mm").at("height_max"), a.limits.lHeiMAX);
        EXPECT_EQ(v->at("tenth_mm").at("width_min"), a.limits.lWidMIN);
        EXPECT_EQ(v->at("hundredth_inch").at("height_max"), a.limits.lHeiMAX_Inch);
        EXPECT_EQ(v->at("hundredth_inch").at("width_min"), a.limits.lWidMIN_Inch);
    }
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
    auto context = Context("Ink14");
    CBIDI_BP bidi;
    ASSERT_EQ(bidi.Initialize(context.get(), 0), 1);
    ASSERT_EQ(bidi.Open(u"Ink14"), 1);
    ASSERT_EQ(bidi.GetStatusFromCurrentChannel(), TRUE);
    const size_t combinations = bidi.CapabilitySet().Capabilities().size();
    const size_t forbidden = bidi.GetForbiddenPairs().size();
    const size_t statusBytes = bidi.GetAutoConfigInfo().vecStatus.size();
    ASSERT_GT(combinations, 0u);
    bidi.Close();

    const ToolRun ink = Vanto("printer Ink14");
    ASSERT_EQ(ink.status, 0) << ink.out;
    EXPECT_NE(ink.out.find("device ID       : " + bidi.GetDeviceIDString() + "\n"), std::string::npos) << ink.out;
    EXPECT_NE(ink.out.find("category        : 2 (ink-jet printer)"), std::string::npos);
    EXPECT_NE(ink.out.find("channel         : D4 (0x10000005)"), std::string::npos);
    EXPECT_NE(ink.out.find("status          : " + std::to_string(statusBytes) + " bytes"), std::string::npos);
    EXPECT_NE(ink.out.find("supported media (" + std::to_string(combinations) + "):"), std::string::npos);
    EXPECT_NE(ink.out.find("forbidden pairs (" + std::to_string(forbidden) + "):"), std::string::npos);

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
    std::string mib;
    std::string withoutNames;
    for (std::istringstream in(ReadFile(SampleProfile("colour-page") + "/mib.snmprec")); std::getline(in, mib);)
        if (mib.rfind("1.3.6.1.2.1.43.8.2.1.13.", 0) != 0) withoutNames += mib + "\n";
    const std::string noTrays = WriteProfile(folder, "no-trays", R"({"channels": ["snmp"]})", withoutNames);
    LivePrefix live;
    live.AddQueue("Colour", "IP_127.0.88.63");
    live.AddQueue("NoTrays", "IP_127.0.88.64");
    Printers printers({{"127.0.88.63", SampleProfile("colour-page")}, {"127.0.88.64", noTrays}});
    ASSERT_TRUE(printers.Ready()) << printers.Stderr();

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
    ASSERT_FALSE(colour.sizes.empty());
    ASSERT_EQ(colour.directions.size(), colour.sizes.size());
    char bits[64];
    std::snprintf(bits, sizeof(bits), "model bits      : 0x%08x (", colour.modelBits);
    for (const std::string& expected :
         {std::string(bits), "memory          : " + std::to_string(colour.memory) + " MB\n",
          "trays (" + std::to_string(colour.trays.size()) + "):\n",
          "paper sizes (" + std::to_string(colour.sizes.size()) + "):\n",
          "  " + colour.sizes[0] + std::string(12 - colour.sizes[0].size(), ' ') + "  direction " + colour.directions[0]})
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
