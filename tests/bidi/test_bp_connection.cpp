// CBIDI_BP's connection against virtual printers over real sockets: loading the transport
// module, the device ID and the printer category, the channel choice (with scripted channel
// lists from the relay module), the System OEM model list; and `vanto printer QUEUE` run as a
// separate process, agreeing with the access opened here.
#include "test_bp_live_printers.h"
#include "support/ToolRun.h"

#include <cstring>
#include <map>
#include <sstream>
#include <string_view>
#include <tuple>

using namespace bp_test;
using vanto_test::ToolRun;
using vanto_test::Vanto;

namespace {

const char* const kColourAddress = "127.0.88.1";
const char* const kMonoAddress = "127.0.88.2";
const char* const kOemAddress = "127.0.88.3";
const char* const kSilentAddress = "127.0.88.9";  // nothing answers here

class BPConnection : public LiveTest {
protected:
    void SetUp() override {
        // The colour page printer without the input name column.
        std::string line, withoutNames;
        for (std::istringstream in(ReadFile(SampleProfile("colour-page") + "/mib.snmprec")); std::getline(in, line);)
            if (line.rfind("1.3.6.1.2.1.43.8.2.1.13.", 0) != 0) withoutNames += line + "\n";
        const std::string noTrays = WriteProfile(m_files, "no-trays", R"({"channels": ["snmp"]})", withoutNames);
        m_printers = Serve(m_live, {{"Colour", kColourAddress, SampleProfile("colour-page")},
                                    {"Mono", kMonoAddress, SampleProfile("mono-page-opk")},
                                    {"OEM", kOemAddress, SampleProfile("system-oem-b")},
                                    {"Ink", "USB001", SampleProfile("inkjet-usb-f17")},
                                    {"Ink14", "USB002", SampleProfile("inkjet-usb-f14")},
                                    {"NoTrays", "127.0.88.4", noTrays}});
        m_live.AddQueue("Silent", std::string("IP_") + kSilentAddress);
        ASSERT_TRUE(m_printers->Ready());
    }
};

}  // namespace

TEST_F(BPConnection, PagePrintersOpenOnSnmpOrOpkWithTheirDeviceIdAndCategory) {
    auto colour = OpenQueue("Colour");
    EXPECT_EQ(colour->GetChannelKind(), kZkChannelSNMP);
    EXPECT_EQ(colour->GetPrinterCategory(), PRINTER_CATEGORY_PAGE);
    EXPECT_EQ(colour->GetDeviceIDString().rfind("MFG:Vintal;MDL:Corvia CP-4500c;", 0), 0u);
    EXPECT_EQ(std::u16string(colour->GetModelName()), u"Corvia CP-4500c");
    EXPECT_EQ(colour->GetSystemOEMRecord()[0], 0) << "a model outside the System OEM list";

    auto mono = OpenQueue("Mono");
    EXPECT_EQ(mono->GetChannelKind(), kZkChannelOPK);
    EXPECT_EQ(mono->GetChannel()->wWord1, kZkJobLanguagePort);
}

TEST_F(BPConnection, ChannelListIsWalkedInOrderWithSnmpWinningAndLaterEntriesReplacingEarlier) {
    // Channels offered, queue, option flags, the kind chosen (0: the open fails) and its first
    // word (-1: not checked).
    const std::tuple<const char*, const char*, DWORD, uint32_t, int> cases[] = {
        {"opk,snmp", "Colour", 0, kZkChannelSNMP, -1},  // SNMP wins over an earlier OPK
        // Forced ink-jets (no media check at open): of two D4 entries the later one; a device ID
        // naming TVD4 takes the TVD4 entry and passes D4 by.
        {"d4:1,d4:7", "Ink14", BP_FLAG_FORCE_INKJET, kZkChannelD4, 7},
        {"tvd4:2,d4:1", "Ink", BP_FLAG_FORCE_INKJET, kZkChannelTVD4, -1},
        // A page printer with neither SNMP nor OPK fails, even with D4 listed.
        {"d4,tvd4", "Mono", 0, 0, -1},
        // A large ink-jet chooses like a page printer: OPK, not D4.
        {"d4,opk", "Mono", BP_FLAG_FORCE_LARGE_INKJET, kZkChannelOPK, -1},
    };
    for (const auto& [channels, queue, flags, kind, word] : cases) {
        SCOPED_TRACE(channels);
        ::setenv("VANTO_TEST_CHANNELS", channels, 1);
        Opened printer(queue, flags);
        EXPECT_EQ(printer.result, kind != 0 ? 1 : 0);
        EXPECT_EQ(printer->GetChannelKind(), kind);
        if (word >= 0) {
            EXPECT_EQ(printer->GetChannel()->wWord1, word);
        }
    }
    EXPECT_EQ(Opened("Mono", BP_FLAG_FORCE_LARGE_INKJET)->GetPrinterCategory(), PRINTER_CATEGORY_LARGE_INKJET);
}

// With a channel, the System OEM answers (Answers: model bits 0xD00 and 0x500) tell whether it
// has one; here the open without one.
TEST_F(BPConnection, SystemOemModelIsFoundInTheModelListAndOpensEvenWithoutAChannel) {
    ::setenv("VANTO_TEST_CHANNELS", "opk", 1);
    auto local = OpenQueue("OEM");
    EXPECT_EQ(local->GetPrinterCategory(), PRINTER_CATEGORY_SYSTEM_OEM);
    EXPECT_EQ(local->IsChannelAvailable(), 0u);
    EXPECT_EQ(local->GetChannel(), nullptr);
    std::vector<BYTE> value{1, 2, 3};
    EXPECT_EQ(local->GetMIBValue("2.1.1.1.0", &value), 0);
    EXPECT_TRUE(value.empty());
}

// A forced ink-jet opens without the media check: the verb's "--flags 0x20" on the colour page
// printer, which answers no media information, still opens (PrinterVerbShows...).
TEST_F(BPConnection, OptionFlagsForceTheCategoryAndSkipTheMediaCheck) {
    // Forced page printer: an ink-jet device ID on USB finds no OPK channel.
    Opened page("Ink", BP_FLAG_FORCE_PAGE);
    EXPECT_EQ(page.result, 0);
    EXPECT_EQ(page->GetPrinterCategory(), PRINTER_CATEGORY_PAGE);
}

TEST_F(BPConnection, FailuresToLoadOrReachThePrinterAreReportedNotHidden) {
    CBIDI_BP unready;
    EXPECT_EQ(unready.Initialize(nullptr, 0), 0);
    EXPECT_EQ(unready.Open(u"Colour"), 0);      // no module
    EXPECT_EQ(unready.OpenSNMP(kColourAddress), 0);

    // The module is loaded once; a second Initialize succeeds without effect.
    auto context = Context("Colour");
    CBIDI_BP bidi;
    ASSERT_EQ(bidi.Initialize(context.get(), 0), 1);
    EXPECT_EQ(bidi.Initialize(context.get(), 0), 1);
    EXPECT_EQ(bidi.Open(nullptr), 0);
    EXPECT_EQ(bidi.OpenA(nullptr, kZkPathQueue), 0);
    EXPECT_EQ(bidi.Open(u"No Such Queue"), 0);
    EXPECT_EQ(bidi.OpenSNMP("not an address"), 0);
    EXPECT_FALSE(bidi.IsDeviceIDAnalyzed());

    // A queue whose printer does not answer fails within the module's bounds.
    const auto start = Clock::now();
    EXPECT_EQ(bidi.Open(u"Silent"), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));

    // The next open works again.
    EXPECT_EQ(bidi.Open(u"Colour"), 1);
    EXPECT_TRUE(bidi.IsDeviceIDAnalyzed());
}

TEST_F(BPConnection, DriverWithoutTransportModuleCannotInitialize) {
    // A driver whose data file names a transport module that is not installed.
    std::string error;
    const std::string folder = m_live.Prefix().Root() + "/nomodule";
    fs::create_directories(folder);
    std::string data = ReadFile(std::string(VANTO_SOURCE_DIR) + "/samples/driver/VUD3DATA.INI");
    const size_t at = data.find("ZKAPIB6Name=ZKAPI7x64.Dll");
    ASSERT_NE(at, std::string::npos);
    data.replace(at, std::strlen("ZKAPIB6Name=ZKAPI7x64.Dll"), "ZKAPIB6Name=NOTTHERE.Dll");
    std::ofstream(folder + "/NOMODULE.INI", std::ios::binary) << data;
    ASSERT_TRUE(vplat::AddDriver("No Module Driver", folder, {}, {}, error)) << error;
    ASSERT_TRUE(vplat::AddQueue("NoModule", "No Module Driver", std::string("IP_") + kColourAddress, error)) << error;
    auto context = Context("NoModule");
    CBIDI_BP bidi;
    EXPECT_EQ(bidi.Initialize(context.get(), 0), 0);
    EXPECT_EQ(bidi.Open(u"NoModule"), 0);
}

TEST(BPTransportView, MissingFunctionsAnswerMinus100) {
    CZkapiDll none;
    EXPECT_EQ(none.ZKInitialize(), kZkapiMissingFunction);
    EXPECT_EQ(none.ZKStartProbe(nullptr, nullptr, nullptr, nullptr), 0u);

    // The relay exports the connection functions only: each name is looked up on its own.
    CZkapiDll relay;
    ASSERT_TRUE(relay.Load(WinPath(VANTO_TEST_RELAY_MODULE).c_str()));
    EXPECT_EQ(relay.ZKStopProbe(1), kZkapiMissingFunction);
    ::unsetenv("VANTO_TEST_REAL_ZKAPI");
    EXPECT_EQ(relay.ZKCloseChannel(5), kZkNotInitialized);  // found and called
}

// ---- vanto printer ----

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
    // Notes the answer under its key (none for sub-questions), or null and the error line.
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

// The tool's JSON agrees with the answers asked here, its failures with the error lines: the
// only differences allowed are members the tool adds (not array elements).
void ExpectSameAnswers(const nlohmann::json& j, const Answers& a) {
    for (const nlohmann::json& op : nlohmann::json::diff(a.json, j)) {
        const std::string path = op.at("path");
        const std::string last = path.substr(path.rfind('/') + 1);
        const bool member = last.find_first_not_of("0123456789") != std::string::npos;
        EXPECT_TRUE(op.at("op") == "add" && member) << op.dump() << "\n" << j.dump(2);
    }
    std::map<std::string, std::string> shown;
    for (const auto& f : j.at("failures")) shown[f.at("question")] = f.at("reason");
    EXPECT_EQ(shown, a.failed);
}

}  // namespace

TEST_F(BPConnection, PrinterVerbShowsDeviceCategoryChannelStatusAndInkjetMedia) {
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
    for (const std::string& line : expected)
        EXPECT_NE(ink.out.find(line), std::string::npos) << line << "\n" << ink.out;

    // A page printer: no media section; forced ink-jet on it: media not available.
    const ToolRun page = Vanto("printer Colour");
    ASSERT_EQ(page.status, 0) << page.out;
    EXPECT_EQ(page.out.find("supported media"), std::string::npos);
    const ToolRun forced = Vanto("printer Colour --flags 0x20");
    ASSERT_EQ(forced.status, 0);
    EXPECT_NE(forced.out.find("supported media : not available"), std::string::npos);

    EXPECT_EQ(Vanto("printer Nobody").status, 2);
    EXPECT_EQ(Vanto("printer Silent").status, 1);
}

TEST_F(BPConnection, PrinterVerbAnswersAndFailedQuestionsAgreeWithTheLiveAccess) {
    const Answers colour = AskInProcess("Colour");
    ASSERT_TRUE(colour.failed.empty()) << "the sample page printer answers every question; first failure: "
                                       << colour.failed.begin()->first << ": " << colour.failed.begin()->second;
    const ToolRun json = Vanto("printer Colour --json");
    ASSERT_EQ(json.status, 0) << json.out;
    const nlohmann::json j = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << "stdout is not one JSON object:\n" << json.out;
    EXPECT_EQ(j.at("category").at("value"), PRINTER_CATEGORY_PAGE);
    ExpectSameAnswers(j, colour);

    // Without input names the tray question fails: both views give its error line; exit stays 0.
    const Answers noNames = AskInProcess("NoTrays");
    ASSERT_EQ(noNames.failed.count("GetCassetteInfo"), 1u);
    ASSERT_FALSE(noNames.failed.at("GetCassetteInfo").empty()) << "the library wrote no error line";
    const ToolRun failedPlain = Vanto("printer NoTrays");
    EXPECT_EQ(failedPlain.status, 0);
    EXPECT_NE(failedPlain.out.find("): " + noNames.failed.at("GetCassetteInfo") + "\n"), std::string::npos)
        << failedPlain.out;
    const ToolRun failedJson = Vanto("printer NoTrays --json");
    EXPECT_EQ(failedJson.status, 0);
    ExpectSameAnswers(nlohmann::json::parse(failedJson.out), noNames);
}
