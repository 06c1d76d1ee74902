// UpdateCFGXFile through the exports, after the update from virtual printers of the sample
// profiles (127.0.124.x and USB301): the saved CFX file against what the printer has.
#include "interface/test_update_harness.h"
#include "modules/cfgx/kdcfgx.h"

#include <optional>

using namespace update_test;

namespace {

const std::vector<Sample> kSamples = Fleet("127.0.124.", "USB301");
constexpr uint64_t kModelInfo = 0x2, kDefaultLanguage = 0x200, kDefaultPaperSize = 0x20000;

using Json = nlohmann::json;
using Group = std::set<std::pair<uint32_t, uint32_t>>;

const Json* FunctionOf(const Json& file, uint32_t id) {
    for (const Json& f : file["functions"])
        if (f["id"] == id) return &f;
    return nullptr;
}
const Json* ElementOf(const Json& file, uint32_t function, uint32_t element) {
    const Json* f = FunctionOf(file, function);
    if (f == nullptr || !f->contains("elements")) return nullptr;
    for (const Json& e : (*f)["elements"])
        if (e["id"] == element) return &e;
    return nullptr;
}
// A number of the file: a JSON integer or a "0x..." text.
uint32_t NumberOf(const Json& v) { return v.is_string() ? std::stoul(v.get<std::string>(), nullptr, 16) : v.get<uint32_t>(); }
std::optional<uint32_t> Attribute(const Json* element, uint32_t number) {
    if (element == nullptr || !element->contains("attributes")) return std::nullopt;
    const Json& a = (*element)["attributes"];
    const std::string key = std::to_string(number);
    return a.contains(key) ? std::optional<uint32_t>(NumberOf(a[key])) : std::nullopt;
}
std::string StatusOf(const Json* fn) { return fn != nullptr && fn->contains("status") ? (*fn)["status"].get<std::string>() : "shown"; }
uint32_t DefaultOf(const Json& file, uint32_t function) { return (*FunctionOf(file, function))["default"].get<uint32_t>(); }

bool HasGroup(const Json& file, const Group& group) {
    for (const Json& g : file.value("prohibits", Json::array())) {
        Group items;
        for (const Json& it : g["items"]) items.emplace(it["function"].get<uint32_t>(), it["element"].get<uint32_t>());
        if (items == group) return true;
    }
    return false;
}

Json ReadJson(const std::string& path) {
    const std::string text = ReadFile(path);
    return text.empty() ? Json() : Json::parse(text);
}

// A number the CFGX module wrote into the queue's printer data; nothing when absent.
std::optional<DWORD> PrinterDataNumber(const std::string& queue, const char16_t* name) {
    HANDLE printer = nullptr;
    std::u16string q = Wide(queue);
    if (!OpenPrinterW(q.data(), &printer, nullptr)) return std::nullopt;
    DWORD type = 0, value = 0, cb = 0;
    std::u16string n = name;
    const DWORD rc = GetPrinterDataW(printer, n.data(), &type, reinterpret_cast<LPBYTE>(&value), sizeof value, &cb);
    ClosePrinter(printer);
    return rc == ERROR_SUCCESS && cb == 4 ? std::optional<DWORD>(value) : std::nullopt;
}

// Writes one value of the queue's store as the update writes it.
void WriteStoreValue(const std::string& queue, const char16_t* name, DWORD type, const void* data, DWORD size) {
    HKEY h = nullptr;
    const std::u16string key = Wide(kDriverKey) + Context(queue)->GetQueueGUID();
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_WRITE, &h), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(h, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(h);
}
void WriteStoreNumber(const std::string& queue, const char16_t* name, DWORD value) {
    WriteStoreValue(queue, name, REG_DWORD, &value, sizeof value);
}

class CfgxExports : public UpdateExports {
protected:
    int UpdateCfgx(const std::string& queue, uint64_t elements = kAllElements, uint32_t option = 0, uint32_t flags = 0) {
        return Update(queue, elements, option, flags, UpdateCFGXFile);
    }
    // The saved file in the queue's work folder.
    std::string Saved(const std::string& queue, const char* file = "K_PAGE.CFX") {
        return m_prefix.Prefix().DriveC() + "/ProgramData/KELDA/" + vanto_test::kSampleDriverName +
               "/" + BILogging::Narrow(Context(queue)->GetQueueGUID()) + "/" + file;
    }
};

TEST_F(CfgxExports, EverySamplesFileOffersWhatItsPrinterHasAndRulesOutTheRest) {
    vanto_test::VprinterProcess vprinter(AddFleet(kSamples));
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.profile);
        ASSERT_EQ(Update(s.queue, s.elements), 0);
        ASSERT_EQ(UpdateCfgx(s.queue), 1);
        const auto store = StoreOf(s.queue);
        const DWORD m = Number(store, "BIModelInfoBits"), pdl = Number(store, "BISupportPDL");
        const bool inkjet = (m & 0x8) != 0;
        const char* name = inkjet ? "K_INKJET.CFX" : "K_PAGE.CFX";
        const Json source = ReadJson(std::string(VANTO_SOURCE_DIR) + "/samples/driver/" + name);
        const Json file = ReadJson(Saved(s.queue, name));
        ASSERT_TRUE(file.is_object()) << "no saved " << name;
        uint32_t tag100 = 0;
        for (const Json& t : file["tags"])
            if (t["id"] == 100) tag100 = NumberOf(t["value"]);

        // Model: the type, and a monochrome printer has no colour mode to offer.
        const bool colour = m & 0x1;
        const uint32_t type = (colour ? ((m & 0x2) | 1) : ((m & 0x2) ? 4 : 2)) + (inkjet && (m & 0x10) ? 4 : 0);
        EXPECT_EQ(DefaultOf(file, 155), type);
        EXPECT_EQ(StatusOf(FunctionOf(file, 6)), colour ? StatusOf(FunctionOf(source, 6)) : "hidden");
        EXPECT_EQ(DefaultOf(file, 6), colour ? 2u : 1u);

        // Languages: available exactly when the printer speaks them.
        const std::pair<uint32_t, bool> languages[] = {{4, pdl & 0x3},
                                                       {8, pdl & 0x4},
                                                       {16, (pdl & 0x10) && !((pdl & 0x20) && (tag100 & 0x2000))},
                                                       {17, (pdl & 0x20) && (tag100 & 0x2000)},
                                                       {33, pdl & 0x200}};
        for (const auto& [element, on] : languages)
            for (uint32_t f : {132u, 157u})
                EXPECT_EQ(Attribute(ElementOf(file, f, element), 16), on ? 1u : 0u) << "language " << element;

        // Paper: a size or type the printer lacks is ruled out alone (page printers, and every
        // printer without the language table); one it has gains no such rule.
        const bool languageTable = (pdl & 0x300) && (pdl & 0xFF);
        size_t hiddenSizes = 0;
        for (const SBIPaperEntry& e : Records<SBIPaperEntry>(store, "BIPaperSizeIDs")) {
            if (ElementOf(file, 35, e.wID) == nullptr) continue;
            if (e.wShow == 0) ++hiddenSizes;
            EXPECT_EQ(HasGroup(file, {{35, e.wID}}), e.wShow == 0 || HasGroup(source, {{35, e.wID}})) << "size " << e.wID;
            if (!languageTable) {
                EXPECT_EQ(Attribute(ElementOf(file, 35, e.wID), 24), e.wShow ? 0u : 1u);
            }
        }
        if (!inkjet) {
            EXPECT_GT(hiddenSizes, 0u) << "the page driver has sizes no sample printer reports";
        }
        for (const SBIPaperEntry& e : Records<SBIPaperEntry>(store, "BIPaperTypeIDs")) {
            if (ElementOf(file, 1, e.wID) == nullptr || e.wShow != 0 || (languageTable && inkjet)) continue;
            EXPECT_TRUE(HasGroup(file, {{1, e.wID}})) << "type " << e.wID;
        }

        // Defaults: duplex only with a duplex unit; page printers' custom size limits as reported.
        const auto defaults = Records<BIDefaultSettings>(store, "BIDefaultSettings");
        ASSERT_EQ(defaults.size(), 1u);
        EXPECT_EQ(DefaultOf(file, 26), defaults[0].dwDuplex);
        EXPECT_EQ(DefaultOf(file, 164), defaults[0].dwDuplex == 1 ? 1u : DefaultOf(source, 164));
        const auto limits = Records<VANTO_USERDEF_MAXMIN>(store, "BIUserDefMaxMin");
        if (!inkjet && limits.size() == 1) {
            EXPECT_EQ((*FunctionOf(file, 10))["maximum"], limits[0].lWidMAX);
            EXPECT_EQ((*FunctionOf(file, 11))["minimum"], limits[0].lHeiMIN);
        }

        // The registry data of the driver, from the printer information record.
        EXPECT_EQ(PrinterDataNumber(s.queue, u"KDCFGXModelInfoBits"), std::optional<DWORD>(m));
        EXPECT_EQ(PrinterDataNumber(s.queue, u"KDCFGXUpdateMode"), std::optional<DWORD>(KD_CFGX_REGUPDATE_FULL));
        EXPECT_EQ(file["customVersion"], 1);
    }
}

// One colour page queue: no element writes nothing; option 0x1 only the registry data; `vanto
// configure` twice gives the same file (but for the custom version); a save that cannot be written
// fails; stored model bits alone set the type.
TEST_F(CfgxExports, OneQueueFromNoChangeToConfigureTwiceAndAFailedSave) {
    AddQueue("Colour", "127.0.124.20");
    vanto_test::VprinterProcess vprinter({"-p", "127.0.124.20=" + SampleProfile("colour-page")});
    ASSERT_EQ(Update("Colour"), 0);
    // The upper half of the element bits does not count.
    EXPECT_EQ(UpdateCfgx("Colour", 0x100000000ull), 1);
    EXPECT_FALSE(fs::exists(Saved("Colour")));
    EXPECT_EQ(PrinterDataNumber("Colour", u"KDCFGXUpdateMode"), std::nullopt);
    EXPECT_EQ(UpdateCfgx("Colour", kAllElements, 0x1), 1);
    EXPECT_FALSE(fs::exists(Saved("Colour")));
    EXPECT_EQ(PrinterDataNumber("Colour", u"KDCFGXUpdateMode"), std::optional<DWORD>(KD_CFGX_REGUPDATE_RECORD_ONLY));

    ASSERT_EQ(RunVanto("configure Colour"), 0);
    Json once = ReadJson(Saved("Colour"));
    ASSERT_EQ(RunVanto("configure Colour"), 0);
    Json twice = ReadJson(Saved("Colour"));
    once.erase("customVersion");
    twice.erase("customVersion");
    EXPECT_EQ(once, twice);

    // 4 blocks of 512 bytes: far below a CFX file; the signal is ignored so that the write fails.
    EXPECT_EQ(RunVanto("cfgx update Colour", "trap '' XFSZ; ulimit -f 4;"), 1);

    // Monochrome A3 is type 4 (the other types are those of the sample printers).
    WriteStoreNumber("Colour", u"BIModelInfoBits", 0x2);
    ASSERT_EQ(UpdateCfgx("Colour", kModelInfo), 1);
    EXPECT_EQ(DefaultOf(ReadJson(Saved("Colour")), 155), 4u);
}

// Stored values no printer reports, on an ink-jet (whose file takes the stored rules): odd rules,
// option 0x40's duplex unit, paper counts beyond the store, a 360 dpi colour model (type 5) and a
// default language the driver lacks ("QLM/P-R Advance" becomes "QLM/P-R BASIC").
TEST_F(CfgxExports, StoredEdgesBecomeTheRightRulesAndDefaults) {
    AddQueue("Ink", "127.0.124.21");
    vanto_test::VprinterProcess vprinter({"-p", "127.0.124.21=" + SampleProfile("inkjet-network")});
    ASSERT_EQ(Update("Ink"), 0);
    // A prohibit set as the update stores it: group count, then each group's item count and items
    // (function, element, inversion 0, sub-element 0).
    const DWORD words[] = {4,
                           2, 213, 0,   0, 0, 35,  11, 0, 0,   // never added
                           2, 1,   21,  0, 0, 26,  2,  0, 0,   // added as it stands
                           2, 1,   21,  0, 0, 999, 1,  0, 0,   // names a function the file lacks
                           2, 35,  256, 0, 0, 1,   2,  0, 0};  // added for 256 and for 10000
    WriteStoreNumber("Ink", u"BIProhibitBuffSize", sizeof words);
    WriteStoreValue("Ink", u"BIProhibitInfo", REG_BINARY, words, sizeof words);
    auto defaults = Records<BIDefaultSettings>(StoreOf("Ink"), "BIDefaultSettings").at(0);
    defaults.dwDuplex = 0;
    WriteStoreValue("Ink", u"BIDefaultSettings", REG_BINARY, &defaults, sizeof defaults);
    // Counts beyond what is stored: an absurd one is refused, a short list read as far as it goes.
    WriteStoreNumber("Ink", u"BIPaperSizeNum", 0x7FFFFFFF);
    WriteStoreNumber("Ink", u"BIPaperTypeNum", 1000);
    m_prefix.EnableLog();

    ASSERT_EQ(UpdateCfgx("Ink", kAllElements, 0x40), 1);
    const Json file = ReadJson(Saved("Ink", "K_INKJET.CFX"));
    EXPECT_FALSE(HasGroup(file, {{213, 0}, {35, 11}}));
    EXPECT_TRUE(HasGroup(file, {{1, 21}, {26, 2}}));
    EXPECT_TRUE(HasGroup(file, {{35, 256}, {1, 2}}));
    EXPECT_TRUE(HasGroup(file, {{35, 10000}, {1, 2}}));
    EXPECT_EQ(DefaultOf(file, 164), 1u) << "option 0x40: the duplex unit is attached";
    EXPECT_EQ(DefaultOf(file, 194), 1u);
    EXPECT_EQ(PrinterDataNumber("Ink", u"KDCFGXUpdateKind"), std::optional<DWORD>(11));
    EXPECT_EQ(m_prefix.CountInNewLog("#Stored paper count 2147483647 is beyond"), 1u);
    // The ink-jet speaks PCL and QLM/P-R BASIC: each type it lacks is ruled out with that language.
    size_t hiddenTypes = 0;
    for (const SBIPaperEntry& e : Records<SBIPaperEntry>(StoreOf("Ink"), "BIPaperTypeIDs")) {
        if (e.wShow != 0 || ElementOf(file, 1, e.wID) == nullptr) continue;
        EXPECT_TRUE(HasGroup(file, {{1, e.wID}, {132, 16}})) << "type " << e.wID;
        ++hiddenTypes;
    }
    EXPECT_GT(hiddenTypes, 0u);

    WriteStoreNumber("Ink", u"BIModelInfoBits", 0x19);
    WriteStoreNumber("Ink", u"BIDefaultPDL", 0x20);
    ASSERT_EQ(UpdateCfgx("Ink", kModelInfo | kDefaultLanguage), 1);
    const Json model = ReadJson(Saved("Ink", "K_INKJET.CFX"));
    EXPECT_EQ(DefaultOf(model, 155), 5u);
    EXPECT_EQ(DefaultOf(model, 132), 16u);
    EXPECT_EQ(DefaultOf(model, 157), 16u);
}

// The install-time record (flag 0x10): its file, quality levels marked by the record's base
// resolution, and a default paper size of A4 or Letter left to the driver for the paper size
// but set for the output paper size.
TEST_F(CfgxExports, TheInstallTimeRecordMarksQualityLevelsAndKeepsTheDriversPaperSize) {
    ASSERT_EQ(RunVanto("erd install \"" + std::string(vanto_test::kSampleDriverName) + "\""), 0);
    AddQueue("Erd", "127.0.124.26");  // no printer: the record answers, once moved to the queue
    ASSERT_EQ(RunVanto("erd show Erd --registry"), 0);
    ASSERT_EQ(Update("Erd", kAllElements, 0, VANTO_FLAG_ERD), 0);
    ASSERT_EQ(UpdateCfgx("Erd", kAllElements, 0, VANTO_FLAG_ERD), 1);
    const auto store = StoreOf("Erd");
    const Json file = ReadJson(Saved("Erd", "K_ERD.CFX"));
    ASSERT_TRUE(file.is_object());
    const DWORD resolution = Number(store, "BIBaseResolution");
    size_t levels = 0;
    for (const Json& row : TableRows("ij_tables.json", 3040, 0x1)) {
        const uint32_t id = row["id"];
        const bool supported = std::stoul(row["resolution"].get<std::string>(), nullptr, 16) & resolution;
        EXPECT_EQ(Attribute(ElementOf(file, 5, id), 20), supported ? 1u : 0u) << "level " << id;
        EXPECT_EQ(HasGroup(file, {{5, id}}), !supported) << "level " << id;
        ++levels;
    }
    EXPECT_GT(levels, 1u);

    // A5 becomes the default of both; A4 only that of the output paper size. (The default paper
    // size alone: the record's paper list has no shown size to choose.)
    auto defaults = Records<BIDefaultSettings>(store, "BIDefaultSettings").at(0);
    defaults.dwMediaSizeID = 11;
    WriteStoreValue("Erd", u"BIDefaultSettings", REG_BINARY, &defaults, sizeof defaults);
    ASSERT_EQ(UpdateCfgx("Erd", kDefaultPaperSize, 0, VANTO_FLAG_ERD), 1);
    const Json a5 = ReadJson(Saved("Erd", "K_ERD.CFX"));
    EXPECT_EQ(DefaultOf(a5, 9), 11u);
    EXPECT_EQ(DefaultOf(a5, 35), 11u);
    defaults.dwMediaSizeID = 9;
    WriteStoreValue("Erd", u"BIDefaultSettings", REG_BINARY, &defaults, sizeof defaults);
    m_prefix.EnableLog();
    ASSERT_EQ(UpdateCfgx("Erd", kDefaultPaperSize, 0, VANTO_FLAG_ERD), 1);
    EXPECT_EQ(DefaultOf(ReadJson(Saved("Erd", "K_ERD.CFX")), 35), 9u);
    EXPECT_EQ(m_prefix.CountInNewLog("Set Default PaperSize."), 0u) << "A4 is left to the driver";
}

}  // namespace
